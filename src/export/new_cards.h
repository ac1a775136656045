// Cards an import writes, in batches: each card's bytes go to a file of their own, a batch reaches the disk in
// one flush, and only then does each file get its name, "NAME.datum.xml" or, when that is taken, "NAME (2)"
// and so on, never replacing anything. A power cut leaves whole cards and nameless temporary files, never a
// card cut short; one flush per batch instead of one per card keeps an import of many notes quick.
#pragma once

#include <string>
#include <vector>

namespace exporting {

class NewCards {
public:
    struct Done {
        std::string card;    // native path of the card written ("" when it failed)
        std::string source;  // what Add was told, handed back
        int err = 0;         // the system's error when it failed
    };

    NewCards() = default;
    ~NewCards();  // what is still pending is removed, not named
    NewCards(const NewCards&) = delete;
    NewCards& operator=(const NewCards&) = delete;

    // folder: native, existing. False (with errno in `err`) when the bytes could not be written.
    bool Add(const std::string& folder, const std::string& stem, const std::string& bytes, const std::string& source,
             int& err);
    bool Full() const { return pending_.size() >= 256; }
    // Flushes what is pending and names it; appends the outcomes in the order of Add.
    void Flush(std::vector<Done>& done);

private:
    struct Pending {
        std::string tmp, folder, stem, source;
    };
    std::vector<Pending> pending_;
};

}  // namespace exporting
