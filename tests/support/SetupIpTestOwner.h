#pragma once
#include "engine/Session.h"
#include "toolkit/IDialogHandler.h"
#include "engine/UiDispatcher.h"

#include <memory>
#include <string>

namespace pemblor {

class CSetupIpDlg;
class IToolkit;

// The least of a device list window that a Setup IP dialog needs: a window
// of layout 102 for its messages, the dispatcher, the session
// (whose transport the dialog's job shares) and the Setup IP command's run
// of the dialog.
class SetupIpTestOwner final : public IDialogHandler, private DiscoveryListener {
public:
    SetupIpTestOwner(IToolkit& toolkit, UiDispatcher& dispatcher, ISocketLayer& sockets);
    ~SetupIpTestOwner() override;

    // A dialog for this owner's session and window.
    std::unique_ptr<CSetupIpDlg> NewDialog();
    // What the Setup IP command does around the dialog: stop the timer, go
    // idle, give the dialog the row's address, run it, then return the
    // address to write back into the row.
    std::string RunSetupIp(CSetupIpDlg& dialog, const std::string& macText, const std::string& rowAddress);
    // The same steps without a modal loop: the dialog is opened and stays up.
    void Attach(CSetupIpDlg& dialog, const std::string& macText, const std::string& rowAddress);
    // Ends what Attach began; returns the row's address.
    std::string Detach();
    bool StartThread() { return session.StartReceiveThread(); }

    // IDialogHandler
    bool OnInitDialog(IWindow& window) override;
    void OnCommand(int /*id*/) override {}
    void OnCancel() override;

private:
    // DiscoveryListener
    void DiscoveryEnded(int /*deviceCount*/, const SilenceDiagnosis& /*silence*/) override {}
    void SendFailed(Request /*request*/, int /*error*/, std::string_view /*interfaceName*/) override {}
    void ReceiveFailed(ReceiveFailure /*failure*/) override {}

    IToolkit& m_toolkit;
    UiDispatcher& m_dispatcher;
    IWindow* m_window = nullptr;
    CSetupIpDlg* m_dialog = nullptr;

public:
    Session session;
};

} // namespace pemblor
