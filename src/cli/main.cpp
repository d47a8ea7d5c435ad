// quillfen: opens the backup package (the default one in the support folder,
// or the one given with --package), prints what it holds and saves it, which
// creates it on first use.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "backup/BackupFileData.h"
#include "keel/Bundle.h"
#include "keel/FileManager.h"
#include "keel/Strings.h"

int main(int argc, char** argv) {
    keel::URL package;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillfen %s\n", keel::bundleShortVersion().c_str());
            return 0;
        }
        if (std::strcmp(argv[i], "--package") == 0 && i + 1 < argc) {
            package = argv[++i];
        } else {
            std::fprintf(stderr, "usage: quillfen [--package PATH] [--version]\n");
            return 2;
        }
    }
    if (package.empty()) {
        auto support = keel::FileManager::noSandboxBundleSupportDirectoryURL();
        if (!support) {
            std::fprintf(stderr, "quillfen: no home folder is known\n");
            return 3;
        }
        package = *support / "DefaultBackup.qfbackup";
    }
    try {
        quillfen::BackupFileData data(package);
        data.write();
        std::printf("Package: %s\n", keel::abreviatingTildeInPath(data.url().string()).c_str());
        std::printf(
            "Applications: %zu\nExecutables: %zu\nFiles: %zu\nBacked-up paths: %zu\nHistory: %zu\n",
            data.appItems().size(), data.execItems().size(), data.fileItems().size(),
            data.dataItems().size(), data.eventItems().size());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillfen: %s: %s\n", package.c_str(), e.what());
        return 3;
    }
    return 0;
}
