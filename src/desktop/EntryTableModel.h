// EntryTableModel: a Qt table model over one of the viewer's entry lists
// (applications, executables or custom files).
//
// The viewer changes its lists on its own queue and announces each change
// afterwards on the main thread, naming the rows it added, removed or
// replaced. A Qt view, however, requires that the rows it was told about do
// not change under it between `rowCount()` and `data()`. So the model keeps
// a snapshot of the list and changes it only on the main thread, replaying
// each announced row change as the matching begin/end insert or remove, or
// `dataChanged`; an announcement without rows (a rebuilt list) resets it.
//
// Announcements arrive after the fact: by the time one is handled the viewer
// may already hold later changes. Added and replaced rows therefore take the
// viewer's current entry for their key, and a change that does not fit the
// snapshot (a key missing where it is named, a row out of place, a key the
// viewer no longer holds) resets the model to the viewer's current list, so
// the snapshot never holds a row twice or out of order and always converges
// on the viewer's list once its announcements have been handled.
//
// Threads: main thread only. `fetch` reads the viewer synchronously and must
// not be called on the viewer's queue.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "backup/BackupEdition.h"
#include "keel/FinderOrder.h"

namespace desktop {

template <class Entry>
class EntryTableModel : public QAbstractTableModel {
public:
    struct Column {
        // The column's identifier ("AppNameColumn") and its header title.
        QString identifier;
        QString title;
        // What the cell shows for `role`; an empty QVariant for none.
        std::function<QVariant(const Entry& entry, int role)> data;
        // Set for a switch column: its cells are checkable, and checking one
        // calls this instead of changing the row, which changes when the
        // viewer announces the edit.
        std::function<void(int row)> toggle;
    };
    using Fetch = std::function<std::vector<Entry>()>;

    EntryTableModel(Fetch fetch, std::vector<Column> columns, QObject* parent = nullptr)
        : QAbstractTableModel(parent), fetch_(std::move(fetch)), columns_(std::move(columns)) {}

    const std::vector<Entry>& entries() const { return entries_; }
    // The row's entry, or null past the end.
    const Entry* entry(int row) const {
        if (row < 0 || row >= static_cast<int>(entries_.size())) return nullptr;
        return &entries_[static_cast<std::size_t>(row)];
    }
    const std::vector<Column>& columns() const { return columns_; }
    // The column with `identifier`, or -1.
    int column(const QString& identifier) const {
        for (std::size_t i = 0; i < columns_.size(); ++i)
            if (columns_[i].identifier == identifier) return static_cast<int>(i);
        return -1;
    }

    // Replaces the snapshot with the viewer's current list.
    void reload() { resetTo(fetch_()); }

    // Follows one announced change of this model's list: `entries` absent
    // reloads everything; otherwise each named row, in order.
    void apply(const quillfen::BackupEdition& edition) {
        if (!edition.entries) return reload();
        if (edition.entries->empty()) return;
        std::vector<Entry> fresh = fetch_();
        for (const auto& change : *edition.entries) {
            if (!applyChange(change, fresh)) return resetTo(std::move(fresh));
        }
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(entries_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(columns_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const Entry* row = entry(index.row());
        if (!row || index.column() < 0 || index.column() >= columnCount()) return {};
        const Column& column = columns_[static_cast<std::size_t>(index.column())];
        return column.data ? column.data(*row, role) : QVariant();
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QAbstractTableModel::flags(index);
        if (index.isValid() && index.column() < columnCount() &&
            columns_[static_cast<std::size_t>(index.column())].toggle)
            flags |= Qt::ItemIsUserCheckable;
        return flags;
    }
    bool setData(const QModelIndex& index, const QVariant&, int role) override {
        if (role != Qt::CheckStateRole || !entry(index.row()) || index.column() >= columnCount())
            return false;
        const Column& column = columns_[static_cast<std::size_t>(index.column())];
        if (!column.toggle) return false;
        column.toggle(index.row());
        return true;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= columnCount())
            return {};
        return columns_[static_cast<std::size_t>(section)].title;
    }

private:
    using Action = quillfen::BackupEdition::Action;

    static std::string keyOf(const Entry& entry) { return entry.title(); }

    void resetTo(std::vector<Entry> entries) {
        beginResetModel();
        entries_ = std::move(entries);
        endResetModel();
    }

    // Applies one named row change; false when it does not fit the snapshot.
    bool applyChange(const quillfen::BackupEdition::Entry& change,
                     const std::vector<Entry>& fresh) {
        const int count = static_cast<int>(entries_.size());
        const int row = change.index;
        auto current = std::find_if(fresh.begin(), fresh.end(),
                                    [&](const Entry& e) { return keyOf(e) == change.key; });
        switch (change.action) {
            case Action::add: {
                if (row < 0 || row > count || current == fresh.end()) return false;
                const bool known =
                    std::any_of(entries_.begin(), entries_.end(),
                                [&](const Entry& e) { return keyOf(e) == change.key; });
                // The row must land between its neighbours in Finder order.
                if (known ||
                    (row > 0 &&
                     !keel::finderLess(keyOf(entries_[std::size_t(row) - 1]), change.key)) ||
                    (row < count &&
                     !keel::finderLess(change.key, keyOf(entries_[std::size_t(row)]))))
                    return false;
                beginInsertRows({}, row, row);
                entries_.insert(entries_.begin() + row, *current);
                endInsertRows();
                return true;
            }
            case Action::remove:
                if (row < 0 || row >= count || keyOf(entries_[std::size_t(row)]) != change.key)
                    return false;
                beginRemoveRows({}, row, row);
                entries_.erase(entries_.begin() + row);
                endRemoveRows();
                return true;
            case Action::update:
                if (row < 0 || row >= count || keyOf(entries_[std::size_t(row)]) != change.key ||
                    current == fresh.end())
                    return false;
                entries_[std::size_t(row)] = *current;
                emit dataChanged(index(row, 0), index(row, columnCount() - 1));
                return true;
        }
        return false;
    }

    Fetch fetch_;
    std::vector<Column> columns_;
    std::vector<Entry> entries_;
};

}  // namespace desktop
