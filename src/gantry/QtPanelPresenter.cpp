#include "gantry/QtPanelPresenter.h"

#include <QDir>
#include <QFileDialog>

#include "gantry/FileChooserDialog.h"

namespace gantry {

void QtPanelPresenter::beginSheet(QWidget* window, const PanelRequest& request,
                                  Completion completion) {
    if (request.kind == PanelRequest::Kind::open && request.canChooseFiles &&
        request.canChooseDirectories && !request.extensionIsPackage) {
        // Qt's dialog chooses either files or one folder, never both.
        auto* chooser = new FileChooserDialog(request, window);
        chooser->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
        QObject::connect(chooser, &QDialog::finished, chooser,
                         [chooser, completion = std::move(completion)](int) {
                             std::vector<std::filesystem::path> urls = chooser->URLs();
                             chooser->deleteLater();
                             if (completion) completion(std::move(urls));
                         });
        chooser->open();
        return;
    }
    auto* dialog = new QFileDialog(window);
    dialog->setObjectName(QString::fromStdString(request.name));
    if (!request.title.empty()) dialog->setWindowTitle(QString::fromStdString(request.title));
    const QString extension = QString::fromStdString(request.allowedExtension);
    if (request.kind == PanelRequest::Kind::save) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        if (!extension.isEmpty()) dialog->setDefaultSuffix(extension);
        if (!request.nameFieldStringValue.empty())
            dialog->selectFile(QString::fromStdString(request.nameFieldStringValue));
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        const bool folders =
            request.extensionIsPackage || (request.canChooseDirectories && !request.canChooseFiles);
        if (folders) {
            dialog->setFileMode(QFileDialog::Directory);
            dialog->setOption(QFileDialog::ShowDirsOnly, !request.extensionIsPackage);
        } else {
            dialog->setFileMode(request.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                                : QFileDialog::ExistingFile);
            if (!extension.isEmpty()) dialog->setNameFilter("*." + extension);
        }
    }
    dialog->setOption(QFileDialog::ReadOnly, !request.canCreateDirectories);
    if (request.showsHiddenFiles) dialog->setFilter(dialog->filter() | QDir::Hidden);
    dialog->setDirectory(request.directoryURL.empty()
                             ? QDir::homePath()
                             : QString::fromStdString(request.directoryURL.string()));
    if (!request.prompt.empty())
        dialog->setLabelText(QFileDialog::Accept, QString::fromStdString(request.prompt));
    dialog->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [dialog, completion = std::move(completion)](int result) {
                         std::vector<std::filesystem::path> urls;
                         if (result == QDialog::Accepted)
                             for (const QString& file : dialog->selectedFiles())
                                 urls.emplace_back(file.toStdString());
                         dialog->deleteLater();
                         if (completion) completion(std::move(urls));
                     });
    dialog->open();
}

}  // namespace gantry
