// The commands about this computer rather than the package: access to the
// disk, the exclusion list and the catalog of known applications and tools.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/Command.h"

namespace quillfen::cli {

// "authorize": grants access to the disk, after asking on a terminal.
class AuthorizeCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    bool yes_ = false;
};

// "exclude": lists, adds to, removes from or sorts the folders and files
// Quillfen leaves alone.
class ExcludeCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    std::string action_ = "list";
    std::vector<std::string> paths_;
};

// "catalog": lists the catalog, or shows the settings paths this computer
// uses for one name; with --all-platforms also the catalog's paths for a Mac
// and for Linux.
class CatalogCommand : public Command {
public:
    CLI::App* define(CLI::App& program) override;
    int run(const GlobalOptions& options, const Printer& print) override;

private:
    std::optional<std::string> name_;
    bool allPlatforms_ = false;
};

}  // namespace quillfen::cli
