// A card that changes its name or place: its fields rewritten in place by one atomic write, then the file
// renamed by one rename that never replaces another file. A power cut leaves it whole under one of the two
// names; a failure names the file and the reason and leaves the card as it was.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "store/xml_record_set.h"

// Rewrites the card at `from` (internal path) with `change` applied to its fields, then moves it to `to`
// (the same path: rewritten only). False with the reason in `error` (GBK); the card then stays as it was.
bool RelocateCard(const std::string& from, const std::string& to, const std::function<void(DatumCard&)>& change,
                  std::string& error);


// The title the card file holds; "" when it cannot be read.
std::string CardTitle(const std::string& path);
