#include "common/DeviceColumns.h"
#include "tests/support/DeviceListHarness.h"

#include "engine/fake/FakeNetwork.h"
#include "ui/devicelist/CPemblorApp.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace pemblor {
namespace {

const std::string Host0 = "198.18.0.10";

TEST(DeviceListWindowTest, TableShowsTheDevicesOnceTheEndpointIsOpen)
{
    DeviceListHarness h;
    h.Open();
    EXPECT_TRUE(h.List().HasColumns());
    EXPECT_TRUE(h.ui.InitResult(*h.window));
    std::vector<std::string> headings;
    for (int column = 0; column < kDeviceColumnCount; ++column)
        headings.emplace_back(DeviceColumnHeading(static_cast<DeviceColumn>(column)));
    EXPECT_EQ(headings, (std::vector<std::string>{"No", "SSID", "IP Address", "Subnet Mask", "Channel", "MAC Address",
                                                  "Interface", "Last seen"}));
}

// The table keeps its columns whatever failed, and Discover says the same
// again instead of sending through a socket that is not there. A receive
// port taken by another program gets a second line that says what to do.
TEST(DeviceListWindowTest, EndpointFailureIsToldAndTheTableKeepsItsColumns)
{
    const std::string portTaken = "\nAnother program on this computer uses UDP port 21212, probably Pemblor or "
                                  "pemblorctl. Close it and start Pemblor again.";
    struct Case {
        FakeOp op;
        int error;
        int skip;
        std::string message;
    };
    const std::vector<Case> cases{
        {FakeOp::Bind, EADDRINUSE, 0, "m_skSend.Create Error(" + std::to_string(EADDRINUSE) + ")"},
        {FakeOp::Bind, EADDRINUSE, 1, "m_skRecv.Create Error(" + std::to_string(EADDRINUSE) + ")" + portTaken},
        {FakeOp::Open, EMFILE, 1, "m_skRecv.Create Error(" + std::to_string(EMFILE) + ")"},
        {FakeOp::SetBroadcast, ENOPROTOOPT, 0, "m_skSend.SetSockOpt Error(" + std::to_string(ENOPROTOOPT) + ")!"},
        {FakeOp::SetBroadcast, EACCES, 1, "m_skRecv.SetSockOpt Error(" + std::to_string(EACCES) + ")!"},
    };
    for (const Case& c : cases) {
        DeviceListHarness h;
        h.tool->InjectFailure(c.op, c.error, c.skip);
        h.Open();
        EXPECT_FALSE(h.ui.InitResult(*h.window)) << c.message;
        EXPECT_EQ(h.ui.MessageTexts(), std::vector<std::string>{c.message});
        EXPECT_TRUE(h.List().HasColumns()) << c.message;
        EXPECT_FALSE(h.window->Ended());
        // The About entry comes before the sockets.
        EXPECT_EQ(h.ui.SystemMenu().size(), 1u);

        const std::size_t sent = h.net.SentLog().size();
        h.window->Click(IDC_BTN_DISCOVER);
        h.ui.Advance(5000);
        EXPECT_EQ(h.ui.MessageTexts(), (std::vector<std::string>{c.message, c.message}));
        EXPECT_EQ(h.net.SentLog().size(), sent);
    }
}

TEST(DeviceListWindowTest, ReceiveThreadWithoutSocketsLibraryIsReportedAndFindsNothing)
{
    DeviceListHarness h;
    h.AddStandardAccessPoint(0);
    h.tool->InjectFailure(FakeOp::StartupThread, 10093);
    h.Open();
    h.Discover(5000);
    EXPECT_EQ(h.ui.MessageTexts(), (std::vector<std::string>{"Socket Init Error", "Find no devices!"}));
    EXPECT_EQ(h.ui.Messages()[0].ownerTemplate, IDD_DEVICELIST);
    EXPECT_TRUE(h.Rows().empty());
}

TEST(DeviceListWindowTest, ButtonsFollowDiscoverSelectionAndTimeOut)
{
    DeviceListHarness h;
    h.AddStandardAccessPoint(0);
    h.Open();
    auto enabled = [&] {
        return std::vector<bool>{h.Enabled(IDC_BTN_DISCOVER), h.Enabled(IDC_BTN_SETUPIP), h.Enabled(IDC_BTN_WEBSERVER)};
    };
    using V = std::vector<bool>;
    EXPECT_EQ(enabled(), (V{true, false, false}));

    h.Discover(1000);
    EXPECT_EQ(enabled(), (V{false, false, false}));
    ASSERT_EQ(h.Rows().size(), 1u);

    // No current row: a click on an empty part changes nothing.
    h.window->ClickList(IDC_LIST_DEVICES, -1);
    EXPECT_EQ(enabled(), (V{false, false, false}));

    // A row selected from the keyboard is the current row; a later click on
    // an empty part acts on it.
    h.List().Select(0);
    h.window->ClickList(IDC_LIST_DEVICES, -1);
    EXPECT_EQ(enabled(), (V{false, true, true}));

    // The end of the cycle enables Discover only; the others stay.
    h.ui.Advance(4000);
    EXPECT_EQ(enabled(), (V{true, true, true}));

    // Discover clears the table and with it the current row.
    h.Discover(1000);
    EXPECT_EQ(enabled(), (V{false, false, false}));
    EXPECT_LT(h.List().GetSelectionMark(), 0);
    h.window->ClickList(IDC_LIST_DEVICES, 0);
    EXPECT_EQ(enabled(), (V{false, true, true}));
}

TEST(DeviceListWindowTest, WebServerAndContextMenuActOnTheCurrentRow)
{
    DeviceListHarness h;
    h.AddStandardAccessPoint(0);
    auto bare = FakeAccessPoint::Standard(DeviceListHarness::ApHost(1), DeviceListHarness::ApMac(1));
    bare.discoveryEntries = {};
    bare.discoveryDelay = 200;
    h.AddAccessPoint(bare, DeviceListHarness::ApHost(1));
    h.Open();

    // Nothing to act on yet.
    h.window->RightClickList(IDC_LIST_DEVICES, -1);
    h.window->DoubleClickList(IDC_LIST_DEVICES, -1);
    EXPECT_TRUE(h.ui.Popups().empty());
    EXPECT_TRUE(h.ui.OpenedUrls().empty());

    h.Discover(1000);
    ASSERT_EQ(h.Rows().size(), 2u);

    h.window->DoubleClickList(IDC_LIST_DEVICES, 0);
    h.window->Click(IDC_BTN_WEBSERVER); // enabled by neither click: no effect
    h.window->ClickList(IDC_LIST_DEVICES, 1);
    h.window->Click(IDC_BTN_WEBSERVER);
    h.ui.AnswerNextPopup(ID_CONNECT_WEB);
    h.window->RightClickList(IDC_LIST_DEVICES, 0);
    h.ui.AnswerNextPopup(0); // dismissed
    h.window->RightClickList(IDC_LIST_DEVICES, 1);

    // The bare device's row shows no address; its page is where it answered
    // from.
    EXPECT_EQ(h.ui.OpenedUrls(), (std::vector<std::string>{"http://" + Host0, "http://" + DeviceListHarness::ApHost(1),
                                                           "http://" + Host0}));
    ASSERT_EQ(h.ui.Popups().size(), 2u);
    EXPECT_EQ(h.ui.Popups()[0].menuId, IDR_LISTMENU);
    EXPECT_EQ(h.ui.Popups()[0].windowTemplate, IDD_DEVICELIST);
}

// From the keyboard alone: a row selected by a key enables the device
// commands as a click does, and the Menu key opens the current row's menu.
TEST(DeviceListWindowTest, KeyboardSelectionAndMenuKeyActLikeTheMouse)
{
    DeviceListHarness h;
    h.AddStandardAccessPoint(0);
    auto second = FakeAccessPoint::Standard(DeviceListHarness::ApHost(1), DeviceListHarness::ApMac(1));
    second.discoveryDelay = 200;
    h.AddAccessPoint(second, DeviceListHarness::ApHost(1));
    h.Open();

    h.window->PressListMenuKey(IDC_LIST_DEVICES); // no row yet: no menu
    EXPECT_TRUE(h.ui.Popups().empty());

    h.Discover(1000);
    ASSERT_EQ(h.Rows().size(), 2u);
    h.ui.Advance(4000);
    EXPECT_FALSE(h.Enabled(IDC_BTN_SETUPIP));
    h.window->SelectListByKey(IDC_LIST_DEVICES, 1);
    EXPECT_TRUE(h.Enabled(IDC_BTN_SETUPIP));
    EXPECT_TRUE(h.Enabled(IDC_BTN_WEBSERVER));

    h.ui.AnswerNextPopup(ID_CONNECT_WEB);
    h.window->PressListMenuKey(IDC_LIST_DEVICES);
    h.window->SelectListByKey(IDC_LIST_DEVICES, 0);
    h.ui.AnswerNextPopup(ID_CONNECT_WEB);
    h.window->PressListMenuKey(IDC_LIST_DEVICES);
    ASSERT_EQ(h.ui.Popups().size(), 2u);
    EXPECT_EQ(h.ui.Popups()[1].menuId, IDR_LISTMENU);
    EXPECT_EQ(h.ui.OpenedUrls(), (std::vector<std::string>{"http://" + DeviceListHarness::ApHost(1), "http://" + Host0}));
}

TEST(DeviceListWindowTest, CloseBoxSendsTwoStopDatagramsCloseButtonAndEscapeOne)
{
    struct Case {
        const char* name;
        std::function<void(FakeWindow&)> close;
        int stops;
    };
    const std::vector<Case> cases{
        {"close box", [](FakeWindow& w) { w.PressCloseBox(); }, 2},
        {"Close button", [](FakeWindow& w) { w.Click(IDCANCEL); }, 1},
        {"Escape", [](FakeWindow& w) { w.PressEscape(); }, 1},
    };
    for (const Case& c : cases) {
        DeviceListHarness h;
        h.Open();
        h.Discover(6000); // the receive thread runs
        c.close(*h.window);
        h.ui.Advance(0);
        EXPECT_EQ(h.StopDatagramsSent(), c.stops) << c.name;
        EXPECT_TRUE(h.window->Ended()) << c.name;
        EXPECT_EQ(h.window->Result(), IDCANCEL) << c.name;
        EXPECT_EQ(h.dialog->GetSession().discovery().State(), Closing) << c.name;
    }
}

TEST(DeviceListWindowTest, AboutBoxFromTheSystemMenu)
{
    DeviceListHarness h;
    h.Open();
    ASSERT_EQ(h.ui.SystemMenu().size(), 1u);
    EXPECT_EQ(h.ui.SystemMenu()[0].command, IDM_ABOUTBOX);
    EXPECT_EQ(h.ui.SystemMenu()[0].text, "&About Pemblor...");

    struct Case {
        unsigned command;
        std::function<void(FakeWindow&)> end;
        int result;
    };
    const std::vector<Case> cases{
        {IDM_ABOUTBOX, [](FakeWindow& w) { w.Click(IDOK); }, IDOK},
        {IDM_ABOUTBOX | 0x3, [](FakeWindow& w) { w.PressEscape(); }, IDCANCEL},
    };
    for (const Case& c : cases) {
        h.ui.After(10, [&] { c.end(*h.ui.TopWindow()); });
        h.window->ChooseSysCommand(c.command);
        FakeWindow* about = h.ui.LastWindow(IDD_ABOUTBOX);
        ASSERT_NE(about, nullptr);
        EXPECT_TRUE(about->Ended());
        EXPECT_EQ(about->Result(), c.result);
        EXPECT_EQ(about->Owner(), h.window);
    }
    EXPECT_FALSE(h.ui.Stalled());

    // Other system commands open nothing.
    FakeWindow* last = h.ui.LastWindow(IDD_ABOUTBOX);
    h.window->ChooseSysCommand(0xF060);
    EXPECT_EQ(h.ui.LastWindow(IDD_ABOUTBOX), last);
}

TEST(PemblorAppTest, SocketsStartupFailureShowsTheMessageAndOpensNoWindow)
{
    FakeNetwork net;
    auto layer = net.NewLayer("198.18.0.1");
    VirtualClock clock;
    EventLoop loop{clock};
    FakeToolkit ui{loop};
    layer->InjectFailure(FakeOp::StartupProcess, 10091);

    CPemblorApp app;
    EXPECT_FALSE(app.InitInstance(ui, loop, *layer));

    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, "Windows sockets initialization failed.");
    EXPECT_EQ(ui.Messages()[0].icon, MbIcon::Exclamation);
    EXPECT_EQ(ui.Messages()[0].ownerTemplate, 0);
    EXPECT_EQ(ui.Messages()[0].caption, "Pemblor");
    EXPECT_EQ(ui.LastWindow(IDD_DEVICELIST), nullptr);
}

TEST(PemblorAppTest, RunsTheDeviceListWindowUntilItCloses)
{
    FakeNetwork net;
    auto layer = net.NewLayer("198.18.0.1");
    VirtualClock clock([&] { return net.Quiescent(); });
    EventLoop loop{clock};
    FakeToolkit ui{loop};
    ui.After(100, [&] { ui.TopWindow()->Click(IDC_BTN_DISCOVER); });
    ui.After(6000, [&] { ui.TopWindow()->Click(IDCANCEL); });

    CPemblorApp app;
    EXPECT_FALSE(app.InitInstance(ui, loop, *layer));

    FakeWindow* window = ui.LastWindow(IDD_DEVICELIST);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->Ended());
    EXPECT_FALSE(ui.Stalled());
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Find no devices!"});
}

} // namespace
} // namespace pemblor
