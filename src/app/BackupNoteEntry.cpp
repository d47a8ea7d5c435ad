#include "app/BackupNoteEntry.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <cstddef>
#include <memory>
#include <stdexcept>

#include "backup/BackupFile.h"

namespace quillfen {

namespace {

// `text` with each line break (LF, CR LF or a lone CR) replaced by one space,
// so that a note written on any system reads as one line.
std::string oneLine(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            result += ' ';
        } else if (text[i] == '\n') {
            result += ' ';
        } else {
            result += text[i];
        }
    }
    return result;
}

// The byte length of the first `count` user-perceived characters of UTF-8
// `text`. Cutting at such a boundary never splits a multi-byte sequence nor
// separates a letter from its accents. Should the break iterator be
// unavailable, whole code points are counted instead.
std::size_t prefixLength(const std::string& text, int count) {
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_SUCCESS(status) && utext && characters) {
        characters->setText(utext, status);
        std::size_t length = text.size();
        if (U_SUCCESS(status)) {
            const int32_t boundary = characters->next(count);
            if (boundary != icu::BreakIterator::DONE) length = static_cast<std::size_t>(boundary);
        }
        // The iterator keeps its own copy of the text's state.
        characters.reset();
        utext_close(utext);
        if (U_SUCCESS(status)) return length;
    } else if (utext) {
        utext_close(utext);
    }

    std::size_t length = 0;
    for (int seen = 0; length < text.size(); ++length) {
        const auto byte = static_cast<unsigned char>(text[length]);
        if ((byte & 0xC0) != 0x80 && seen++ == count) break;
    }
    return length;
}

}  // namespace

BackupNoteEntry BackupNoteEntry::make(const std::shared_ptr<BackupFile>& file) {
    if (!file) throw std::invalid_argument("BackupNoteEntry needs a backup file");
    BackupNoteEntry entry;
    entry.file = file;
    if (const auto note = file->note()) entry.string = note->content;
    return entry;
}

std::string BackupNoteEntry::title() const {
    if (!string) return {};
    const std::string line = oneLine(*string);
    return line.substr(0, prefixLength(line, titleLength));
}

}  // namespace quillfen
