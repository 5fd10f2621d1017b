#include "gui/DeviceTableView.h"

#include "common/DeviceColumns.h"

#include <QAbstractProxyModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <array>

namespace pemblor {
namespace {

QChar WidestOf(const QFontMetrics& metrics, QLatin1StringView candidates)
{
    QChar widest = QLatin1Char(candidates.front());
    for (const QChar c : candidates) {
        if (metrics.horizontalAdvance(c) > metrics.horizontalAdvance(widest))
            widest = c;
    }
    return widest;
}

// The widest value of each column, digits and A-F standing for the font's
// widest ones; empty where no value bounds the width (the SSID, cut with a
// tool tip). "No" counts rows up to 99999; an interface name is fitted to a
// common long one.
constexpr std::array<const char*, kDeviceColumnCount> kWidestValues{
    "99999", "Quarnel-Lab-00", "255.255.255.255", "255.255.255.255", "999", "FF:FF:FF:FF:FF:FF", "enp0s31f6", "59 min"};

} // namespace

DeviceTableView::DeviceTableView(QWidget* parent) : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    // The window's own context menu must not open over the table.
    setContextMenuPolicy(Qt::PreventContextMenu);
    header()->setStretchLastSection(true);
    header()->setSectionsMovable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void DeviceTableView::setModel(QAbstractItemModel* model)
{
    QTreeView::setModel(model);
    // The order at start is arrival: ascending No.
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) { OnSelectionChanged(selected); });
    connect(model, &QAbstractItemModel::modelReset, this, &DeviceTableView::FitColumns);
    // The table may have the focus before its first rows arrive (the focus
    // comes back to it while Discover runs): the keys then need a current
    // row to act on, as when the focus arrives with rows there.
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] {
        if (hasFocus() && !currentIndex().isValid())
            selectionModel()->setCurrentIndex(this->model()->index(0, 0), QItemSelectionModel::NoUpdate);
    });
    FitColumns();
}

void DeviceTableView::FitColumns()
{
    if (!model())
        return;
    const QFontMetrics metrics(font());
    const QChar digit = WidestOf(metrics, QLatin1StringView("0123456789"));
    const QChar hexDigit = WidestOf(metrics, QLatin1StringView("0123456789ABCDEF"));
    for (int column = 0; column < std::min(model()->columnCount(), kDeviceColumnCount); ++column) {
        QString spelled = QString::fromLatin1(kWidestValues[static_cast<std::size_t>(column)]);
        for (QChar& c : spelled) {
            if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                c = digit;
            else if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
                c = hexDigit;
        }
        // Measured the way the view's delegate sizes a cell, margins included.
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.features |= QStyleOptionViewItem::HasDisplay;
        option.text = spelled;
        if (column == static_cast<int>(DeviceColumn::IpAddress)) {
            option.features |= QStyleOptionViewItem::HasDecoration;
            option.icon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
        }
        option.rect = QRect();
        const int cell = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).width();
        header()->resizeSection(column, std::max(cell, header()->sectionSizeHint(column)));
    }
}

QSize DeviceTableView::sizeHint() const
{
    int scrollBar = 0;
    if (!style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this))
        scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    int width = 2 * frameWidth() + scrollBar;
    for (int column = 0; column < header()->count(); ++column)
        width += header()->sectionSize(column);
    return {width, QTreeView::sizeHint().height()};
}

int DeviceTableView::SourceRow(int row) const
{
    const auto* proxy = qobject_cast<const QAbstractProxyModel*>(model());
    const QModelIndex index = model()->index(row, 0);
    return proxy ? proxy->mapToSource(index).row() : row;
}

int DeviceTableView::SelectionMark() const
{
    return m_mark.isValid() ? SourceRow(m_mark.row()) : -1;
}

std::vector<int> DeviceTableView::SelectedRows() const
{
    std::vector<int> rows;
    if (const QItemSelectionModel* selection = selectionModel()) {
        for (const QModelIndex& index : selection->selectedRows())
            rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    for (int& row : rows)
        row = SourceRow(row);
    return rows;
}

std::vector<int> DeviceTableView::ShownRows() const
{
    std::vector<int> rows;
    for (int row = 0; model() && row < model()->rowCount(); ++row)
        rows.push_back(SourceRow(row));
    return rows;
}

void DeviceTableView::OnSelectionChanged(const QItemSelection& selected)
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isSelected(current))
        m_mark = QPersistentModelIndex(model()->index(current.row(), 0));
    else if (!selected.indexes().isEmpty())
        m_mark = QPersistentModelIndex(model()->index(selected.indexes().first().row(), 0));
}

void DeviceTableView::mousePressEvent(QMouseEvent* event)
{
    m_bSkipNextClick = false;
    QTreeView::mousePressEvent(event);
}

void DeviceTableView::mouseReleaseEvent(QMouseEvent* event)
{
    const Qt::MouseButton button = event->button();
    const QPoint at = event->globalPosition().toPoint();
    QTreeView::mouseReleaseEvent(event);
    if (button == Qt::LeftButton) {
        // The release that ends a double click belongs to the double click.
        if (!std::exchange(m_bSkipNextClick, false))
            emit rowClicked();
    } else if (button == Qt::RightButton) {
        emit menuRequested(at);
    }
}

void DeviceTableView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const Qt::MouseButton button = event->button();
    QTreeView::mouseDoubleClickEvent(event);
    if (button == Qt::LeftButton) {
        m_bSkipNextClick = true;
        emit rowDoubleClicked();
    }
}

void DeviceTableView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        event->accept();
        emit copyRequested();
        return;
    }
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        event->accept();
        QPoint at = mapToGlobal(QPoint(0, 0));
        if (m_mark.isValid()) {
            scrollTo(m_mark);
            at = viewport()->mapToGlobal(visualRect(m_mark).bottomLeft());
        }
        emit menuRequested(at);
        return;
    }
    const QItemSelection before = selectionModel()->selection();
    QTreeView::keyPressEvent(event);
    if (selectionModel()->hasSelection() && selectionModel()->selection() != before)
        emit rowClicked();
}

void FilterEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && !text().isEmpty()) {
        clear();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace pemblor
