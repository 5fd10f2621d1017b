#include "toolkit/qt/QtListView.h"

#include "toolkit/qt/QtListModel.h"

#include <QHeaderView>
#include <QMouseEvent>

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

} // namespace pemblor
