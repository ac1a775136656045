#include "ui/job_strip.h"

#include <QEventLoop>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <thread>

#include "platform/codec.h"
#include "ui/shaded_button.h"

namespace {
constexpr int kCancelId = 2;
constexpr int kNoteMs = 6000;
}  // namespace

CJobStrip::CJobStrip(const std::string& text, QWidget* owner, std::atomic<bool>& cancel)
    : CShowMsgDlg(text, owner), cancel_(cancel) {
    // Unlike the plain strip this one takes the focus, so that Escape reaches it, and holds the owner's
    // input.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setWindowModality(Qt::WindowModal);
    auto* button = new CShadedButton(QString::fromUtf8("取消"), this);
    button->setObjectName(QString::number(kCancelId));
    button->setGeometry(MapDialogRect(166, 1, 36, 12));
    setFixedSize(MapDialogRect(0, 0, 205, 14).size());
    connect(button, &QPushButton::clicked, this, [this] { OnCancel(); });
}

void CJobStrip::OnCancel() { cancel_ = true; }

void CJobStrip::Run(const std::function<void()>& work) {
    QEventLoop loop;
    QObject context;  // the worker's "done" is dropped with it should the loop be gone
    ShowAt();
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(
            &context, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    hide();
}

void CJobStrip::SetProgress(long long done, long long total) {
    if (!bar_) {
        bar_ = new QProgressBar(this);
        bar_->setObjectName(QStringLiteral("progress"));
        bar_->setTextVisible(false);
        bar_->setRange(0, 1000);
    }
    bar_->setGeometry(1, height() - 4, width() - 2, 3);
    bar_->setValue(total > 0 ? static_cast<int>(std::min(done, total) * 1000 / total) : 0);
    bar_->show();
}

void CJobStrip::ShowNote(QWidget* owner, const std::string& text) {
    auto* note = new CShowMsgDlg(text, owner);
    note->setAttribute(Qt::WA_DeleteOnClose);
    // As wide as its text: a note cut off would not say which style was used.
    if (auto* label = note->ItemAs<QLabel>(1019)) {
        const int wide = QFontMetrics(label->font()).horizontalAdvance(label->text()) + 2 * label->x();
        if (wide > note->width()) {
            label->resize(wide - 2 * label->x(), label->height());
            note->setFixedSize(wide, note->height());
        }
    }
    note->ShowAt();
    QTimer::singleShot(kNoteMs, note, &QWidget::close);
}
