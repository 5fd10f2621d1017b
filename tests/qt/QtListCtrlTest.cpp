#include "QtTestSupport.h"

#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "toolkit/IListCtrl.h"
#include "toolkit/qt/QtListModel.h"
#include "toolkit/qt/QtListView.h"
#include "toolkit/qt/QtToolkit.h"
#include "toolkit/qt/QtWindow.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace pemblor {
namespace {

class QtListCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        list = window.List(IDC_LIST_DEVICES);
        view = window.findChild<QtListView*>(QtWindow::ControlName(IDC_LIST_DEVICES));
        ASSERT_NE(list, nullptr);
        ASSERT_NE(view, nullptr);
    }
    void AddColumns()
    {
        const int w = (list->GetOuterWidth() - 100) / 4;
        const std::pair<const char*, int> columns[]{{"No", 30},         {"SSID", w - 1},   {"IP Address", w - 10},
                                                    {"Subnet Mask", w - 10}, {"Channel", 70}, {"MAC Address", w + 10}};
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(list->InsertColumn(i, columns[i].first, columns[i].second), i);
        list->SetFullRowSelect();
    }
    void AddRows(int count)
    {
        for (int i = 0; i < count; ++i) {
            const int row = list->InsertItem(i, std::to_string(i + 1));
            list->SetItemText(row, 1, "ssid" + std::to_string(i));
        }
    }
    QPoint RowPoint(int row) const { return view->visualRect(view->Model().index(row, 1)).center(); }

    QtToolkit toolkit;
    ScriptedHandler handler{toolkit};
    QtWindow window{*FindDialogTemplate(IDD_DEVICELIST), handler, nullptr};
    IListCtrl* list = nullptr;
    QtListView* view = nullptr;
};

TEST_F(QtListCtrlTest, ColumnsAndOuterWidth)
{
    const QtDialogUnits& units = window.Units();
    EXPECT_EQ(list->GetOuterWidth(), units.ToPixelsX(269));
    EXPECT_EQ(list->GetColumnCount(), 0);
    AddColumns();
    const int w = (list->GetOuterWidth() - 100) / 4;
    const int widths[]{30, w - 1, w - 10, w - 10, 70, w + 10};
    const char* headings[]{"No", "SSID", "IP Address", "Subnet Mask", "Channel", "MAC Address"};
    EXPECT_EQ(list->GetColumnCount(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(view->header()->sectionSize(i), widths[i]) << i;
        EXPECT_EQ(view->Model().headerData(i, Qt::Horizontal).toString(), QString::fromLatin1(headings[i]));
    }
    EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_FALSE(view->rootIsDecorated());
    EXPECT_FALSE(view->header()->isHidden());
}

TEST_F(QtListCtrlTest, InsertSetAndGetCells)
{
    AddColumns();
    EXPECT_EQ(list->InsertItem(0, "1"), 0);
    EXPECT_EQ(list->InsertItem(99, "3"), 1); // past the end appends
    EXPECT_EQ(list->InsertItem(1, "2"), 1);
    list->SetItemText(2, 5, "00:11:22:33:44:55");
    list->SetItemText(2, 6, "past the last column");
    list->SetItemText(7, 1, "no such row");
    EXPECT_EQ(list->GetItemCount(), 3);
    EXPECT_EQ(list->GetItemText(0, 0), "1");
    EXPECT_EQ(list->GetItemText(1, 0), "2");
    EXPECT_EQ(list->GetItemText(2, 0), "3");
    EXPECT_EQ(list->GetItemText(2, 5), "00:11:22:33:44:55");
    EXPECT_EQ(list->GetItemText(2, 6), "");
    EXPECT_EQ(list->GetItemText(2, 4), "");
    EXPECT_EQ(list->GetItemText(5, 0), "");
    EXPECT_EQ(view->Model().data(view->Model().index(2, 5)).toString(), QStringLiteral("00:11:22:33:44:55"));
    list->RedrawItem(2);
    list->RedrawItem(42);
    list->DeleteAllItems();
    EXPECT_EQ(list->GetItemCount(), 0);
}

// A warned cell shows an icon and gives its reason as the tool tip, plain
// text; the mark moves with its row and goes when the table is cleared.
TEST_F(QtListCtrlTest, WarningMarksOneCellOfItsRow)
{
    AddColumns();
    AddRows(2);
    list->SetItemText(1, 2, "10.0.0.5");
    const std::string reason = "This device's address 10.0.0.5 is outside <b>this</b> network";
    list->SetItemWarning(1, 2, reason);
    const QtListModel& model = view->Model();
    const auto decoration = [&](int row, int column) { return model.data(model.index(row, column), Qt::DecorationRole); };
    const auto tip = [&](int row, int column) { return model.data(model.index(row, column), Qt::ToolTipRole).toString(); };
    EXPECT_TRUE(decoration(1, 2).isValid());
    EXPECT_FALSE(decoration(1, 1).isValid());
    EXPECT_FALSE(decoration(0, 2).isValid());
    QTextDocument shown;
    shown.setHtml(tip(1, 2));
    EXPECT_EQ(shown.toPlainText().simplified().toStdString(), reason);
    EXPECT_EQ(tip(1, 1).toStdString(), "ssid1") << "the other cells keep their own text";

    list->InsertItem(0, "0");
    EXPECT_TRUE(decoration(2, 2).isValid()) << "the mark moved with its row";
    EXPECT_FALSE(decoration(1, 2).isValid());
    list->SetItemWarning(2, 2, "");
    EXPECT_FALSE(decoration(2, 2).isValid());
    EXPECT_EQ(tip(2, 2).toStdString(), "10.0.0.5");
    list->SetItemWarning(2, 2, reason);
    list->DeleteAllItems();
    list->InsertItem(0, "1");
    list->InsertItem(1, "2");
    list->InsertItem(2, "3");
    EXPECT_FALSE(decoration(2, 2).isValid());
}

// The selection mark follows the row the user selected last, survives a
// click on an empty part and is reset by clearing; every click is reported.
TEST_F(QtListCtrlTest, SelectionMarkAndClickNotifications)
{
    AddColumns();
    AddRows(4);
    EXPECT_LT(list->GetSelectionMark(), 0);
    QWidget* viewport = view->viewport();
    const QPoint empty(viewport->width() / 2, viewport->height() - 5);

    QTest::mouseClick(viewport, Qt::LeftButton, {}, RowPoint(1));
    EXPECT_EQ(list->GetSelectionMark(), 1);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, empty);
    EXPECT_EQ(list->GetSelectionMark(), 1);
    EXPECT_EQ(handler.Count("notify 1001 click"), 2);

    QTest::mouseClick(viewport, Qt::RightButton, {}, RowPoint(2));
    EXPECT_EQ(list->GetSelectionMark(), 2);
    EXPECT_EQ(handler.Count("notify 1001 right"), 1);

    QTest::mouseDClick(viewport, Qt::LeftButton, {}, RowPoint(3));
    EXPECT_EQ(list->GetSelectionMark(), 3);
    EXPECT_EQ(handler.Count("notify 1001 double"), 1);

    view->setFocus();
    QTest::keyClick(view, Qt::Key_Up);
    EXPECT_EQ(list->GetSelectionMark(), 2);

    const int clicksBefore = handler.Count("notify 1001 click");
    list->DeleteAllItems();
    EXPECT_LT(list->GetSelectionMark(), 0);
    AddRows(2);
    EXPECT_LT(list->GetSelectionMark(), 0);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, empty);
    EXPECT_LT(list->GetSelectionMark(), 0);
    EXPECT_EQ(handler.Count("notify 1001 click"), clicksBefore + 1);
}

TEST_F(QtListCtrlTest, TenThousandRowsGoInQuickly)
{
    AddColumns();
    QElapsedTimer clock;
    clock.start();
    list->SetRedraw(false);
    EXPECT_FALSE(view->updatesEnabled());
    for (int i = 0; i < 10000; ++i) {
        const int row = list->InsertItem(i, std::to_string(i + 1));
        list->SetItemText(row, 1, "Quarnel-AP");
        list->SetItemText(row, 2, "198.18.0.1");
        list->SetItemText(row, 3, "255.255.254.0");
        list->SetItemText(row, 4, "11");
        list->SetItemText(row, 5, "00:11:22:33:44:55");
    }
    list->SetRedraw(true);
    const qint64 insertMs = clock.elapsed();
    QCoreApplication::processEvents();
    const qint64 totalMs = clock.elapsed();
    std::printf("10000 rows: inserted in %lld ms, laid out in %lld ms\n", static_cast<long long>(insertMs),
                static_cast<long long>(totalMs));
    EXPECT_EQ(list->GetItemCount(), 10000);
    EXPECT_EQ(list->GetItemText(9999, 0), "10000");
    // Generous bound for an unoptimised build on a loaded machine.
    EXPECT_LT(totalMs, 3000);
}

// The keyboard alone: Tab reaches the list, keys select rows and report the
// change, Ctrl+Space deselects without a report; the Menu key and Shift+F10
// ask for the current row's menu.
TEST_F(QtListCtrlTest, KeysSelectRowsAndAskForTheRowMenu)
{
    AddColumns();
    AddRows(4);
    window.FocusFirstTabStop();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), view);
    EXPECT_LT(list->GetSelectionMark(), 0);

    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int mark;
        int selections;
        int menus;
    } const steps[]{
        {Qt::Key_Space, {}, 0, 1, 0},
        {Qt::Key_Down, {}, 1, 2, 0},
        {Qt::Key_End, {}, 3, 3, 0},
        {Qt::Key_Up, {}, 2, 4, 0},
        {Qt::Key_Space, Qt::ControlModifier, 2, 4, 0}, // deselected: the mark stays
        {Qt::Key_Menu, {}, 2, 4, 1},
        {Qt::Key_Space, {}, 2, 5, 1},
        {Qt::Key_Home, {}, 0, 6, 1},
        {Qt::Key_F10, Qt::ShiftModifier, 0, 6, 2},
        {Qt::Key_F10, {}, 0, 6, 2},
    };
    for (const Step& step : steps) {
        QTest::keyClick(view, step.key, step.modifiers);
        SCOPED_TRACE(QKeySequence(step.key | step.modifiers).toString().toStdString());
        EXPECT_EQ(list->GetSelectionMark(), step.mark);
        EXPECT_EQ(handler.Count("notify 1001 selection"), step.selections);
        EXPECT_EQ(handler.Count("notify 1001 right"), step.menus);
    }
    EXPECT_EQ(handler.Count("notify 1001 click"), 0);
}

} // namespace
} // namespace pemblor
