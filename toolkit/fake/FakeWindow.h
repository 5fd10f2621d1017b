#pragma once
#include "toolkit/IWindow.h"
#include "toolkit/fake/FakeButton.h"
#include "toolkit/fake/FakeCheckBox.h"
#include "toolkit/fake/FakeEdit.h"
#include "toolkit/fake/FakeIpAddressCtrl.h"
#include "toolkit/fake/FakeListCtrl.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace pemblor {

class FakeToolkit;
class IDialogHandler;
struct DialogTemplate;

// A window of the fake toolkit, built from a layout template. The user
// actions below call the handler at once, on the calling (user-interface)
// thread, the way the real toolkit delivers them.
class FakeWindow final : public IWindow {
public:
    FakeWindow(FakeToolkit& toolkit, IDialogHandler& handler, const DialogTemplate& layout, FakeWindow* owner);
    FakeWindow(const FakeWindow&) = delete;
    FakeWindow& operator=(const FakeWindow&) = delete;

    IButton* Button(int id) override;
    IEdit* Edit(int id) override;
    ICheckBox* CheckBox(int id) override;
    IIpAddressCtrl* IpAddress(int id) override;
    IListCtrl* List(int id) override;
    void SetFocus(int id) override { m_nFocus = id; }
    void SetItemText(int id, const std::string& text) override;
    void SetDescription(const std::string& text) override { m_strDescription = text; }
    const std::string& Description() const { return m_strDescription; }

    // User actions. Disabled controls ignore them, as do ended windows.
    // Click on id 2 is the cancel command; on a check box it toggles the box
    // before the window hears the click.
    void Click(int id);
    void ClickList(int id, int row);       // row < 0: an empty part of the list
    void DoubleClickList(int id, int row);
    void RightClickList(int id, int row);
    // The copy key (Ctrl+C) with the list focused.
    void PressCopy(int id);
    // A key that selects `row` (arrows, Space); the Menu key.
    void SelectListByKey(int id, int row);
    void PressListMenuKey(int id);
    // Types into one field of an address control (nullopt blanks it) and
    // sends the field-changed notification.
    void TypeField(int id, int field, std::optional<int> value);
    void TypeText(int id, const std::string& text);
    void PressEscape();
    void PressCloseBox();
    void ChooseSysCommand(unsigned id);

    FakeButton& ButtonAt(int id) { return *m_buttons.at(id); }
    FakeEdit& EditAt(int id) { return *m_edits.at(id); }
    FakeCheckBox& CheckBoxAt(int id) { return *m_checks.at(id); }
    FakeIpAddressCtrl& IpAddressAt(int id) { return *m_ips.at(id); }
    FakeListCtrl& ListAt(int id) { return *m_lists.at(id); }
    // Text of the static text control `id`.
    const std::string& ItemText(int id) const { return m_statics.at(id); }

    int TemplateId() const { return m_nTemplateId; }
    FakeWindow* Owner() const { return m_pOwner; }
    IDialogHandler& Handler() { return m_handler; }
    bool Ended() const { return m_bEnded; }
    int Result() const { return m_nResult; }
    int Focus() const { return m_nFocus; }
    std::string Caption() const { return m_strCaption; }

private:
    friend class FakeToolkit;
    void End(int result);
    bool Accepts() const;

    FakeToolkit& m_toolkit;
    IDialogHandler& m_handler;
    FakeWindow* m_pOwner;
    int m_nTemplateId;
    std::string m_strCaption;
    std::string m_strDescription;
    std::map<int, std::unique_ptr<FakeButton>> m_buttons;
    std::map<int, std::unique_ptr<FakeEdit>> m_edits;
    std::map<int, std::unique_ptr<FakeCheckBox>> m_checks;
    std::map<int, std::unique_ptr<FakeIpAddressCtrl>> m_ips;
    std::map<int, std::unique_ptr<FakeListCtrl>> m_lists;
    std::map<int, std::string> m_statics;
    int m_nFocus = 0;
    bool m_bEnded = false;
    int m_nResult = 0;
};

} // namespace pemblor
