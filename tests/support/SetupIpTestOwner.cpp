#include "tests/support/SetupIpTestOwner.h"

#include "resources/ResourceIds.h"
#include "toolkit/IToolkit.h"
#include "ui/setupip/CSetupIpDlg.h"

namespace pemblor {

SetupIpTestOwner::SetupIpTestOwner(IToolkit& toolkit, ISocketLayer& sockets)
    : m_toolkit(toolkit), m_dispatcher(toolkit), conversation(sockets, m_dispatcher, *this)
{
}

SetupIpTestOwner::~SetupIpTestOwner()
{
    conversation.Close();
    conversation.StopReceiveThread();
}

std::unique_ptr<CSetupIpDlg> SetupIpTestOwner::NewDialog()
{
    return std::make_unique<CSetupIpDlg>(m_toolkit, conversation, m_window);
}

bool SetupIpTestOwner::OnInitDialog(IWindow& window)
{
    m_window = &window;
    m_dispatcher.SetWindow(&window);
    conversation.Open();
    return true;
}

void SetupIpTestOwner::OnCancel()
{
    if (m_window)
        m_toolkit.EndDialog(*m_window, IDCANCEL);
}

void SetupIpTestOwner::Attach(CSetupIpDlg& dialog, const std::string& macText, const std::string& rowAddress)
{
    conversation.DisarmTimer();
    conversation.ReturnToIdle();
    dialog.SetMacText(macText);
    conversation.SelectDevice(macText, dialog, rowAddress);
    m_dialog = &dialog;
    conversation.ExpectDetail();
}

std::string SetupIpTestOwner::Detach()
{
    m_dialog = nullptr;
    return conversation.ReleaseDevice();
}

std::string SetupIpTestOwner::RunSetupIp(CSetupIpDlg& dialog, const std::string& macText,
                                         const std::string& rowAddress)
{
    Attach(dialog, macText, rowAddress);
    dialog.DoModal();
    return Detach();
}

void SetupIpTestOwner::DetailStored()
{
    if (m_dialog)
        m_dialog->FillControls();
}

void SetupIpTestOwner::CommandResult(int result)
{
    if (m_dialog)
        m_dialog->OnCommandResult(result);
}

void SetupIpTestOwner::TimedOut(ConversationState ended)
{
    if (m_dialog)
        m_dialog->OnConversationTimedOut(ended);
}

void SetupIpTestOwner::SendFailed(Request request, int error, std::string_view interfaceName)
{
    if (m_dialog && request != Request::Discovery && request != Request::Stop)
        m_dialog->OnSendFailed(error, interfaceName);
}

} // namespace pemblor
