#include "desktop/FoundStatusPopoverController.h"

#include <QVBoxLayout>

#include "desktop/ShellCommon.h"
#include "desktop/StyleSheet.h"
#include "keel/FileManager.h"
#include "keel/LocalizedString.h"

namespace desktop {

namespace {

// Enough to say where an item lives without growing past the window.
constexpr std::size_t maximumShownSettings = 8;

}  // namespace

FoundStatusPopoverController::~FoundStatusPopoverController() {
    if (contentView_ && !contentView_->parent()) delete contentView_.data();
}

QWidget* FoundStatusPopoverController::contentView() {
    if (contentView_) return contentView_;
    contentView_ = new QWidget();
    contentView_->setObjectName("FoundStatusPopoverView");
    contentView_->setMinimumWidth(280);
    contentView_->setMaximumWidth(420);
    auto* layout = new QVBoxLayout(contentView_);
    layout->setContentsMargins(12, 10, 12, 12);
    layout->setSpacing(8);
    tipTextField_ = new QLabel(contentView_);
    tipTextField_->setObjectName("tipTextField");
    tipTextField_->setWordWrap(true);
    tipTextField_->setTextFormat(Qt::PlainText);
    tipTextField_->setFont(StyleSheet::font(tipTextField_->font(), 1.0, true));
    layout->addWidget(tipTextField_);
    // Paths are the user's own names: shown as they are, never as markup.
    locationsTextField_ = new QLabel(contentView_);
    locationsTextField_->setObjectName("locationsTextField");
    locationsTextField_->setTextFormat(Qt::PlainText);
    locationsTextField_->setWordWrap(true);
    locationsTextField_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    locationsTextField_->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(locationsTextField_);
    return contentView_;
}

QString FoundStatusPopoverController::displayPath(const std::filesystem::path& url) {
    const std::filesystem::path home = keel::FileManager::noSandboxHomeURL();
    const auto relative = url.lexically_relative(home);
    if (!url.empty() && !relative.empty() && *relative.begin() != "..") {
        if (relative == ".") return "~";
        return QString::fromStdString("~/" + relative.string());
    }
    return QString::fromStdString(url.string());
}

void FoundStatusPopoverController::setStatus(bool isFound, const Locations& locations) {
    contentView();
    statusIsFound_ = isFound;
    tipTextField_->setText(
        localized(isFound ? "ItemsStatusFoundToolTip" : "ItemsStatusNotFoundToolTip"));
    QStringList lines;
    if (locations.application)
        lines << QString::fromStdString(keel::TL(
            "FoundStatusApplicationLocation", displayPath(*locations.application).toStdString()));
    if (!locations.settings.empty()) {
        if (!lines.isEmpty()) lines << QString();
        lines << localized("FoundStatusSettingsLocations");
        const std::size_t shown = std::min(locations.settings.size(), maximumShownSettings);
        for (std::size_t i = 0; i < shown; ++i)
            lines << QString::fromUtf8("  ") + displayPath(locations.settings[i]);
        if (locations.settings.size() > shown)
            lines << QString::fromStdString(
                keel::TL("FoundStatusMoreLocations", locations.settings.size() - shown));
    }
    locationsTextField_->setText(lines.join('\n'));
    locationsTextField_->setVisible(!lines.isEmpty());
    contentView_->adjustSize();
}

void FoundStatusPopoverController::toggle(QWidget* anchor, bool isFound,
                                          const Locations& locations) {
    if (!popover()) createPopover(contentView(), anchor->window());
    togglePopoverAtBottom(anchor, [this, isFound, locations] { setStatus(isFound, locations); });
}

}  // namespace desktop
