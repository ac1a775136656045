// Work that can take longer than a frame, run on a thread of its own under a strip over the owner window: the
// strip says what runs and offers 取消; while it shows, the owner takes no input (the strip is window-modal),
// so no handler of the owner runs again before the work is done, yet the window keeps painting.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "ui/show_msg_dlg.h"

class CJobStrip : public CShowMsgDlg {
    Q_OBJECT
public:
    // `cancel` is set by 取消 (control 2) or Escape; the work polls it.
    CJobStrip(const std::string& text, QWidget* owner, std::atomic<bool>& cancel);
    // Runs `work` off this thread with the strip shown; returns when it is done, the strip hidden.
    void Run(const std::function<void()>& work);

    // How far the work is, as a bar along the strip's foot; called on the strip's own thread (a timer while
    // Run waits, for instance).
    void SetProgress(long long done, long long total);

    // A notice over the owner for a few seconds (no button, no input taken): what a finished job wants said
    // without a box to dismiss.
    static void ShowNote(QWidget* owner, const std::string& text);

protected:
    void OnCancel() override;

private:
    std::atomic<bool>& cancel_;
    class QProgressBar* bar_ = nullptr;  // made by the first SetProgress
};
