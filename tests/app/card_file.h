// A card as the program itself writes it, so that tests put on disk exactly what a save would leave.
#pragma once

#include <string>

#include "store/xml_record_set.h"

inline std::string CardFile(const DatumCard& card) {
    XmlRecordSet x;
    x.card = card;
    plat::StringSink sink;
    x.WriteCard(sink);
    return sink.data;
}
