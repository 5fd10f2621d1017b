#pragma once
#include "fleet/SettingsCheck.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <utility>

class QLabel;
class QLineEdit;

namespace pemblor {

// IPv4 address entry: four fields of up to three digits separated by dots,
// one tab stop for the whole control. It keeps its natural width, about
// sixteen characters, wherever it stands; only its fields are found in the
// accessibility tree, not the dots between them.
//
// Typing: digits go into the field with the caret and replace a selection.
// Three digits move to the next field and select it; a '.' right after that
// move, or in an empty field, stays put; any other '.' moves on. Left and
// Right cross field edges, Home and End go to the first and the last field,
// Backspace at the start of a field goes back. Pasting (Ctrl+V, Shift+Insert,
// middle click with the selection) a dotted address fills all four fields;
// digits alone go into the field; any other text changes nothing.
//
// Ranges: a value above a field's range becomes its high bound at once, a
// value below it the low bound when the field is left. Either way a notice
// under the field tells the user what was entered and what the range is.
//
// FieldChanged is emitted for every change the user makes to a field, the
// range corrections and pastes included; SetAddress emits nothing.
//
// The fields' accessible names are "<label>, field N of 4"; the label is the
// control's accessible name, or else the text of the label whose buddy it is.
class QtIpAddressCtrl final : public QWidget {
    Q_OBJECT
public:
    explicit QtIpAddressCtrl(QWidget* parent);

    // Each field's range, low not above high.
    void SetFieldRanges(const FieldRanges& ranges);
    // Field 0 in the most significant byte.
    void SetAddress(std::uint32_t address);
    // Blank fields read 0; returns the number of non-blank fields.
    int GetAddress(std::uint32_t& address) const;
    bool IsBlank() const;
    void FocusField(int field, bool selectAll);
    QLineEdit* Field(int field) const { return m_fields.at(static_cast<std::size_t>(field)); }
    // The range notice on show, empty when none is.
    QString Notice() const;

    QSize sizeHint() const override;

signals:
    void FieldChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int IndexOf(const QObject* field) const;
    bool OnKeyPress(int field, QKeyEvent* event);
    bool OnMouseButton(int field, QMouseEvent* event);
    void OnTextEdited(int field);
    // Brings a field into its range; true when its text changed.
    bool FinishField(int field);
    void Paste(int field, const QString& text);
    void ShowNotice(int field, const QString& entered);
    void HideNotice();
    void NameFields();
    // The gap between two fields, where a dot is painted.
    int DotWidth() const;

    std::array<QLineEdit*, 4> m_fields{};
    std::array<std::pair<int, int>, 4> m_ranges{{{0, 255}, {0, 255}, {0, 255}, {0, 255}}};
    // The last key filled a field and moved on by itself: a '.' now is the
    // user's own separator for that move and must not move again.
    bool m_advanced = false;
    QLabel* m_notice = nullptr;
    QTimer m_noticeTimer;
    QPointer<QWidget> m_watchedWindow;
};

} // namespace pemblor
