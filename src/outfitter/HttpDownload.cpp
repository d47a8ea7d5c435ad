#include "outfitter/HttpDownload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "outfitter/UpdateError.h"

namespace fs = std::filesystem;

namespace outfitter {

namespace {

[[noreturn]] void failWith(const std::string& what, int error) {
    throw UpdateError(UpdateError::Kind::downloadFailed, what + ": " + std::strerror(error));
}

// The download folder, made owner-only when it is missing, opened without
// following a link; it must belong to this user.
int openFolder(const fs::path& folder) {
    std::error_code ignored;
    fs::create_directories(folder.parent_path(), ignored);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) failWith(folder.string(), errno);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) failWith(folder.string(), errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_uid != ::geteuid()) {
        ::close(fd);
        failWith(folder.string(), EPERM);
    }
    return fd;
}

std::string randomSuffix() {
    std::random_device random;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string suffix;
    for (int i = 0; i < 12; ++i)
        suffix += kDigits[random() % 16];
    return suffix;
}

bool writeAll(int fd, const QByteArray& chunk) {
    const char* data = chunk.constData();
    qsizetype left = chunk.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        left -= written;
    }
    return true;
}

}  // namespace

DownloadedFile::DownloadedFile(int folderFD, int fd, std::string name, fs::path folder)
    : folderFD_(folderFD), fd_(fd), name_(std::move(name)), folder_(std::move(folder)) {}

DownloadedFile::~DownloadedFile() {
    ::unlinkat(folderFD_, name_.c_str(), 0);
    ::close(fd_);
    ::close(folderFD_);
}

std::optional<std::uint64_t> DownloadedFile::size() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

std::unique_ptr<HttpDownload> HttpDownload::start(QNetworkAccessManager& manager,
                                                  const Request& request, Completion completion) {
    const int folderFD = openFolder(request.folder);
    std::string name;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        name = request.fileName + "-" + randomSuffix() + ".download";
        fd = ::openat(folderFD, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0600);
        if (fd < 0 && errno != EEXIST) {
            const int error = errno;
            ::close(folderFD);
            failWith((request.folder / name).string(), error);
        }
    }
    if (fd < 0) {
        ::close(folderFD);
        failWith(request.folder.string(), EEXIST);
    }

    std::unique_ptr<HttpDownload> download(new HttpDownload());
    download->state_ = std::make_shared<State>();
    download->state_->file = std::make_unique<DownloadedFile>(folderFD, fd, name, request.folder);
    auto state = download->state_;

    HttpRequest exchange;
    exchange.url = request.url;
    exchange.method = "GET";
    exchange.timeout = request.timeout;
    exchange.maxAnswerBytes = request.maxBytes;
    exchange.progress = request.progress;
    exchange.bodySink = [state](const QByteArray& chunk) {
        if (!state->file) return false;
        if (writeAll(state->file->fd(), chunk)) return true;
        state->writeError = errno;
        return false;
    };
    download->exchange_ = HttpExchange::start(
        manager, exchange, [state, completion = std::move(completion)](const HttpAnswer& answer) {
            std::unique_ptr<DownloadedFile> taken = std::move(state->file);
            HttpAnswer told = answer;
            if (state->writeError != 0 && taken)
                told.error = QStringLiteral("%1: %2").arg(
                    QString::fromStdString(taken->path().string()),
                    QString::fromLocal8Bit(std::strerror(state->writeError)));
            if (!told.succeeded()) taken.reset();
            completion(told, std::move(taken));
        });
    return download;
}

HttpDownload::~HttpDownload() {
    cancel();
}

void HttpDownload::cancel() {
    if (exchange_) exchange_->cancel();
    if (state_) state_->file.reset();
}

}  // namespace outfitter
