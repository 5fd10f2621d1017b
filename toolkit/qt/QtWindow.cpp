#include "toolkit/qt/QtWindow.h"

#include "resources/ResourceIds.h"
#include "toolkit/IDialogHandler.h"
#include "toolkit/qt/QtButton.h"
#include "common/Translatable.h"
#include "toolkit/qt/QtCheckBox.h"
#include "gui/QtDeviceTableModel.h"
#include "toolkit/qt/QtEdit.h"
#include "toolkit/qt/QtIpAddressAdapter.h"
#include "gui/QtIpAddressCtrl.h"
#include "toolkit/qt/QtListCtrl.h"
#include "toolkit/qt/QtListView.h"
#include "gui/QtTranslation.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimerEvent>

#include <algorithm>
#include <climits>

namespace pemblor {

namespace {

constexpr int kIconSize = 32;
// Kept free beside a window sized to the screen: its frame is unknown
// before the window manager has drawn it.
constexpr int kScreenFrameAllowance = 16;

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
                         Qt::WindowCloseButtonHint |
                         (layout.minWidth > 0 ? Qt::WindowMaximizeButtonHint : Qt::WindowType(0)))
    , m_handler(handler)
    , m_nTemplateId(layout.id)
{
    setWindowTitle(Translated(layout.caption));
    for (const ControlTemplate& control : layout.controls)
        CreateControl(control);
    Arrange(layout);
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
        // Room for the text inside the button's margins on both sides,
        // whatever the font and the translation.
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        button->setMinimumWidth(
            std::max(button->sizeHint().width(),
                     button->fontMetrics().horizontalAdvance(WithoutMnemonic(text)) + 2 * margin + 2 * frame));
        m_buttons[id] = std::make_unique<QtButton>(button);
        widget = button;
        break;
    }
    case ControlKind::Static: {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setText(text);
        label->setWordWrap(control.wrap);
        widget = label;
        break;
    }
    case ControlKind::GroupBox: {
        auto* group = new QGroupBox(text, this);
        group->setCheckable(false);
        group->setFocusPolicy(Qt::NoFocus);
        widget = group;
        break;
    }
    case ControlKind::Icon: {
        auto* label = new QLabel(this);
        label->setPixmap(QApplication::windowIcon().pixmap(kIconSize, kIconSize));
        label->setFixedSize(kIconSize, kIconSize);
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
    m_widgets.push_back({&control, widget});
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

void QtWindow::Arrange(const DialogTemplate& layout)
{
    auto* top = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    // Check boxes that go with the buttons stand in a row of their own just
    // above them, so that the button row fits narrow screens.
    auto* besideButtons = new QHBoxLayout;
    QBoxLayout* body = top;     // where the next row goes
    QFormLayout* form = nullptr; // the current run of labelled controls
    QVBoxLayout* beside = nullptr; // texts beside an icon
    std::vector<QWidget*> tabOrder;

    for (const auto& [control, widget] : m_widgets) {
        const ControlKind kind = control->kind;
        if (kind == ControlKind::CheckBox && buttons->count() > 0) {
            besideButtons->addWidget(widget);
            continue;
        }
        const bool buttonRow = kind == ControlKind::PushButton || kind == ControlKind::DefPushButton;
        if (buttonRow) {
            // Close stands at the right, the others left of it in their order.
            if (control->id == IDCANCEL)
                buttons->addStretch(1);
            buttons->addWidget(widget);
            continue;
        }
        switch (kind) {
        case ControlKind::GroupBox: {
            auto* group = static_cast<QGroupBox*>(widget);
            auto* inside = new QVBoxLayout(group);
            top->addWidget(group);
            body = inside;
            form = nullptr;
            break;
        }
        case ControlKind::Icon: {
            auto* row = new QHBoxLayout;
            row->addWidget(widget, 0, Qt::AlignTop);
            beside = new QVBoxLayout;
            row->addLayout(beside, 1);
            top->addLayout(row);
            break;
        }
        case ControlKind::Static:
            if (control->buddy != 0) {
                auto* label = static_cast<QLabel*>(widget);
                QWidget* buddy = Control(control->buddy);
                if (!form) {
                    form = new QFormLayout;
                    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
                    body->addLayout(form);
                }
                form->addRow(label, buddy);
                if (buddy) {
                    label->setBuddy(buddy);
                    QString name = WithoutMnemonic(label->text()).trimmed();
                    while (name.endsWith(QLatin1Char(':')))
                        name = name.chopped(1).trimmed();
                    buddy->setAccessibleName(name);
                }
            } else if (beside) {
                beside->addWidget(widget);
            } else {
                // A text of its own ends a group box.
                body = top;
                form = nullptr;
                top->addWidget(widget);
            }
            break;
        case ControlKind::List:
            ArrangeList(*top, *static_cast<QtListView*>(widget), tabOrder);
            break;
        default:
            // Labelled controls join their label's row.
            if (!IsLabelled(control->id) || control->id == IDC_STATIC) {
                body->addWidget(widget);
                form = nullptr;
            }
            break;
        }
        if (control->tabStop)
            tabOrder.push_back(widget);
    }
    for (const auto& [control, widget] : m_widgets) {
        if (control->tabStop && (control->kind == ControlKind::PushButton ||
                                 control->kind == ControlKind::DefPushButton || control->kind == ControlKind::CheckBox) &&
            std::find(tabOrder.begin(), tabOrder.end(), widget) == tabOrder.end())
            tabOrder.push_back(widget);
    }
    if (besideButtons->count() > 0) {
        besideButtons->addStretch(1);
        top->addLayout(besideButtons);
    } else {
        delete besideButtons;
    }
    top->addLayout(buttons);
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    if (layout.minWidth > 0) {
        setSizeGripEnabled(true);
        m_minimum = QSize(layout.minWidth, layout.minHeight);
        setMinimumSize(m_minimum.boundedTo(ScreenRoom()));
    } else {
        setSizeGripEnabled(false);
        top->setSizeConstraint(QLayout::SetFixedSize);
    }
}

QSize QtWindow::ScreenRoom() const
{
    const QScreen* where = screen();
    if (!where)
        return {INT_MAX, INT_MAX};
    return where->availableGeometry().size() - QSize(kScreenFrameAllowance, 2 * kScreenFrameAllowance);
}

void QtWindow::FitToContents()
{
    if (!m_minimum.isValid())
        return;
    // The size that shows the table's columns in full, at least the minimum,
    // and never more than the screen holds: the whole window, Close
    // included, stays on a small screen.
    const QSize room = ScreenRoom();
    const QSize minimum = layout()->minimumSize().expandedTo(m_minimum).boundedTo(room);
    setMinimumSize(minimum);
    resize(sizeHint().expandedTo(minimum).boundedTo(room));
}

bool QtWindow::IsLabelled(int id) const
{
    for (const auto& [control, widget] : m_widgets) {
        if (control->kind == ControlKind::Static && control->buddy == id)
            return true;
    }
    return false;
}

void QtWindow::ArrangeList(QVBoxLayout& top, QtListView& view, std::vector<QWidget*>& tabOrder)
{
    // The Filter field sits above the table, and the count of the rows it
    // shows below it while a filter is active.
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(Translated(PEMBLOR_TR_NOOP("Pemblor", "Filter")), this);
    auto* filter = new QtFilterEdit(this);
    filter->setObjectName(QStringLiteral("filter"));
    filter->setAccessibleName(Translated(PEMBLOR_TR_NOOP("Pemblor", "Filter")));
    label->setBuddy(filter);
    row->addWidget(label);
    row->addWidget(filter, 1);
    top.addLayout(row);
    top.addWidget(&view, 1);
    auto* count = new QLabel(this);
    count->setObjectName(QStringLiteral("filterCount"));
    count->setVisible(false);
    top.addWidget(count);
    tabOrder.push_back(filter);

    auto* find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    connect(find, &QAction::triggered, filter, [filter] {
        filter->setFocus(Qt::ShortcutFocusReason);
        filter->selectAll();
    });
    addAction(find);

    QtDeviceSortProxy& proxy = view.Proxy();
    auto update = [count, filter, &proxy, &view] {
        const bool active = !filter->text().isEmpty();
        if (active) {
            count->setText(Translated(PEMBLOR_TR_NOOP("Pemblor", "%1 of %2 devices"))
                               .arg(proxy.rowCount())
                               .arg(view.Model().rowCount()));
        }
        count->setVisible(active);
    };
    connect(filter, &QLineEdit::textChanged, this, [&proxy, update](const QString& text) {
        proxy.SetFilterText(text);
        update();
    });
    connect(&proxy, &QAbstractItemModel::rowsInserted, this, update);
    connect(&proxy, &QAbstractItemModel::rowsRemoved, this, update);
    connect(&proxy, &QAbstractItemModel::modelReset, this, update);
    connect(&proxy, &QAbstractItemModel::layoutChanged, this, update);
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

void QtWindow::SetFocus(int id)
{
    if (QWidget* control = Control(id))
        control->setFocus(Qt::OtherFocusReason);
}

void QtWindow::SetItemText(int id, const std::string& text)
{
    if (auto* label = qobject_cast<QLabel*>(Control(id)))
        label->setText(Translated(text));
}

void QtWindow::FocusFirstTabStop()
{
    // The default push button first, where it can take the focus: Enter
    // then presses it, and Tab goes on from it.
    for (const auto& [control, widget] : m_widgets) {
        if (control->kind == ControlKind::DefPushButton && widget->isEnabled() && !widget->isHidden()) {
            widget->setFocus(Qt::TabFocusReason);
            return;
        }
    }
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
