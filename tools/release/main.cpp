// quillfen-release: makes the signing key pair of Quillfen's updates, signs
// release archives, and writes their entries into the update feed (the
// appcast). The secret key stays in a file of the maker's, never in a
// repository: the tool refuses to write it inside a Git work tree.
//
//   quillfen-release generate-keys SECRET-KEY-FILE
//   quillfen-release public-key SECRET-KEY-FILE
//   quillfen-release sign SECRET-KEY-FILE ARCHIVE
//   quillfen-release verify PUBLIC-KEY SIGNATURE ARCHIVE
//   quillfen-release appcast --key FILE --archive FILE --version V --url URL
//                            [--short-version S] [--notes FILE] [--notes-link URL]
//                            [--link URL] [--title TEXT] APPCAST
//
// SECRET-KEY-FILE may be "-" for the standard input. Exit codes: 0 success,
// 1 a check failed (a signature that does not verify, a refused archive),
// 2 the command line is wrong, 3 a file could not be read or written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QByteArray>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>

#include "keel/FileManager.h"
#include "outfitter/Appcast.h"
#include "outfitter/ArchiveUnpacker.h"
#include "outfitter/UpdateError.h"
#include "outfitter/UpdateSignature.h"
#include "outfitter/UpdateVersion.h"

namespace fs = std::filesystem;
using outfitter::Appcast;
using outfitter::AppcastItem;
using outfitter::UpdateSignature;
using outfitter::UpdateVersion;

namespace {

struct Failure : std::runtime_error {
    Failure(int exitCode, const std::string& message)
        : std::runtime_error(message), code(exitCode) {}
    int code;
};

std::string readAll(const std::string& path) {
    if (path == "-") {
        return std::string(std::istreambuf_iterator<char>(std::cin), {});
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) throw Failure(3, path + ": " + std::strerror(errno));
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (!file && !file.eof()) throw Failure(3, path + ": cannot be read");
    return bytes.str();
}

std::string secretKeyFrom(const std::string& path) {
    std::string key = readAll(path);
    while (!key.empty() && (key.back() == '\n' || key.back() == '\r' || key.back() == ' '))
        key.pop_back();
    if (!UpdateSignature::publicKeyOf(key)) throw Failure(1, path + ": not a secret key");
    return key;
}

// Whether `folder` or a folder above it holds a Git repository.
bool isInsideGitWorkTree(fs::path folder) {
    std::error_code ignored;
    folder = fs::weakly_canonical(folder, ignored);
    for (; !folder.empty(); folder = folder.parent_path()) {
        if (fs::exists(folder / ".git", ignored)) return true;
        if (folder == folder.root_path()) break;
    }
    return false;
}

int generateKeys(const std::string& path) {
    const fs::path file = fs::absolute(path);
    if (isInsideGitWorkTree(file.parent_path()))
        throw Failure(1, path +
                             ": inside a Git work tree; keep the secret key out of every "
                             "repository");
    const auto pair = UpdateSignature::generateKeyPair();
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) throw Failure(3, path + ": " + std::strerror(errno));
    const std::string line = pair.secretKey + "\n";
    const bool written =
        ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
        ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        ::unlink(file.c_str());
        throw Failure(3, path + ": cannot be written");
    }
    std::cout << pair.publicKey << "\n";
    std::cerr << "The secret key is in " << path
              << "; build Quillfen with -DQUILLFEN_UPDATE_PUBLIC_KEY=" << pair.publicKey << "\n";
    return 0;
}

// Unpacks the archive by the updater's rules into a folder that is removed
// again: a release the updater would refuse is refused here first.
void checkArchive(const std::string& path) {
    std::string pattern = (fs::temp_directory_path() / "quillfen-release-XXXXXX").string();
    const char* folder = ::mkdtemp(pattern.data());
    if (!folder) throw Failure(3, std::string("temporary folder: ") + std::strerror(errno));
    const int archive = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int destination = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string refusal;
    try {
        if (archive < 0 || destination < 0) throw Failure(3, path + ": " + std::strerror(errno));
        outfitter::ArchiveUnpacker::unpackArchive(archive, destination);
        std::error_code ignored;
        if (!fs::is_regular_file(fs::path(folder) / "bin" / "quillfen-gui", ignored) &&
            !fs::is_regular_file(fs::path(folder) / "bin" / "quillfen", ignored))
            refusal = "it holds neither bin/quillfen-gui nor bin/quillfen";
    } catch (const outfitter::UpdateError& error) {
        refusal = error.what();
    }
    if (archive >= 0) ::close(archive);
    if (destination >= 0) ::close(destination);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    if (!refusal.empty()) throw Failure(1, path + ": the updater would refuse it: " + refusal);
}

std::string rfc822Now() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[parts.tm_wday],
                  parts.tm_mday, kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour,
                  parts.tm_min, parts.tm_sec);
    return text;
}

std::string typeOf(const std::string& archive) {
    const auto endsWith = [&archive](const std::string& end) {
        return archive.size() >= end.size() &&
               archive.compare(archive.size() - end.size(), end.size(), end) == 0;
    };
    if (endsWith(".tar.xz")) return "application/x-xz";
    if (endsWith(".tar.gz") || endsWith(".tgz")) return "application/gzip";
    if (endsWith(".tar.zst")) return "application/zstd";
    if (endsWith(".tar")) return "application/x-tar";
    return "application/octet-stream";
}

struct AppcastOptions {
    std::string key, archive, version, shortVersion, url, notes, notesLink, link, title, appcast;
};

int writeAppcastEntry(const AppcastOptions& options) {
    const auto version = UpdateVersion::parse(options.version);
    if (!version) throw Failure(2, options.version + ": a version is numbers separated by dots");
    const std::string secretKey = secretKeyFrom(options.key);
    checkArchive(options.archive);
    const std::string bytes = readAll(options.archive);

    AppcastItem item;
    item.title =
        options.title.empty()
            ? "Quillfen " + (options.shortVersion.empty() ? options.version : options.shortVersion)
            : options.title;
    item.link = options.link;
    item.version = version->text();
    item.shortVersion = options.shortVersion;
    if (!options.notes.empty()) item.releaseNotes = readAll(options.notes);
    item.releaseNotesLink = options.notesLink;
    item.pubDate = rfc822Now();
    item.os = "linux";
    item.enclosureURL = options.url;
    item.enclosureLength = static_cast<std::int64_t>(bytes.size());
    item.enclosureType = typeOf(options.archive);
    item.edSignature = UpdateSignature::sign(bytes, secretKey);
    // What the updater will do with it, done once here.
    const auto publicKey =
        UpdateSignature::decodePublicKey(*UpdateSignature::publicKeyOf(secretKey));
    const auto signature = UpdateSignature::decodeSignature(item.edSignature);
    if (!UpdateSignature::verify(bytes, *signature, *publicKey))
        throw Failure(1, "the signature does not verify");

    Appcast appcast;
    appcast.title = "Quillfen";
    std::error_code ignored;
    if (fs::exists(options.appcast, ignored)) {
        try {
            appcast = Appcast::parse(QByteArray::fromStdString(readAll(options.appcast)));
        } catch (const outfitter::UpdateError& error) {
            throw Failure(1, options.appcast + ": " + error.what());
        }
    }
    std::erase_if(appcast.items, [&](const AppcastItem& old) {
        const auto oldVersion = old.parsedVersion();
        return oldVersion && *oldVersion == *version && (old.os.empty() || old.os == item.os);
    });
    appcast.items.push_back(item);
    // Newest first; items without a version that compares go last.
    std::stable_sort(appcast.items.begin(), appcast.items.end(),
                     [](const AppcastItem& a, const AppcastItem& b) {
                         const auto va = a.parsedVersion();
                         const auto vb = b.parsedVersion();
                         if (!va || !vb) return va.has_value() && !vb.has_value();
                         return *va > *vb;
                     });
    const QByteArray document = appcast.write();
    try {
        keel::FileManager::writeAtomically(options.appcast,
                                           std::string_view(document.constData(), document.size()));
    } catch (const std::exception& error) {
        throw Failure(3, error.what());
    }
    std::cout << item.edSignature << " " << bytes.size() << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Makes the signing keys of Quillfen's updates, signs release archives and "
        "writes their entries into the update feed."};
    app.require_subcommand(1);

    std::string keyFile, archive, publicKey, signature;
    auto* generate = app.add_subcommand("generate-keys",
                                        "Make a key pair: the secret key goes into a new file "
                                        "(mode 0600), the public key is printed");
    generate->add_option("SECRET-KEY-FILE", keyFile)->required();
    auto* show = app.add_subcommand("public-key", "Print the public key of a secret key");
    show->add_option("SECRET-KEY-FILE", keyFile)->required();
    auto* sign = app.add_subcommand("sign", "Print an archive's signature and length");
    sign->add_option("SECRET-KEY-FILE", keyFile)->required();
    sign->add_option("ARCHIVE", archive)->required()->check(CLI::ExistingFile);
    auto* verify = app.add_subcommand("verify", "Check an archive's signature");
    verify->add_option("PUBLIC-KEY", publicKey)->required();
    verify->add_option("SIGNATURE", signature)->required();
    verify->add_option("ARCHIVE", archive)->required()->check(CLI::ExistingFile);
    AppcastOptions options;
    auto* appcast = app.add_subcommand(
        "appcast", "Sign an archive and write its entry into the feed (made when missing)");
    appcast->add_option("--key", options.key, "The secret key file")->required();
    appcast->add_option("--archive", options.archive, "The release archive")
        ->required()
        ->check(CLI::ExistingFile);
    appcast->add_option("--version", options.version, "The release's version, such as 1.3.0")
        ->required();
    appcast->add_option("--url", options.url, "The HTTPS address the archive is published at")
        ->required();
    appcast->add_option("--short-version", options.shortVersion, "The version as shown");
    appcast->add_option("--notes", options.notes, "A file with the release notes");
    appcast->add_option("--notes-link", options.notesLink, "The address of the release notes");
    appcast->add_option("--link", options.link, "The release's web page");
    appcast->add_option("--title", options.title, "The entry's title");
    appcast->add_option("APPCAST", options.appcast, "The feed file")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 2;
    }
    try {
        if (*generate) return generateKeys(keyFile);
        if (*show) {
            std::cout << *UpdateSignature::publicKeyOf(secretKeyFrom(keyFile)) << "\n";
            return 0;
        }
        if (*sign) {
            const std::string secretKey = secretKeyFrom(keyFile);
            const std::string bytes = readAll(archive);
            std::cout << UpdateSignature::sign(bytes, secretKey) << " " << bytes.size() << "\n";
            return 0;
        }
        if (*verify) {
            const auto key = UpdateSignature::decodePublicKey(publicKey);
            const auto decoded = UpdateSignature::decodeSignature(signature);
            if (!key) throw Failure(2, "not a public key");
            if (!decoded) throw Failure(2, "not a signature");
            if (!UpdateSignature::verify(readAll(archive), *decoded, *key))
                throw Failure(1, archive + ": the signature does not verify");
            std::cout << "The signature is valid.\n";
            return 0;
        }
        if (*appcast) {
            if (QUrl(QString::fromStdString(options.url)).scheme() != QLatin1String("https"))
                throw Failure(2, options.url + ": the updater downloads over HTTPS only");
            return writeAppcastEntry(options);
        }
    } catch (const Failure& failure) {
        std::cerr << "quillfen-release: " << failure.what() << "\n";
        return failure.code;
    } catch (const std::exception& error) {
        std::cerr << "quillfen-release: " << error.what() << "\n";
        return 3;
    }
    return 2;
}
