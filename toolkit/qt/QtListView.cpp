#include "toolkit/qt/QtListView.h"

#include "common/DeviceColumns.h"
#include "gui/QtDeviceTableModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <array>

namespace pemblor {

QtListView::QtListView(QWidget* parent)
    : QTreeView(parent), m_pModel(new QtDeviceTableModel(this)), m_pProxy(new QtDeviceSortProxy(*m_pModel, this))
{
    setModel(m_pProxy);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideRight);
    // The window's own context menu must not open over the list.
    setContextMenuPolicy(Qt::PreventContextMenu);
    header()->setStretchLastSection(true);
    header()->setSectionsMovable(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The order at start is arrival: ascending No.
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) { OnSelectionChanged(selected); });
    connect(m_pModel, &QAbstractItemModel::modelReset, this, [this] { FitColumns(); });
    // The table may have the focus before its first rows arrive (the focus
    // comes back to it while Discover runs): the keys then need a current
    // row to act on, as when the focus arrives with rows there.
    connect(m_pProxy, &QAbstractItemModel::rowsInserted, this, [this] {
        if (hasFocus() && !currentIndex().isValid())
            selectionModel()->setCurrentIndex(m_pProxy->index(0, 0), QItemSelectionModel::NoUpdate);
    });
}

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

void QtListView::FitColumns()
{
    const QFontMetrics metrics(font());
    const QChar digit = WidestOf(metrics, QLatin1StringView("0123456789"));
    const QChar hexDigit = WidestOf(metrics, QLatin1StringView("0123456789ABCDEF"));
    for (int column = 0; column < m_pModel->columnCount(); ++column) {
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

QSize QtListView::sizeHint() const
{
    int scrollBar = 0;
    if (!style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this))
        scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    int width = 2 * frameWidth() + scrollBar;
    for (int column = 0; column < header()->count(); ++column)
        width += header()->sectionSize(column);
    return {width, QTreeView::sizeHint().height()};
}

int QtListView::SelectionMark() const
{
    return m_mark.isValid() ? m_pProxy->mapToSource(m_mark).row() : -1;
}

void QtListView::OnSelectionChanged(const QItemSelection& selected)
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isSelected(current))
        m_mark = QPersistentModelIndex(m_pProxy->index(current.row(), 0));
    else if (!selected.indexes().isEmpty())
        m_mark = QPersistentModelIndex(m_pProxy->index(selected.indexes().first().row(), 0));
}

void QtListView::Report(pemblor::Notify code)
{
    if (m_notify)
        m_notify(code);
}

void QtListView::mousePressEvent(QMouseEvent* event)
{
    m_bSkipNextClick = false;
    QTreeView::mousePressEvent(event);
}

void QtListView::mouseReleaseEvent(QMouseEvent* event)
{
    const Qt::MouseButton button = event->button();
    QTreeView::mouseReleaseEvent(event);
    if (button == Qt::LeftButton) {
        // The release that ends a double click belongs to the double click.
        if (m_bSkipNextClick)
            m_bSkipNextClick = false;
        else
            Report(Notify::Click);
    } else if (button == Qt::RightButton) {
        Report(Notify::RightClick);
    }
}

void QtListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const Qt::MouseButton button = event->button();
    QTreeView::mouseDoubleClickEvent(event);
    if (button == Qt::LeftButton) {
        m_bSkipNextClick = true;
        Report(Notify::DoubleClick);
    }
}

std::vector<int> QtListView::SelectedRows() const
{
    std::vector<int> rows;
    if (const QItemSelectionModel* selection = selectionModel()) {
        for (const QModelIndex& index : selection->selectedRows())
            rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    for (int& row : rows)
        row = m_pProxy->mapToSource(m_pProxy->index(row, 0)).row();
    return rows;
}

std::vector<int> QtListView::ShownRows() const
{
    std::vector<int> rows(static_cast<std::size_t>(m_pProxy->rowCount()));
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = m_pProxy->mapToSource(m_pProxy->index(static_cast<int>(i), 0)).row();
    return rows;
}

void QtListView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        event->accept();
        Report(Notify::Copy);
        return;
    }
    const bool menuKey = event->key() == Qt::Key_Menu ||
                         (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    if (menuKey) {
        event->accept();
        const QModelIndex mark = m_mark;
        if (mark.isValid()) {
            scrollTo(mark);
            m_menuAnchor = viewport()->mapToGlobal(visualRect(mark).bottomLeft());
        } else {
            m_menuAnchor = mapToGlobal(QPoint(0, 0));
        }
        Report(Notify::RightClick);
        m_menuAnchor.reset();
        return;
    }
    const QItemSelection before = selectionModel()->selection();
    QTreeView::keyPressEvent(event);
    if (selectionModel()->hasSelection() && selectionModel()->selection() != before)
        Report(Notify::SelectionChanged);
}

void QtFilterEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && !text().isEmpty()) {
        clear();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace pemblor
