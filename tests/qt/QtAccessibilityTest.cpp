// What a screen reader finds in the two windows: every control that takes
// input or shows data has a name.
#include "QtTestSupport.h"

#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "toolkit/IListCtrl.h"
#include "toolkit/IWindow.h"
#include "toolkit/qt/QtToolkit.h"
#include "toolkit/qt/QtWindow.h"

#include <QAccessible>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <utility>

namespace pemblor {
namespace {

using Named = std::set<std::pair<QAccessible::Role, std::string>>;

bool TakesInputOrShowsData(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::EditableText:
    case QAccessible::Table:
    case QAccessible::Tree:
    case QAccessible::List:
        return true;
    default:
        return false;
    }
}

// The controls found walking the accessibility tree from the window down,
// not into a table's cells; unnamed ones are listed with an empty name.
Named WalkControls(QWidget& window)
{
    Named found;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        if (!node)
            return;
        const QAccessible::Role role = node->role();
        if (TakesInputOrShowsData(role))
            found.emplace(role, node->text(QAccessible::Name).toStdString());
        if (role == QAccessible::Table || role == QAccessible::Tree)
            return;
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i));
    };
    walk(QAccessible::queryAccessibleInterface(&window));
    return found;
}

TEST(QtAccessibilityTest, EveryControlOfBothWindowsHasAName)
{
    QtToolkit toolkit;
    ScriptedHandler handler{toolkit};
    const auto fields = [](const std::string& label) {
        Named named;
        for (int i = 1; i <= 4; ++i)
            named.emplace(QAccessible::EditableText, label + ", field " + std::to_string(i) + " of 4");
        return named;
    };
    struct Case {
        int templateId;
        Named expected;
    };
    Named setupIp{
        {QAccessible::PushButton, "Apply Changes"},  {QAccessible::PushButton, "Close"},
        {QAccessible::CheckBox, "DHCP Client Enabled"}, {QAccessible::EditableText, "User Name"},
        {QAccessible::EditableText, "Password"},
    };
    for (const char* label : {"IP Address", "Netmask", "Default Gateway"})
        setupIp.merge(fields(label));
    const Case cases[]{
        {IDD_DEVICELIST,
         {{QAccessible::PushButton, "Discover"},
          {QAccessible::PushButton, "Close"},
          {QAccessible::PushButton, "Setup IP"},
          {QAccessible::PushButton, "Connect to Web Server"},
          {QAccessible::CheckBox, "Keep discovering"},
          {QAccessible::EditableText, "Filter"},
          {QAccessible::Tree, "Devices"}}},
        {IDD_SETUPIP, setupIp},
        {IDD_ABOUTBOX, {{QAccessible::PushButton, "OK"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.templateId);
        QtWindow window(*FindDialogTemplate(c.templateId), handler, nullptr);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        const Named found = WalkControls(window);
        EXPECT_EQ(found, c.expected);
    }
}

// The table's headings, Last seen among them, and the Setup IP dialog's
// device line (as text and as the dialog's description) are read out too.
TEST(QtAccessibilityTest, LastSeenHeadingAndTheSetupIpDeviceLineAreFound)
{
    QtToolkit toolkit;
    ScriptedHandler handler{toolkit};
    DeviceRegistry registry;
    RecordDevice(registry, 2, "198.18.1.2", {"SSID=lab-2"});
    handler.onInit = [&registry](IWindow& window) {
        if (IListCtrl* list = window.List(IDC_LIST_DEVICES)) {
            list->ShowDevices(registry, [] { return DeviceRecord::Millis{0}; });
            list->DevicesAdded(registry.Size());
        } else {
            window.SetItemText(IDC_TEXT_DEVICE, "lab-2 \u00B7 02:00:00:00:00:02 \u00B7 lab0");
            window.SetDescription("lab-2 \u00B7 02:00:00:00:00:02 \u00B7 lab0");
        }
    };
    std::set<std::string> headings;
    std::set<std::string> texts;
    std::string description;
    handler.whileShown = [&](QtWindow& window) {
        std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            if (!node)
                return;
            if (node->role() == QAccessible::ColumnHeader)
                headings.insert(node->text(QAccessible::Name).toStdString());
            if (node->role() == QAccessible::StaticText)
                texts.insert(node->text(QAccessible::Name).toStdString());
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        QAccessibleInterface* top = QAccessible::queryAccessibleInterface(&window);
        walk(top);
        if (window.TemplateId() == IDD_SETUPIP)
            description = top->text(QAccessible::Description).toStdString();
        toolkit.EndDialog(window, 0);
    };
    toolkit.RunModal(handler, IDD_DEVICELIST, nullptr);
    EXPECT_EQ(headings.count("Last seen"), 1u);
    EXPECT_EQ(headings.count("IP Address"), 1u);
    toolkit.RunModal(handler, IDD_SETUPIP, nullptr);
    EXPECT_EQ(texts.count("lab-2 \u00B7 02:00:00:00:00:02 \u00B7 lab0"), 1u);
    EXPECT_EQ(description, "lab-2 \u00B7 02:00:00:00:00:02 \u00B7 lab0");
}

} // namespace
} // namespace pemblor
