// The device table as the product sets it up: columns wide enough for their
// widest values in the font in use, the window grown to show them, and tool
// tips that show a cell's text as it is.
#include "QtTestSupport.h"

#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "toolkit/IListCtrl.h"
#include "toolkit/qt/QtListModel.h"
#include "toolkit/qt/QtListView.h"
#include "toolkit/qt/QtToolkit.h"
#include "toolkit/qt/QtWindow.h"
#include "ui/devicelist/DeviceTableColumns.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pemblor {
namespace {

// Every value a column can show at its widest: each digit, each hex digit.
std::vector<std::vector<std::string>> WidestRows()
{
    std::vector<std::vector<std::string>> rows;
    const std::string hex = "0123456789ABCDEF";
    for (const char c : hex) {
        const std::string d(1, c < 'A' ? c : '9');
        const std::string octet = d + d + d;
        const std::string pair{c, c};
        rows.push_back({d + d + d + d + d, "", octet + "." + octet + "." + octet + "." + octet,
                        "255.255.255.255", d + d + d,
                        pair + ":" + pair + ":" + pair + ":" + pair + ":" + pair + ":" + pair, "enp0s31f6"});
    }
    return rows;
}

class QtDeviceTableTest : public ::testing::Test {
protected:
    // The device list window in the template's font at `pointSize` (0: the
    // template's own size), set up as the toolkit shows it.
    std::unique_ptr<QtWindow> MakeWindow(int pointSize)
    {
        DialogTemplate layout = *FindDialogTemplate(IDD_DEVICELIST);
        if (pointSize > 0)
            layout.pointSize = pointSize;
        auto window = std::make_unique<QtWindow>(layout, handler, nullptr);
        templateWidth = window->width();
        listWidth = window->List(IDC_LIST_DEVICES)->GetOuterWidth();
        AddDeviceTableColumns(*window->List(IDC_LIST_DEVICES));
        window->WidenForLists();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }
    static QtListView& View(const QtWindow& window)
    {
        return *window.findChild<QtListView*>(QtWindow::ControlName(IDC_LIST_DEVICES));
    }

    QtToolkit toolkit;
    ScriptedHandler handler{toolkit};
    int templateWidth = 0;
    int listWidth = 0;
};

TEST_F(QtDeviceTableTest, ColumnsShowTheirWidestValuesInTheFontInUse)
{
    // The offscreen screen is 800 pixels wide: with the Interface column the
    // widened table fits at the default size only; at 11 and 13 points the
    // window takes the screen and the table scrolls.
    const int available = QGuiApplication::primaryScreen()->availableGeometry().width();
    int fitted = 0;
    int scrolled = 0;
    for (const int pointSize : {0, 11, 13}) {
        SCOPED_TRACE(pointSize);
        const auto window = MakeWindow(pointSize);
        QtListView& view = View(*window);
        IListCtrl& list = *window->List(IDC_LIST_DEVICES);
        for (const auto& cells : WidestRows()) {
            const int row = list.InsertItem(list.GetItemCount(), cells[0]);
            for (int column = 1; column < 7; ++column)
                list.SetItemText(row, column, cells[static_cast<std::size_t>(column)]);
            // A device outside its interface's network: the icon goes beside
            // the address, which still shows whole.
            list.SetItemWarning(row, 2, "outside");
        }
        const int w = (listWidth - 100) / 4;
        const int minimum[]{30, w - 1, w - 10, w - 10, 70, w + 10, 70};
        for (int column = 0; column < 7; ++column) {
            const int width = view.header()->sectionSize(column);
            EXPECT_GE(width, minimum[column]) << column;
            EXPECT_GE(width, view.header()->sectionSizeHint(column)) << "heading of " << column;
            if (column != 1) {
                const QAbstractItemView& cells = view;
                EXPECT_GE(width, cells.sizeHintForColumn(column)) << "cells of " << column;
            }
        }
        // Room a window manager's frame may need beside the window.
        const int room = available - 16;
        if (templateWidth - listWidth + view.WantedOuterWidth() <= room) {
            ++fitted;
            EXPECT_GE(view.width(), view.WantedOuterWidth());
            EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
        } else {
            ++scrolled;
            EXPECT_EQ(window->width(), std::max(room, templateWidth));
            EXPECT_GT(view.horizontalScrollBar()->maximum(), 0);
        }
        // Close stays lined up with the table's right edge; Discover stays put.
        const QWidget* close = window->Control(IDCANCEL);
        EXPECT_NEAR(close->geometry().right(), view.geometry().right(), 2);
        EXPECT_EQ(window->Control(IDC_BTN_DISCOVER)->x(), window->Units().ToPixelsX(7));
    }
    EXPECT_EQ(fitted, 1);
    EXPECT_EQ(scrolled, 2);
}

TEST_F(QtDeviceTableTest, RunModalGrowsTheWindowForFittedColumns)
{
    int shownWidth = 0;
    int wanted = 0;
    handler.onInit = [&](IWindow& window) {
        templateWidth = dynamic_cast<QtWindow&>(window).width();
        AddDeviceTableColumns(*window.List(IDC_LIST_DEVICES));
    };
    handler.whileShown = [&](QtWindow& window) {
        shownWidth = View(window).width();
        wanted = View(window).WantedOuterWidth();
        EXPECT_GT(window.width(), templateWidth);
    };
    toolkit.RunModal(handler, IDD_DEVICELIST, nullptr);
    EXPECT_GE(shownWidth, wanted);
}

// What a person sees in the tool tip of a cell: its rich text rendered, or
// its plain text.
QString ShownToolTip(QtListView& view, int row, int column)
{
    QToolTip::hideText();
    const QRect cell = view.visualRect(view.Model().index(row, column));
    QHelpEvent help(QEvent::ToolTip, cell.center(), view.viewport()->mapToGlobal(cell.center()));
    QCoreApplication::sendEvent(view.viewport(), &help);
    QLabel* tip = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("qtooltip_label") && widget->isVisible())
            tip = qobject_cast<QLabel*>(widget);
    }
    if (!tip)
        return QStringLiteral("<no tool tip>");
    QString shown = tip->text();
    if (tip->textFormat() == Qt::RichText || (tip->textFormat() == Qt::AutoText && Qt::mightBeRichText(shown))) {
        QTextDocument document;
        document.setHtml(shown);
        shown = document.toPlainText();
    }
    return shown.replace(QChar::Nbsp, QLatin1Char(' '));
}

TEST_F(QtDeviceTableTest, ToolTipsShowCellTextAsPlainText)
{
    const char* const ssids[]{
        "<b>BOLD</b><i>ital</i>",
        "<img src=\"/etc/passwd\">",
        "<qt>Quarnel</qt>",
        "<!DOCTYPE html><p>x</p>",
        "&amp; &lt;tag&gt;",
        "<a href=\"http://198.18.0.1\">link</a>",
        "two  spaces   three",
        "<table><tr><td>cell",
        "Quarnel-Office",
        "a<b>c",
    };
    const auto window = MakeWindow(0);
    QtListView& view = View(*window);
    IListCtrl& list = *window->List(IDC_LIST_DEVICES);
    for (const char* ssid : ssids) {
        const int row = list.InsertItem(list.GetItemCount(), "1");
        list.SetItemText(row, 1, ssid);
    }
    for (int row = 0; row < list.GetItemCount(); ++row) {
        EXPECT_EQ(view.Model().data(view.Model().index(row, 1)).toString().toStdString(), ssids[row]);
        EXPECT_EQ(ShownToolTip(view, row, 1).toStdString(), ssids[row]);
    }
    QToolTip::hideText();
}

} // namespace
} // namespace pemblor
