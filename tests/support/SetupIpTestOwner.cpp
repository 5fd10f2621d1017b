#include "tests/support/SetupIpTestOwner.h"

#include "resources/ResourceIds.h"
#include "toolkit/IToolkit.h"
#include "ui/setupip/CSetupIpDlg.h"

#include <utility>

namespace pemblor {

SetupIpTestOwner::SetupIpTestOwner(IToolkit& toolkit, UiDispatcher& dispatcher, ISocketLayer& sockets)
    : m_toolkit(toolkit), m_dispatcher(dispatcher), session(sockets, m_dispatcher, *this)
{
    m_dispatcher.SetTickHandler([this] { session.OnTimer(); });
}

SetupIpTestOwner::~SetupIpTestOwner()
{
    session.Close();
    session.StopReceiveThread();
    m_dispatcher.DisarmTimer();
    m_dispatcher.SetTickHandler(nullptr);
}

std::unique_ptr<CSetupIpDlg> SetupIpTestOwner::NewDialog()
{
    return std::make_unique<CSetupIpDlg>(m_toolkit, session, m_window);
}

bool SetupIpTestOwner::OnInitDialog(IWindow& window)
{
    m_window = &window;
    session.Open();
    return true;
}

void SetupIpTestOwner::OnCancel()
{
    if (m_window)
        m_toolkit.EndDialog(*m_window, IDCANCEL);
}

void SetupIpTestOwner::Attach(CSetupIpDlg& dialog, const std::string& macText, const std::string& rowAddress)
{
    session.discovery().DisarmTimer();
    session.discovery().ReturnToIdle();
    dialog.SetMacText(macText);
    dialog.SetDeviceAddress(rowAddress);
    m_dialog = &dialog;
}

std::string SetupIpTestOwner::Detach()
{
    CSetupIpDlg* dialog = std::exchange(m_dialog, nullptr);
    return dialog ? dialog->DeviceAddress() : std::string();
}

std::string SetupIpTestOwner::RunSetupIp(CSetupIpDlg& dialog, const std::string& macText,
                                         const std::string& rowAddress)
{
    Attach(dialog, macText, rowAddress);
    dialog.DoModal();
    return Detach();
}

} // namespace pemblor
