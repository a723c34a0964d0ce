// The IP list's rows for a QTableView. Rows arrive converted to QString (once per set, not per
// paint) and replace the previous rows in a single model reset. The model never sorts: a header
// click goes to the presenter, which sends the rows back in their new order together with where
// each came from, so the rows the user selected stay selected.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <cstddef>
#include <vector>

#include "ui/main_view.h"

namespace nicops::ui::qt {

class IpListModel final : public QAbstractTableModel {
public:
    static constexpr int kColumns = static_cast<int>(list_column::kCount);
    using Row = std::array<QString, kColumns>;

    explicit IpListModel(QObject* parent = nullptr);

    // GBK rows as display rows; callable on any thread, so a worker does the conversion.
    static std::vector<Row> convert(const std::vector<IpListRow>& rows);
    // Replaces every row: one reset, however many rows.
    void setRows(std::vector<Row> rows);
    // The same rows in a new order, rows[i] having been row from[i]: one layout change, and the
    // selection and current cell move with their rows. Anything but a reordering of the rows
    // shown is set as new rows.
    void reorderRows(std::vector<Row> rows, const std::vector<std::size_t>& from);
    const Row& row(int index) const { return rows_[static_cast<std::size_t>(index)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::array<QString, kColumns> captions_;
    std::vector<Row> rows_;
};

}  // namespace nicops::ui::qt
