#pragma once
#include "toolkit/IDialogHandler.h"

namespace pemblor {

class IToolkit;

// The About box (layout 100). OK and Escape end it.
class CAboutDlg final : public IDialogHandler {
public:
    explicit CAboutDlg(IToolkit& toolkit) : m_toolkit(toolkit) {}
    CAboutDlg(const CAboutDlg&) = delete;
    CAboutDlg& operator=(const CAboutDlg&) = delete;

    // Runs the box modally, owned by `owner` (may be null).
    int DoModal(IWindow* owner);

    bool OnInitDialog(IWindow& window) override;
    void OnCommand(int id) override;
    void OnCancel() override;
    void OnDestroy() override { m_pWindow = nullptr; }

private:
    IToolkit& m_toolkit;
    IWindow* m_pWindow = nullptr;
};

} // namespace pemblor
