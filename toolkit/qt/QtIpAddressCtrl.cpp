#include "toolkit/qt/QtIpAddressCtrl.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

namespace pemblor {

QtIpAddressCtrl::QtIpAddressCtrl(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_InputMethodEnabled, false);
    auto* layout = new QHBoxLayout(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    const int margin = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(0);
    auto* validator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            dot->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
            layout->addWidget(dot);
        }
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setValidator(validator);
        field->setMinimumWidth(0);
        field->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        field->setContextMenuPolicy(Qt::NoContextMenu);
        // One tab stop for the control: the other fields take the focus by
        // click or by the moves above only.
        field->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        field->installEventFilter(this);
        const int index = static_cast<int>(i);
        connect(field, &QLineEdit::textEdited, this, [this, index] { OnTextEdited(index); });
        layout->addWidget(field, 1);
        m_fields[i] = field;
    }
    setFocusProxy(m_fields[0]);
    setFocusPolicy(Qt::StrongFocus);
}

void QtIpAddressCtrl::SetFieldRange(int field, int low, int high)
{
    if (field < 0 || field >= static_cast<int>(m_fields.size()))
        return;
    low = std::clamp(low, 0, 255);
    high = std::clamp(high, 0, 255);
    if (low > high)
        std::swap(low, high);
    m_ranges[static_cast<std::size_t>(field)] = {low, high};
}

void QtIpAddressCtrl::SetAddress(std::uint32_t address)
{
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        m_fields[i]->setText(QString::number((address >> (24 - 8 * i)) & 0xFFu));
}

int QtIpAddressCtrl::GetAddress(std::uint32_t& address) const
{
    address = 0;
    int filled = 0;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const QString text = m_fields[i]->text();
        if (text.isEmpty())
            continue;
        ++filled;
        address |= (static_cast<std::uint32_t>(text.toUInt()) & 0xFFu) << (24 - 8 * i);
    }
    return filled;
}

bool QtIpAddressCtrl::IsBlank() const
{
    return std::all_of(m_fields.begin(), m_fields.end(), [](const QLineEdit* f) { return f->text().isEmpty(); });
}

void QtIpAddressCtrl::ClearAddress()
{
    for (QLineEdit* field : m_fields)
        field->clear();
}

void QtIpAddressCtrl::FocusField(int field, bool selectAll)
{
    if (field < 0 || field >= static_cast<int>(m_fields.size()))
        return;
    QLineEdit* edit = m_fields[static_cast<std::size_t>(field)];
    edit->setFocus(Qt::OtherFocusReason);
    if (selectAll)
        edit->selectAll();
    else
        edit->setCursorPosition(static_cast<int>(edit->text().size()));
}

int QtIpAddressCtrl::IndexOf(const QObject* field) const
{
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i] == field)
            return static_cast<int>(i);
    }
    return -1;
}

bool QtIpAddressCtrl::eventFilter(QObject* watched, QEvent* event)
{
    const int field = IndexOf(watched);
    if (field < 0)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return OnKeyPress(field, static_cast<QKeyEvent*>(event));
    case QEvent::FocusIn:
        update();
        break;
    case QEvent::FocusOut:
        FinishField(field);
        update();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool QtIpAddressCtrl::OnKeyPress(int field, QKeyEvent* event)
{
    QLineEdit* edit = m_fields[static_cast<std::size_t>(field)];
    const bool atStart = edit->cursorPosition() == 0 && !edit->hasSelectedText();
    const bool atEnd = edit->cursorPosition() == edit->text().size() && !edit->hasSelectedText();
    const int last = static_cast<int>(m_fields.size()) - 1;
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (event->key()) {
    case Qt::Key_Period:
        if (!edit->text().isEmpty() && field < last)
            FocusField(field + 1, true);
        return true;
    case Qt::Key_Backspace:
    case Qt::Key_Left:
        if (atStart && field > 0) {
            FocusField(field - 1, false);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (atEnd && field < last) {
            FocusField(field + 1, false);
            m_fields[static_cast<std::size_t>(field + 1)]->setCursorPosition(0);
            return true;
        }
        return false;
    default:
        return false;
    }
}

void QtIpAddressCtrl::OnTextEdited(int field)
{
    QLineEdit* edit = m_fields[static_cast<std::size_t>(field)];
    const QString text = edit->text();
    const bool full = text.size() >= 3 && edit->cursorPosition() == text.size();
    if (!text.isEmpty()) {
        const int high = m_ranges[static_cast<std::size_t>(field)].second;
        if (text.toInt() > high)
            edit->setText(QString::number(high));
    }
    emit FieldChanged();
    if (full && field < static_cast<int>(m_fields.size()) - 1)
        FocusField(field + 1, true);
}

void QtIpAddressCtrl::FinishField(int field)
{
    QLineEdit* edit = m_fields[static_cast<std::size_t>(field)];
    const QString text = edit->text();
    if (text.isEmpty())
        return;
    const auto [low, high] = m_ranges[static_cast<std::size_t>(field)];
    const QString normal = QString::number(std::clamp(text.toInt(), low, high));
    if (normal != text) {
        edit->setText(normal);
        emit FieldChanged();
    }
}

bool QtIpAddressCtrl::focusNextPrevChild(bool next)
{
    // Tab leaves the control from whichever field has the focus: start the
    // search from the field at the matching end.
    QLineEdit* edge = next ? m_fields.back() : m_fields.front();
    if (!edge->hasFocus() && IndexOf(focusWidget()) >= 0)
        edge->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return QWidget::focusNextPrevChild(next);
}

void QtIpAddressCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.rect = rect();
    frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this);
    frame.midLineWidth = 0;
    frame.state |= QStyle::State_Sunken;
    if (IndexOf(focusWidget()) >= 0 && focusWidget()->hasFocus())
        frame.state |= QStyle::State_HasFocus;
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &painter, this);
}

} // namespace pemblor
