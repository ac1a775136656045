// Inside the history store: a set of path changes turned into new trees, written from the bottom up so that
// each folder on the way is rewritten once however many of its cards change, and folders no change reaches
// keep their tree as it is.
#pragma once

#include <git2.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace history {

class TreeEdit {
public:
    // `path` ('/' between folders) gets `blob`, or is removed (with all below it) when there is none;
    // `ifMissing`: only where the base has nothing of that name.
    void Set(const std::string& path, const std::optional<git_oid>& blob, bool ifMissing = false);
    bool Write(git_repository* repo, const git_tree* base, git_oid& out, std::string& error) const;

private:
    struct Node {
        std::map<std::string, Node> children;
        bool leaf = false;
        bool ifMissing = false;
        std::optional<git_oid> blob;
    };
    static bool WriteNode(git_repository* repo, const git_tree* base, const Node& node, std::optional<git_oid>& out,
                          std::string& error);
    Node root_;
};

// The text object at `path` in the branch's last commit (40 hex digits); none when the path has none.
std::optional<std::string> LastBlob(git_repository* repo, const std::string& path);

}  // namespace history
