#include "toolkit/fake/FakeWindow.h"

#include "resources/DialogTemplate.h"
#include "toolkit/IDialogHandler.h"
#include "toolkit/fake/FakeToolkit.h"

namespace pemblor {

namespace {
constexpr int kCancelId = 2;
}

FakeWindow::FakeWindow(FakeToolkit& toolkit, IDialogHandler& handler, const DialogTemplate& layout, FakeWindow* owner)
    : m_toolkit(toolkit)
    , m_handler(handler)
    , m_pOwner(owner)
    , m_nTemplateId(layout.id)
    , m_strCaption(layout.caption)
{
    for (const ControlTemplate& control : layout.controls) {
        if (control.id < 0)
            continue;
        const bool enabled = !control.disabled;
        switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefPushButton:
            m_buttons[control.id] = std::make_unique<FakeButton>(enabled);
            break;
        case ControlKind::Edit:
        case ControlKind::PasswordEdit:
            m_edits[control.id] = std::make_unique<FakeEdit>(enabled, control.kind == ControlKind::PasswordEdit);
            break;
        case ControlKind::CheckBox:
            m_checks[control.id] = std::make_unique<FakeCheckBox>(enabled);
            break;
        case ControlKind::IpAddress:
            m_ips[control.id] = std::make_unique<FakeIpAddressCtrl>(enabled);
            break;
        case ControlKind::List:
            m_lists[control.id] = std::make_unique<FakeListCtrl>();
            break;
        case ControlKind::Static:
            m_statics[control.id] = control.text;
            break;
        default:
            break;
        }
    }
}

template <typename T>
static T* Find(std::map<int, std::unique_ptr<T>>& controls, int id)
{
    auto it = controls.find(id);
    return it == controls.end() ? nullptr : it->second.get();
}

IButton* FakeWindow::Button(int id) { return Find(m_buttons, id); }
IEdit* FakeWindow::Edit(int id) { return Find(m_edits, id); }
ICheckBox* FakeWindow::CheckBox(int id) { return Find(m_checks, id); }
IIpAddressCtrl* FakeWindow::IpAddress(int id) { return Find(m_ips, id); }
IListCtrl* FakeWindow::List(int id) { return Find(m_lists, id); }

void FakeWindow::SetItemText(int id, const std::string& text)
{
    if (auto it = m_statics.find(id); it != m_statics.end())
        it->second = text;
}

bool FakeWindow::Accepts() const
{
    if (m_bEnded)
        return false;
    // A window that owns a running modal dialog takes no input.
    for (const auto& window : m_toolkit.m_windows) {
        if (window->m_pOwner == this && !window->m_bEnded)
            return false;
    }
    return m_toolkit.m_nInputBlocked == 0;
}

void FakeWindow::Click(int id)
{
    if (!Accepts())
        return;
    if (FakeCheckBox* check = Find(m_checks, id)) {
        if (!check->IsWindowEnabled())
            return;
        check->SetCheck(check->GetCheck() ? 0 : 1);
        m_handler.OnCommand(id);
        return;
    }
    FakeButton* button = Find(m_buttons, id);
    if (!button || !button->IsWindowEnabled())
        return;
    if (id == kCancelId)
        m_handler.OnCancel();
    else
        m_handler.OnCommand(id);
}

void FakeWindow::ClickList(int id, int row)
{
    if (!Accepts())
        return;
    ListAt(id).Select(row);
    m_handler.OnNotify(id, Notify::Click);
}

void FakeWindow::DoubleClickList(int id, int row)
{
    if (!Accepts())
        return;
    ListAt(id).Select(row);
    m_handler.OnNotify(id, Notify::DoubleClick);
}

void FakeWindow::RightClickList(int id, int row)
{
    if (!Accepts())
        return;
    ListAt(id).Select(row);
    m_handler.OnNotify(id, Notify::RightClick);
}

void FakeWindow::PressCopy(int id)
{
    if (!Accepts())
        return;
    m_handler.OnNotify(id, Notify::Copy);
}

void FakeWindow::SelectListByKey(int id, int row)
{
    if (!Accepts() || row < 0 || row >= ListAt(id).GetItemCount())
        return;
    ListAt(id).Select(row);
    m_handler.OnNotify(id, Notify::SelectionChanged);
}

void FakeWindow::PressListMenuKey(int id)
{
    if (Accepts())
        m_handler.OnNotify(id, Notify::RightClick);
}

void FakeWindow::TypeField(int id, int field, std::optional<int> value)
{
    if (!Accepts())
        return;
    FakeIpAddressCtrl& control = IpAddressAt(id);
    if (!control.IsWindowEnabled())
        return;
    control.TypeField(field, value);
    m_handler.OnNotify(id, Notify::FieldChanged);
}

void FakeWindow::TypeText(int id, const std::string& text)
{
    if (!Accepts())
        return;
    FakeEdit& edit = EditAt(id);
    if (edit.IsWindowEnabled())
        edit.Type(text);
}

void FakeWindow::PressEscape()
{
    if (Accepts())
        m_handler.OnCancel();
}

void FakeWindow::PressCloseBox()
{
    if (Accepts())
        m_handler.OnClose();
}

void FakeWindow::ChooseSysCommand(unsigned id)
{
    if (Accepts())
        m_handler.OnSysCommand(id);
}

void FakeWindow::End(int result)
{
    if (m_bEnded)
        return;
    m_bEnded = true;
    m_nResult = result;
    for (auto& [id, control] : m_ips)
        control->Destroy();
}

} // namespace pemblor
