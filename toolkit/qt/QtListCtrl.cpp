#include "toolkit/qt/QtListCtrl.h"

#include "gui/QtDeviceTableModel.h"
#include "toolkit/qt/QtListView.h"

namespace pemblor {

void QtListCtrl::ShowDevices(const DeviceRegistry& registry, std::function<Millis()> now)
{
    if (m_pView)
        m_pView->Model().ShowDevices(registry, std::move(now));
}

bool QtListCtrl::HasColumns() const
{
    return m_pView && m_pView->Model().HasColumns();
}

void QtListCtrl::DevicesAdded(int count)
{
    if (m_pView)
        m_pView->Model().DevicesAdded(count);
}

void QtListCtrl::DevicesChanged(int first, int last)
{
    if (m_pView)
        m_pView->Model().DevicesChanged(first, last);
}

void QtListCtrl::DeleteAllItems()
{
    if (m_pView)
        m_pView->Model().Clear();
}

void QtListCtrl::SetItemWarning(int device, std::string_view reason)
{
    if (m_pView)
        m_pView->Model().SetWarning(device, QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size())));
}

void QtListCtrl::SetStaleAfter(std::optional<Millis> staleAfter)
{
    if (!m_pView)
        return;
    m_pView->Model().SetStaleAfter(staleAfter);
    m_pView->viewport()->update();
}

void QtListCtrl::RefreshLastSeen()
{
    if (!m_pView)
        return;
    m_pView->Model().RefreshLastSeen();
    // The greying reaches the No column too.
    m_pView->viewport()->update();
}

int QtListCtrl::GetItemCount() const
{
    return m_pView ? m_pView->Proxy().rowCount() : 0;
}

int QtListCtrl::GetSelectionMark() const
{
    return m_pView ? m_pView->SelectionMark() : -1;
}

std::vector<int> QtListCtrl::GetSelectedRows() const
{
    return m_pView ? m_pView->SelectedRows() : std::vector<int>{};
}

std::vector<int> QtListCtrl::GetShownRows() const
{
    return m_pView ? m_pView->ShownRows() : std::vector<int>{};
}

} // namespace pemblor
