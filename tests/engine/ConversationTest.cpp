// The conversation engine on the fake network and the fake toolkit: every
// transition of the conversation state, grouped by conversation.
#include "ConversationFixture.h"

#include <cerrno>

namespace pemblor::test {
namespace {

// --- Receive thread start-up ------------------------------------------------

TEST_F(ConversationTest, OpensWithInitialFieldsAndNoThread)
{
    FakeWindow& w = OpenWindow();
    EXPECT_TRUE(ui.InitResult(w));
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(window->m_nState, Idle);
    EXPECT_EQ(window->m_nDeviceCount, 0);
    EXPECT_FALSE(window->m_bThreadStarted);
    EXPECT_NE(g_hRecvSocket.load(), InvalidSocket);
}

TEST_F(ConversationTest, SecondDiscoverStartsNoSecondThread)
{
    int launches = 0;
    ConversationConfig config;
    config.launchThread = [&](std::thread& thread, std::function<void()> body) {
        ++launches;
        thread = std::thread(std::move(body));
        return true;
    };
    OpenWindow(std::move(config));
    window->Discover();
    ui.Advance(6000);
    window->Discover();
    ui.Advance(6000);
    EXPECT_EQ(launches, 1);
    EXPECT_TRUE(window->m_bThreadStarted);
}

TEST_F(ConversationTest, ThreadThatCannotBeCreatedIsReportedAndNothingIsSent)
{
    ConversationConfig config;
    config.launchThread = [](std::thread&, std::function<void()>) { return false; };
    FakeWindow& w = OpenWindow(std::move(config));
    window->Discover();
    ui.Advance(10000);
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{"Cannot Create ServiceSocket Thread"});
    EXPECT_EQ(ui.Messages()[0].ownerTemplate, IDD_DEVICELIST);
    EXPECT_FALSE(window->m_bThreadStarted);
    EXPECT_EQ(SentOfType(TypeQuery), 0);
    EXPECT_FALSE(ui.TimerArmed(w, 1));
    EXPECT_EQ(window->m_nState, Discovering);
}

TEST_F(ConversationTest, ThreadSocketStartupFailureEndsThreadAndDiscoveriesFindNothing)
{
    OpenWindow();
    tool->InjectFailure(FakeOp::StartupThread, 10093);
    window->Discover();
    ap.Send(DiscoveryReply(1));
    ui.Advance(5000);
    EXPECT_EQ(ui.MessageTexts(), (std::vector<std::string>{"Socket Init Error", "Find no devices!"}));
    EXPECT_TRUE(window->m_bThreadStarted);
    window->Discover();
    ap.Send(DiscoveryReply(1));
    ui.Advance(5000);
    EXPECT_EQ(ui.MessageTexts().back(), "Find no devices!");
    EXPECT_TRUE(window->Rows().empty());
}

// --- The receive loop ---------------------------------------------------------

TEST_F(ConversationTest, RequestsEmptyAndFailedReceivesAreIgnored)
{
    OpenWindow();
    window->Discover();
    ap.Send(EncodeDatagram(TypeQuery, Mac(1), "", "", {"SSID=x"}));
    ap.Send(EncodeDatagram(TypeCommand, Mac(2), "u", "p", {"SSID=x"}));
    ap.SendBytes({});
    ap.SendBytes(std::vector<std::uint8_t>(8, 0xA1)); // shorter than the type field: type 0
    ap.SendBytes(std::vector<std::uint8_t>(ReceiveBufferSize + 1, 0)); // too big: the receive fails
    ap.Send(DiscoveryReply(3));
    ui.Advance(100);
    const auto rows = window->Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].mac, "02:00:00:00:00:03");
    EXPECT_EQ(rows[0].sender, kApHost);
}

TEST_F(ConversationTest, OwnBroadcastsAreHeardAndIgnored)
{
    OpenWindow();
    window->Discover();
    ui.Advance(5000);
    EXPECT_GE(SentOfType(TypeQuery), 1);
    EXPECT_TRUE(window->Rows().empty());
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Find no devices!"});
}

TEST_F(ConversationTest, StopDatagramFromAnyHostEndsTheThread)
{
    OpenWindow();
    window->Discover();
    ui.Advance(5000);
    ap.Send(BuildStopDatagram(), BroadcastAddress);
    ui.Advance(10);
    window->Discover();
    ap.Send(DiscoveryReply(1));
    ui.Advance(5000);
    EXPECT_TRUE(window->Rows().empty());
    EXPECT_EQ(ui.MessageTexts().back(), "Find no devices!");
}

TEST_F(ConversationTest, DeadSocketBacksOffInsteadOfSpinning)
{
    std::mutex mutex;
    std::vector<long> delays;
    ConversationConfig config;
    config.backoffWait = [&](std::chrono::milliseconds delay) {
        std::lock_guard lock(mutex);
        delays.push_back(static_cast<long>(delay.count()));
        return delays.size() < 10;
    };
    OpenWindow(std::move(config));
    tool->InjectFailure(FakeOp::Receive, EBADF, 0, -1);
    window->Discover();
    ui.Advance(5000);
    window->StopReceiveThread();
    std::lock_guard lock(mutex);
    EXPECT_EQ(delays, (std::vector<long>{10, 20, 40, 80, 160, 320, 640, 1000, 1000, 1000}));
}

TEST_F(ConversationTest, NoReceiveSocketEndsTheThreadAtOnce)
{
    tool->InjectFailure(FakeOp::SetBroadcast, EINVAL, 1); // the receive socket's option
    OpenWindow();
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"m_skRecv.SetSockOpt Error(22)!"});
    EXPECT_EQ(g_hRecvSocket.load(), InvalidSocket);
    window->Discover();
    ap.Send(DiscoveryReply(1), BroadcastAddress);
    ui.Advance(5000);
    EXPECT_EQ(ui.MessageTexts().back(), "Find no devices!");
}

// --- Discovering ----------------------------------------------------------------

TEST_F(ConversationTest, DiscoveryTakesEveryReplyTypeAndTimesOutOnlyWithoutRows)
{
    FakeWindow& w = OpenWindow();
    window->Discover();
    ap.Send(DiscoveryReply(1));
    ap.Send(CommandReply(0)); // a command reply is a row while discovering
    ap.Send(DiscoveryReply(2, 77));
    ui.Advance(4999);
    EXPECT_EQ(window->m_nState, Discovering);
    ui.Advance(1);
    EXPECT_EQ(window->m_nState, Idle);
    EXPECT_EQ(window->Rows().size(), 3u);
    EXPECT_TRUE(ui.Messages().empty());
    // The timer stays armed; later ticks find Idle and only set it again.
    EXPECT_TRUE(ui.TimerArmed(w, 1));
    ui.Advance(20000);
    EXPECT_TRUE(ui.Messages().empty());
    ap.Send(DiscoveryReply(9)); // in Idle: dropped
    ui.Advance(10);
    EXPECT_EQ(window->Rows().size(), 3u);
}

TEST_F(ConversationTest, FailedDiscoverySendIsEndedByTheStillRunningTimer)
{
    FakeWindow& w = OpenWindow();
    window->Discover();
    ui.Advance(5000); // "Find no devices!", timer keeps running
    tool->InjectFailure(FakeOp::Send, EACCES);
    ui.Advance(1000);
    window->Discover();
    EXPECT_EQ(window->m_nState, Discovering);
    ui.Advance(5000);
    EXPECT_EQ(window->m_nState, Idle);
    EXPECT_EQ(ui.MessageTexts(),
              (std::vector<std::string>{"Find no devices!", "skSend.SendTo: 13\n", "Find no devices!"}));
    EXPECT_EQ(ui.Messages().back().time, 10000); // the tick of the earlier arming
    EXPECT_TRUE(ui.TimerArmed(w, 1));
}

// --- Detail query -------------------------------------------------------------

class DetailTest : public ConversationTest {
protected:
    void OpenDialog()
    {
        FakeWindow& w = OpenWindow();
        (void)w;
        window->Discover();
        ui.Advance(5000);
        ui.ClearMessages();
        dialog = std::make_unique<TestDialog>(ui);
        dialogWindow = &ui.Open(*dialog, IDD_SETUPIP);
        window->AttachSetupIpDlg(dialog.get(), "10.0.0.99");
        window->m_nState = QueryingDetail;
        window->ArmTimer(5000);
    }
    void TearDown() override
    {
        if (window)
            window->DetachSetupIpDlg();
        ConversationTest::TearDown();
    }
    std::unique_ptr<TestDialog> dialog;
    FakeWindow* dialogWindow = nullptr;
};

TEST_F(DetailTest, ReplyIsStoredFilledAndDisarmsTheTimer)
{
    OpenDialog();
    ap.Send(DetailReply(1));
    ui.Advance(10);
    EXPECT_EQ(window->m_nState, DetailReceived);
    EXPECT_EQ(dialog->settings.at("IP_ADDR"), "10.0.0.2");
    EXPECT_EQ(dialog->settings.at("DHCP"), "1");
    EXPECT_EQ(dialog->fills, 1);
    EXPECT_EQ(dialog->fillThread, std::this_thread::get_id());
    EXPECT_FALSE(ui.TimerArmed(*window->Window(), 1));
    EXPECT_EQ(window->DetachSetupIpDlg(), kApHost);
    ui.Advance(10000);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(DetailTest, ReplyWithoutEntriesStillSetsAddressAndState)
{
    OpenDialog();
    dialog->settings["IP_ADDR"] = "1.2.3.4";
    ap.Send(EncodeDatagram(TypeQueryReply, Mac(1), "", "", {}));
    ui.Advance(10);
    EXPECT_EQ(window->m_nState, DetailReceived);
    EXPECT_EQ(dialog->settings.at("IP_ADDR"), "1.2.3.4");
    EXPECT_EQ(dialog->fills, 1);
    EXPECT_EQ(window->DetachSetupIpDlg(), kApHost);
}

TEST_F(DetailTest, AnyReplyIsTakenAsTheDetailReplyEvenADiscoveryReply)
{
    OpenDialog();
    TestAp other(net, "198.18.1.20");
    other.Send(DiscoveryReply(7));
    ui.Advance(10);
    EXPECT_EQ(dialog->settings.at("SSID"), "lab");
    EXPECT_EQ(dialog->settings.at("CURRENT_SUBNET_MASK"), "255.255.255.0");
    EXPECT_EQ(window->DetachSetupIpDlg(), "198.18.1.20");
}

TEST_F(DetailTest, NoReplyTimesOutOnTheDialogAndClosesIt)
{
    OpenDialog();
    ui.Advance(5000);
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{"Time Out!"});
    EXPECT_EQ(ui.Messages()[0].ownerTemplate, IDD_SETUPIP);
    EXPECT_EQ(ui.Messages()[0].caption, "Pemblor");
    EXPECT_TRUE(dialogWindow->Ended());
    EXPECT_EQ(window->m_nState, Idle);
    EXPECT_EQ(window->DetachSetupIpDlg(), "10.0.0.99");
}

TEST_F(DetailTest, ReplyWithNoDialogOnlyChangesTheState)
{
    OpenDialog();
    window->DetachSetupIpDlg();
    ap.Send(DetailReply(1));
    ui.Advance(10);
    EXPECT_EQ(window->m_nState, DetailReceived);
    EXPECT_EQ(dialog->fills, 0);
    EXPECT_TRUE(dialog->settings.empty());
    EXPECT_TRUE(ui.TimerArmed(*window->Window(), 1));
}

TEST_F(DetailTest, ReplyDuringAWaitOnTheUiThreadIsSeenAtOnce)
{
    OpenDialog();
    window->m_nState = QueryingDetail;
    ui.AfterExternal(2500, [&] { ap.Send(DetailReply(1)); });
    int checks = 0;
    while (window->m_nState != DetailReceived && checks < 10) {
        ui.WaitOnUiThread(1000);
        ++checks;
    }
    EXPECT_EQ(checks, 3);
    EXPECT_EQ(dialog->fills, 1);
}

TEST_F(DetailTest, CallsFromTheThreadAreServedWhileAMessageBoxIsUp)
{
    OpenDialog();
    ui.SetMessageHold(3000);
    ui.AfterExternal(1000, [&] { ap.Send(DetailReply(1)); });
    ui.MessageBox(window->Window(), "waiting", MbButtons::Ok, MbIcon::None);
    EXPECT_EQ(dialog->fills, 1);
}

// --- Settings change result ----------------------------------------------------

TEST_F(DetailTest, CommandResultIsStoredBeforeTheStateGoesIdle)
{
    struct Case {
        std::int8_t byte;
        int result;
    };
    for (const Case c : {Case{0, 0}, Case{1, 1}, Case{-1, -1}, Case{5, 5}}) {
        OpenDialog();
        window->m_nState = AwaitingSetResult;
        dialog->m_nResult = -7;
        window->ArmTimer(10000);
        ap.Send(CommandReply(c.byte));
        ui.Advance(10);
        EXPECT_EQ(window->m_nState, Idle);
        EXPECT_EQ(dialog->m_nResult, c.result);
        EXPECT_FALSE(ui.TimerArmed(*window->Window(), 1));
        window->DetachSetupIpDlg();
        window.reset();
        g_hRecvSocket = InvalidSocket;
    }
}

TEST_F(DetailTest, ReplyOfAnotherTypeEndsTheWaitWithoutAResult)
{
    OpenDialog();
    window->m_nState = AwaitingSetResult;
    dialog->m_nResult = -1;
    window->ArmTimer(10000);
    ap.Send(DiscoveryReply(1));
    ui.Advance(10);
    EXPECT_EQ(window->m_nState, Idle);
    EXPECT_EQ(dialog->m_nResult, -1);
    EXPECT_TRUE(ui.TimerArmed(*window->Window(), 1));
    ui.Advance(10000);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(DetailTest, NoResultTimesOutAndRefillsTheForm)
{
    OpenDialog();
    window->m_nState = AwaitingSetResult;
    window->ArmTimer(10000);
    ui.Advance(10000);
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Time Out!"});
    EXPECT_EQ(ui.Messages()[0].ownerTemplate, IDD_SETUPIP);
    EXPECT_EQ(dialog->fills, 1);
    EXPECT_FALSE(dialogWindow->Ended());
    EXPECT_EQ(window->m_nState, Idle);
}

TEST_F(ConversationTest, CommandResultWithoutDialogOnlySetsIdle)
{
    OpenWindow();
    window->Discover();
    ui.Advance(5000);
    window->m_nState = AwaitingSetResult;
    ap.Send(CommandReply(0));
    ui.Advance(10);
    EXPECT_EQ(window->m_nState, Idle);
}

TEST_F(ConversationTest, RepliesInIdleClosingAndDetailReceivedAreDropped)
{
    OpenWindow();
    window->Discover();
    ui.Advance(5000);
    for (int state : {Idle, Closing, DetailReceived}) {
        window->m_nState = state;
        ap.Send(DiscoveryReply(1));
        ap.Send(CommandReply(0));
        ui.Advance(10);
        EXPECT_EQ(window->m_nState, state);
    }
    EXPECT_TRUE(window->Rows().empty());
}

// --- Closing ----------------------------------------------------------------------

TEST_F(ConversationTest, ClosingSendsTheStopDatagramThatEndsTheThread)
{
    FakeWindow& w = OpenWindow();
    window->Discover();
    ui.Advance(5000);
    w.PressEscape();
    EXPECT_TRUE(w.Ended());
    EXPECT_EQ(window->m_nState, Closing);
    EXPECT_EQ(SentOfType(TypeStop), 1);
    window.reset(); // joins the thread: it heard the stop datagram
}

TEST_F(ConversationTest, LostStopDatagramDoesNotKeepTheThreadAlive)
{
    ConversationConfig config;
    config.stopTimeout = std::chrono::seconds(60);
    FakeWindow& w = OpenWindow(std::move(config));
    window->Discover();
    ui.Advance(5000);
    tool->InjectFailure(FakeOp::Send, ENETUNREACH);
    w.PressEscape();
    EXPECT_EQ(ui.MessageTexts().back(), "skSend.SendTo: 101\n");
    const auto start = std::chrono::steady_clock::now();
    window.reset(); // wakes the thread over loopback and joins it
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

} // namespace
} // namespace pemblor::test
