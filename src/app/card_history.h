// The window's side of the card history: it keeps the store of the library the window shows, records each
// save (the text replaced and the text written) and each change the watch saw once the burst of them has
// settled, and builds the first history of a library already full of cards in the background. It never
// stands in a save's way: whatever goes wrong with the history is said in the window's strip, and the save
// has happened.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "history/store.h"

class QTimer;

class CardHistory : public QObject {
public:
    // `notify` shows a notice in the strip; `progress` the strip's text while the first history is built,
    // "" once it is done (both GBK).
    CardHistory(std::function<void(const std::string&)> notify, std::function<void(const std::string&)> progress,
                QObject* parent = nullptr);
    ~CardHistory() override;  // stops a first history between two cards; the store keeps none of it

    // The library (internal root) the window now shows; its first history is begun when its store has none.
    void SetLibrary(const std::string& libRoot);
    // Just before a save writes `path` (internal): what the file holds then.
    void BeforeSave(const std::string& path);
    // The save wrote `written` to `path`; `from`, the card the form was loaded from when that is another file.
    void Saved(const std::string& path, std::string_view written, const std::string& from);
    // The form now holds an old version of `path`: its next save is a restore.
    void Restored(const std::string& path) { restored_ = path; }
    // Paths the watch saw change (internal): cards, folders gone, or folders that changed as a whole (their
    // cards are then compared with the store's), and any other name, which is passed over.
    void Seen(const std::vector<std::string>& paths);

    // The store of the current library, opened when needed; null when there is none (the reason in `error`).
    history::Store* Store(std::string& error);
    // The card's path in the store; "" when it is not below the current library.
    std::string InStore(const std::string& path) const;
    // The native path of a path in the store.
    std::string OnDisk(const std::string& inStore) const;

    // Writes a deleted card's last text back where it stood (its class folder made again if need be), never
    // over a file that stands there now; the card's next version says it was restored.
    bool BringBack(const history::DeletedCard& card, std::string& error);

    bool Busy() const { return worker_.joinable() && !done_; }
    // Blocks until the first history and the settling changes are recorded (tests).
    void Flush();

private:
    void RecordSeen();
    void StopWorker();
    void Poll();
    void Finished();  // the first history's thread has ended: what it did is told

    std::function<void(const std::string&)> notify_, progress_;
    std::string libRoot_, nativeRoot_;
    std::unique_ptr<history::Store> store_;
    std::optional<std::string> replaced_;
    std::string restored_;
    std::set<std::string> seen_;
    QTimer* settle_ = nullptr;
    QTimer* poll_ = nullptr;
    std::thread worker_;
    std::atomic<bool> stop_{false}, done_{false};
    std::atomic<int> doneCards_{0}, totalCards_{0};
    std::string workerError_;  // read once done_
};
