#include "ui/qt/ip_list_model.h"

#include "ui/layout_tables.h"
#include "ui/qt/qt_text.h"

namespace nicops::ui::qt {

IpListModel::IpListModel(QObject* parent) : QAbstractTableModel(parent) {
    for (std::size_t c = 0; c < captions_.size(); ++c) {
        captions_[c] = toQString(kIpListColumns[c].caption);
    }
}

std::vector<IpListModel::Row> IpListModel::convert(const std::vector<IpListRow>& rows) {
    std::vector<Row> out(rows.size());
    // Neighbouring rows often repeat a cell (mask, adapter index, kind): those share one
    // converted string instead of converting again.
    std::array<const std::string*, kColumns> lastText{};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < kColumns; ++c) {
            const std::string& cell = rows[r].cells[c];
            if (lastText[c] != nullptr && *lastText[c] == cell) {
                out[r][c] = out[r - 1][c];
            } else {
                out[r][c] = toQString(cell);
            }
            lastText[c] = &cell;
        }
    }
    return out;
}

void IpListModel::setRows(std::vector<Row> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void IpListModel::reorderRows(std::vector<Row> rows, const std::vector<std::size_t>& from) {
    const std::size_t count = rows_.size();
    std::vector<int> to(count, -1);  // old row -> new row
    bool permutation = rows.size() == count && from.size() == count;
    for (std::size_t i = 0; permutation && i < count; ++i) {
        permutation = from[i] < count && to[from[i]] < 0;
        if (permutation) {
            to[from[i]] = static_cast<int>(i);
        }
    }
    if (!permutation) {
        setRows(std::move(rows));
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        after.append(index(to[static_cast<std::size_t>(old.row())], old.column()));
    }
    changePersistentIndexList(before, after);
    rows_ = std::move(rows);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int IpListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int IpListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant IpListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount() ||
        index.column() >= kColumns) {
        return {};
    }
    return row(index.row())[static_cast<std::size_t>(index.column())];
}

QVariant IpListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumns) {
        return {};
    }
    return captions_[static_cast<std::size_t>(section)];
}

}  // namespace nicops::ui::qt
