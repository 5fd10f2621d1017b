// What a screen reader finds in the windows: every control that takes input
// or shows data has its name, the table its headings.
#include "gui/CAboutDlg.h"
#include "tests/gui/DeviceListRig.h"

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

// Every node below `top`, depth first.
void Walk(QAccessibleInterface* node, const std::function<void(QAccessibleInterface&)>& visit, bool intoTables = true)
{
    if (!node)
        return;
    visit(*node);
    if (!intoTables && (node->role() == QAccessible::Table || node->role() == QAccessible::Tree))
        return;
    for (int i = 0; i < node->childCount(); ++i)
        Walk(node->child(i), visit, intoTables);
}

// The controls, not a table's cells; unnamed ones with an empty name.
Named Controls(QWidget& window)
{
    Named found;
    Walk(
        QAccessible::queryAccessibleInterface(&window),
        [&](QAccessibleInterface& node) {
            if (TakesInputOrShowsData(node.role()))
                found.emplace(node.role(), node.text(QAccessible::Name).toStdString());
        },
        false);
    return found;
}

TEST(AccessibilityTest, EveryControlOfTheDeviceListAndTheAboutBoxHasItsName)
{
    DeviceListRig rig;
    rig.Open();
    EXPECT_EQ(Controls(*rig.window), (Named{{QAccessible::PushButton, "Discover"},
                                            {QAccessible::PushButton, "Close"},
                                            {QAccessible::PushButton, "Setup IP"},
                                            {QAccessible::PushButton, "Connect to Web Server"},
                                            {QAccessible::CheckBox, "Keep discovering"},
                                            {QAccessible::EditableText, "Filter"},
                                            {QAccessible::Tree, "Devices"}}));
    CAboutDlg about(rig.window.get());
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(Controls(about), (Named{{QAccessible::PushButton, "OK"}}));
    std::set<std::string> texts;
    Walk(QAccessible::queryAccessibleInterface(&about), [&](QAccessibleInterface& node) {
        if (node.role() == QAccessible::StaticText)
            texts.insert(node.text(QAccessible::Name).toStdString());
    });
    EXPECT_EQ(texts.count("Pemblor Version 1.0"), 1u);
    EXPECT_EQ(texts.count("Sets up access point addresses"), 1u);
}

// The table's headings, Last seen among them, are read out, and a device's
// cells with it.
TEST(AccessibilityTest, TheTableReadsItsHeadingsAndCells)
{
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0);
    rig.Open();
    rig.Discover(1000);
    std::set<std::string> headings;
    std::set<std::string> cells;
    Walk(QAccessible::queryAccessibleInterface(rig.window.get()), [&](QAccessibleInterface& node) {
        if (node.role() == QAccessible::ColumnHeader)
            headings.insert(node.text(QAccessible::Name).toStdString());
        if (node.role() == QAccessible::Cell || node.role() == QAccessible::TreeItem)
            cells.insert(node.text(QAccessible::Name).toStdString());
    });
    EXPECT_EQ(headings, (std::set<std::string>{"No", "SSID", "IP Address", "Subnet Mask", "Channel", "MAC Address",
                                               "Interface", "Last seen"}));
    EXPECT_EQ(cells.count("ap0"), 1u);
    EXPECT_EQ(cells.count(GuiRig::ApMacText(0)), 1u);
}

} // namespace
} // namespace pemblor
