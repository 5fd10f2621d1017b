#include "gui/QtIpAddressCtrl.h"

#include "gui/QtTranslation.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolTip>

#include <algorithm>
#include <cstdlib>

namespace pemblor {

namespace {

// Long enough to read the notice twice; it also goes when the window moves,
// hides or loses activation, or the user clicks the control.
constexpr int kNoticeMs = 6000;
// The space a frameless line edit keeps on each side of its text.
constexpr int kFieldTextMargin = 2;

} // namespace

QtIpAddressCtrl::QtIpAddressCtrl(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_InputMethodEnabled, false);
    auto* layout = new QHBoxLayout(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    const int margin = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this);
    layout->setContentsMargins(margin, margin, margin, margin);
    // The dots are painted in the gaps between the fields (paintEvent): as
    // widgets of their own a screen reader would read each one out.
    layout->setSpacing(DotWidth());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* validator = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setValidator(validator);
        field->setMinimumWidth(0);
        field->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        field->setContextMenuPolicy(Qt::NoContextMenu);
        field->setAcceptDrops(false);
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

    // A window of its own, so that it is not clipped by the dialog's edge.
    m_notice = new QLabel(this, Qt::ToolTip | Qt::BypassGraphicsProxyWidget);
    m_notice->setObjectName(QStringLiteral("rangeNotice"));
    m_notice->setAttribute(Qt::WA_ShowWithoutActivating);
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setPalette(QToolTip::palette());
    m_notice->setFont(QToolTip::font());
    m_notice->setForegroundRole(QPalette::ToolTipText);
    m_notice->setBackgroundRole(QPalette::ToolTipBase);
    m_notice->setAutoFillBackground(true);
    m_notice->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_notice->setMargin(3);
    m_noticeTimer.setSingleShot(true);
    m_noticeTimer.setInterval(kNoticeMs);
    connect(&m_noticeTimer, &QTimer::timeout, this, &QtIpAddressCtrl::HideNotice);
}

void QtIpAddressCtrl::SetFieldRanges(const FieldRanges& ranges)
{
    for (std::size_t field = 0; field < m_ranges.size(); ++field)
        m_ranges[field] = {ranges.low[field], ranges.high[field]};
}

void QtIpAddressCtrl::SetAddress(std::uint32_t address)
{
    HideNotice();
    m_advanced = false;
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

int QtIpAddressCtrl::DotWidth() const
{
    return fontMetrics().horizontalAdvance(QLatin1Char('.')) + 2;
}

QSize QtIpAddressCtrl::sizeHint() const
{
    // Room for "255" in each field beside a caret, about sixteen characters
    // in all: the control keeps this width wherever it stands.
    const QMargins margins = layout()->contentsMargins();
    const QFontMetrics metrics = fontMetrics();
    const int field = metrics.horizontalAdvance(QStringLiteral("2550")) + 2 * kFieldTextMargin;
    const int width = 4 * field + 3 * DotWidth() + margins.left() + margins.right();
    return {width, metrics.height() + margins.top() + margins.bottom()};
}

QString QtIpAddressCtrl::Notice() const
{
    return m_notice->isVisible() ? m_notice->text() : QString();
}

int QtIpAddressCtrl::IndexOf(const QObject* field) const
{
    const auto found = std::find(m_fields.begin(), m_fields.end(), field);
    return found == m_fields.end() ? -1 : static_cast<int>(found - m_fields.begin());
}

bool QtIpAddressCtrl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedWindow) {
        const QEvent::Type type = event->type();
        if (type == QEvent::Move || type == QEvent::Hide || type == QEvent::WindowDeactivate)
            HideNotice();
        return QWidget::eventFilter(watched, event);
    }
    const int field = IndexOf(watched);
    if (field < 0)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return OnKeyPress(field, static_cast<QKeyEvent*>(event));
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        return OnMouseButton(field, static_cast<QMouseEvent*>(event));
    case QEvent::FocusIn:
        update();
        break;
    case QEvent::FocusOut:
        m_advanced = false;
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
    const bool advanced = std::exchange(m_advanced, false);
    if (event->matches(QKeySequence::Paste) ||
        (event->key() == Qt::Key_Insert && event->modifiers() == Qt::ShiftModifier)) {
        Paste(field, QGuiApplication::clipboard()->text(QClipboard::Clipboard));
        return true;
    }
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // The dialog's default button reads the value next: bring it into
        // range first, as leaving the field would.
        FinishField(field);
        return false;
    }
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    QLineEdit* edit = m_fields[static_cast<std::size_t>(field)];
    const int last = static_cast<int>(m_fields.size()) - 1;
    if (key == Qt::Key_Period || event->text() == QStringLiteral(".")) {
        if (!advanced && !edit->text().isEmpty() && field < last)
            FocusField(field + 1, true);
        return true;
    }
    if (event->modifiers() & Qt::ShiftModifier)
        return false;
    const bool atStart = edit->cursorPosition() == 0 && !edit->hasSelectedText();
    const bool atEnd = edit->cursorPosition() == edit->text().size() && !edit->hasSelectedText();
    switch (key) {
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
    case Qt::Key_Home:
        FocusField(0, false);
        m_fields[0]->setCursorPosition(0);
        return true;
    case Qt::Key_End:
        FocusField(last, false);
        return true;
    default:
        return false;
    }
}

bool QtIpAddressCtrl::OnMouseButton(int field, QMouseEvent* event)
{
    if (event->button() != Qt::MiddleButton) {
        if (event->type() == QEvent::MouseButtonPress) {
            HideNotice();
            m_advanced = false;
        }
        return false;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection())
        return false;
    QLineEdit* edit = m_fields[static_cast<std::size_t>(field)];
    if (event->type() == QEvent::MouseButtonPress) {
        edit->setFocus(Qt::MouseFocusReason);
        edit->setCursorPosition(edit->cursorPositionAt(event->position().toPoint()));
    } else {
        Paste(field, clipboard->text(QClipboard::Selection));
    }
    return true;
}

void QtIpAddressCtrl::OnTextEdited(int field)
{
    QLineEdit* edit = m_fields[static_cast<std::size_t>(field)];
    const QString text = edit->text();
    const bool full = text.size() >= 3 && edit->cursorPosition() == text.size();
    const int high = m_ranges[static_cast<std::size_t>(field)].second;
    if (!text.isEmpty() && text.toInt() > high) {
        edit->setText(QString::number(high));
        ShowNotice(field, text);
    }
    emit FieldChanged();
    if (full && field < static_cast<int>(m_fields.size()) - 1) {
        FocusField(field + 1, true);
        m_advanced = true;
    }
}

bool QtIpAddressCtrl::FinishField(int field)
{
    QLineEdit* edit = m_fields[static_cast<std::size_t>(field)];
    const QString text = edit->text();
    if (text.isEmpty())
        return false;
    const auto [low, high] = m_ranges[static_cast<std::size_t>(field)];
    const int value = text.toInt();
    const QString normal = QString::number(std::clamp(value, low, high));
    if (normal == text)
        return false;
    edit->setText(normal);
    if (normal.toInt() != value)
        ShowNotice(field, QString::number(value));
    emit FieldChanged();
    return true;
}

void QtIpAddressCtrl::Paste(int field, const QString& text)
{
    const QString pasted = text.trimmed();
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    if (digits.match(pasted).hasMatch()) {
        m_fields[static_cast<std::size_t>(field)]->insert(pasted);
        return;
    }
    static const QRegularExpression dotted(
        QStringLiteral("^([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})$"));
    const QRegularExpressionMatch match = dotted.match(pasted);
    if (!match.hasMatch())
        return;
    std::array<int, 4> octets{};
    for (std::size_t i = 0; i < octets.size(); ++i) {
        octets[i] = match.captured(static_cast<int>(i) + 1).toInt();
        if (octets[i] > 255)
            return;
    }
    HideNotice();
    int clamped = -1;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const auto [low, high] = m_ranges[i];
        const int value = std::clamp(octets[i], low, high);
        if (value != octets[i] && clamped < 0)
            clamped = static_cast<int>(i);
        const QString normal = QString::number(value);
        if (m_fields[i]->text() != normal) {
            m_fields[i]->setText(normal);
            emit FieldChanged();
        }
    }
    FocusField(static_cast<int>(m_fields.size()) - 1, false);
    if (clamped >= 0)
        ShowNotice(clamped, QString::number(octets[static_cast<std::size_t>(clamped)]));
}

void QtIpAddressCtrl::ShowNotice(int field, const QString& entered)
{
    const auto [low, high] = m_ranges[static_cast<std::size_t>(field)];
    m_notice->setText(tr("%1 is not a valid entry. Please specify a value between %2 and %3.")
                          .arg(entered)
                          .arg(low)
                          .arg(high));
    m_notice->adjustSize();
    const QLineEdit* edit = m_fields[static_cast<std::size_t>(field)];
    QPoint at = mapToGlobal(QPoint(edit->x(), height() + 2));
    if (const QScreen* where = screen()) {
        const QRect area = where->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - m_notice->width())));
        if (at.y() + m_notice->height() > area.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - m_notice->height() - 2);
    }
    m_notice->move(at);
    m_notice->show();
    m_noticeTimer.start();
    QAccessibleEvent alert(m_notice, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void QtIpAddressCtrl::HideNotice()
{
    m_noticeTimer.stop();
    m_notice->hide();
}

void QtIpAddressCtrl::NameFields()
{
    QString label = accessibleName();
    if (label.isEmpty() && parentWidget()) {
        for (const QLabel* buddy : parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (buddy->buddy() == this) {
                label = buddy->text();
                break;
            }
        }
    }
    label = LabelName(label);
    const int count = static_cast<int>(m_fields.size());
    for (int i = 0; i < count; ++i) {
        m_fields[static_cast<std::size_t>(i)]->setAccessibleName(
            label.isEmpty() ? tr("Field %1 of %2").arg(i + 1).arg(count)
                            : tr("%1, field %2 of %3").arg(label).arg(i + 1).arg(count));
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
    for (std::size_t i = 1; i < m_fields.size(); ++i) {
        const QRect left = m_fields[i - 1]->geometry();
        const QRect gap(left.right() + 1, left.top(), m_fields[i]->geometry().left() - left.right() - 1, left.height());
        style()->drawItemText(&painter, gap, Qt::AlignCenter, palette(), isEnabled(), QStringLiteral("."),
                              QPalette::Text);
    }
}

void QtIpAddressCtrl::mousePressEvent(QMouseEvent* event)
{
    // A click on a dot or the frame goes to the nearest field.
    HideNotice();
    m_advanced = false;
    const int x = event->position().toPoint().x();
    const auto nearest = std::min_element(m_fields.begin(), m_fields.end(), [x](const QLineEdit* a, const QLineEdit* b) {
        return std::abs(a->geometry().center().x() - x) < std::abs(b->geometry().center().x() - x);
    });
    QLineEdit* edit = *nearest;
    FocusField(IndexOf(edit), false);
    if (x < edit->geometry().center().x())
        edit->setCursorPosition(0);
    event->accept();
}

void QtIpAddressCtrl::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_watchedWindow != window()) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = window();
        m_watchedWindow->installEventFilter(this);
    }
    NameFields();
}

void QtIpAddressCtrl::hideEvent(QHideEvent* event)
{
    HideNotice();
    QWidget::hideEvent(event);
}

void QtIpAddressCtrl::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        HideNotice();
    if (event->type() == QEvent::FontChange) {
        layout()->setSpacing(DotWidth());
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace pemblor
