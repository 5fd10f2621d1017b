#include "protocol/DatagramType.h"
#include "protocol/Requests.h"
#include "resources/ResourceIds.h"
#include "tests/support/SetupIpRig.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pemblor {
namespace {

using Millis = SetupIpRig::Millis;
using Profile = FakeAccessPoint::Profile;

constexpr const char* Question =
    "Change setting successfully!\n\nDo you want to reboot the target to take effect immediately?";
constexpr const char* RebootNote = "It may take about one minute to reboot the target.";
constexpr const char* StopQuestion = "The device is restarting. Stop waiting for it?";
constexpr Millis ApplyAt = 300;
constexpr Millis QuestionAt = ApplyAt + 1000;
constexpr Millis Reconfigure = 200;

// Apply of 192.168.1.30 at ApplyAt, Ok to the reboot question; the device
// stops answering detail queries before Apply (it never comes back).
void RebootScript(SetupIpRig& rig)
{
    rig.Report("192.168.1.20", "255.255.255.0", "192.168.1.1", "0");
    rig.ConfigureAt(Reconfigure, rig.device, [](Profile& p) { p.answerDetail = false; });
    rig.toolkit.AnswerNextMessage(IdOk); // the reboot question
    rig.toolkit.AnswerNextMessage(IdOk); // the note
    rig.Start();
    rig.toolkit.At(ApplyAt, [&rig] {
        FakeWindow& w = *rig.toolkit.LastWindow(IDD_SETUPIP);
        w.TypeText(IDC_EDIT_USERNAME, "admin");
        w.TypeText(IDC_EDIT_PASSWORD, "pw");
        w.TypeField(IDC_IP_ADDRESS, 3, 30);
        w.Click(IDC_BTN_APPLY);
    });
}

int DetailQueries(const SetupIpRig& rig)
{
    const auto query = SetupIpRig::Wire(BuildDetailQuery(SetupIpRig::MacText));
    int count = 0;
    for (const auto& bytes : rig.SentByTool())
        count += bytes == query ? 1 : 0;
    return count;
}

// Escape, the Close button and the close box, during the countdown, with
// Yes or No to the question. Yes ends the dialog at once and nothing more
// reaches the device; No leaves the wait and the re-read running, and the
// device that never answers is then told of.
TEST(SetupIpRestart, CloseDuringTheCountdownAsksFirst)
{
    const std::vector<std::pair<const char*, std::function<void(FakeWindow&)>>> inputs{
        {"Escape", [](FakeWindow& w) { w.PressEscape(); }},
        {"Close button", [](FakeWindow& w) { w.Click(IDCANCEL); }},
        {"close box", [](FakeWindow& w) { w.PressCloseBox(); }},
    };
    constexpr Millis CloseAt = QuestionAt + 7500;
    for (const auto& [what, input] : inputs) {
        for (const int answer : {IdOk, IdCancel}) {
            SCOPED_TRACE(std::string(what) + (answer == IdOk ? " / Yes" : " / No"));
            SetupIpRig rig;
            RebootScript(rig);
            rig.toolkit.AnswerNextMessage(answer);
            int queriesAtClose = -1;
            std::string lineAtClose;
            rig.toolkit.At(CloseAt, [&, input = input] {
                FakeWindow& w = *rig.toolkit.LastWindow(IDD_SETUPIP);
                lineAtClose = w.ItemText(IDC_TEXT_PROGRESS);
                input(w);
                queriesAtClose = DetailQueries(rig);
            });
            const std::string row = rig.RunDialog();

            EXPECT_FALSE(rig.toolkit.Stalled());
            EXPECT_EQ(lineAtClose, "Waiting for the device to restart\u2026 23 s");
            const auto& boxes = rig.toolkit.Messages();
            ASSERT_GE(boxes.size(), 3u);
            EXPECT_EQ(boxes[2].text, StopQuestion);
            EXPECT_EQ(boxes[2].buttons, MbButtons::YesNo);
            EXPECT_EQ(boxes[2].ownerTemplate, IDD_SETUPIP);
            EXPECT_EQ(boxes[2].time, CloseAt);
            EXPECT_EQ(rig.window->Result(), IDCANCEL);
            EXPECT_EQ(row, SetupIpRig::DeviceHost) << "the row keeps the address last learned";
            if (answer == IdOk) {
                EXPECT_EQ(boxes.size(), 3u);
                EXPECT_EQ(rig.toolkit.Now(), CloseAt) << "Yes closes at once";
                const std::size_t sent = rig.SentByTool().size();
                rig.toolkit.Advance(120000);
                EXPECT_EQ(rig.SentByTool().size(), sent) << "nothing more is sent";
                EXPECT_EQ(DetailQueries(rig), 1);
            } else {
                EXPECT_EQ(queriesAtClose, 1);
                ASSERT_EQ(boxes.size(), 4u);
                EXPECT_EQ(boxes[3].text, "The device did not answer after restarting. It may be at its new address "
                                         "192.168.1.30 or still restarting: press Discover to look for it.");
                EXPECT_EQ(boxes[3].ownerTemplate, IDD_SETUPIP);
                EXPECT_EQ(rig.toolkit.Now(), QuestionAt + 30000 + 53000) << "the wait and the re-read ran on";
                EXPECT_EQ(DetailQueries(rig), 1 + 9);
            }
        }
    }
}

// Before the reboot and after the re-read's end nothing asks: only the
// restart is worth a question.
TEST(SetupIpRestart, CloseBeforeApplyClosesWithoutAQuestion)
{
    SetupIpRig rig;
    rig.Start();
    rig.toolkit.At(500, [&rig] { rig.toolkit.LastWindow(IDD_SETUPIP)->PressEscape(); });
    rig.RunDialog();
    EXPECT_TRUE(rig.toolkit.Messages().empty());
    EXPECT_EQ(rig.toolkit.Now(), 500);
}

// A device that never answers after its reboot is told of before the dialog
// closes, unlike a success: with its new address, or without one when its
// DHCP client chooses it. One that answers only from its old address is
// told so too.
TEST(SetupIpRestart, ADeviceThatDoesNotComeBackIsToldOf)
{
    struct Row {
        const char* what;
        bool dhcp;
        bool answersAtOldAddress;
        std::string message;
    };
    const Row rows[] = {
        {"fixed address", false, false,
         "The device did not answer after restarting. It may be at its new address 192.168.1.30 or still "
         "restarting: press Discover to look for it."},
        {"DHCP ticked", true, false,
         "The device did not answer after restarting. It may still be restarting: press Discover to look for it."},
        {"only the old address", false, true,
         "After restarting, the device answered only from its old address 198.18.0.10, not from its new address "
         "192.168.1.30: the change may not have taken effect. Press Discover to look for it."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetupIpRig rig;
        RebootScript(rig);
        if (row.answersAtOldAddress)
            rig.ConfigureAt(QuestionAt + 1000, rig.device, [](Profile& p) { p.answerDetail = true; });
        // With its DHCP client on, the device chooses its address itself.
        if (row.dhcp)
            rig.Report("192.168.1.20", "255.255.255.0", "192.168.1.1", "1");
        const std::string address = rig.RunDialog();

        EXPECT_FALSE(rig.toolkit.Stalled());
        const auto texts = rig.toolkit.MessageTexts();
        ASSERT_EQ(texts.size(), 3u);
        EXPECT_EQ(texts[0], Question);
        EXPECT_EQ(texts[1], RebootNote);
        EXPECT_EQ(texts[2], row.message);
        EXPECT_EQ(rig.toolkit.Messages()[2].time, QuestionAt + 30000 + 53000) << "told before the dialog closes";
        EXPECT_TRUE(rig.window->Ended());
        EXPECT_EQ(address, SetupIpRig::DeviceHost);
    }
}

// A result that answers the reboot ends the wait at once and gives the
// form back; no re-read follows.
TEST(SetupIpRestart, ARefusedRebootEndsTheWait)
{
    const std::pair<int, std::string> rows[] = {
        {1, "Authentication Error!"},
        {7, "The device answered with an unknown result (7)."},
    };
    for (const auto& [result, message] : rows) {
        SCOPED_TRACE(result);
        SetupIpRig rig;
        RebootScript(rig);
        constexpr Millis RefusedAt = QuestionAt + 100;
        rig.toolkit.AfterExternal(RefusedAt, [&rig, result = result] {
            rig.device.Send(EncodeDatagram(TypeCommandReply, rig.device.GetProfile().mac, "", "",
                                           {std::string(1, static_cast<char>(result))}),
                            SetupIpRig::ToolHost);
        });
        FakeWindow* shown = nullptr;
        std::string line;
        bool applyEnabled = false;
        std::uint32_t address = 0;
        rig.toolkit.At(QuestionAt + 5000, [&] {
            shown = rig.toolkit.LastWindow(IDD_SETUPIP);
            line = shown->ItemText(IDC_TEXT_PROGRESS);
            applyEnabled = shown->ButtonAt(IDC_BTN_APPLY).IsWindowEnabled();
            shown->IpAddressAt(IDC_IP_ADDRESS).GetAddress(address);
            shown->PressEscape();
        });
        rig.RunDialog();

        EXPECT_FALSE(rig.toolkit.Stalled());
        const auto texts = rig.toolkit.MessageTexts();
        ASSERT_EQ(texts.size(), 3u) << "Escape afterwards asks nothing";
        EXPECT_EQ(texts[2], message);
        EXPECT_GE(rig.toolkit.Messages()[2].time, RefusedAt);
        EXPECT_LT(rig.toolkit.Messages()[2].time, RefusedAt + 1000);
        EXPECT_EQ(line, "");
        EXPECT_TRUE(applyEnabled) << "the form is given back";
        EXPECT_EQ(address, (192u << 24) | (168u << 16) | (1u << 8) | 30u) << "with the values applied";
        EXPECT_EQ(DetailQueries(rig), 1) << "no re-read";
    }
}

} // namespace
} // namespace pemblor
