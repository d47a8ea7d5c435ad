#include "desktop/AboutDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "desktop/StyleSheet.h"
#include "keel/LocalizedString.h"

namespace desktop {

namespace {

QString localized(std::string_view key) {
    return QString::fromStdString(keel::TL(key));
}

QString link(const QUrl& url, std::string_view titleKey) {
    return QString("<a href=\"%1\">%2</a>")
        .arg(url.toString().toHtmlEscaped(), localized(titleKey));
}

}  // namespace

AboutDialog::AboutDialog(const QString& version, const QString& build, const MakerLinks& links,
                         QWidget* parent)
    : QDialog(parent) {
    setObjectName("AboutWindow");
    setWindowTitle(localized("AboutWindowTitle"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 18);
    layout->setSpacing(8);

    auto* icon = new QLabel(this);
    icon->setPixmap(StyleSheet::applicationIcon().pixmap(QSize(96, 96)));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);

    auto* name = new QLabel(QApplication::applicationDisplayName(), this);
    name->setFont(StyleSheet::font(name->font(), 1.5, true));
    name->setAlignment(Qt::AlignCenter);
    layout->addWidget(name);

    const bool withBuild = !build.isEmpty() && build != "0";
    auto* versionLabel = new QLabel(
        withBuild ? QString::fromStdString(keel::TL("AboutWindowVersionWithBuild",
                                                    version.toStdString(), build.toStdString()))
                  : QString::fromStdString(keel::TL("AboutWindowVersion", version.toStdString())),
        this);
    versionLabel->setObjectName("aboutVersion");
    versionLabel->setAlignment(Qt::AlignCenter);
    versionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(versionLabel);

    auto* description = new QLabel(localized("AboutWindowDescription"), this);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignCenter);
    // A wrapped label is as narrow as its longest word unless told its width.
    description->setFixedWidth(300);
    layout->addWidget(description, 0, Qt::AlignHCenter);

    QStringList links_;
    if (!links.website.isEmpty()) links_ << link(links.website, "AboutWindowWebsiteLink");
    if (!links.support.isEmpty()) links_ << link(links.support, "AboutWindowSupportLink");
    if (!links_.isEmpty()) {
        auto* linkLabel = new QLabel(links_.join(" · "), this);
        linkLabel->setObjectName("aboutLinks");
        linkLabel->setAlignment(Qt::AlignCenter);
        linkLabel->setOpenExternalLinks(true);
        layout->addWidget(linkLabel);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setCenterButtons(true);
    buttons->button(QDialogButtonBox::Close)->setText(localized("AboutWindowCloseButton"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addSpacing(6);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace desktop
