#pragma once
#include "engine/DeviceRegistry.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <functional>
#include <optional>
#include <vector>

namespace pemblor {

// The device table's model: row r is record r of a DeviceRegistry (arrival
// order), the columns those of common/DeviceColumns.h. It holds no texts of
// its own: every cell is read from the registry when asked for.
class QtDeviceTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using Millis = DeviceRecord::Millis;
    using QAbstractTableModel::QAbstractTableModel;

    void ShowDevices(const DeviceRegistry& registry, std::function<Millis()> now);
    void DevicesAdded(int count);
    void DevicesChanged(int first, int last);
    void Clear();
    // Marks the row with a warning; `reason` (a line a note) is the address
    // cell's tool tip, empty: no mark.
    void SetWarning(int device, const QString& reason);
    // A note of the address cell's tool tip that marks nothing (how the
    // device's password would travel), worked out only when the tool tip is
    // read, since it looks at every other row; empty: none.
    void SetRouteNote(std::function<QString(int device)> note) { m_routeNote = std::move(note); }
    void SetStaleAfter(std::optional<Millis> staleAfter);
    void RefreshLastSeen();

    // For the proxy: the sort key of a Number or Address cell, none for a
    // text cell or one that holds no number (or address).
    std::optional<std::uint64_t> SortKey(int row, int column) const;
    // Whether any cell of the row contains `text`, ignoring case.
    bool RowContains(int row, const QString& text) const;
    QString CellText(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const DeviceRegistry* m_pRegistry = nullptr;
    std::function<Millis()> m_now;
    int m_nRows = 0;
    std::vector<QString> m_warnings; // one per row
    std::function<QString(int device)> m_routeNote;
    std::optional<Millis> m_staleAfter;
};

// Sorts numbers and addresses by value, the rest as text; keeps the rows
// that contain the filter text in any column, ignoring case.
class QtDeviceSortProxy final : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit QtDeviceSortProxy(QtDeviceTableModel& source, QObject* parent);
    void SetFilterText(const QString& text);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QtDeviceTableModel& m_source;
    QString m_filter;
};

} // namespace pemblor
