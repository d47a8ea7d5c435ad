// JournalReader: this program's messages in the systemd journal.
//
// Thread safety: callable from any thread; each call opens the journal anew.
#pragma once

#include <cstdint>
#include <vector>

#include "outfitter/SystemSources.h"

namespace outfitter {

struct JournalReader {
    // The messages that this user's processes of this program's name (its
    // "comm") logged since `since`, oldest first, read from the newest
    // backwards: when `lengthHint` is positive, reading stops once the texts
    // read hold more than that many characters. At most 100 000 messages.
    // Empty where there is no journal or it cannot be read.
    static std::vector<ConsoleMessage> messages(keel::Date since, std::int64_t lengthHint);
};

}  // namespace outfitter
