#pragma once
#include "engine/EventLoop.h"
#include "toolkit/IToolkit.h"
#include "toolkit/fake/FakeWindow.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pemblor {

// The toolkit for tests: in-memory windows and controls, message boxes
// answered from a script, on the engine's event loop with its virtual clock
// (the loop the windows' dispatcher is, in these tests).
//
// The loop's thread is the user-interface thread (the test's own thread).
// Virtual time moves only inside Advance(), and inside the nested loops of
// RunModal and MessageBox, which run the loop: window timers, posted close
// requests and the test's scripted actions (At/After) in time order, and
// before each, the other threads' calls until the clock's quiescence probe
// (normally FakeNetwork::Quiescent) says they have nothing left to do. So a
// 53-second wait runs in milliseconds and the order of replies and ticks is
// deterministic.
class FakeToolkit final : public IToolkit {
public:
    // `loop` outlives the toolkit.
    explicit FakeToolkit(EventLoop& loop, std::string appName = "Pemblor");
    ~FakeToolkit() override;
    FakeToolkit(const FakeToolkit&) = delete;
    FakeToolkit& operator=(const FakeToolkit&) = delete;

    // IToolkit
    std::string AppName() const override { return m_strAppName; }
    std::int64_t NowMs() const override { return m_loop.Now(); }
    int RunModal(IDialogHandler& handler, int templateId, IWindow* owner) override;
    void EndDialog(IWindow& window, int result) override;
    void PostClose(IWindow& window) override;
    int MessageBox(IWindow* owner, const std::string& text, MbButtons buttons, MbIcon icon) override;
    unsigned SetTimer(IWindow& window, unsigned id, unsigned periodMs) override;
    void KillTimer(IWindow& window, unsigned id) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
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

    using Millis = EventLoop::Millis;
    EventLoop& Loop() { return m_loop; }
    Millis Now() const { return m_loop.Now(); }
    // Runs every event due up to Now() + ms, then sets the clock there.
    void Advance(Millis ms);
    // Scripted user action at an absolute / relative virtual time; these
    // three are for the user-interface thread only. User actions wait while
    // a message box is up and run when it has been answered.
    void At(Millis time, std::function<void()> action);
    void After(Millis delay, std::function<void()> action);
    // Something that happens outside the user interface at a virtual time
    // (a device answering); runs even while input is refused.
    void AfterExternal(Millis delay, std::function<void()> action);
    // Serves other threads' calls until the probe reports quiescence.
    void Settle();

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
    // Virtual time spent waiting on the user-interface thread (the loop's
    // WaitServing), in order: start and length.
    const std::vector<std::pair<Millis, Millis>>& Waits() const { return m_loop.Waits(); }
    bool TimerArmed(const IWindow& window, unsigned id) const;
    Millis TimerPeriod(const IWindow& window, unsigned id) const;
    // True when a modal loop found nothing left to run and the test had to be
    // rescued (the dialog was ended with IDCANCEL), or settling timed out.
    bool Stalled() const;

private:
    // A window's periodic timer: a deadline on the loop that schedules itself
    // again before each tick.
    struct WindowTimer final : Deadline {
        FakeToolkit* toolkit = nullptr;
        FakeWindow* window = nullptr;
        unsigned id = 0;
        Millis period = 0;
        bool armed = false;
        void Expired() override;
    };
    FakeWindow& Create(IDialogHandler& handler, int templateId, FakeWindow* owner);
    FakeWindow* AsFake(IWindow* window) const;
    void Schedule(Millis delay, bool userInput, std::function<void()> run);
    // Ends one refusal of input; at the last, the user actions held back
    // meanwhile are due again, in their order.
    void EndInputBlock();
    void Disarm(WindowTimer& timer);
    friend class FakeWindow;

    EventLoop& m_loop;
    std::string m_strAppName;
    std::vector<std::unique_ptr<FakeWindow>> m_windows;
    std::map<const FakeWindow*, bool> m_initResults;
    std::map<std::pair<const FakeWindow*, unsigned>, std::unique_ptr<WindowTimer>> m_timers;
    int m_nInputBlocked = 0;
    std::vector<std::function<void()>> m_heldInput;

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
    int m_nWaitCursor = 0;
    bool m_bStalled = false;
};

} // namespace pemblor
