// InstallSteps: the file-system calls an update makes, on descriptors and
// never through links, each passing keel's FileSystemFaults checkpoint first
// so that tests can fail any step, and each throwing UpdateError
// (installFailed) with the name and the system's error when it fails.
//
// Thread safety: the functions share nothing; call them from any thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "keel/FileDescriptor.h"

namespace outfitter::InstallSteps {

// An open descriptor, closed with the object.
using Descriptor = keel::FileDescriptor;

[[noreturn]] void fail(const std::string& name, int error);

// The folder `name` in `parent` (or the path `name` when `parent` is
// AT_FDCWD), opened without following a link; nothing when it is missing.
std::optional<Descriptor> openFolder(int parent, const std::string& name);
// Like openFolder, and makes it (mode 0755 exactly) when missing.
Descriptor openOrMakeFolder(int parent, const std::string& name);
// A new file, created exclusively (O_EXCL|O_NOFOLLOW) with mode 0600.
Descriptor createFile(int parent, const std::string& name);
void writeAll(int fd, std::string_view bytes, const std::string& name);
void setMode(int fd, mode_t mode, const std::string& name);
// Flushes a file or a folder's entries.
void flush(int fd, const std::string& name);
// Flushes the whole file system that holds `fd`.
void flushFileSystem(int fd, const std::string& name);
void rename(int fromParent, const std::string& from, int toParent, const std::string& to);
void makeLink(const std::string& target, int parent, const std::string& name);
void makeHardLink(int fromParent, const std::string& from, int toParent, const std::string& to);
void remove(int parent, const std::string& name, bool folder);
// Removes `name` in `parent`, a folder with everything in it, never
// following a link. Does nothing when it is missing.
void removeTree(int parent, const std::string& name);

// The target of the link `name` in `parent`; nothing when it is not a link.
std::optional<std::string> readLink(int parent, const std::string& name);
// A name no other process picks at the same moment.
std::string uniqueName(std::string_view stem);

}  // namespace outfitter::InstallSteps
