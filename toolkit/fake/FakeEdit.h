#pragma once
#include "toolkit/IEdit.h"

namespace pemblor {

class FakeEdit final : public IEdit {
public:
    FakeEdit(bool enabled, bool password) : m_bEnabled(enabled), m_bPassword(password) {}
    std::string GetWindowText() const override { return m_strText; }
    void SetWindowText(const std::string& text) override { m_strText = text; }
    void SetLimitText(int characters) override { m_nLimit = characters; }
    void EnableWindow(bool enable) override { m_bEnabled = enable; }
    bool IsWindowEnabled() const override { return m_bEnabled; }

    // What typing does: characters beyond the limit are refused.
    void Type(const std::string& text)
    {
        for (char c : text) {
            if (m_nLimit > 0 && static_cast<int>(m_strText.size()) >= m_nLimit)
                break;
            m_strText.push_back(c);
        }
    }
    int Limit() const { return m_nLimit; }
    bool IsPassword() const { return m_bPassword; }

private:
    std::string m_strText;
    int m_nLimit = 0;
    bool m_bEnabled;
    bool m_bPassword;
};

} // namespace pemblor
