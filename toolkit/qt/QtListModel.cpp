#include "toolkit/qt/QtListModel.h"

#include <QApplication>
#include <QStyle>
#include <QTextDocument>

namespace pemblor {

int QtListModel::InsertColumn(int index, const QString& heading)
{
    const int count = ColumnCount();
    if (index < 0 || index > count)
        index = count;
    beginInsertColumns(QModelIndex(), index, index);
    // The first column takes over the cells that rows held without columns.
    if (count > 0) {
        for (auto& row : m_rows)
            row.insert(row.begin() + index, std::string());
    }
    m_headings.insert(index, heading);
    endInsertColumns();
    return index;
}

void QtListModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    m_warnings.clear();
    endResetModel();
}

int QtListModel::InsertRow(int index, std::string_view text)
{
    const int count = RowCount();
    if (index < 0 || index > count)
        index = count;
    std::vector<std::string> cells(CellsPerRow());
    cells[0] = std::string(text);
    beginInsertRows(QModelIndex(), index, index);
    m_rows.insert(m_rows.begin() + index, std::move(cells));
    m_warnings.insert(m_warnings.begin() + index, Warning{});
    endInsertRows();
    return index;
}

void QtListModel::SetText(int row, int column, std::string_view text)
{
    if (row < 0 || row >= RowCount() || column < 0)
        return;
    auto& cells = m_rows[static_cast<std::size_t>(row)];
    if (static_cast<std::size_t>(column) >= cells.size())
        return;
    cells[static_cast<std::size_t>(column)] = std::string(text);
    if (column < ColumnCount()) {
        const QModelIndex cell = index(row, column);
        emit dataChanged(cell, cell, {Qt::DisplayRole});
    }
}

void QtListModel::SetWarning(int row, int column, std::string_view reason)
{
    if (row < 0 || row >= RowCount())
        return;
    Warning& warning = m_warnings[static_cast<std::size_t>(row)];
    const int before = warning.column;
    warning = reason.empty() ? Warning{} : Warning{column, QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size()))};
    for (const int changed : {before, warning.column}) {
        if (changed >= 0 && changed < ColumnCount()) {
            const QModelIndex cell = index(row, changed);
            emit dataChanged(cell, cell, {Qt::DecorationRole, Qt::ToolTipRole});
        }
    }
}

std::string QtListModel::Text(int row, int column) const
{
    if (row < 0 || row >= RowCount() || column < 0)
        return {};
    const auto& cells = m_rows[static_cast<std::size_t>(row)];
    if (static_cast<std::size_t>(column) >= cells.size())
        return {};
    return cells[static_cast<std::size_t>(column)];
}

int QtListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int QtListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount();
}

QVariant QtListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= RowCount())
        return {};
    const Warning& warning = m_warnings[static_cast<std::size_t>(index.row())];
    if (warning.column == index.column()) {
        if (role == Qt::DecorationRole)
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        if (role == Qt::ToolTipRole)
            return Qt::convertFromPlainText(warning.reason, Qt::WhiteSpaceNormal);
    }
    // The tool tip shows a cell whose column is too narrow for it in full.
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const auto& cells = m_rows[static_cast<std::size_t>(index.row())];
    if (static_cast<std::size_t>(index.column()) >= cells.size())
        return {};
    const QString text = QString::fromStdString(cells[static_cast<std::size_t>(index.column())]);
    // A tool tip that looks like rich text is shown as rich text; a cell is
    // plain text, so such a tip is spelled out as rich text that shows it.
    if (role == Qt::ToolTipRole && Qt::mightBeRichText(text))
        return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
    return text;
}

QVariant QtListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount())
        return {};
    if (role == Qt::DisplayRole)
        return m_headings.at(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

Qt::ItemFlags QtListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace pemblor
