#include "desktop/EntryColumns.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QPixmap>

#include <cstring>
#include <filesystem>

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

namespace {

// An icon read from `file`, or a null icon when it is not a readable picture.
// Only regular files are read: a desktop entry may name anything, and
// reading a pipe or a device would hang the window.
QIcon iconFromFile(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return {};
    const QString path = QString::fromStdString(file.string());
    if (!QFileInfo(path).isReadable()) return {};
    QIcon icon(path);
    if (icon.pixmap(QSize(24, 24)).isNull()) return {};
    return icon;
}

// The icon a desktop entry's "Icon" names: an absolute path is a file; any
// other value is a name in the icon theme. Older entries add the file's
// extension to the name, which the theme's lookup does not expect.
QIcon iconFromDesktopEntry(const std::string& iconName) {
    if (iconName.empty()) return {};
    const std::filesystem::path path(iconName);
    if (path.is_absolute()) return iconFromFile(path);
    if (iconName.find('/') != std::string::npos) return {};
    QString name = QString::fromStdString(iconName);
    for (const char* extension : {".png", ".svg", ".svgz", ".xpm"})
        if (name.endsWith(QLatin1String(extension))) name.chop(int(std::strlen(extension)));
    return QIcon::fromTheme(name);
}

}  // namespace

QIcon entryIcon(const quillfen::EntryIcon& icon) {
    if (icon.iconFileURL)
        if (QIcon own = iconFromFile(*icon.iconFileURL); !own.isNull()) return own;
    if (icon.iconName)
        if (QIcon named = iconFromDesktopEntry(*icon.iconName); !named.isNull()) return named;
    // The shared pictures: the theme's where it has them, else ours.
    const QIcon generic =
        StyleSheet::tintedIcon("sidebar-apps", QSize(24, 24), StyleSheet::toolbarIconColor);
    if (icon.sharedName == quillfen::EntryIcon::executableItemIconName)
        return QIcon::fromTheme(
            "utilities-terminal",
            StyleSheet::tintedIcon("sidebar-execs", QSize(24, 24), StyleSheet::toolbarIconColor));
    if (icon.itemURL) {
        const QFileInfo info(QString::fromStdString(icon.itemURL->string()));
        if (info.suffix() == "app") {
            // A bundle without a readable icon file: the theme's, by name.
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
