#include "history/tree_edit.h"

namespace history {
namespace {

std::string GitError(const char* what) {
    const git_error* e = git_error_last();
    return e && e->message ? std::string(what) + "：" + e->message : std::string(what);
}

}  // namespace

void TreeEdit::Set(const std::string& path, const std::optional<git_oid>& blob, bool ifMissing) {
    Node* node = &root_;
    std::size_t from = 0;
    while (from <= path.size()) {
        std::size_t to = path.find('/', from);
        if (to == std::string::npos) to = path.size();
        if (to > from) node = &node->children[path.substr(from, to - from)];
        from = to + 1;
    }
    if (node == &root_) return;  // no name at all
    node->leaf = true;
    node->blob = blob;
    node->ifMissing = ifMissing;
    node->children.clear();
}

bool TreeEdit::Write(git_repository* repo, const git_tree* base, git_oid& out, std::string& error) const {
    std::optional<git_oid> written;
    if (!WriteNode(repo, base, root_, written, error)) return false;
    if (written) {
        out = *written;
        return true;
    }
    // Every card gone: the commit still needs a tree, the empty one.
    git_treebuilder* empty = nullptr;
    const bool ok = git_treebuilder_new(&empty, repo, nullptr) == 0 && git_treebuilder_write(&out, empty) == 0;
    git_treebuilder_free(empty);
    if (!ok) error = GitError("不能写入历史库");
    return ok;
}

bool TreeEdit::WriteNode(git_repository* repo, const git_tree* base, const Node& node, std::optional<git_oid>& out,
                         std::string& error) {
    git_treebuilder* builder = nullptr;
    if (git_treebuilder_new(&builder, repo, base) != 0) {
        error = GitError("不能写入历史库");
        return false;
    }
    bool ok = true;
    for (auto it = node.children.begin(); ok && it != node.children.end(); ++it) {
        const std::string& name = it->first;
        const Node& child = it->second;
        std::optional<git_oid> result;
        if (child.leaf && child.ifMissing && git_treebuilder_get(builder, name.c_str())) {
            continue;
        } else if (child.leaf) {
            result = child.blob;
        } else {
            git_tree* sub = nullptr;
            const git_tree_entry* entry = base ? git_tree_entry_byname(base, name.c_str()) : nullptr;
            if (entry && git_tree_entry_type(entry) == GIT_OBJECT_TREE)
                git_tree_lookup(&sub, repo, git_tree_entry_id(entry));
            ok = WriteNode(repo, sub, child, result, error);
            git_tree_free(sub);
            if (!ok) break;
        }
        if (result) {
            const git_filemode_t mode = child.leaf ? GIT_FILEMODE_BLOB : GIT_FILEMODE_TREE;
            ok = git_treebuilder_insert(nullptr, builder, name.c_str(), &*result, mode) == 0;
            if (!ok) error = GitError("历史库中不能记下这个名字");
        } else if (git_treebuilder_get(builder, name.c_str())) {
            ok = git_treebuilder_remove(builder, name.c_str()) == 0;
        }
    }
    if (ok && git_treebuilder_entrycount(builder) > 0) {
        git_oid id;
        ok = git_treebuilder_write(&id, builder) == 0;
        if (ok)
            out = id;
        else
            error = GitError("不能写入历史库");
    } else if (ok) {
        out.reset();  // an empty folder is no tree in git
    }
    git_treebuilder_free(builder);
    return ok;
}

std::optional<std::string> LastBlob(git_repository* repo, const std::string& path) {
    git_object* tree = nullptr;
    if (git_revparse_single(&tree, repo, "refs/heads/main^{tree}") != 0) return std::nullopt;
    git_tree_entry* entry = nullptr;
    std::optional<std::string> blob;
    if (git_tree_entry_bypath(&entry, reinterpret_cast<git_tree*>(tree), path.c_str()) == 0 &&
        git_tree_entry_type(entry) == GIT_OBJECT_BLOB) {
        char hex[GIT_OID_HEXSZ + 1];
        git_oid_tostr(hex, sizeof hex, git_tree_entry_id(entry));
        blob = hex;
    }
    git_tree_entry_free(entry);
    git_object_free(tree);
    return blob;
}

}  // namespace history
