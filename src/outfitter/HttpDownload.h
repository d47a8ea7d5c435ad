// HttpDownload: one file fetched over HTTP into a new file of a folder, with
// the rules of HttpExchange (HTTPS only except to loopback, no redirect to a
// less safe address, a stall timeout) and a cap of its own: the bytes are
// streamed to the disk as they arrive, and a download that grows past
// `maxBytes` is ended at once.
//
// The file is made by the download itself: a new name in `folder` (made
// owner-only when missing), opened with O_CREAT|O_EXCL|O_NOFOLLOW and mode
// 0600, so that nothing already there, and no link planted there, is ever
// written through. The downloaded file lives as long as its DownloadedFile:
// destroying it deletes the file.
//
// Threads: start, cancel and destroy on the network manager's thread (the
// main thread); the completion runs there, once, after `start` returned,
// unless the download was cancelled or destroyed first.
#pragma once

#include <QUrl>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "outfitter/HttpExchange.h"

class QNetworkAccessManager;

namespace outfitter {

class DownloadedFile {
public:
    DownloadedFile(int folderFD, int fd, std::string name, std::filesystem::path folder);
    // Closes and deletes the file.
    ~DownloadedFile();
    DownloadedFile(const DownloadedFile&) = delete;
    DownloadedFile& operator=(const DownloadedFile&) = delete;

    // The file, open for reading and writing; its offset is not defined.
    int fd() const { return fd_; }
    std::filesystem::path path() const { return folder_ / name_; }
    // The file's size now, or nothing when it cannot be learnt.
    std::optional<std::uint64_t> size() const;

private:
    int folderFD_;
    int fd_;
    std::string name_;
    std::filesystem::path folder_;
};

class HttpDownload {
public:
    struct Request {
        QUrl url;
        std::filesystem::path folder;
        std::string fileName;  // the file's name starts with it
        std::int64_t maxBytes = 0;
        std::chrono::milliseconds timeout{30000};
        // Bytes so far, and the total the server announced (-1 when none).
        std::function<void(qint64 received, qint64 announced)> progress;
    };
    // The answer (with `bodyBytes` as the downloaded length), and the file
    // when the answer was received; otherwise the partial file is gone.
    using Completion = std::function<void(const HttpAnswer&, std::unique_ptr<DownloadedFile>)>;

    // Throws UpdateError (downloadFailed) when the file cannot be made.
    static std::unique_ptr<HttpDownload> start(QNetworkAccessManager& manager,
                                               const Request& request, Completion completion);
    // Cancels a running download and deletes its file.
    ~HttpDownload();
    HttpDownload(const HttpDownload&) = delete;
    HttpDownload& operator=(const HttpDownload&) = delete;

    void cancel();

    struct State {
        std::unique_ptr<DownloadedFile> file;
        int writeError = 0;
    };

private:
    HttpDownload() = default;
    std::unique_ptr<HttpExchange> exchange_;
    std::shared_ptr<State> state_;
};

}  // namespace outfitter
