#include "outfitter_widgets/NewsletterWindowController.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "outfitter/NewsletterForm.h"
#include "outfitter_widgets/KitWindow.h"

namespace outfitter {

NewsletterWindowController::NewsletterWindowController(NewsletterForm& form, QObject* parent)
    : QObject(parent),
      form_(form),
      openLink_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    build();
    connect(&form_, &NewsletterForm::changed, this, [this] { refresh(); });
    connect(&form_, &NewsletterForm::closeRequested, this, [this] {
        if (window_->isVisible()) window_->close();
    });
    refresh();
}

NewsletterWindowController::~NewsletterWindowController() = default;

QWidget* NewsletterWindowController::window() const {
    return window_.get();
}

void NewsletterWindowController::showWindow() {
    refresh();
    window_->show();
    window_->raise();
    window_->activateWindow();
    if (emailField_->isVisible()) emailField_->setFocus();
}

void NewsletterWindowController::build() {
    window_ = std::make_unique<KitWindow>();
    window_->setObjectName("newsletterWindow");
    window_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint);
    // The window says what it is in its headline, not in its title bar.
    window_->setWindowTitle(QStringLiteral(" "));
    window_->setCanClose([this] { return form_.isClosable(); });
    window_->setDidClose([this] { form_.windowDidClose(); });

    auto* headline = new QLabel(kitText("NewsletterHeadline"));
    headline->setObjectName("newsletterHeadline");
    QFont headlineFont = headline->font();
    headlineFont.setPointSizeF(headlineFont.pointSizeF() * 1.45);
    headlineFont.setBold(true);
    headline->setFont(headlineFont);
    headline->setAlignment(Qt::AlignHCenter);
    auto* explanation = new QLabel(kitText("NewsletterExplanation"));
    explanation->setObjectName("newsletterExplanation");
    explanation->setWordWrap(true);
    explanation->setAlignment(Qt::AlignHCenter);

    emailField_ = new QLineEdit;
    emailField_->setObjectName("emailTextField");
    emailField_->setPlaceholderText(kitText("NewsletterEmailPlaceholder"));
    emailField_->setClearButtonEnabled(true);
    connect(emailField_, &QLineEdit::textEdited, this,
            [this](const QString& text) { form_.setEmail(text.toStdString()); });
    connect(emailField_, &QLineEdit::returnPressed, this, [this] { form_.send(); });
    sendButton_ = new QPushButton(kitText("NewsletterSendButtonTitle"));
    sendButton_->setObjectName("sendNewsletterButton");
    sendButton_->setDefault(true);
    connect(sendButton_, &QPushButton::clicked, this, [this] { form_.send(); });
    progress_ = new QProgressBar;
    progress_->setObjectName("uploadProgressIndicator");
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setMaximumHeight(12);
    auto* entry = new QHBoxLayout;
    entry->addWidget(emailField_, 1);
    entry->addWidget(sendButton_);
    entry->addWidget(progress_, 1);

    invalidLabel_ = new QLabel(kitText("NewsletterEmailInvalidText"));
    invalidLabel_->setObjectName("emailIsInvalidLabel");
    invalidLabel_->setWordWrap(true);
    QPalette warning = invalidLabel_->palette();
    warning.setColor(QPalette::WindowText, QColor("#d9342b"));
    invalidLabel_->setPalette(warning);

    thanksLabel_ = new QLabel(kitText("NewsletterThanksText"));
    thanksLabel_->setObjectName("succeedUploadTextField");
    thanksLabel_->setWordWrap(true);
    thanksLabel_->setAlignment(Qt::AlignHCenter);
    QFont thanksFont = thanksLabel_->font();
    thanksFont.setBold(true);
    thanksLabel_->setFont(thanksFont);

    auto socialButton = [this](const char* name, const char* titleKey,
                               NewsletterForm::SocialNetwork network) {
        auto* button = new QPushButton(kitText(titleKey));
        button->setObjectName(name);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QPushButton::clicked, this, [this, network] {
            if (const auto url = form_.socialURL(network))
                openLink_(QUrl(QString::fromStdString(*url)));
        });
        return button;
    };
    twitterButton_ = socialButton("twitterButton", "NewsletterTwitterButtonTitle",
                                  NewsletterForm::SocialNetwork::twitter);
    youtubeButton_ = socialButton("youtubeButton", "NewsletterYoutubeButtonTitle",
                                  NewsletterForm::SocialNetwork::youtube);
    forumButton_ = socialButton("forumButton", "NewsletterForumButtonTitle",
                                NewsletterForm::SocialNetwork::forum);
    auto* social = new QHBoxLayout;
    social->addStretch();
    social->addWidget(twitterButton_);
    social->addWidget(youtubeButton_);
    social->addWidget(forumButton_);
    social->addStretch();

    dontAskAgainButton_ = new QPushButton(kitText("NewsletterDontAskAgainButtonTitle"));
    dontAskAgainButton_->setObjectName("dontAskAgainButton");
    makeLinkButton(dontAskAgainButton_);
    connect(dontAskAgainButton_, &QPushButton::clicked, this, [this] { form_.dontAskAgain(); });
    auto* footer = new QHBoxLayout;
    footer->addStretch();
    footer->addWidget(dontAskAgainButton_);

    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(28, 22, 28, 14);
    layout->setSpacing(12);
    layout->addWidget(headline);
    layout->addWidget(explanation);
    layout->addLayout(entry);
    layout->addWidget(invalidLabel_);
    layout->addWidget(thanksLabel_);
    layout->addLayout(social);
    layout->addStretch();
    layout->addLayout(footer);
    window_->setFixedWidth(440);
}

void NewsletterWindowController::refresh() {
    using Phase = NewsletterForm::Phase;
    const Phase phase = form_.phase();
    const QString email = QString::fromStdString(form_.email());
    if (emailField_->text() != email) emailField_->setText(email);
    emailField_->setVisible(phase == Phase::editing);
    emailField_->setEnabled(phase == Phase::editing);
    sendButton_->setVisible(phase == Phase::editing);
    sendButton_->setEnabled(phase == Phase::editing);
    progress_->setVisible(phase == Phase::sending);
    invalidLabel_->setVisible(form_.showsInvalidAddress());
    thanksLabel_->setVisible(phase == Phase::sent);
    using Network = NewsletterForm::SocialNetwork;
    auto configured = [this](Network network) {
        const auto url = form_.socialURL(network);
        return url && !url->empty();
    };
    twitterButton_->setVisible(configured(Network::twitter));
    youtubeButton_->setVisible(configured(Network::youtube));
    forumButton_->setVisible(configured(Network::forum));
    dontAskAgainButton_->setVisible(form_.offersDontAskAgain() && phase == Phase::editing);
    // No close button while the address is on its way.
    // Changing a window's flags hides it; it is shown again at once.
    const bool closable = form_.isClosable();
    if (window_->windowFlags().testFlag(Qt::WindowCloseButtonHint) != closable) {
        const bool visible = window_->isVisible();
        window_->setWindowFlag(Qt::WindowCloseButtonHint, closable);
        if (visible) window_->show();
    }
    window_->adjustSize();
}

}  // namespace outfitter
