#pragma once
#include "toolkit/IEdit.h"

#include <cstddef>
#include <string>

namespace pemblor {

class FakeEdit final : public IEdit {
public:
    FakeEdit(bool enabled, bool password) : m_bEnabled(enabled), m_bPassword(password) {}
    std::string GetWindowText() const override { return m_strText; }
    void SetWindowText(const std::string& text) override { m_strText = text; }
    void SetLimitText(int characters) override { m_nLimit = characters; }
    void EnableWindow(bool enable) override { m_bEnabled = enable; }
    bool IsWindowEnabled() const override { return m_bEnabled; }

    // What typing UTF-8 text does: characters beyond the limit are refused.
    // The limit counts characters, as the native control does, not bytes.
    void Type(const std::string& text)
    {
        int characters = CountCharacters(m_strText);
        for (std::size_t i = 0; i < text.size();) {
            std::size_t next = i + 1;
            while (next < text.size() && IsContinuation(text[next]))
                ++next;
            if (m_nLimit > 0 && characters >= m_nLimit)
                break;
            m_strText.append(text, i, next - i);
            ++characters;
            i = next;
        }
    }
    int Limit() const { return m_nLimit; }
    bool IsPassword() const { return m_bPassword; }

private:
    static bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u; }
    static int CountCharacters(const std::string& text)
    {
        int count = 0;
        for (char c : text)
            count += IsContinuation(c) ? 0 : 1;
        return count;
    }

    std::string m_strText;
    int m_nLimit = 0;
    bool m_bEnabled;
    bool m_bPassword;
};

} // namespace pemblor
