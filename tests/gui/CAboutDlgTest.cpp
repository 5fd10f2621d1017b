#include "gui/CAboutDlg.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace pemblor {
namespace {

// The box reads as the program's name and purpose with one OK button, which
// Enter and a click accept and Escape rejects.
TEST(CAboutDlgTest, ReadsAsBeforeAndEndsByOkOrEscape)
{
    const struct {
        const char* how;
        std::function<void(CAboutDlg&)> end;
        int result;
    } ways[] = {
        {"Enter", [](CAboutDlg& box) { QTest::keyClick(&box, Qt::Key_Return); }, QDialog::Accepted},
        {"click", [](CAboutDlg& box) { QTest::mouseClick(box.findChild<QPushButton*>("IDOK"), Qt::LeftButton); },
         QDialog::Accepted},
        {"Escape", [](CAboutDlg& box) { QTest::keyClick(&box, Qt::Key_Escape); }, QDialog::Rejected},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        CAboutDlg box;
        QSignalSpy finished(&box, &QDialog::finished);
        box.open();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
        EXPECT_EQ(box.windowTitle(), "About Pemblor");
        EXPECT_EQ(box.objectName(), "CAboutDlg");
        QStringList texts;
        for (const QLabel* label : box.findChildren<QLabel*>())
            if (!label->text().isEmpty())
                texts << label->text();
        EXPECT_EQ(texts, (QStringList{"Pemblor Version 1.0", "Sets up access point addresses"}));
        auto* ok = box.findChild<QPushButton*>("IDOK");
        ASSERT_NE(ok, nullptr);
        EXPECT_TRUE(ok->isDefault());
        EXPECT_EQ(QAccessible::queryAccessibleInterface(ok)->text(QAccessible::Name), "OK");
        way.end(box);
        ASSERT_EQ(finished.size(), 1);
        EXPECT_EQ(finished[0][0].toInt(), way.result);
        EXPECT_FALSE(box.isVisible());
    }
}

} // namespace
} // namespace pemblor
