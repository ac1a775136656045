// Follows a folder tree through the kernel's change notification (inotify): one watch per followed folder,
// set up and read on a thread of its own, which sleeps in poll() while nothing changes (no timer, no CPU).
// It keeps the watches (descriptor -> folder) and the changes not yet taken, one per name: a burst of events
// for one name is one change. It reports only where something changed, never what it now is: the taker
// looks at the disk, so a change reported late, twice, or for a file the program wrote itself does no harm.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace plat {

class FolderWatch {
public:
    struct Change {
        std::string folder;  // internal path of the folder, ending with '\' (as the root was given)
        std::string name;    // GBK; "" means: anything in the folder may have changed
        // A folder of this name was created, removed or moved here or away: what the taker knows of it
        // is stale, even where a folder of that name still stands.
        bool replaced = false;
    };
    // In rising order of weight: only the weightiest one met is kept until taken.
    enum class Trouble {
        None,
        NoWatches,  // watches ran out (max_user_watches, max_user_instances): some folders are not followed
        Overflow,   // the kernel dropped events; the watches were set up again, the rest is unknown
        RootGone,   // the followed folder itself was removed or moved away
    };
    struct Filter {
        // Whether a sub-folder (GBK name, attribute bits as ListDir gives them) is followed.
        std::function<bool(std::string_view name, unsigned attrs)> enter;
        // Whether a change of a file of this name (GBK) is reported. Folders are always reported.
        std::function<bool(std::string_view name)> report;
    };

    explicit FolderWatch(Filter filter);
    ~FolderWatch();  // stops the thread and drops every watch
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Follows `root` (internal path ending with '\') from now on, in place of whatever was followed. Folders
    // whose content changed since `sinceNs` (wall clock, ns; what the caller listed them against) are
    // reported as a whole, for what happened before their watch stood. `wake` runs on the watch's thread when
    // changes or trouble wait and nobody was told yet; it is told again only after Take found nothing left.
    void Start(const std::string& root, std::int64_t sinceNs, std::function<void()> wake);
    void Stop();

    // Moves up to `max` waiting changes, oldest first, into `out` (cleared first). True when more wait.
    bool Take(std::vector<Change>& out, std::size_t max);
    Trouble TakeTrouble();  // the weightiest trouble met since the last call

    struct Stats {
        bool ready = false;        // every folder that was there at Start is watched (or failed to be)
        int folders = 0;           // watches standing
        std::int64_t setupNs = 0;  // from Start until ready
    };
    Stats GetStats();
    // Setting up, or changes or trouble wait to be taken, or the taker was told and has not emptied the
    // queue.
    bool Busy();
    // Blocks until the watches of Start stand (tests, benchmarks).
    void WaitReady();

    static std::int64_t NowNs();  // the wall clock a caller passes as `sinceNs`

    // Test hooks: while held, the thread reads no events, so that the kernel's queue can overflow; after
    // `watches` more watches (negative: no limit), adding one fails as when max_user_watches is reached.
    static void HoldReading(bool hold);
    static void FailWatchesAfter(int watches);

private:
    struct Session;
    void Run(std::shared_ptr<Session> s);
    void AddTree(Session& s, const std::string& rel, bool reportWhole);
    void DropTree(Session& s, const std::string& rel);
    void Handle(Session& s, const char* buf, std::size_t len);
    void Push(const std::string& rel, std::string name, bool replaced);
    void Raise(Trouble t);
    void WakeLocked();

    Filter filter_;
    std::shared_ptr<Session> session_;
    std::thread thread_;

    std::mutex mu_;  // guards what follows
    std::condition_variable readyCv_;
    std::string root_;  // as given to Start
    std::deque<Change> queue_;
    std::unordered_map<std::string, std::uint64_t> queued_;  // folder + '\0' + name -> sequence number
    std::uint64_t frontSeq_ = 0;                             // sequence number of queue_.front()
    Trouble trouble_ = Trouble::None;
    std::function<void()> wake_;
    bool told_ = false;  // wake_ ran and Take has not emptied the queue since
    Stats stats_;
};

}  // namespace plat
