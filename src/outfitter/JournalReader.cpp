#include "outfitter/JournalReader.h"

#include <systemd/sd-journal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

namespace outfitter {

namespace {

constexpr std::size_t kMaximumMessages = 100000;

std::string processComm() {
    std::ifstream file("/proc/self/comm");
    std::string comm;
    std::getline(file, comm);
    return comm;
}

std::optional<std::string> field(sd_journal* journal, const char* name) {
    const void* data = nullptr;
    size_t length = 0;
    if (sd_journal_get_data(journal, name, &data, &length) < 0) return std::nullopt;
    const std::string_view entry(static_cast<const char*>(data), length);
    const auto equals = entry.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return std::string(entry.substr(equals + 1));
}

}  // namespace

std::vector<ConsoleMessage> JournalReader::messages(keel::Date since, std::int64_t lengthHint) {
    const std::string comm = processComm();
    if (comm.empty()) return {};
    sd_journal* journal = nullptr;
    if (sd_journal_open(&journal, SD_JOURNAL_LOCAL_ONLY) < 0) return {};
    const std::string uidMatch = "_UID=" + std::to_string(::getuid());
    const std::string commMatch = "_COMM=" + comm;
    std::vector<ConsoleMessage> newestFirst;
    if (sd_journal_add_match(journal, uidMatch.c_str(), 0) >= 0 &&
        sd_journal_add_match(journal, commMatch.c_str(), 0) >= 0 &&
        sd_journal_seek_tail(journal) >= 0) {
        const double sinceSeconds = since.timeIntervalSince1970();
        std::int64_t characters = 0;
        while (newestFirst.size() < kMaximumMessages && sd_journal_previous(journal) > 0) {
            std::uint64_t microseconds = 0;
            if (sd_journal_get_realtime_usec(journal, &microseconds) < 0) continue;
            const double seconds = static_cast<double>(microseconds) / 1e6;
            if (seconds < sinceSeconds) break;
            auto text = field(journal, "MESSAGE");
            if (!text) continue;
            auto sender = field(journal, "SYSLOG_IDENTIFIER");
            if (!sender) sender = field(journal, "_COMM");
            characters += static_cast<std::int64_t>(text->size());
            newestFirst.push_back(
                {keel::Date::fromUnixTime(seconds), sender.value_or(""), std::move(*text)});
            if (lengthHint > 0 && characters > lengthHint) break;
        }
    }
    sd_journal_close(journal);
    std::reverse(newestFirst.begin(), newestFirst.end());
    return newestFirst;
}

}  // namespace outfitter
