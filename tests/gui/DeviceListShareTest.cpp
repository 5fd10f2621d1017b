// Copy (Ctrl+C) and "Export list...": the rows shown or selected, as
// tab-separated text on the clipboard or CSV in a file written whole.
#include "tests/gui/DeviceListRig.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace pemblor {
namespace {

const std::string Header = "No\tSSID\tIP Address\tSubnet Mask\tChannel\tMAC Address\tInterface\n";
const std::string Row1 = "1\tlab, north\t198.18.0.10\t255.255.255.0\t6\t02:00:00:00:00:01\teth0\n";
const std::string Row2 = "2\tsay \"hi\" now\t198.18.0.11\t255.255.255.0\t6\t02:00:00:00:00:02\teth0\n";
const std::string Row3 = "3\ttab?here\t198.18.0.12\t255.255.255.0\t6\t02:00:00:00:00:03\teth0\n";
const std::string CsvHeader = "No,SSID,IP Address,Subnet Mask,Channel,MAC Address,Interface\n";

class ShareTest : public testing::Test {
protected:
    void SetUp() override
    {
        // The SSIDs need quoting in CSV and cannot break a TSV line.
        const char* ssids[] = {"lab, north", "say \"hi\" now", "tab\there"};
        rig.AddInOrder(3, [&ssids](int i, apsim::ApSettings& settings) { settings.ssid = ssids[i]; });
        rig.OpenAndDiscover();
        ASSERT_EQ(rig.Cells().size(), 3u);
    }
    void TearDown() override
    {
        for (const std::string& file : m_files)
            std::remove(file.c_str());
    }

    std::string TempPath()
    {
        char path[] = "/tmp/pemblor-export-XXXXXX";
        close(mkstemp(path));
        m_files.push_back(path);
        return path;
    }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string Copy()
    {
        rig.List().setFocus();
        QTest::keyClick(&rig.List(), Qt::Key_C, Qt::ControlModifier);
        return QGuiApplication::clipboard()->text().toStdString();
    }
    // "Export list..." from the row menu; the file chooser is answered with
    // `path`, or cancelled.
    void Export(const std::optional<std::string>& path)
    {
        rig.RightClickRow(0);
        rig.Choose(QStringLiteral("Export list..."));
        auto* chooser = rig.window->findChild<QFileDialog*>(QStringLiteral("exportChooser"));
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->windowTitle(), QStringLiteral("Export list"));
        EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(chooser->isModal());
        if (path) {
            emit chooser->fileSelected(QString::fromStdString(*path));
            chooser->close();
        } else {
            chooser->reject();
        }
        rig.Settle();
    }

    DeviceListRig rig;
    std::vector<std::string> m_files;
};

TEST_F(ShareTest, CopyTakesTheSelectedRowsOrEveryRowAsTabSeparatedText)
{
    EXPECT_EQ(Copy(), Header + Row1 + Row2 + Row3);

    rig.ClickRow(1);
    EXPECT_EQ(Copy(), Header + Row2);

    // Every selected row, in the order shown.
    rig.ClickRow(0);
    rig.ClickRow(2, Qt::ControlModifier);
    EXPECT_EQ(Copy(), Header + Row1 + Row3);

    // Deselected: the current row stays, but nothing is selected.
    rig.ClickRow(2, Qt::ControlModifier);
    rig.ClickRow(0, Qt::ControlModifier);
    ASSERT_TRUE(rig.Selected().empty());
    EXPECT_GE(rig.List().SelectionMark(), 0);
    EXPECT_EQ(Copy(), Header + Row1 + Row2 + Row3);
}

TEST_F(ShareTest, ExportWritesEveryRowAsCsvToTheChosenFile)
{
    const std::string path = TempPath();
    rig.ClickRow(0);
    Export(path);
    EXPECT_EQ(Read(path), CsvHeader + "1,\"lab, north\",198.18.0.10,255.255.255.0,6,02:00:00:00:00:01,eth0\n"
                                      "2,\"say \"\"hi\"\" now\",198.18.0.11,255.255.255.0,6,02:00:00:00:00:02,eth0\n"
                                      "3,tab?here,198.18.0.12,255.255.255.0,6,02:00:00:00:00:03,eth0\n");
    EXPECT_TRUE(rig.Messages().isEmpty());
}

TEST_F(ShareTest, CancelWritesNothingAndAFileThatCannotBeWrittenIsReported)
{
    const std::string path = TempPath();
    std::ofstream(path) << "kept";
    Export(std::nullopt);
    EXPECT_EQ(Read(path), "kept");
    EXPECT_TRUE(rig.Messages().isEmpty());

    Export("/nonexistent-dir/devices.csv");
    EXPECT_EQ(rig.Messages(), QStringList{"Cannot save the list: No such file or directory"});
}

// A file that cannot be replaced (here: a directory stands at its name)
// stays as it was, and no partial file is left beside it.
TEST_F(ShareTest, AFailedExportLeavesTheEarlierFileWhole)
{
    char dir[] = "/tmp/pemblor-export-dir-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string target = std::string(dir) + "/devices.csv";
    ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
    Export(target);
    ASSERT_EQ(rig.Messages().size(), 1);
    EXPECT_TRUE(rig.Messages()[0].startsWith(QStringLiteral("Cannot save the list: ")));
    rmdir(target.c_str());
    EXPECT_EQ(rmdir(dir), 0) << "nothing left beside it";
}

// Copy and Export act on the rows the filter shows.
TEST_F(ShareTest, CopyAndExportTakeTheRowsTheFilterShows)
{
    QTest::keyClicks(rig.Find<QLineEdit>("filter"), "LAB, N");
    rig.Settle();
    EXPECT_EQ(Copy(), Header + Row1);
    const std::string path = TempPath();
    Export(path);
    EXPECT_EQ(Read(path), CsvHeader + "1,\"lab, north\",198.18.0.10,255.255.255.0,6,02:00:00:00:00:01,eth0\n");
}

} // namespace
} // namespace pemblor
