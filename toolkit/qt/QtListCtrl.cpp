#include "toolkit/qt/QtListCtrl.h"

#include "toolkit/qt/QtListModel.h"
#include "toolkit/qt/QtListView.h"
#include "toolkit/qt/QtTranslation.h"

#include <QHeaderView>

namespace pemblor {

int QtListCtrl::InsertColumn(int index, const std::string& heading, int widthPixels)
{
    if (!m_pView)
        return -1;
    const int column = m_pView->Model().InsertColumn(index, Translated(heading));
    m_pView->header()->resizeSection(column, widthPixels > 0 ? widthPixels : 0);
    return column;
}

int QtListCtrl::GetColumnCount() const
{
    return m_pView ? m_pView->Model().ColumnCount() : 0;
}

void QtListCtrl::FitColumn(int column, std::string_view widestValue, bool withMark)
{
    if (m_pView)
        m_pView->FitColumn(column, QString::fromUtf8(widestValue.data(), static_cast<qsizetype>(widestValue.size())),
                           withMark);
}

void QtListCtrl::SetFullRowSelect()
{
    if (m_pView)
        m_pView->setSelectionBehavior(QAbstractItemView::SelectRows);
}

void QtListCtrl::DeleteAllItems()
{
    if (m_pView)
        m_pView->Model().Clear();
}

int QtListCtrl::InsertItem(int index, std::string_view text)
{
    return m_pView ? m_pView->Model().InsertRow(index, text) : -1;
}

void QtListCtrl::SetItemText(int row, int column, std::string_view text)
{
    if (m_pView)
        m_pView->Model().SetText(row, column, text);
}

void QtListCtrl::SetItemWarning(int row, int column, std::string_view reason)
{
    if (m_pView)
        m_pView->Model().SetWarning(row, column, reason);
}

std::string QtListCtrl::GetItemText(int row, int column) const
{
    return m_pView ? m_pView->Model().Text(row, column) : std::string();
}

int QtListCtrl::GetItemCount() const
{
    return m_pView ? m_pView->Model().RowCount() : 0;
}

int QtListCtrl::GetSelectionMark() const
{
    return m_pView ? m_pView->SelectionMark() : -1;
}

std::vector<int> QtListCtrl::GetSelectedRows() const
{
    return m_pView ? m_pView->SelectedRows() : std::vector<int>{};
}

void QtListCtrl::RedrawItem(int row)
{
    if (!m_pView || row < 0 || row >= m_pView->Model().RowCount())
        return;
    const QRect cell = m_pView->visualRect(m_pView->Model().index(row, 0));
    QWidget* viewport = m_pView->viewport();
    viewport->update(QRect(0, cell.top(), viewport->width(), cell.height()));
}

int QtListCtrl::GetOuterWidth() const
{
    return m_pView ? m_pView->frameGeometry().width() : 0;
}

void QtListCtrl::SetRedraw(bool redraw)
{
    if (!m_pView)
        return;
    m_pView->setUpdatesEnabled(redraw);
    if (redraw)
        m_pView->viewport()->update();
}

} // namespace pemblor
