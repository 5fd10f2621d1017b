#include "gui/QtDeviceTableModel.h"

#include "common/DeviceColumns.h"
#include "gui/QtTranslation.h"

#include <QApplication>

#include <algorithm>
#include <QIcon>
#include <QPalette>
#include <QStyle>

namespace pemblor {
void QtDeviceTableModel::ShowDevices(const DeviceRegistry& registry, std::function<Millis()> now)
{
    beginResetModel();
    m_pRegistry = &registry;
    m_now = std::move(now);
    m_nRows = 0;
    m_warnings.clear();
    endResetModel();
}

void QtDeviceTableModel::DevicesAdded(int count)
{
    if (!m_pRegistry || count <= m_nRows)
        return;
    beginInsertRows(QModelIndex(), m_nRows, count - 1);
    m_nRows = count;
    m_warnings.resize(static_cast<std::size_t>(count));
    endInsertRows();
}

void QtDeviceTableModel::DevicesChanged(int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, m_nRows - 1);
    if (first > last)
        return;
    // A record keeps its number: the No column never changes, so a table
    // sorted by it (the order at start) needs no new order for a change.
    emit dataChanged(index(first, static_cast<int>(DeviceColumn::Number) + 1), index(last, kDeviceColumnCount - 1));
}

void QtDeviceTableModel::Clear()
{
    beginResetModel();
    m_nRows = 0;
    m_warnings.clear();
    endResetModel();
}

void QtDeviceTableModel::SetWarning(int device, const QString& reason)
{
    if (device < 0 || device >= m_nRows || m_warnings[static_cast<std::size_t>(device)] == reason)
        return;
    m_warnings[static_cast<std::size_t>(device)] = reason;
    const QModelIndex cell = index(device, static_cast<int>(DeviceColumn::IpAddress));
    emit dataChanged(cell, cell, {Qt::DecorationRole, Qt::ToolTipRole});
}

void QtDeviceTableModel::SetStaleAfter(std::optional<Millis> staleAfter)
{
    m_staleAfter = staleAfter;
    RefreshLastSeen();
}

void QtDeviceTableModel::RefreshLastSeen()
{
    if (m_nRows == 0)
        return;
    // Not the No column, which never changes (a table sorted by it keeps its
    // order); the view repaints it with the rest.
    emit dataChanged(index(0, static_cast<int>(DeviceColumn::Number) + 1), index(m_nRows - 1, kDeviceColumnCount - 1),
                     {Qt::DisplayRole, Qt::ForegroundRole, Qt::ToolTipRole});
}

int QtDeviceTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nRows;
}

int QtDeviceTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_pRegistry ? 0 : kDeviceColumnCount;
}

QString QtDeviceTableModel::CellText(int row, int column) const
{
    QString text;
    if (!m_pRegistry)
        return text;
    const Millis now = column == static_cast<int>(DeviceColumn::LastSeen) && m_now ? m_now() : 0;
    m_pRegistry->Visit(row, [&](const DeviceRecord& record) {
        text = QString::fromStdString(
            DeviceCellText(record, static_cast<DeviceColumn>(column), now, TranslatedText));
    });
    return text;
}

std::optional<std::uint64_t> QtDeviceTableModel::SortKey(int row, int column) const
{
    std::optional<std::uint64_t> key;
    if (!m_pRegistry)
        return key;
    const auto which = static_cast<DeviceColumn>(column);
    m_pRegistry->Visit(row, [&](const DeviceRecord& record) {
        switch (which) {
        case DeviceColumn::Number:
            key = static_cast<std::uint64_t>(record.number);
            break;
        case DeviceColumn::LastSeen:
            // Most recently heard first.
            key = static_cast<std::uint64_t>(INT64_MAX - record.lastHeard);
            break;
        default:
            if (const auto cell = record.Cell(column))
                key = NumericSortKey(*cell, DeviceColumnSort(which));
            break;
        }
    });
    return key;
}

bool QtDeviceTableModel::RowContains(int row, const QString& text) const
{
    for (int column = 0; column < kDeviceColumnCount; ++column) {
        if (CellText(row, column).contains(text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QVariant QtDeviceTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_pRegistry || index.row() >= m_nRows)
        return {};
    const int row = index.row();
    const int column = index.column();
    const bool ipColumn = column == static_cast<int>(DeviceColumn::IpAddress);
    const QString& warning = m_warnings[static_cast<std::size_t>(row)];
    std::optional<Millis> silentFor;
    if (m_staleAfter && (role == Qt::ForegroundRole || role == Qt::ToolTipRole) && m_now) {
        const Millis now = m_now();
        m_pRegistry->Visit(row, [&](const DeviceRecord& record) {
            if (now - record.lastHeard >= *m_staleAfter)
                silentFor = now - record.lastHeard;
        });
    }
    // The notes of the row, each on a line of its own: its silence, and in
    // the address cell the reasons of its mark and how its password would
    // travel.
    const auto notes = [&] {
        QStringList lines;
        if (silentFor)
            lines << QString::fromStdString(NotHeardText(*silentFor, TranslatedText));
        if (ipColumn) {
            if (!warning.isEmpty())
                lines << warning;
            if (const QString note = m_routeNote ? m_routeNote(row) : QString(); !note.isEmpty())
                lines << note;
        }
        return lines.join(QLatin1Char('\n'));
    };
    switch (role) {
    case Qt::DisplayRole:
        return CellText(row, column);
    case Qt::ToolTipRole:
        if (const QString text = notes(); !text.isEmpty())
            return text;
        // A cell cut to its column's width shows whole in its tool tip.
        return CellText(row, column);
    case Qt::DecorationRole:
        if (ipColumn && !warning.isEmpty())
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        return {};
    case Qt::ForegroundRole:
        if (silentFor)
            return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    case Qt::AccessibleDescriptionRole:
        if (const QString text = notes(); !text.isEmpty())
            return text;
        return {};
    default:
        return {};
    }
}

QVariant QtDeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return Translated(DeviceColumnHeading(static_cast<DeviceColumn>(section)));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    // A first click on a heading sorts ascending, a second one reverses.
    if (role == Qt::InitialSortOrderRole)
        return static_cast<int>(Qt::AscendingOrder);
    return {};
}

Qt::ItemFlags QtDeviceTableModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? (Qt::ItemIsEnabled | Qt::ItemIsSelectable) : Qt::NoItemFlags;
}

QtDeviceSortProxy::QtDeviceSortProxy(QtDeviceTableModel& source, QObject* parent)
    : QSortFilterProxyModel(parent), m_source(source)
{
    setSourceModel(&source);
    setDynamicSortFilter(true);
}

void QtDeviceSortProxy::SetFilterText(const QString& text)
{
    if (text == m_filter)
        return;
    m_filter = text;
    invalidateRowsFilter();
}

bool QtDeviceSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const int column = left.column();
    if (DeviceColumnSort(static_cast<DeviceColumn>(column)) != SortAs::Text ||
        column == static_cast<int>(DeviceColumn::LastSeen)) {
        const auto a = m_source.SortKey(left.row(), column);
        const auto b = m_source.SortKey(right.row(), column);
        if (a && b && *a != *b)
            return *a < *b;
        if (a.has_value() != b.has_value())
            return a.has_value(); // numbers before the rest
        if (a && b)
            return left.row() < right.row();
    }
    // Equal cells keep the arrival order.
    const int order = QString::compare(m_source.CellText(left.row(), column), m_source.CellText(right.row(), column),
                                       Qt::CaseInsensitive);
    return order != 0 ? order < 0 : left.row() < right.row();
}

bool QtDeviceSortProxy::filterAcceptsRow(int sourceRow, const QModelIndex& /*sourceParent*/) const
{
    return m_filter.isEmpty() || m_source.RowContains(sourceRow, m_filter);
}

} // namespace pemblor
