#pragma once

namespace pemblor {

class IWindow;

// List notifications: Click, DoubleClick and RightClick come from the mouse,
// RightClick also from the Menu key and Shift+F10 (a menu for the current
// row); SelectionChanged when a key moved the selection to a row; Copy from
// the platform's copy key (Ctrl+C).
enum class Notify { Click, DoubleClick, RightClick, FieldChanged, Copy, SelectionChanged };

// What a dialog's logic hears from its window; all of it on the
// user-interface thread.
class IDialogHandler {
public:
    virtual ~IDialogHandler() = default;
    // Controls exist; the return value says whether the default control gets
    // the focus.
    virtual bool OnInitDialog(IWindow& window) = 0;
    virtual void OnShowWindow() {}
    // Push button clicks (check boxes included) and menu commands.
    virtual void OnCommand(int id) = 0;
    virtual void OnNotify(int /*id*/, Notify /*code*/) {}
    virtual void OnTimer(unsigned /*id*/) {}
    virtual void OnSysCommand(unsigned /*id*/) {}
    // A close request (close box, PostClose). The default handling is the
    // cancel command.
    virtual void OnClose() { OnCancel(); }
    // The cancel command: Escape, the button with id 2, or OnClose's default.
    // Must end the dialog with IToolkit::EndDialog.
    virtual void OnCancel() = 0;
    // The window is about to go; controls may no longer be used afterwards.
    virtual void OnDestroy() {}
};

} // namespace pemblor
