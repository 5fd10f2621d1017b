#pragma once
#include "toolkit/IToolkit.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class QObject;
class QSocketNotifier;
class QWidget;

namespace pemblor {

class QtWindow;

// The toolkit on Qt Widgets. Create it on the user-interface thread after the
// QApplication, and destroy it before the QApplication.
//
// Every window is a modal QtWindow run by RunModal; there is no other main
// loop. The application does not quit when its last window closes.
//
// Where desktops offer no window menu for applications, AppendSystemMenu puts
// the entry into a context menu on the window's background and on Ctrl+F1.
class QtToolkit final : public IToolkit {
public:
    QtToolkit();
    ~QtToolkit() override;
    QtToolkit(const QtToolkit&) = delete;
    QtToolkit& operator=(const QtToolkit&) = delete;

    std::string AppName() const override;
    std::int64_t NowMs() const override;
    std::string Translate(const char* text) const override;
    int RunModal(IDialogHandler& handler, int templateId, IWindow* owner) override;
    void EndDialog(IWindow& window, int result) override;
    void PostClose(IWindow& window) override;
    int MessageBox(IWindow* owner, const std::string& text, MbButtons buttons = MbButtons::Ok,
                   MbIcon icon = MbIcon::None) override;
    unsigned SetTimer(IWindow& window, unsigned id, unsigned periodMs) override;
    void KillTimer(IWindow& window, unsigned id) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void WaitOnUiThread(unsigned ms) override;
    // Must not be called on the user-interface thread (asserted; a release
    // build carries the call out at once).
    bool InvokeOnUiThread(FunctionRef<void()> call) override;
    // Must not be called once the toolkit is destroyed.
    void PostToUiThread(std::function<void()> call) override;
    int TrackPopupMenu(IWindow& window, int menuId) override;
    void AppendSystemMenu(IWindow& window, unsigned commandId, const std::string& text) override;
    void OpenUrl(const std::string& url) override;
    std::optional<std::string> SaveTextFile(const std::string& path, const std::string& text) override;
    void SetClipboardText(const std::string& text) override;
    std::optional<std::string> AskSaveFileName(IWindow& owner, const std::string& title,
                                               const std::string& suggestedName, const std::string& filter) override;

    // The file dialog behind AskSaveFileName: given the owner widget, title,
    // suggested name and filter, it returns the chosen name or nothing. The
    // default is QFileDialog::getSaveFileName; tests answer in its place.
    using SaveFileChooser = std::function<std::optional<std::string>(QWidget*, const std::string&,
                                                                     const std::string&, const std::string&)>;
    void SetSaveFileChooser(SaveFileChooser chooser) { m_saveFileChooser = std::move(chooser); }

    // From now on InvokeOnUiThread returns false without calling, and callers
    // that wait for a call not yet started return false at once. A call being
    // carried out is finished. Any thread; idempotent.
    void Shutdown();
    bool IsUiThread() const;
    // Calls posted by other threads and not yet started.
    std::size_t PendingCallCount();

private:
    struct PendingCall {
        explicit PendingCall(FunctionRef<void()> function) : call(function) {}
        FunctionRef<void()> call;
        std::condition_variable finished;
        bool bFinished = false;
        bool bRan = false;
    };

    static QtWindow* AsQtWindow(IWindow* window);
    void ServeCall(std::uint64_t call);
    void RunPosted();

    // Lives on the user-interface thread; other threads post calls to it.
    std::unique_ptr<QObject> m_pReceiver;
    std::mutex m_mutex;
    std::map<std::uint64_t, PendingCall*> m_pending; // guarded by m_mutex
    std::uint64_t m_nLastCall = 0;                   // guarded by m_mutex
    bool m_bShutdown = false;                        // guarded by m_mutex
    // Calls posted from other threads wait here; one write to m_wakeFd (an
    // eventfd the user-interface thread watches) wakes it for all that came
    // meanwhile. Posting a call whose target fits in std::function allocates
    // nothing while the list has room.
    std::vector<std::function<void()>> m_posted; // guarded by m_mutex
    bool m_bWakePending = false;                 // guarded by m_mutex
    int m_wakeFd = -1;
    std::unique_ptr<QSocketNotifier> m_pWakeNotifier;
    int m_nWaitCursors = 0;
    SaveFileChooser m_saveFileChooser;
};

} // namespace pemblor
