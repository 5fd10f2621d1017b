#include "tests/support/DeviceListHarness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace pemblor {
namespace {

const std::string Header = "No\tSSID\tIP Address\tSubnet Mask\tChannel\tMAC Address\tInterface\n";

class ShareTest : public testing::Test {
protected:
    void SetUp() override
    {
        // The SSIDs need quoting in CSV and cannot break a TSV line.
        for (int i = 0; i < 3; ++i) {
            const std::string host = DeviceListHarness::ApHost(i);
            const std::string ssids[] = {"lab, north", "say \"hi\" now", "tab\there"};
            auto profile = FakeAccessPoint::Standard(host, DeviceListHarness::ApMac(i), ssids[i]);
            profile.discoveryDelay = 100 + 100 * i;
            h.AddAccessPoint(profile, host);
        }
        h.Open();
        h.Discover(6000);
        ASSERT_EQ(h.Rows().size(), 3u);
    }

    std::string TempPath()
    {
        char path[] = "/tmp/pemblor-export-XXXXXX";
        const int fd = mkstemp(path);
        close(fd);
        m_files.push_back(path);
        return path;
    }
    void TearDown() override
    {
        for (const std::string& file : m_files)
            std::remove(file.c_str());
    }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    DeviceListHarness h;
    std::vector<std::string> m_files;
};

TEST_F(ShareTest, CopyTakesTheSelectedRowOrEveryRowAsTabSeparatedText)
{
    const std::string row1 = "1\tlab, north\t198.18.0.10\t255.255.255.0\t6\t02:00:00:00:00:01\teth0\n";
    const std::string row2 = "2\tsay \"hi\" now\t198.18.0.11\t255.255.255.0\t6\t02:00:00:00:00:02\teth0\n";
    const std::string row3 = "3\ttab?here\t198.18.0.12\t255.255.255.0\t6\t02:00:00:00:00:03\teth0\n";

    h.window->PressCopy(IDC_LIST_DEVICES);
    EXPECT_EQ(h.ui.Clipboard(), Header + row1 + row2 + row3);

    h.window->ClickList(IDC_LIST_DEVICES, 1);
    h.window->PressCopy(IDC_LIST_DEVICES);
    EXPECT_EQ(h.ui.Clipboard(), Header + row2);

    // Deselected: the mark stays on row 2, but nothing is selected.
    h.List().Deselect();
    h.window->PressCopy(IDC_LIST_DEVICES);
    EXPECT_EQ(h.ui.Clipboard(), Header + row1 + row2 + row3);
}

TEST_F(ShareTest, ExportWritesEveryRowAsCsvToTheChosenFile)
{
    const std::string path = TempPath();
    h.window->ClickList(IDC_LIST_DEVICES, 0);
    h.ui.AnswerNextPopup(ID_EXPORT_LIST);
    h.ui.AnswerNextSaveFile(path);
    h.window->RightClickList(IDC_LIST_DEVICES, 0);

    ASSERT_EQ(h.ui.SaveFileDialogs().size(), 1u);
    EXPECT_EQ(h.ui.SaveFileDialogs()[0].ownerTemplate, IDD_DEVICELIST);
    EXPECT_EQ(h.ui.SaveFileDialogs()[0].suggestedName, "devices.csv");
    EXPECT_EQ(Read(path), "No,SSID,IP Address,Subnet Mask,Channel,MAC Address,Interface\n"
                          "1,\"lab, north\",198.18.0.10,255.255.255.0,6,02:00:00:00:00:01,eth0\n"
                          "2,\"say \"\"hi\"\" now\",198.18.0.11,255.255.255.0,6,02:00:00:00:00:02,eth0\n"
                          "3,tab?here,198.18.0.12,255.255.255.0,6,02:00:00:00:00:03,eth0\n");
    EXPECT_TRUE(h.ui.Messages().empty());
}

TEST_F(ShareTest, CancelWritesNothingAndAFileThatCannotBeWrittenIsReported)
{
    const std::string path = TempPath();
    std::ofstream(path) << "kept";
    h.ui.AnswerNextPopup(ID_EXPORT_LIST);
    h.ui.AnswerNextSaveFile(std::nullopt);
    h.window->RightClickList(IDC_LIST_DEVICES, 0);
    EXPECT_EQ(Read(path), "kept");
    EXPECT_TRUE(h.ui.Messages().empty());

    h.ui.AnswerNextPopup(ID_EXPORT_LIST);
    h.ui.AnswerNextSaveFile("/nonexistent-dir/devices.csv");
    h.window->RightClickList(IDC_LIST_DEVICES, 0);
    EXPECT_EQ(h.ui.MessageTexts(), std::vector<std::string>{"Cannot save the list: No such file or directory"});
}

// A file that cannot be replaced (here: a directory stands at its name)
// stays as it was, and no partial file is left beside it.
TEST_F(ShareTest, AFailedExportLeavesTheEarlierFileWhole)
{
    char dir[] = "/tmp/pemblor-export-dir-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string target = std::string(dir) + "/devices.csv";
    ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
    h.ui.AnswerNextPopup(ID_EXPORT_LIST);
    h.ui.AnswerNextSaveFile(target);
    h.window->RightClickList(IDC_LIST_DEVICES, 0);
    ASSERT_EQ(h.ui.MessageTexts().size(), 1u);
    EXPECT_EQ(h.ui.MessageTexts()[0].rfind("Cannot save the list: ", 0), 0u);
    EXPECT_NE(access((target + ".part").c_str(), F_OK), 0);
    rmdir(target.c_str());
    rmdir(dir);
}

// Copy and Export act on the rows the filter shows; Ctrl+C copies every
// selected row, in the order shown.
TEST_F(ShareTest, CopyAndExportTakeTheRowsShownAndEverySelectedRow)
{
    const std::string row1 = "1\tlab, north\t198.18.0.10\t255.255.255.0\t6\t02:00:00:00:00:01\teth0\n";
    const std::string row3 = "3\ttab?here\t198.18.0.12\t255.255.255.0\t6\t02:00:00:00:00:03\teth0\n";
    h.window->ClickList(IDC_LIST_DEVICES, 0);
    h.List().AddToSelection(2);
    h.window->PressCopy(IDC_LIST_DEVICES);
    EXPECT_EQ(h.ui.Clipboard(), Header + row1 + row3);

    h.List().Deselect();
    h.List().SetFilter("LAB, N");
    h.window->PressCopy(IDC_LIST_DEVICES);
    EXPECT_EQ(h.ui.Clipboard(), Header + row1);
    const std::string path = TempPath();
    h.ui.AnswerNextPopup(ID_EXPORT_LIST);
    h.ui.AnswerNextSaveFile(path);
    h.window->RightClickList(IDC_LIST_DEVICES, 0);
    EXPECT_EQ(Read(path), "No,SSID,IP Address,Subnet Mask,Channel,MAC Address,Interface\n"
                          "1,\"lab, north\",198.18.0.10,255.255.255.0,6,02:00:00:00:00:01,eth0\n");
}

} // namespace
} // namespace pemblor
