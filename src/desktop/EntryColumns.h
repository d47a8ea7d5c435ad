// EntryColumns: the columns the entry lists share, as EntryTableModel
// columns: the found marker, the icon, the name or path, the number of
// settings paths, the date of the last back-up, the synchronization state
// and the switch. Texts are those of the string table; dates, counts and
// states are shown in upper case.
//
// Threads: main thread only (icons are images).
#pragma once

#include <QIcon>
#include <QString>

#include <functional>
#include <optional>

#include "app/EntryIcon.h"
#include "backup/SyncAction.h"
#include "desktop/EntryTableModel.h"
#include "desktop/ShellCommon.h"
#include "keel/Date.h"

namespace desktop::columns {

// "12/8/26, 9:41:07 AM" in upper case, or the never-saved text.
QString backupDateText(const std::optional<keel::Date>& date);
// The state's title in upper case.
QString stateText(quillfen::SyncAction action);
// "3 ITEMS".
QString itemsCountText(std::size_t count);
// A filled dot, green when found, grey when not.
QIcon foundIcon(bool isFound);
// The picture of an entry: the application's or file's own icon where there
// is one, else the shared picture it names.
QIcon entryIcon(const quillfen::EntryIcon& icon);

template <class Entry>
typename EntryTableModel<Entry>::Column found(const char* identifier) {
    return {identifier,
            QString(),
            [](const Entry& entry, int role) -> QVariant {
                if (role == Qt::DecorationRole) return foundIcon(entry.isFound());
                // A click explains the marker in a popover; screen readers
                // get the same words.
                if (role == Qt::AccessibleTextRole)
                    return localized(entry.isFound() ? "ItemsStatusFoundToolTip"
                                                     : "ItemsStatusNotFoundToolTip");
                if (role == Qt::UserRole) return entry.isFound();
                return {};
            },
            {}};
}

template <class Entry>
typename EntryTableModel<Entry>::Column icon(const char* identifier) {
    return {identifier,
            QString(),
            [](const Entry& entry, int role) -> QVariant {
                if (role == Qt::DecorationRole) return entryIcon(entry.icon());
                return {};
            },
            {}};
}

template <class Entry>
typename EntryTableModel<Entry>::Column title(const char* identifier, const char* titleKey) {
    return {identifier,
            localized(titleKey),
            [](const Entry& entry, int role) -> QVariant {
                if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
                    return QString::fromStdString(entry.title());
                return {};
            },
            {}};
}

template <class Entry>
typename EntryTableModel<Entry>::Column itemsCount(const char* identifier) {
    return {identifier,
            localized("ItemsListCountColumnTitle"),
            [](const Entry& entry, int role) -> QVariant {
                if (role == Qt::DisplayRole) return itemsCountText(entry.itemsCount());
                if (role == Qt::ToolTipRole) return localized("ItemsListCountToolTip");
                return {};
            },
            {}};
}

template <class Entry>
typename EntryTableModel<Entry>::Column backupDate(const char* identifier) {
    return {identifier,
            localized("ItemsListDateColumnTitle"),
            [](const Entry& entry, int role) -> QVariant {
                if (role == Qt::DisplayRole) return backupDateText(entry.backupDate());
                return {};
            },
            {}};
}

template <class Entry>
typename EntryTableModel<Entry>::Column state(const char* identifier) {
    return {identifier,
            localized("ItemsListStateColumnTitle"),
            [](const Entry& entry, int role) -> QVariant {
                if (role == Qt::DisplayRole) return stateText(entry.action());
                return {};
            },
            {}};
}

template <class Entry>
typename EntryTableModel<Entry>::Column activation(const char* identifier,
                                                   std::function<void(int row)> toggle) {
    return {identifier, localized("ItemsListSwitchColumnTitle"),
            [](const Entry& entry, int role) -> QVariant {
                if (role == Qt::CheckStateRole)
                    return entry.isEnabled().value_or(false) ? Qt::Checked : Qt::Unchecked;
                return {};
            },
            std::move(toggle)};
}

}  // namespace desktop::columns
