#pragma once
#include "ctl/CtlOptions.h"
#include "ctl/DeviceRecords.h"
#include "engine/DeviceJob.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

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

} // namespace pemblor
