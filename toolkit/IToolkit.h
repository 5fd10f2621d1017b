#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pemblor {

class IDialogHandler;
class IWindow;

// YesNo answers IdOk for Yes and IdCancel for No.
enum class MbButtons { Ok, OkCancel, YesNo };
enum class MbIcon { None, Exclamation, Question };
enum MbResult { IdOk = 1, IdCancel = 2 };

// The windowing toolkit as the windows' logic sees it. Everything runs on the
// user-interface thread; other threads reach that thread through the
// dispatcher (engine/UiDispatcher.h), not through the toolkit.
class IToolkit {
public:
    virtual ~IToolkit() = default;

    // Caption of every message box: the base name of the program's file.
    virtual std::string AppName() const = 0;

    // The translation of a text marked with PEMBLOR_TR_NOOP, for the texts the
    // logic composes from pieces (names, addresses put in) before it shows
    // them; the toolkit translates the rest where it shows it. Where nothing
    // translates, the text itself.
    virtual std::string Translate(const char* text) const { return text; }

    // Any thread: milliseconds on a clock that never goes back (the fake's
    // virtual clock in tests).
    virtual std::int64_t NowMs() const = 0;

    // Builds the window of layout `templateId`, calls OnInitDialog, shows it
    // (OnShowWindow) and runs its modal loop until EndDialog. `owner` is the
    // window that stays disabled meanwhile, or null.
    virtual int RunModal(IDialogHandler& handler, int templateId, IWindow* owner) = 0;
    virtual void EndDialog(IWindow& window, int result) = 0;
    // A close request for `window`, processed by its loop later (OnClose).
    virtual void PostClose(IWindow& window) = 0;

    // Blocks (serving other threads' calls and timers) until answered.
    virtual int MessageBox(IWindow* owner, const std::string& text, MbButtons buttons = MbButtons::Ok,
                           MbIcon icon = MbIcon::None) = 0;

    // Periodic timer `id` of `window`; arming an armed id replaces it. Returns
    // the identifier to pass to KillTimer.
    virtual unsigned SetTimer(IWindow& window, unsigned id, unsigned periodMs) = 0;
    virtual void KillTimer(IWindow& window, unsigned id) = 0;

    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // Shows the first pop-up of menu `menuId` at the cursor (at the current
    // row of a list whose menu key asked for it); returns the command chosen,
    // or 0.
    virtual int TrackPopupMenu(IWindow& window, int menuId) = 0;
    // Adds a separator and an entry to the window's system menu, or, where the
    // desktop offers none, to the nearest equivalent; choosing it calls
    // OnSysCommand(commandId).
    virtual void AppendSystemMenu(IWindow& window, unsigned commandId, const std::string& text) = 0;
    // Hands a URL to the desktop's default handler; failures are not reported.
    virtual void OpenUrl(const std::string& url) = 0;

    // Puts `text` (UTF-8) on the clipboard as plain text.
    virtual void SetClipboardText(const std::string& text) = 0;
    // Asks, in a modal file dialog owned by `owner`, for the name of a file to
    // save; `suggestedName` is offered and `filter` names the file types
    // ("CSV files (*.csv)"). Nothing when the user cancels.
    virtual std::optional<std::string> AskSaveFileName(IWindow& owner, const std::string& title,
                                                       const std::string& suggestedName,
                                                       const std::string& filter) = 0;
    // Writes `text` to the file at `path` (a name as AskSaveFileName gives
    // it) so that it replaces an earlier file only once written whole; a
    // failed write leaves the earlier file as it was. Nothing on success,
    // else the cause in words.
    virtual std::optional<std::string> SaveTextFile(const std::string& path, const std::string& text) = 0;
};

} // namespace pemblor
