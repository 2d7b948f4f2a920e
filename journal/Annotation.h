#pragma once

#include "journal/Record.h"
#include "journal/Station.h"

namespace lorimet::journal {

// A note on the record `target` made now by the account the program runs under: kind annotation,
// `corrects` the target's id, `invalidates` whether it marks the target invalid. It is not yet numbered in
// the station's chain; the store does that when it is appended.
Record makeAnnotation(const Station& station, const Record& target, const QString& note, bool invalid,
                      const QString& appVersion);

} // namespace lorimet::journal
