// KitWindows: the release kit's windows of one program. A presenter hands it
// the forms the kit asks it to show; it makes the window of each form on
// first use, shows it or brings it to the front, and lets it go with its
// form. Alerts and questions stay with the presenter.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QUrl;

namespace outfitter {

class FeedbackForm;
class FeedbackWindowController;
class NewsletterForm;
class NewsletterWindowController;
class UpdateForm;
class UpdateWindowController;

class KitWindows : public QObject {
    Q_OBJECT

public:
    explicit KitWindows(QObject* parent = nullptr);
    ~KitWindows() override;

    void show(FeedbackForm& form);
    void show(NewsletterForm& form);
    void show(UpdateForm& form);

    // The windows shown now or last; none before the first.
    FeedbackWindowController* feedbackWindow() const;
    NewsletterWindowController* newsletterWindow() const;
    UpdateWindowController* updateWindow() const;

    // How the newsletter window opens the maker's pages (tests set their own).
    void setLinkOpener(std::function<void(const QUrl&)> opener) { openLink_ = std::move(opener); }

private:
    QPointer<FeedbackWindowController> feedback_;
    QPointer<NewsletterWindowController> newsletter_;
    QPointer<UpdateWindowController> update_;
    std::function<void(const QUrl&)> openLink_;
};

}  // namespace outfitter
