#include "toolkit/qt/QtListView.h"

#include "toolkit/qt/QtListModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleOptionViewItem>

#include <algorithm>

namespace pemblor {

QtListView::QtListView(QWidget* parent) : QTreeView(parent), m_pModel(new QtListModel(this))
{
    setModel(m_pModel);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideRight);
    // The window's own context menu must not open over the list.
    setContextMenuPolicy(Qt::PreventContextMenu);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) { OnSelectionChanged(selected); });
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

} // namespace

QString QtListView::WidestSpelling(const QString& text) const
{
    const QFontMetrics metrics(font());
    const QChar digit = WidestOf(metrics, QLatin1StringView("0123456789"));
    const QChar hexDigit = WidestOf(metrics, QLatin1StringView("0123456789ABCDEF"));
    QString spelled = text;
    for (QChar& c : spelled) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            c = digit;
        else if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            c = hexDigit;
    }
    return spelled;
}

void QtListView::FitColumn(int column, const QString& widestValue, bool withMark)
{
    if (column < 0 || column >= m_pModel->ColumnCount())
        return;
    int width = std::max(header()->sectionSize(column), header()->sectionSizeHint(column));
    if (!widestValue.isEmpty()) {
        // Measured the way the view's delegate sizes a cell, margins included.
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.features |= QStyleOptionViewItem::HasDisplay;
        option.text = WidestSpelling(widestValue);
        if (withMark) {
            option.features |= QStyleOptionViewItem::HasDecoration;
            option.icon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
        }
        option.rect = QRect();
        width = std::max(width, style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).width());
    }
    header()->resizeSection(column, width);
}

int QtListView::WantedOuterWidth() const
{
    int scrollBar = 0;
    if (!style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this))
        scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
    return header()->length() + 2 * frameWidth() + scrollBar;
}

void QtListView::OnSelectionChanged(const QItemSelection& selected)
{
    const QModelIndexList indexes = selected.indexes();
    if (!indexes.isEmpty())
        m_mark = QPersistentModelIndex(m_pModel->index(indexes.first().row(), 0));
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
        for (const QModelIndex& index : selection->selectedIndexes())
            rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
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
        const QModelIndex mark = m_pModel->index(SelectionMark(), 0);
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

} // namespace pemblor
