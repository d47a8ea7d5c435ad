// UndoReport: what the undo command prints, as JSON documents and as text
// (see Report for the conventions both follow).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sync/UndoStore.h"

namespace quillfen::cli {

class UndoReport {
public:
    UndoReport() = delete;

    static nlohmann::json run(const UndoStore::Result& result);
    static nlohmann::json list(const UndoStore& store,
                               const std::vector<std::shared_ptr<UndoRun>>& runs);

    // What undo did; the paths left alone and the failures are not in it:
    // they go to standard error.
    static std::string text(const UndoStore::Result& result);
    static std::string listText(const UndoStore& store,
                                const std::vector<std::shared_ptr<UndoRun>>& runs);
};

}  // namespace quillfen::cli
