#pragma once
#include "toolkit/IEdit.h"

#include <QLineEdit>
#include <QPointer>

namespace pemblor {

// Single-line edit adapter; the window owns both the edit and the adapter.
// Text crosses the interface as UTF-8.
class QtEdit final : public IEdit {
public:
    explicit QtEdit(QLineEdit* edit) : m_pEdit(edit) {}
    QtEdit(const QtEdit&) = delete;
    QtEdit& operator=(const QtEdit&) = delete;

    std::string GetWindowText() const override;
    void SetWindowText(const std::string& text) override;
    // 0 or less restores the default limit.
    void SetLimitText(int characters) override;
    void EnableWindow(bool enable) override;
    bool IsWindowEnabled() const override;

private:
    QPointer<QLineEdit> m_pEdit;
};

} // namespace pemblor
