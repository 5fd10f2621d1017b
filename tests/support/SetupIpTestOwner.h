#pragma once
#include "engine/CConversation.h"
#include "toolkit/IDialogHandler.h"

#include <string>

namespace pemblor {

class CSetupIpDlg;

// The least of a device list window that a Setup IP dialog needs: the
// conversation, a window of layout 102 for its timer and messages, and the
// Setup IP command's run of the dialog.
class SetupIpTestOwner final : public CConversation, public IDialogHandler {
public:
    SetupIpTestOwner(IToolkit& toolkit, ISocketLayer& sockets);
    ~SetupIpTestOwner() override;

    // What the Setup IP command does around the dialog: stop the timer, go
    // idle, register the dialog with the row's address, QueryingDetail, run
    // it, then return the address to write back into the row.
    std::string RunSetupIp(CSetupIpDlg& dialog, const std::string& macText, const std::string& rowAddress);
    // The same steps without a modal loop: the dialog is opened and stays up.
    void Attach(CSetupIpDlg& dialog, const std::string& macText, const std::string& rowAddress);
    bool StartThread() { return StartReceiveThread(); }

    // IDialogHandler
    bool OnInitDialog(IWindow& window) override;
    void OnCommand(int /*id*/) override {}
    void OnTimer(unsigned id) override { CConversation::OnTimer(id); }
    void OnCancel() override;

protected:
    void AddDiscoveredDevice(const ReplyDatagram& /*reply*/) override {}
    void ReturnToIdle() override { m_nState = Idle; }
};

} // namespace pemblor
