// Helpers of the release kit's tests: waiting on the event loop, a settings
// file of the test's own, and a network manager that counts its requests.
#pragma once

#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string_view>

namespace outfittertest {

// Runs the event loop (and with it keel's main queue) until `done` answers
// true; false when `timeout` passed first.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));
// Runs the event loop for `duration`, for tests that check that nothing happens.
void spinFor(std::chrono::milliseconds duration);

// Points the settings store at a fresh file in a temporary folder, and back at
// the default file when the object goes away.
class ScopedSettingsFile {
public:
    ScopedSettingsFile();
    ~ScopedSettingsFile();
    ScopedSettingsFile(const ScopedSettingsFile&) = delete;
    ScopedSettingsFile& operator=(const ScopedSettingsFile&) = delete;

    std::filesystem::path path() const;

private:
    QTemporaryDir folder_;
};

// Writes `content` to `path`, creating the folders above it.
void writeFile(const std::filesystem::path& path, std::string_view content);

// A network manager that counts the requests it was asked to make.
class CountingNetworkAccessManager : public QNetworkAccessManager {
public:
    int requestCount() const { return requestCount_; }

protected:
    QNetworkReply* createRequest(Operation operation, const QNetworkRequest& request,
                                 QIODevice* outgoingData) override;

private:
    int requestCount_ = 0;
};

}  // namespace outfittertest
