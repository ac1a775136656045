// The watch's record in the index: three rows of `meta`, written in one statement after each change applied.
#include <time.h>

#include "search/index.h"
#include "search/index_internal.h"

namespace search {

bool Index::RecordWatch(bool current) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t ns = static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    Stmt st(db_,
            "INSERT INTO meta(key, value) VALUES('watch_generation', 1), ('watch_current', ?1), ('watch_as_of', ?2)"
            " ON CONFLICT(key) DO UPDATE SET value=CASE key WHEN 'watch_generation' THEN value+1"
            " ELSE excluded.value END");
    const bool ok = st.Bind(1, static_cast<std::int64_t>(current)).Bind(2, ns).Run();
    dataVersion_ = checkedVersion_ = -1;
    return ok;
}

Index::WatchState Index::ReadWatch() {
    WatchState w;
    Stmt st(db_, "SELECT key, value FROM meta WHERE key IN ('watch_generation', 'watch_current', 'watch_as_of')");
    while (st.Step() == SQLITE_ROW) {
        const std::string_view key = st.Text(0);
        if (key == "watch_generation") w.generation = st.Int(1);
        if (key == "watch_current") w.current = st.Int(1) != 0;
        if (key == "watch_as_of") w.asOfNs = st.Int(1);
    }
    return w;
}

}  // namespace search
