#pragma once
#include "ctl/CtlOptions.h"
#include "ctl/DeviceRecords.h"
#include "engine/DeviceJob.h"
#include "engine/JobOutcome.h"
#include "format/SafeText.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

// pemblorctl's output: the devices found, a device's detail and the
// outcomes of jobs, each in the three formats, and the texts they print.

// The texts the writers print: device texts are bytes from the network, so
// none reaches a terminal (SafeText: control characters shown as '?', invalid
// UTF-8 replaced) or a JSON line unguarded.

// The value, or `absent` when there is none.
std::string_view Text(const std::optional<std::string>& value, std::string_view absent = {});

// The value as a JSON string, or null when there is none.
nlohmann::ordered_json JsonValue(const std::optional<std::string>& value);

// One JSON line. Invalid UTF-8 sequences become U+FFFD instead of failing
// the line; control characters, C1 ones included, are escaped.
std::string JsonLine(const nlohmann::ordered_json& object);

// Prints devices as they are found, in one of the three formats:
// - table: a header line, then one aligned line per device (control
//   characters in device texts shown as '?', so a device cannot drive the
//   terminal);
// - csv: a header line, then one record per device;
// - json: one object per line, no header.
// The interface column appears only when `withInterface` is set.
class DeviceWriter final {
public:
    DeviceWriter(std::ostream& out, OutputFormat format, bool withInterface = false);

    void Device(const FoundDevice& device);

private:
    // The interface's cell only where that column is shown.
    void TableLine(std::string_view mac, std::string_view ip, std::string_view netmask, std::string_view channel,
                   std::string_view interfaceName, std::string_view ssid);
    void CsvLine(std::vector<std::string_view> fields);

    std::ostream& m_out;
    OutputFormat m_format;
    bool m_withInterface;
    bool m_headerDone = false;
};

// "MAC also answered from ADDRESS[, ADDRESS...]".
std::string AlsoAnsweredText(const FoundDevice& device);
// The line for MACs that answered after the list was full.
std::string UnlistedText(int unlisted);

// Prints what a device's detail reply told: `mac`, the address `ip` it
// answered from, and its settings.
void WriteDetail(std::ostream& out, OutputFormat format, std::string_view mac, std::string_view ip,
                 const DeviceSettings& detail);

// Prints outcomes, in one of the three formats:
// - table: a header line, then MAC, result, the address it answers from and
//   the message;
// - csv: a header line, then one record per outcome with the before and
//   after values;
// - json: the outcome object, one a line, keys in the order mac, result, ip,
//   before, after, message (only when there is one); before/after hold ip,
//   netmask, gateway and dhcp (boolean).
class OutcomeWriter final {
public:
    OutcomeWriter(std::ostream& out, OutputFormat format) : m_out(out), m_format(format) {}

    void Outcome(const DeviceOutcome& outcome);

private:
    std::ostream& m_out;
    OutputFormat m_format;
    bool m_headerDone = false;
};

} // namespace pemblor
