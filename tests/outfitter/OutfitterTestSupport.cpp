#include "OutfitterTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <fstream>
#include <stdexcept>

#include "keel/UserSettings.h"

namespace outfittertest {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QElapsedTimer elapsed;
    elapsed.start();
    // Wakes the loop now and then, so that `done` is asked again even when
    // no event arrives.
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (elapsed.hasExpired(timeout.count())) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void spinFor(std::chrono::milliseconds duration) {
    QElapsedTimer elapsed;
    elapsed.start();
    waitUntil([&] { return elapsed.hasExpired(duration.count()); }, duration * 2);
}

ScopedSettingsFile::ScopedSettingsFile() {
    if (!folder_.isValid()) throw std::runtime_error("no temporary folder");
    keel::UserSettings::standard().setFileURL(path());
}

ScopedSettingsFile::~ScopedSettingsFile() {
    keel::UserSettings::standard().setFileURL(keel::UserSettings::defaultFileURL());
}

std::filesystem::path ScopedSettingsFile::path() const {
    return std::filesystem::path(folder_.path().toStdString()) / "config" / "settings.json";
}

void writeFile(const std::filesystem::path& path, std::string_view content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

QNetworkReply* CountingNetworkAccessManager::createRequest(Operation operation,
                                                           const QNetworkRequest& request,
                                                           QIODevice* outgoingData) {
    ++requestCount_;
    return QNetworkAccessManager::createRequest(operation, request, outgoingData);
}

}  // namespace outfittertest
