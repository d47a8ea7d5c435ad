#include "outfitter/UpdateForm.h"

#include <algorithm>

#include "keel/LocalizedString.h"

namespace outfitter {

double UpdateForm::fraction() const {
    if (totalBytes_ <= 0) return 0;
    return std::min(1.0, static_cast<double>(receivedBytes_) / static_cast<double>(totalBytes_));
}

bool UpdateForm::isBusy() const {
    return phase_ == Phase::downloading || phase_ == Phase::verifying ||
           phase_ == Phase::installing;
}

std::string UpdateForm::statusText() const {
    switch (phase_) {
        case Phase::idle:
            return {};
        case Phase::downloading:
            return keel::TL("UpdateFormDownloading", version_);
        case Phase::verifying:
            return keel::TL("UpdateFormVerifying", version_);
        case Phase::installing:
            return keel::TL("UpdateFormInstalling", version_);
        case Phase::installed:
            return keel::TL("UpdateFormInstalled", version_);
        case Phase::failed:
            return errorText_;
    }
    return {};
}

void UpdateForm::cancel() {
    if (!canCancel()) return;
    auto onCancel = onCancel_;
    if (onCancel) onCancel();
}

void UpdateForm::begin(std::string version, std::string releaseNotes, std::int64_t totalBytes,
                       std::function<void()> onCancel) {
    version_ = std::move(version);
    releaseNotes_ = std::move(releaseNotes);
    totalBytes_ = totalBytes;
    receivedBytes_ = 0;
    errorText_.clear();
    onCancel_ = std::move(onCancel);
    phase_ = Phase::downloading;
    emit changed();
}

void UpdateForm::setReceived(std::int64_t receivedBytes) {
    const auto percent = [this](std::int64_t bytes) {
        return totalBytes_ > 0 ? bytes * 100 / totalBytes_ : 0;
    };
    const bool visible = percent(receivedBytes) != percent(receivedBytes_);
    receivedBytes_ = receivedBytes;
    if (visible) emit changed();
}

void UpdateForm::setPhase(Phase phase) {
    phase_ = phase;
    emit changed();
}

void UpdateForm::fail(std::string errorText) {
    errorText_ = std::move(errorText);
    phase_ = Phase::failed;
    emit changed();
}

void UpdateForm::close() {
    onCancel_ = nullptr;
    emit closeRequested();
}

}  // namespace outfitter
