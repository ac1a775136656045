// What the tree's actions did that can be taken back, the last first, for as long as the program runs: a
// delete (the thing is in the trash) or a move or rename (it stands under another name). Taking a step back
// checks the disk as it is now: it never puts anything over what stands in the old place, and a thing no
// longer where the step left it (restored from the trash by the file manager, moved on by a sync tool) is
// told, not guessed at.
#pragma once

#include <string>
#include <vector>

#include "platform/trash.h"

class UndoList {
public:
    enum class Kind { Delete, Move };
    struct Step {
        Kind kind = Kind::Delete;
        std::string path;           // internal: where it stood before the step (what a take-back restores)
        std::string now;            // Move: where the step put it (internal)
        plat::TrashedItem trashed;  // Delete: where it lies in the trash
        std::string label;          // how the questions named it (GBK)
        bool card = false;          // Move of a card: its title and class go back too
        std::string title, klass;   // what they were before the step (GBK)
    };

    void Push(Step step);
    bool Empty() const { return steps_.empty(); }
    const Step* Last() const { return steps_.empty() ? nullptr : &steps_.back(); }
    // Takes the last step back on disk; true with it in `step`. Else the reason in `error` (GBK, naming the
    // file): a step blocked by something in its old place stays to be tried again, one that can never be
    // taken back any more is dropped.
    bool Undo(Step& step, std::string& error);

private:
    std::vector<Step> steps_;
};
