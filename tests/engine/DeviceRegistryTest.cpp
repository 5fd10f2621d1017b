// The device registry: one record per MAC, cells by position as the table
// shows them, values by name, the address and interface of the last reply,
// first and last heard, arrival numbers, and concurrent recording.
#include "engine/DeviceRegistry.h"
#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/ReplyDatagram.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace pemblor {
namespace {

MacBytes Mac(int index)
{
    return {0x02, 0, 0, 0, static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index)};
}

DeviceRegistry::Recorded Record(DeviceRegistry& registry, int index, const std::string& sender,
                                const std::vector<std::string>& entries, DeviceRecord::Millis now = 0,
                                const std::string& interfaceName = "eth0", int countField = -1)
{
    std::vector<std::string_view> texts(entries.begin(), entries.end());
    Datagram datagram = EncodeDatagram(TypeQueryReply, Mac(index), "", "", texts);
    if (countField >= 0) {
        datagram.bytes[PacketHeader::OffsetEntryCount] = static_cast<std::uint8_t>(countField >> 8);
        datagram.bytes[PacketHeader::OffsetEntryCount + 1] = static_cast<std::uint8_t>(countField);
    }
    const ReplyDatagram reply(datagram.data(), datagram.size, sender);
    NetworkInterface heardOn;
    heardOn.name = interfaceName;
    heardOn.index = interfaceName.empty() ? 0 : 3;
    return registry.Record(reply, heardOn, now);
}

std::vector<std::string> Cells(const DeviceRecord& record)
{
    std::vector<std::string> cells;
    for (int column = DeviceRecord::FirstCell; column < DeviceRecord::CellCount; ++column) {
        const auto cell = record.Cell(column);
        cells.push_back(cell ? std::string(*cell) : "<none>");
    }
    return cells;
}

TEST(DeviceRegistryTest, CellsFollowTheEntriesByPosition)
{
    struct Case {
        const char* what;
        std::vector<std::string> entries;
        int countField;
        std::vector<std::string> cells;
    };
    const Case cases[] = {
        {"four entries", {"SSID=a", "IP_ADDR=1.1.1.1", "CURRENT_SUBNET_MASK=m", "CHANNEL=6"}, -1,
         {"a", "198.18.0.10", "m", "6", "02:00:00:00:00:01"}},
        {"out of order", {"CHANNEL=11", "SSID=b", "CURRENT_SUBNET_MASK=m", "IP_ADDR=x"}, -1,
         {"11", "b", "m", "198.18.0.10", "02:00:00:00:00:01"}},
        {"three entries", {"SSID=a", "IP_ADDR=x", "CURRENT_SUBNET_MASK=m"}, -1,
         {"a", "198.18.0.10", "m", "02:00:00:00:00:01", "<none>"}},
        {"five entries", {"SSID=a", "B=b", "C=c", "D=d", "E=e"}, -1, {"a", "b", "c", "d", "e"}},
        {"no entries", {}, -1, {"02:00:00:00:00:01", "<none>", "<none>", "<none>", "<none>"}},
        {"count beyond the datagram", {"SSID=a"}, 4, {"a", "<none>", "<none>", "<none>", "02:00:00:00:00:01"}},
    };
    for (const Case& c : cases) {
        DeviceRegistry registry;
        const auto recorded = Record(registry, 1, "198.18.0.10", c.entries, 0, "eth0", c.countField);
        const auto record = registry.Get(recorded.index);
        ASSERT_TRUE(record) << c.what;
        EXPECT_EQ(Cells(*record), c.cells) << c.what;
    }
}

TEST(DeviceRegistryTest, ValuesByNameTakeTheFirstEntryOfThatName)
{
    DeviceRegistry registry;
    Record(registry, 1, "198.18.0.10", {"SSID=first", "CHANNEL=6", "SSID=second", "EMPTY="});
    const auto record = registry.Get(0);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->Value("SSID"), "first");
    EXPECT_EQ(record->Value("CHANNEL"), "6");
    EXPECT_EQ(record->Value("EMPTY"), "");
    EXPECT_EQ(record->Value("IP_ADDR"), std::nullopt);
}

TEST(DeviceRegistryTest, AKnownDeviceIsUpdatedInPlaceAndKeepsItsNumber)
{
    DeviceRegistry registry;
    EXPECT_TRUE(Record(registry, 1, "198.18.0.10", {"SSID=a", "IP_ADDR=x"}, 100).added);
    EXPECT_TRUE(Record(registry, 2, "198.18.0.11", {"SSID=b", "IP_ADDR=x"}, 200).added);
    // The next round: the device has moved.
    registry.BeginRound();
    const auto again = Record(registry, 1, "198.18.0.99", {"SSID=renamed", "IP_ADDR=x", "MORE=1"}, 5100, "eth1");
    EXPECT_FALSE(again.added);
    EXPECT_EQ(again.index, 0);
    ASSERT_EQ(registry.Size(), 2);
    const auto record = registry.Get(0);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->number, 1);
    EXPECT_EQ(record->firstHeard, 100);
    EXPECT_EQ(record->lastHeard, 5100);
    EXPECT_EQ(record->address, "198.18.0.99");
    EXPECT_EQ(record->interfaceName, "eth1");
    EXPECT_EQ(Cells(*record), (std::vector<std::string>{"renamed", "198.18.0.99", "1", "02:00:00:00:00:01", "<none>"}));
    // Fewer entries later: the record holds only what the reply holds.
    Record(registry, 1, "198.18.0.99", {"SSID=short"}, 6000);
    EXPECT_EQ(registry.Get(0)->entries.size(), 1u);
    EXPECT_EQ(registry.Get(1)->number, 2);
}

TEST(DeviceRegistryTest, FoundByMacAndRenumberedAfterClear)
{
    DeviceRegistry registry;
    Record(registry, 7, "198.18.0.17", {"SSID=g"});
    Record(registry, 3, "198.18.0.13", {"SSID=c"});
    EXPECT_EQ(registry.Find(Mac(3)), 1);
    EXPECT_EQ(registry.Find("02:00:00:00:00:07"), 0);
    EXPECT_EQ(registry.Find("02:00:00:00:00:08"), std::nullopt);
    EXPECT_EQ(registry.Find("not a mac"), std::nullopt);
    EXPECT_EQ(registry.Find("00:00:00:00:00:00"), std::nullopt);
    EXPECT_FALSE(registry.Get(2));
    EXPECT_FALSE(registry.Visit(-1, [](const DeviceRecord&) {}));

    registry.Clear();
    EXPECT_EQ(registry.Size(), 0);
    EXPECT_EQ(registry.Find(Mac(7)), std::nullopt);
    EXPECT_TRUE(Record(registry, 3, "198.18.0.13", {"SSID=c"}).added);
    EXPECT_EQ(registry.Get(0)->number, 1);
}

TEST(DeviceRegistryTest, AnAddressLearntLaterShowsInCellTwoUntilTheNextReply)
{
    DeviceRegistry registry;
    Record(registry, 1, "198.18.0.10", {"SSID=a", "X=not an address"});
    registry.SetAddress(0, "198.18.5.5");
    EXPECT_EQ(registry.Get(0)->Cell(2), "198.18.5.5");
    EXPECT_EQ(registry.Get(0)->address, "198.18.5.5");
    Record(registry, 1, "198.18.0.10", {"SSID=a", "X=not an address"});
    EXPECT_EQ(registry.Get(0)->Cell(2), "not an address");
    registry.SetAddress(9, "ignored");
}

// A netmask reported outside a discovery (the Setup IP re-read) shows in
// cell 3, whatever entry the reply put there, until the next reply; the
// other cells stay.
TEST(DeviceRegistryTest, AReportedNetmaskShowsInCellThreeUntilTheNextReply)
{
    DeviceRegistry registry;
    Record(registry, 1, "198.18.0.10", {"SSID=a", "IP_ADDR=198.18.0.10", "CURRENT_SUBNET_MASK=255.255.0.0", "CHANNEL=6"});
    registry.SetAddress(0, "198.18.1.77");
    registry.SetNetmask(0, "255.255.254.0");
    const DeviceRecord changed = *registry.Get(0);
    EXPECT_EQ(changed.Cell(1), "a");
    EXPECT_EQ(changed.Cell(2), "198.18.1.77");
    EXPECT_EQ(changed.Cell(3), "255.255.254.0");
    EXPECT_EQ(changed.Cell(4), "6");
    EXPECT_EQ(changed.Value("CURRENT_SUBNET_MASK"), "255.255.0.0") << "the reply's entry stays as it came";
    Record(registry, 1, "198.18.0.10", {"SSID=a", "IP_ADDR=198.18.0.10", "CURRENT_SUBNET_MASK=255.255.0.0", "CHANNEL=6"});
    EXPECT_EQ(registry.Get(0)->Cell(3), "255.255.0.0");
    registry.SetNetmask(9, "ignored");
}

// A second address answering for a MAC within one round is kept beside the
// first, not put in its place; the next round starts afresh.
TEST(DeviceRegistryTest, ASecondAddressInOneRoundIsKeptBesideTheFirst)
{
    DeviceRegistry registry;
    Record(registry, 1, "198.18.0.10", {"SSID=real"}, 100);
    Record(registry, 1, "198.18.0.66", {"SSID=impostor"}, 110);
    Record(registry, 1, "198.18.0.66", {"SSID=impostor"}, 120);
    Record(registry, 1, "198.18.0.10", {"SSID=real again"}, 130);
    for (int other = 0; other < 10; ++other)
        Record(registry, 1, "198.18.1." + std::to_string(other), {"SSID=flood"}, 140);
    DeviceRecord record = *registry.Get(0);
    EXPECT_EQ(record.address, "198.18.0.10");
    EXPECT_EQ(record.Cell(1), "real again");
    EXPECT_EQ(record.alsoAt,
              (std::vector<std::string>{"198.18.0.66", "198.18.1.0", "198.18.1.1", "198.18.1.2"}));

    registry.BeginRound();
    Record(registry, 1, "198.18.0.77", {"SSID=moved"}, 200);
    record = *registry.Get(0);
    EXPECT_EQ(record.address, "198.18.0.77");
    EXPECT_TRUE(record.alsoAt.empty());
}

// The all-zero MAC and group MACs name no device; past MaxDevices new MACs
// are counted once each and dropped, while known devices still update.
TEST(DeviceRegistryTest, NoDeviceMacsAreDroppedAndTheListIsBounded)
{
    DeviceRegistry registry;
    for (const MacBytes& mac : {MacBytes{}, MacBytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                                MacBytes{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}, MacBytes{0x33, 0x33, 0, 0, 0, 1}}) {
        const Datagram datagram = EncodeDatagram(TypeQueryReply, mac, "", "", {"SSID=x"});
        const ReplyDatagram reply(datagram.data(), datagram.size, "198.18.0.9");
        EXPECT_EQ(registry.Record(reply, NetworkInterface{}, 0).index, -1);
    }
    EXPECT_EQ(registry.Size(), 0);

    for (int i = 0; i < DeviceRegistry::MaxDevices + 100; ++i)
        Record(registry, i, "198.18.0.10", {"SSID=a"});
    for (int i = DeviceRegistry::MaxDevices; i < DeviceRegistry::MaxDevices + 50; ++i)
        EXPECT_EQ(Record(registry, i, "198.18.0.10", {"SSID=a"}).index, -1);
    EXPECT_EQ(registry.Size(), DeviceRegistry::MaxDevices);
    EXPECT_EQ(registry.Unlisted(), 100);
    EXPECT_EQ(Record(registry, 5, "198.18.0.10", {"SSID=still heard"}).index, 5);
    EXPECT_EQ(registry.Get(5)->Cell(1), "still heard");
    registry.Clear();
    EXPECT_EQ(registry.Unlisted(), 0);
}

TEST(DeviceRegistryTest, ConcurrentRepliesAreEachRecordedOnce)
{
    DeviceRegistry registry;
    constexpr int kDevices = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&registry] {
            for (int i = 0; i < kDevices; ++i)
                Record(registry, i, "198.18.0.10", {"SSID=a"});
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_EQ(registry.Size(), kDevices);
    std::vector<bool> numbers(kDevices + 1);
    for (int i = 0; i < kDevices; ++i) {
        const int number = registry.Get(i)->number;
        ASSERT_GE(number, 1);
        ASSERT_LE(number, kDevices);
        EXPECT_FALSE(numbers[number]) << number;
        numbers[number] = true;
    }
}

} // namespace
} // namespace pemblor
