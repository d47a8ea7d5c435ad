#include "gantry/QtAlertPresenter.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace gantry {

namespace {

QMessageBox* makeBox(QWidget* window, const AlertRequest& request) {
    auto* box = new QMessageBox(window);
    box->setObjectName(QString::fromStdString(request.name));
    box->setWindowTitle(QApplication::applicationDisplayName());
    switch (request.style) {
        case AlertRequest::Style::informational:
            box->setIcon(QMessageBox::Information);
            break;
        case AlertRequest::Style::warning:
            box->setIcon(QMessageBox::Warning);
            break;
        case AlertRequest::Style::critical:
            box->setIcon(QMessageBox::Critical);
            break;
    }
    box->setText(QString::fromStdString(request.messageText));
    box->setInformativeText(QString::fromStdString(request.informativeText));
    // The box sizes itself to its words; a reason with a long path would
    // wrap into a narrow column without a width to start from.
    if (auto* informative = box->findChild<QLabel*>("qt_msgbox_informativelabel"))
        informative->setMinimumWidth(360);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    std::vector<std::string> titles = request.buttons;
    if (titles.empty()) titles.push_back("OK");
    for (std::size_t i = 0; i < titles.size(); ++i) {
        QPushButton* button =
            box->addButton(QString::fromStdString(titles[i]),
                           i == 0 ? QMessageBox::AcceptRole : QMessageBox::ActionRole);
        button->setProperty("gantryButtonIndex", static_cast<qulonglong>(i));
        if (i == 0) {
            box->setDefaultButton(button);
            box->setEscapeButton(button);
        }
    }
    return box;
}

std::size_t chosenIndex(const QMessageBox& box) {
    if (const QAbstractButton* clicked = box.clickedButton()) {
        const QVariant index = clicked->property("gantryButtonIndex");
        if (index.isValid()) return static_cast<std::size_t>(index.toULongLong());
    }
    return 0;
}

}  // namespace

void QtAlertPresenter::beginSheet(QWidget* window, const AlertRequest& request,
                                  Completion completion) {
    QMessageBox* box = makeBox(window, request);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, completion = std::move(completion)](int) {
                         const std::size_t index = chosenIndex(*box);
                         box->deleteLater();
                         if (completion) completion(index);
                     });
    box->open();
}

std::size_t QtAlertPresenter::runModal(QWidget* window, const AlertRequest& request) {
    QMessageBox* box = makeBox(window, request);
    box->setWindowModality(Qt::ApplicationModal);
    box->exec();
    const std::size_t index = chosenIndex(*box);
    delete box;
    return index;
}

}  // namespace gantry
