#pragma once
#include <QWidget>

#include <array>
#include <cstdint>
#include <utility>

class QLineEdit;

namespace pemblor {

// IPv4 address entry: four fields of up to three digits separated by dots,
// one tab stop for the whole control.
//
// Typing: only digits go in. A value above the field's range becomes the
// high bound at once; a value below it becomes the low bound when the field
// is left. Three digits, or '.' in a non-empty field, move to the next field
// and select it; Backspace (or Left) at the start of a field moves to the end
// of the previous one, Right at the end to the start of the next one.
//
// FieldChanged is emitted for every edit the user makes and for every
// correction made when a field is left; SetAddress and ClearAddress emit
// nothing.
class QtIpAddressCtrl final : public QWidget {
    Q_OBJECT
public:
    explicit QtIpAddressCtrl(QWidget* parent);

    // Field 0 is the leftmost; low and high are clipped to 0..255.
    void SetFieldRange(int field, int low, int high);
    // Field 0 in the most significant byte.
    void SetAddress(std::uint32_t address);
    // Blank fields read 0; returns the number of non-blank fields.
    int GetAddress(std::uint32_t& address) const;
    bool IsBlank() const;
    void ClearAddress();
    void FocusField(int field, bool selectAll);
    QLineEdit* Field(int field) const { return m_fields.at(static_cast<std::size_t>(field)); }

signals:
    void FieldChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int IndexOf(const QObject* field) const;
    bool OnKeyPress(int field, QKeyEvent* event);
    void OnTextEdited(int field);
    void FinishField(int field);

    std::array<QLineEdit*, 4> m_fields{};
    std::array<std::pair<int, int>, 4> m_ranges{{{0, 255}, {0, 255}, {0, 255}, {0, 255}}};
};

} // namespace pemblor
