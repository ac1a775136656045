#include "crash/crash_replay.h"

#include <climits>
#include <filesystem>
#include <set>

#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace crash {
namespace {

constexpr long long kWhole = LLONG_MAX, kLost = -1, kBlock = 4096;
using Changes = std::map<size_t, long long>;  // call -> the file offset its write ends at, or kLost

std::string Parent(const std::string& p) {
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string() : p.substr(0, slash);
}
bool IsFolder(const Tree& t, const std::string& p) {
    const auto it = t.find(p);
    return p.empty() || (it != t.end() && !it->second);
}
bool HasChildren(const Tree& t, const std::string& p) {
    const auto it = t.lower_bound(p + "/");
    return it != t.end() && it->first.starts_with(p + "/");
}
bool IsSync(const Op& op) { return op.kind == Op::Fsync || op.kind == Op::SyncAll; }

// A rename moves a folder with everything below it; it does what the kernel would, or nothing.
void Move(Tree& t, const std::string& from, const std::string& to) {
    const auto src = t.find(from);
    if (src == t.end() || !IsFolder(t, Parent(to)) || to.starts_with(from + "/")) return;
    if (const auto dst = t.find(to); dst != t.end()) {
        if (!dst->second && HasChildren(t, to)) return;
        t.erase(dst);
    }
    Tree moved{{to, std::move(src->second)}};
    t.erase(src);
    for (auto it = t.lower_bound(from + "/"); it != t.end() && it->first.starts_with(from + "/");) {
        moved[to + it->first.substr(from.size())] = std::move(it->second);
        it = t.erase(it);
    }
    t.merge(moved);
}

// One call as the disk may hold it; a write only up to `end`. A call on a name the disk does not hold (its
// creation was lost) has nothing to act on.
void Apply(Tree& t, const Op& op, long long end) {
    const auto it = t.find(op.path);
    const bool file = it != t.end() && it->second;
    if ((op.kind == Op::Create || op.kind == Op::Mkdir) && it == t.end() && IsFolder(t, Parent(op.path)))
        t[op.path] = op.kind == Op::Create ? std::optional<std::string>("") : std::nullopt;
    if (op.kind == Op::Write && file) {
        const size_t at = op.at, n = std::min<long long>(end, op.at + op.data.size()) - op.at;
        if (it->second->size() < at + n) it->second->resize(at + n);
        it->second->replace(at, n, op.data, 0, n);
    }
    if (op.kind == Op::Truncate && file) it->second->clear();
    if (op.kind == Op::Unlink && it != t.end()) {
        const auto below = t.lower_bound(op.path + "/");  // a folder goes only when empty
        if (file || below == t.end() || !below->first.starts_with(op.path + "/")) t.erase(it);
    }
    if (op.kind == Op::Rename) Move(t, op.path, op.to);
}

// Which of the first `n` calls no crash after them can undo.
std::vector<bool> Durable(const std::vector<Op>& ops, size_t n) {
    std::vector<bool> durable(n);
    std::set<std::string> synced;
    bool all = false;
    for (size_t i = n; i-- > 0;) {
        const Op& op = ops[i];
        all = all || op.kind == Op::SyncAll;
        if (op.kind == Op::Fsync) synced.insert(op.path);
        durable[i] = all || IsSync(op) ||
                     (op.kind == Op::Write || op.kind == Op::Truncate
                          ? synced.count(op.path) > 0
                          : synced.count(Parent(op.path)) && (op.to.empty() || synced.count(Parent(op.to))));
    }
    return durable;
}

// The ways a call that is not durable may stand after the crash, besides whole: lost, or cut.
std::vector<long long> Partial(const Op& op) {
    std::vector<long long> ends{kLost};
    if (op.kind == Op::Write)
        for (long long b = (op.at / kBlock + 1) * kBlock; b < op.at + static_cast<long long>(op.data.size());
             b += kBlock)
            ends.push_back(b);
    return ends;
}

Tree Build(const Tree& before, const std::vector<Op>& ops, size_t n, const Changes& changes) {
    Tree t = before;
    for (size_t i = 0; i < n; ++i) {
        const auto c = changes.find(i);
        const long long end = c == changes.end() ? kWhole : c->second;
        if (end != kLost) Apply(t, ops[i], end);
    }
    return t;
}

std::string Judge(const Tree& view, const std::function<std::string()>& read) {
    TempProgramDir scratch;  // the current folder while it lives
    for (const auto& [path, bytes] : view) bytes ? scratch.WriteFile(path, *bytes) : scratch.MakeDir(path);
    return read();
}

}  // namespace

Tree Snapshot(const std::string& nativeRoot) {
    Tree t;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(nativeRoot)) {
        const std::string rel = e.path().lexically_relative(nativeRoot).string();
        t[rel] =
            e.is_directory() ? std::nullopt : std::optional<std::string>(ReadNativeFile(e.path().string()));
    }
    return t;
}

std::string Describe(const Op& op) {
    static const char* const kNames[] = {"create", "mkdir",  "write",  "rename",
                                         "unlink", "fsync", "syncfs", "truncate"};
    std::string s = std::string(kNames[op.kind]) + " " + op.path + (op.to.empty() ? "" : " -> " + op.to);
    if (op.kind == Op::Write)
        s += " [" + std::to_string(op.at) + ", +" + std::to_string(op.data.size()) + ")";
    return s;
}

Tally Explore(const Tree& before, const std::vector<Op>& ops,
              const std::function<bool(const std::string&)>& visible,
              const std::function<std::string()>& read, const std::string& old, const std::string& neu) {
    Tally tally;
    std::map<std::pair<Tree, bool>, std::string> seen;  // what the reader found, per view and completion
    auto judge = [&](size_t n, const Changes& changes) {
        ++tally.explored;
        Tree view;
        for (auto& entry : Build(before, ops, n, changes))
            if (visible(entry.first)) view.insert(std::move(entry));
        const bool completed = n == ops.size();
        auto [it, fresh] = seen.try_emplace({std::move(view), completed});
        if (fresh) {
            ++tally.distinct;
            it->second = Judge(it->first.first, read);
        }
        if (it->second == neu || (it->second == old && !completed)) return;
        if (++tally.failing > 3) return;
        std::string how = it->second.substr(0, 200) + "\n    after " + std::to_string(n) + " of " +
                          std::to_string(ops.size()) + " calls";
        for (const auto& [i, end] : changes)
            how += (end == kLost    ? "\n    lost: "
                    : end == kWhole ? "\n    kept: "
                                    : "\n    cut at " + std::to_string(end) + ": ") +
                   Describe(ops[i]);
        tally.firstFailures.push_back(how);
    };
    for (size_t n = 0; n <= ops.size(); ++n) {
        judge(n, {});
        const std::vector<bool> durable = Durable(ops, n);
        std::vector<size_t> loose;
        for (size_t i = 0; i < n; ++i)
            if (!durable[i]) loose.push_back(i);
        if (loose.empty()) continue;
        Changes none;
        for (size_t i : loose) none[i] = kLost;
        judge(n, none);
        for (size_t a = 0; a < loose.size(); ++a) {
            for (long long ea : Partial(ops[loose[a]])) {
                judge(n, {{loose[a], ea}});
                Changes alone = none;  // this one reached the disk, whole or cut, and no other
                alone[loose[a]] = ea == kLost ? kWhole : ea;
                judge(n, alone);
                const bool syncNext = n == ops.size() || IsSync(ops[n]);  // where the most calls are loose
                for (size_t b = std::max(a + 1, loose.size() - std::min(loose.size(), kPairWindow));
                     syncNext && b < loose.size(); ++b)
                    for (long long eb : Partial(ops[loose[b]])) judge(n, {{loose[a], ea}, {loose[b], eb}});
            }
        }
    }
    return tally;
}

}  // namespace crash
