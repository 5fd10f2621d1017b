#include "toolkit/qt/QtWindow.h"

#include "resources/ResourceIds.h"
#include "toolkit/IDialogHandler.h"
#include "toolkit/qt/QtButton.h"
#include "toolkit/qt/QtCheckBox.h"
#include "toolkit/qt/QtEdit.h"
#include "toolkit/qt/QtIpAddressAdapter.h"
#include "toolkit/qt/QtIpAddressCtrl.h"
#include "toolkit/qt/QtListCtrl.h"
#include "toolkit/qt/QtListView.h"
#include "toolkit/qt/QtTranslation.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimerEvent>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace pemblor {

namespace {

constexpr int kIconSize = 32;
// Kept free beside a window that grows: its frame is unknown before the
// window manager has drawn it.
constexpr int kScreenFrameAllowance = 16;
// Pixels by which dialog-unit rounding can set edges of a layout apart.
constexpr int kEdgeSlack = 2;

// "&Apply Changes" -> "Apply Changes"; "&&" stays one '&'.
QString WithoutMnemonic(const QString& text)
{
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        plain.append(text[i]);
    }
    return plain;
}

template <typename Adapter>
Adapter* FindAdapter(const std::map<int, std::unique_ptr<Adapter>>& adapters, int id)
{
    const auto found = adapters.find(id);
    return found == adapters.end() ? nullptr : found->second.get();
}

} // namespace

QtWindow::QtWindow(const DialogTemplate& layout, IDialogHandler& handler, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint)
    , m_handler(handler)
    , m_nTemplateId(layout.id)
    , m_units(QtDialogUnits::DialogFont(layout.fontName, layout.pointSize))
{
    setFont(QtDialogUnits::DialogFont(layout.fontName, layout.pointSize));
    setWindowTitle(Translated(layout.caption));
    setSizeGripEnabled(false);
    setFixedSize(m_units.ToPixelsX(layout.cx), m_units.ToPixelsY(layout.cy));
    for (const ControlTemplate& control : layout.controls)
        CreateControl(control);
    LabelTextlessControls();
}

QtWindow::~QtWindow()
{
    m_bDetached = true;
}

QString QtWindow::ControlName(int id)
{
    return QStringLiteral("id%1").arg(id);
}

void QtWindow::CreateControl(const ControlTemplate& control)
{
    const QRect geometry = m_units.ToPixels(control.x, control.y, control.cx, control.cy);
    const QString text = Translated(control.text);
    const int id = control.id;
    QWidget* widget = nullptr;
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(true);
        button->setDefault(control.kind == ControlKind::DefPushButton);
        connect(button, &QPushButton::clicked, this, [this, id] { OnButtonClicked(id); });
        m_buttons[id] = std::make_unique<QtButton>(button);
        widget = button;
        break;
    }
    case ControlKind::Static: {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        widget = label;
        break;
    }
    case ControlKind::GroupBox: {
        auto* group = new QGroupBox(text, this);
        group->setCheckable(false);
        group->setFocusPolicy(Qt::NoFocus);
        // Beneath the controls it frames, even those made before it, so
        // that clicks reach them.
        group->lower();
        widget = group;
        break;
    }
    case ControlKind::Icon: {
        auto* label = new QLabel(this);
        label->setPixmap(QApplication::windowIcon().pixmap(kIconSize, kIconSize));
        widget = label;
        break;
    }
    case ControlKind::Edit:
    case ControlKind::PasswordEdit: {
        auto* edit = new QLineEdit(this);
        if (control.kind == ControlKind::PasswordEdit)
            edit->setEchoMode(QLineEdit::Password);
        m_edits[id] = std::make_unique<QtEdit>(edit);
        widget = edit;
        break;
    }
    case ControlKind::CheckBox: {
        auto* checkBox = new QCheckBox(text, this);
        connect(checkBox, &QCheckBox::clicked, this, [this, id] { OnButtonClicked(id); });
        m_checkBoxes[id] = std::make_unique<QtCheckBox>(checkBox);
        widget = checkBox;
        break;
    }
    case ControlKind::IpAddress: {
        auto* address = new QtIpAddressCtrl(this);
        connect(address, &QtIpAddressCtrl::FieldChanged, this, [this, id] { OnNotify(id, Notify::FieldChanged); });
        m_ipAddresses[id] = std::make_unique<QtIpAddressAdapter>(address);
        widget = address;
        break;
    }
    case ControlKind::List: {
        auto* list = new QtListView(this);
        list->SetNotifyCallback([this, id](Notify code) { OnNotify(id, code); });
        m_lists[id] = std::make_unique<QtListCtrl>(list);
        widget = list;
        break;
    }
    }
    if (!widget)
        return;
    if (control.kind == ControlKind::Icon)
        widget->setGeometry(geometry.x(), geometry.y(), kIconSize, kIconSize);
    else
        widget->setGeometry(geometry);
    widget->setAccessibleName(WithoutMnemonic(text));
    if (id != IDC_STATIC) {
        widget->setObjectName(ControlName(id));
        m_controls.emplace(id, widget);
    }
    if (control.tabStop)
        m_tabStops.push_back(widget);
    else if (widget->focusPolicy() & Qt::TabFocus)
        widget->setFocusPolicy(Qt::ClickFocus);
    if (control.disabled)
        widget->setEnabled(false);
}

void QtWindow::LabelTextlessControls()
{
    // Address controls and edits have no text of their own: their label is
    // the static text on their row, left of them.
    const QList<QLabel*> labels = findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!qobject_cast<QtIpAddressCtrl*>(control) && !qobject_cast<QLineEdit*>(control))
            continue;
        const QRect row = control->geometry();
        QLabel* nearest = nullptr;
        for (QLabel* label : labels) {
            const QRect at = label->geometry();
            if (label->text().isEmpty() || at.right() >= row.left() || at.center().y() < row.top() ||
                at.center().y() > row.bottom())
                continue;
            if (!nearest || at.right() > nearest->geometry().right())
                nearest = label;
        }
        if (!nearest)
            continue;
        nearest->setBuddy(control);
        QString name = WithoutMnemonic(nearest->text()).trimmed();
        while (name.endsWith(QLatin1Char(':')))
            name = name.chopped(1).trimmed();
        control->setAccessibleName(name);
    }
}

IButton* QtWindow::Button(int id)
{
    return FindAdapter(m_buttons, id);
}

IEdit* QtWindow::Edit(int id)
{
    return FindAdapter(m_edits, id);
}

ICheckBox* QtWindow::CheckBox(int id)
{
    return FindAdapter(m_checkBoxes, id);
}

IIpAddressCtrl* QtWindow::IpAddress(int id)
{
    return FindAdapter(m_ipAddresses, id);
}

IListCtrl* QtWindow::List(int id)
{
    return FindAdapter(m_lists, id);
}

QWidget* QtWindow::Control(int id) const
{
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

void QtWindow::WidenForLists()
{
    const QScreen* where = screen();
    const int screenWidth = where ? where->availableGeometry().width() - kScreenFrameAllowance : INT_MAX;
    for (const auto& entry : m_lists) {
        auto* view = qobject_cast<QtListView*>(Control(entry.first));
        if (!view)
            continue;
        const int extra = std::min(view->WantedOuterWidth() - view->width(), screenWidth - width());
        if (extra <= 0)
            continue;
        const int listRight = view->geometry().right();
        for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child != view && std::abs(child->geometry().right() - listRight) <= kEdgeSlack)
                child->move(child->x() + extra, child->y());
        }
        view->resize(view->width() + extra, view->height());
        setFixedSize(width() + extra, height());
    }
}

void QtWindow::SetFocus(int id)
{
    if (QWidget* control = Control(id))
        control->setFocus(Qt::OtherFocusReason);
}

void QtWindow::SetItemText(int id, const std::string& text)
{
    if (auto* label = qobject_cast<QLabel*>(Control(id)))
        label->setText(TranslatedMessage(text));
}

void QtWindow::FocusFirstTabStop()
{
    for (QWidget* control : m_tabStops) {
        if (control->isEnabled() && !control->isHidden()) {
            control->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void QtWindow::End(int result)
{
    m_nResult = result;
    m_bEnded = true;
    done(result);
}

void QtWindow::RequestClose()
{
    if (!m_bEnded && !m_bDetached)
        m_handler.OnClose();
}

void QtWindow::OnButtonClicked(int id)
{
    if (m_bDetached)
        return;
    if (id == IDCANCEL)
        m_handler.OnCancel();
    else
        m_handler.OnCommand(id);
}

void QtWindow::OnNotify(int id, Notify code)
{
    if (!m_bDetached)
        m_handler.OnNotify(id, code);
}

void QtWindow::accept()
{
    // The layouts have no button that accepts by itself; only End() ends.
}

void QtWindow::reject()
{
    if (!m_bDetached)
        m_handler.OnCancel();
}

void QtWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    RequestClose();
}

unsigned QtWindow::SetTimer(unsigned id, unsigned periodMs)
{
    KillTimer(id);
    const int period = periodMs > static_cast<unsigned>(INT_MAX) ? INT_MAX : static_cast<int>(periodMs);
    const int timer = startTimer(period, Qt::PreciseTimer);
    if (timer != 0)
        m_timers[id] = timer;
    return id;
}

void QtWindow::KillTimer(unsigned id)
{
    const auto found = m_timers.find(id);
    if (found == m_timers.end())
        return;
    killTimer(found->second);
    m_timers.erase(found);
}

void QtWindow::timerEvent(QTimerEvent* event)
{
    for (const auto& [id, timer] : m_timers) {
        if (timer == event->timerId()) {
            if (!m_bDetached)
                m_handler.OnTimer(id);
            return;
        }
    }
    QDialog::timerEvent(event);
}

void QtWindow::AddSystemCommand(unsigned commandId, const QString& text)
{
    auto* action = new QAction(text, this);
    if (m_systemCommands.empty()) {
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F1));
        action->setShortcutContext(Qt::WindowShortcut);
    }
    connect(action, &QAction::triggered, this, [this, commandId] {
        if (!m_bDetached)
            m_handler.OnSysCommand(commandId);
    });
    addAction(action);
    m_systemCommands.push_back(action);
}

void QtWindow::contextMenuEvent(QContextMenuEvent* event)
{
    QWidget* under = childAt(event->pos());
    const bool background = under == nullptr || qobject_cast<QGroupBox*>(under) != nullptr;
    if (m_systemCommands.empty() || !background) {
        event->ignore();
        return;
    }
    QMenu menu(this);
    for (QAction* action : m_systemCommands) {
        if (action != m_systemCommands.front())
            menu.addSeparator();
        menu.addAction(action);
    }
    menu.exec(event->globalPos());
}

} // namespace pemblor
