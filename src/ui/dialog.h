// Base of every dialog: builds the widgets from a template in src/res, finds them by control ID, converts
// dialog units to pixels the way the original platform does, and runs the dialog modally.
#pragma once

#include <QColor>
#include <QDialog>
#include <QHash>
#include <functional>
#include <string>
#include <vector>

#include "platform/services.h"
#include "res/dialog_template.h"

class CDialog : public QDialog {
    Q_OBJECT
public:
    // Builds every control of template `templateId`: buttons become CShadedButton (objectName the ID, e.g.
    // "1009"), statics QLabel, edits QLineEdit / QPlainTextEdit, combos QComboBox (editable), list views
    // QTreeWidget without root decoration, the tree QTreeWidget. Each edit, combo, list and tree gets the
    // accessible name of the label before it (lists: the dialog's caption).
    explicit CDialog(int templateId, QWidget* parent = nullptr);

    QWidget* Item(int id) const;  // nullptr when the template has no such control
    template <class T>
    T* ItemAs(int id) const {
        return qobject_cast<T*>(Item(id));
    }

    // OnInitDialog, then the modal loop; when OnInitDialog (or anything it calls) already ended the
    // dialog with EndDialog, returns that result without showing the window. plat::IDOK or plat::IDCANCEL.
    int DoModal();
    void EndDialog(int result);
    bool Ended() const { return ended_; }

    // Dialog units -> pixels from the dialog font's average character width and height.
    QRect MapDialogRect(int x, int y, int w, int h) const;
    int BaseUnitX() const { return baseX_; }
    int BaseUnitY() const { return baseY_; }

    // The base units a template gets with `font`: the font's average character width and height, widened
    // where a static or button label of the template would otherwise be clipped.
    static void ComputeBaseUnits(const res::DialogTemplate& t, const QFont& font, int& baseX, int& baseY);

    // Background of the dialog and its controls (the palette rule every dialog applies).
    void SetBackground(const QColor& c);

    // The client size of the template; a resizable dialog is laid out from it.
    QSize TemplateSize() const { return templateSize_; }

protected:
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(plat::IDOK); }      // button 1, Enter on the default button
    virtual void OnCancel() { EndDialog(plat::IDCANCEL); }  // button 2, Escape, close box

    // Routes clicks of button `id` to `handler`. Buttons 1 and 2 are routed to OnOK / OnCancel already.
    void OnClicked(int id, std::function<void()> handler);

    void accept() override { OnOK(); }
    void reject() override { OnCancel(); }
    // Enter presses the focused push button, else the default button; a dialog without a default button
    // (the main window) lets Enter in a field do nothing.
    void keyPressEvent(QKeyEvent* e) override;

    // A resizable dialog puts every control at its place for the current size: its template place, moved and
    // stretched by how much the dialog grew (negative: shrank) as its template flags say.
    void resizeEvent(QResizeEvent* e) override;
    virtual void LayOut();
    // Where a control whose template place (in pixels) is `base` goes; subclasses move it further.
    virtual QRect PlaceControl(const QRect& base, unsigned flags, QSize grown) const;

private:
    struct Placed {
        QWidget* widget;
        QRect base;  // pixels at the template size
        unsigned flags;
    };
    std::vector<Placed> placed_;  // the controls that follow a resize
    QSize templateSize_;
    bool resizable_ = false;
    QHash<int, QWidget*> items_;
    int baseX_ = 6;
    int baseY_ = 13;
    bool hasDefault_ = false;
    bool ended_ = false;
    bool inModal_ = false;
    int result_ = plat::IDCANCEL;
};
