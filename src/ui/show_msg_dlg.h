// The progress strip the main window shows over itself while it loads or rescans.
#pragma once

#include <string>

#include "ui/dialog.h"

class CShowMsgDlg : public CDialog {
    Q_OBJECT
public:
    CShowMsgDlg(const std::string& text, QWidget* parent);  // text in GBK; created hidden
    // Replaces the text and repaints at once, so it shows while the caller blocks the thread.
    void SetMessage(const std::string& text);
    const std::string& Message() const { return m_strMsg; }
    // Top-left corner at (50, 160) of the parent's client area, raised, shown.
    void ShowAt();

signals:
    void MessageSet(const std::string& text);  // every text put into the strip, in order

protected:
    void paintEvent(QPaintEvent*) override;  // the thin border

private:
    std::string m_strMsg;
    int m_baseWidth = 0;  // the template's width, the least the strip keeps
    int m_baseHeight = 0, m_labelHeight = 0;  // the template's, for a text that fits on one line again
};
