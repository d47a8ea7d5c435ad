#include "desktop/EntryColumns.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QPixmap>

#include "desktop/StyleSheet.h"
#include "keel/DateFormatter.h"
#include "keel/LocalizedString.h"

namespace desktop::columns {

QString backupDateText(const std::optional<keel::Date>& date) {
    static const keel::DateFormatter formatter(keel::DateFormatter::Style::shortStyle,
                                               keel::DateFormatter::Style::mediumStyle);
    const QString text = date ? QString::fromStdString(formatter.string(*date))
                              : localized("BackupAppEntryNeverSavedDate");
    return QLocale().toUpper(text);
}

QString stateText(quillfen::SyncAction action) {
    return QLocale().toUpper(QString::fromStdString(quillfen::localizedTitle(action)));
}

QString itemsCountText(std::size_t count) {
    return QLocale().toUpper(
        QString::fromStdString(keel::TL("BackupEntryBackupItemsCount", count)));
}

QIcon foundIcon(bool isFound) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isFound ? QColor(52, 199, 89) : QColor(160, 160, 160));
    painter.drawEllipse(QRectF(4, 4, 8, 8));
    return QIcon(pixmap);
}

QIcon entryIcon(const quillfen::EntryIcon& icon) {
    if (icon.iconFileURL) {
        const QString file = QString::fromStdString(icon.iconFileURL->string());
        if (QFileInfo(file).isReadable()) {
            QIcon own(file);
            if (!own.isNull()) return own;
        }
    }
    // The shared pictures: the theme's where it has them, else ours.
    const QIcon generic =
        StyleSheet::tintedIcon("sidebar-apps", QSize(24, 24), StyleSheet::toolbarIconColor);
    if (icon.sharedName == quillfen::EntryIcon::executableItemIconName)
        return QIcon::fromTheme(
            "utilities-terminal",
            StyleSheet::tintedIcon("sidebar-execs", QSize(24, 24), StyleSheet::toolbarIconColor));
    if (icon.itemURL) {
        const QFileInfo info(QString::fromStdString(icon.itemURL->string()));
        if (info.suffix() == "desktop" || info.suffix() == "app") {
            // An installed application: its icon through the theme, by name.
            const QIcon themed = QIcon::fromTheme(info.completeBaseName().toLower());
            if (!themed.isNull()) return themed;
        } else if (info.exists()) {
            const QIcon own = QFileIconProvider().icon(info);
            if (!own.isNull() && !own.availableSizes().isEmpty()) return own;
            return StyleSheet::tintedIcon("sidebar-files", QSize(24, 24),
                                          StyleSheet::toolbarIconColor);
        }
    }
    return QIcon::fromTheme("application-x-executable", generic);
}

}  // namespace desktop::columns
