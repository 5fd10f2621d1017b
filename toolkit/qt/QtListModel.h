#pragma once
#include <QAbstractTableModel>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

// Rows of text cells under column headings. Every row holds one cell per
// column (at least one, the row's own text); cells are UTF-8.
class QtListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int InsertColumn(int index, const QString& heading);
    int ColumnCount() const { return static_cast<int>(m_headings.size()); }
    void Clear();
    // An index outside 0..RowCount() appends.
    int InsertRow(int index, std::string_view text);
    // Cells outside the table are ignored.
    void SetText(int row, int column, std::string_view text);
    std::string Text(int row, int column) const;
    // IListCtrl::SetItemWarning.
    void SetWarning(int row, int column, std::string_view reason);
    int RowCount() const { return static_cast<int>(m_rows.size()); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::size_t CellsPerRow() const { return m_headings.empty() ? 1 : static_cast<std::size_t>(m_headings.size()); }

    QStringList m_headings;
    std::vector<std::vector<std::string>> m_rows;
    struct Warning {
        int column = -1; // -1: none
        QString reason;
    };
    std::vector<Warning> m_warnings; // one per row
};

} // namespace pemblor
