// The editing session of the main window's card form: which file the form was filled from, that card's
// stylesheet reference and creation stamp, what the fields held when it was loaded or last saved (to tell
// unsaved edits), the file's size and time then (to tell a file that something else changed since), and what
// the user was last shown of such a change (the file-name field is tinted while it stands). The widgets stay
// the window's; this object watches them and keeps them a faithful view of a card: it shows a card's fields
// exactly as the file has them, keeps line breaks out of what is entered into one-line fields, and says at
// once, in a line under the body, which characters a card file could not store.
#pragma once

#include <QString>
#include <string>

#include "platform/fs.h"

class QComboBox;
class QLineEdit;
class CBodyEdit;
namespace ui {
class LineFieldFilter;
}

class CardForm {
public:
    struct Fields {
        QLineEdit* title;
        QLineEdit* keyword;
        QComboBox* klass;
        QComboBox* source;
        QComboBox* style;
        QLineEdit* file;
        CBodyEdit* body;
    };
    // A card's texts, as the fields show them (the body with '\n' between paragraphs).
    struct Texts {
        QString title, keyword, klass, source, file, body;
    };

    CardForm() = default;
    CardForm(const CardForm&) = delete;
    CardForm& operator=(const CardForm&) = delete;
    void Attach(const Fields& fields);

    // Puts exactly `texts` into the fields; a class or source that no list entry has stands as typed.
    void Show(const Texts& texts);
    // The fields were just filled from `path`, or written to it: they hold that file now, the version of
    // `stamp` (taken from the descriptor that was read, or from the file written before its rename).
    void Loaded(const std::string& path, const std::string& href, const std::string& founddate,
                const plat::FileStamp& stamp);
    void Saved(const std::string& path, const std::string& href, const std::string& founddate,
               const plat::FileStamp& stamp);
    // Empties every field and forgets the file: what the user chose to discard is gone from the form too.
    void Clear();

    bool HasEdits() const;
    // Leaving the title or class field rebuilt the file name. That rename belongs to the edit before it; with
    // no edit before it, it is none either, unless it puts the card into another folder: that is a move.
    void FileNameRebuilt(bool hadEdits);

    // "正文中有 3 个 XML 文件不能容纳的字符（第一个是 “\x01” U+0001）" for the first field, in the form's
    // order, that holds characters a card cannot store; empty when every field can be stored.
    QString Unstorable() const;

    enum class Disk { Unchanged, Changed, Gone };
    // The loaded file now, against its size and time when the form last loaded or wrote it.
    Disk DiskState() const;

    // What the user was last shown of the file on disk: the file-name field is tinted and says why while
    // the file changed or went. Loaded, Saved and Clear go back to Unchanged.
    Disk Noticed() const { return m_noticed; }
    void Notice(Disk state);

    // The user already agreed to write over this existing file (the save dialog asked).
    void AgreeOverwrite(const std::string& path) { m_agreedOverwrite = path; }
    bool OverwriteAgreed(const std::string& path) const { return !path.empty() && path == m_agreedOverwrite; }

    const std::string& LoadedPath() const { return m_path; }  // "" when nothing was loaded or saved
    const plat::FileStamp& Stamp() const { return m_stamp; }
    // What the loaded path was when loaded or saved: a symbolic link's text, or "" for a file itself.
    const std::string& LoadedLink() const { return m_link; }
    const std::string& Href() const { return m_href; }
    const std::string& Founddate() const { return m_founddate; }

    // Shows `text` in a combo whose entries were just reloaded: the entry with exactly that text is selected,
    // else the text stands as typed. A reload must not take the card's class or source out of the form.
    static void ShowText(QComboBox* combo, const QString& text);

private:
    struct Snapshot {
        QString title, keyword, klass, source, style, file;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot Take() const;
    void Baseline();
    void PauseFilters(bool paused);
    void ShowUnstorable();  // the notice under the body, from every field

    Fields m_fields{};
    ui::LineFieldFilter* m_filters[5] = {};  // title, keyword, class, source, file
    Snapshot m_clean;
    bool m_bodyEdited = false;  // set by every change of the body after the last load or save
    std::string m_path;
    std::string m_href;
    std::string m_founddate;
    plat::FileStamp m_stamp;
    std::string m_link;
    Disk m_noticed = Disk::Unchanged;
    std::string m_agreedOverwrite;
};
