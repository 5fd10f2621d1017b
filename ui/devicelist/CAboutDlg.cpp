#include "ui/devicelist/CAboutDlg.h"

#include "resources/ResourceIds.h"
#include "toolkit/IToolkit.h"

namespace pemblor {

int CAboutDlg::DoModal(IWindow* owner)
{
    return m_toolkit.RunModal(*this, IDD_ABOUTBOX, owner);
}

bool CAboutDlg::OnInitDialog(IWindow& window)
{
    m_pWindow = &window;
    return true;
}

void CAboutDlg::OnCommand(int id)
{
    if (id == IDOK && m_pWindow)
        m_toolkit.EndDialog(*m_pWindow, IDOK);
}

void CAboutDlg::OnCancel()
{
    if (m_pWindow)
        m_toolkit.EndDialog(*m_pWindow, IDCANCEL);
}

} // namespace pemblor
