#include "tests/support/SetupIpTestOwner.h"

#include "resources/ResourceIds.h"
#include "toolkit/IToolkit.h"
#include "ui/setupip/CSetupIpDlg.h"

namespace pemblor {

SetupIpTestOwner::SetupIpTestOwner(IToolkit& toolkit, ISocketLayer& sockets) : CConversation(toolkit, sockets) {}

SetupIpTestOwner::~SetupIpTestOwner()
{
    SendStopDatagram();
    StopReceiveThread();
}

bool SetupIpTestOwner::OnInitDialog(IWindow& window)
{
    OpenEndpoint(window);
    return true;
}

void SetupIpTestOwner::OnCancel()
{
    if (m_pWindow)
        m_toolkit.EndDialog(*m_pWindow, IDCANCEL);
}

void SetupIpTestOwner::Attach(CSetupIpDlg& dialog, const std::string& macText, const std::string& rowAddress)
{
    DisarmTimer();
    ReturnToIdle();
    dialog.SetMacText(macText);
    AttachSetupIpDlg(&dialog, rowAddress);
    m_nState = QueryingDetail;
}

std::string SetupIpTestOwner::RunSetupIp(CSetupIpDlg& dialog, const std::string& macText,
                                         const std::string& rowAddress)
{
    Attach(dialog, macText, rowAddress);
    dialog.DoModal();
    return DetachSetupIpDlg();
}

} // namespace pemblor
