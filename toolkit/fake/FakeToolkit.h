#pragma once
#include "toolkit/IToolkit.h"
#include "toolkit/fake/FakeWindow.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace pemblor {

// The toolkit for tests: in-memory windows and controls, message boxes
// answered from a script, and a virtual clock.
//
// The thread that constructs it is the user-interface thread (the test's own
// thread). Virtual time moves only inside Advance(), and inside the nested
// loops of RunModal, MessageBox and WaitOnUiThread, which run the events
// scheduled on the clock in time order: timer ticks, posted close requests and
// the test's scripted actions (At/After). Before every event the toolkit
// settles: it serves the other threads' InvokeOnUiThread/PostToUiThread calls
// until the quiescence probe (normally FakeNetwork::Quiescent) says they have
// nothing left to do. So a 53-second wait runs in milliseconds and the order
// of replies and ticks is deterministic.
class FakeToolkit final : public IToolkit {
public:
    explicit FakeToolkit(std::string appName = "Pemblor");
    ~FakeToolkit() override;

    // IToolkit
    std::string AppName() const override { return m_strAppName; }
    std::int64_t NowMs() const override { return m_now.load(); }
    int RunModal(IDialogHandler& handler, int templateId, IWindow* owner) override;
    void EndDialog(IWindow& window, int result) override;
    void PostClose(IWindow& window) override;
    int MessageBox(IWindow* owner, const std::string& text, MbButtons buttons, MbIcon icon) override;
    unsigned SetTimer(IWindow& window, unsigned id, unsigned periodMs) override;
    void KillTimer(IWindow& window, unsigned id) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void WaitOnUiThread(unsigned ms) override;
    bool InvokeOnUiThread(FunctionRef<void()> call) override;
    void PostToUiThread(std::function<void()> call) override;
    int TrackPopupMenu(IWindow& window, int menuId) override;
    void AppendSystemMenu(IWindow& window, unsigned commandId, const std::string& text) override;
    void OpenUrl(const std::string& url) override;
    void SetClipboardText(const std::string& text) override { m_clipboard = text; }
    std::optional<std::string> AskSaveFileName(IWindow& owner, const std::string& title,
                                               const std::string& suggestedName, const std::string& filter) override;
    // Writes a file of its own beside `path` and renames it over `path`.
    std::optional<std::string> SaveTextFile(const std::string& path, const std::string& text) override;

    // --- For tests -------------------------------------------------------
    // Opens a top-level window without a modal loop: builds it, calls
    // OnInitDialog (its result is kept in InitResult) and OnShowWindow.
    FakeWindow& Open(IDialogHandler& handler, int templateId);
    // The most recently created window that has not ended, or null.
    FakeWindow* TopWindow();
    // The most recently created window of that layout (ended or not).
    FakeWindow* LastWindow(int templateId);
    bool InitResult(const FakeWindow& window) const;

    using Millis = std::int64_t;
    Millis Now() const { return m_now.load(); }
    // Runs every event due up to Now() + ms, then sets the clock there.
    void Advance(Millis ms);
    // Scripted user action at an absolute / relative virtual time; these
    // three are for the user-interface thread only (another thread reaches
    // them through PostToUiThread). User
    // actions wait while the user-interface thread refuses input
    // (WaitOnUiThread) and run when it ends.
    void At(Millis time, std::function<void()> action);
    void After(Millis delay, std::function<void()> action);
    // Something that happens outside the user interface at a virtual time
    // (a device answering); runs even while input is refused.
    void AfterExternal(Millis delay, std::function<void()> action);
    // Serves other threads' calls until the probe reports quiescence.
    void Settle();
    void SetQuiescenceProbe(std::function<bool()> probe) { m_probe = std::move(probe); }
    // Stops serving: pending and later InvokeOnUiThread calls return false.
    void Shutdown();

    struct MessageRecord {
        std::string text;
        std::string caption;
        MbButtons buttons;
        MbIcon icon;
        int ownerTemplate; // 0 when the box has no owner
        Millis time;
    };
    const std::vector<MessageRecord>& Messages() const { return m_messages; }
    std::vector<std::string> MessageTexts() const;
    void ClearMessages() { m_messages.clear(); }
    // Answers for the next message boxes, in order; IdOk when none is left.
    void AnswerNextMessage(int result) { m_answers.push_back(result); }
    // Called when a box is shown, before it is answered (still inside the
    // box's loop): lets a test act "while the box is up". The box stays up
    // `holdMs` of virtual time, serving timers and calls meanwhile.
    void SetMessageHold(Millis holdMs) { m_nMessageHold = holdMs; }

    void AnswerNextPopup(int command) { m_popupAnswers.push_back(command); }
    struct PopupRecord {
        int windowTemplate;
        int menuId;
    };
    const std::vector<PopupRecord>& Popups() const { return m_popups; }
    const std::vector<std::string>& OpenedUrls() const { return m_urls; }
    const std::string& Clipboard() const { return m_clipboard; }
    // Answers for the next file dialogs, in order: a file name, or nothing
    // for Cancel (also when no answer is left).
    void AnswerNextSaveFile(std::optional<std::string> path) { m_saveAnswers.push_back(std::move(path)); }
    struct SaveFileRecord {
        int ownerTemplate;
        std::string title;
        std::string suggestedName;
        std::string filter;
    };
    const std::vector<SaveFileRecord>& SaveFileDialogs() const { return m_saveDialogs; }
    struct SysMenuEntry {
        unsigned command;
        std::string text;
    };
    const std::vector<SysMenuEntry>& SystemMenu() const { return m_sysMenu; }
    int WaitCursorDepth() const { return m_nWaitCursor; }
    // Virtual time spent in WaitOnUiThread calls, in order.
    const std::vector<std::pair<Millis, Millis>>& Waits() const { return m_waits; }
    bool TimerArmed(const IWindow& window, unsigned id) const;
    Millis TimerPeriod(const IWindow& window, unsigned id) const;
    // True when a modal loop found nothing left to run and the test had to be
    // rescued (the dialog was ended with IDCANCEL), or settling timed out.
    bool Stalled() const { return m_bStalled; }

private:
    struct Event {
        Millis time;
        std::uint64_t seq;
        bool userInput;
        std::function<void()> run;
    };
    struct Call;
    FakeWindow& Create(IDialogHandler& handler, int templateId, FakeWindow* owner);
    FakeWindow* AsFake(IWindow* window) const;
    void Schedule(Millis time, bool userInput, std::function<void()> run);
    // Runs the earliest event due at or before `limit`; false when none.
    bool RunNext(Millis limit, bool allowUserInput);
    void ScheduleTick(FakeWindow* window, unsigned id, std::uint64_t generation, Millis at);
    bool ServeCalls();
    bool IsUiThread() const { return std::this_thread::get_id() == m_uiThread; }
    friend class FakeWindow;

    std::string m_strAppName;
    std::thread::id m_uiThread;
    // Read by other threads (NowMs).
    std::atomic<Millis> m_now{0};
    std::uint64_t m_seq = 0;
    std::multimap<std::pair<Millis, std::uint64_t>, Event> m_events;
    std::vector<std::unique_ptr<FakeWindow>> m_windows;
    std::map<const FakeWindow*, bool> m_initResults;
    struct TimerState {
        std::uint64_t generation;
        Millis period;
        bool armed;
    };
    std::map<std::pair<const FakeWindow*, unsigned>, TimerState> m_timers;
    std::uint64_t m_nTimerGeneration = 0;
    int m_nInputBlocked = 0;

    std::function<bool()> m_probe;
    std::mutex m_callMutex;
    std::condition_variable m_callCv;
    std::vector<Call*> m_calls; // reserved: queuing a call allocates nothing
    std::deque<std::function<void()>> m_posted;
    bool m_bShutdown = false;

    std::vector<MessageRecord> m_messages;
    std::deque<int> m_answers;
    Millis m_nMessageHold = 0;
    std::deque<int> m_popupAnswers;
    std::vector<PopupRecord> m_popups;
    std::vector<std::string> m_urls;
    std::string m_clipboard;
    std::deque<std::optional<std::string>> m_saveAnswers;
    std::vector<SaveFileRecord> m_saveDialogs;
    std::vector<SysMenuEntry> m_sysMenu;
    std::vector<std::pair<Millis, Millis>> m_waits;
    int m_nWaitCursor = 0;
    bool m_bStalled = false;
};

} // namespace pemblor
