#pragma once
#include <atomic>
#include <string>
#include <string_view>

namespace pemblor {

class IWindow;

// What the conversation needs of the open Setup IP dialog.
//
// Ownership and threads: the device list window creates and destroys the
// dialog on the user-interface thread and registers it with
// CConversation::AttachSetupIpDlg / DetachSetupIpDlg. The receive thread
// stores into it only under the conversation's dialog lock, so it never
// stores into a dialog that is being destroyed.
class SetupIpTarget {
public:
    virtual ~SetupIpTarget() = default;

    // Receive thread, under the dialog lock. Must not call the toolkit.
    virtual void SetSetting(std::string_view name, std::string_view value) = 0;
    // User-interface thread. Does nothing when the dialog has no window.
    virtual void FillControls() = 0;
    // User-interface thread: the dialog's window while it is shown, else null.
    virtual IWindow* GetWindow() = 0;

    // Result of the last settings change: the dialog's "no result yet" value
    // until the command reply's result is stored (receive thread), which
    // happens before the state leaves AwaitingSetResult.
    std::atomic<int> m_nResult{-1};

    // Address the device last answered from. Guarded by the conversation's
    // dialog lock: use CConversation's accessors, never the field directly
    // from the dialog.
    std::string m_strIpAddress;
};

} // namespace pemblor
