#pragma once
#include "toolkit/IToolkit.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

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

private:
    static QtWindow* AsQtWindow(IWindow* window);
    static bool IsUiThread();
    int m_nWaitCursors = 0;
    SaveFileChooser m_saveFileChooser;
};

} // namespace pemblor
