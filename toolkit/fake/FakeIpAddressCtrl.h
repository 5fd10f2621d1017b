#pragma once
#include "toolkit/IIpAddressCtrl.h"

#include <array>
#include <optional>

namespace pemblor {

// Four fields, each blank or a number within its range.
class FakeIpAddressCtrl final : public IIpAddressCtrl {
public:
    explicit FakeIpAddressCtrl(bool enabled) : m_bEnabled(enabled) {}

    void SetFieldRange(int field, int low, int high) override { m_ranges.at(field) = {low, high}; }
    void SetAddress(std::uint32_t address) override
    {
        for (int i = 0; i < 4; ++i)
            m_fields[i] = static_cast<int>((address >> (24 - 8 * i)) & 0xFF);
    }
    int GetAddress(std::uint32_t& address) const override
    {
        address = 0;
        int filled = 0;
        for (int i = 0; i < 4; ++i) {
            if (m_fields[i]) {
                ++filled;
                address |= static_cast<std::uint32_t>(*m_fields[i]) << (24 - 8 * i);
            }
        }
        return filled;
    }
    bool IsBlank() const override
    {
        for (const auto& f : m_fields)
            if (f)
                return false;
        return true;
    }
    void ClearAddress() override { m_fields = {}; }
    void SetFocus() override { m_bFocused = true; }
    void EnableWindow(bool enable) override { m_bEnabled = enable; }
    bool IsWindowEnabled() const override { return m_bEnabled; }
    bool HasWindow() const override { return m_bHasWindow; }

    // What typing into one field leaves there: out-of-range values are
    // brought into the field's range; nullopt blanks the field.
    void TypeField(int field, std::optional<int> value)
    {
        if (value) {
            auto [low, high] = m_ranges.at(field);
            if (*value < low)
                value = low;
            if (*value > high)
                value = high;
        }
        m_fields.at(field) = value;
    }
    std::optional<int> Field(int field) const { return m_fields.at(field); }
    std::pair<int, int> Range(int field) const { return m_ranges.at(field); }
    bool Focused() const { return m_bFocused; }
    void ClearFocus() { m_bFocused = false; }
    void Destroy() { m_bHasWindow = false; }

private:
    std::array<std::optional<int>, 4> m_fields{};
    std::array<std::pair<int, int>, 4> m_ranges{{{0, 255}, {0, 255}, {0, 255}, {0, 255}}};
    bool m_bEnabled;
    bool m_bFocused = false;
    bool m_bHasWindow = true;
};

} // namespace pemblor
