#pragma once
#include "ctl/CtlOptions.h"
#include "ctl/DeviceRecords.h"

#include <ostream>

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
    void Header();

    std::ostream& m_out;
    OutputFormat m_format;
    bool m_withInterface;
    bool m_headerDone = false;
};

// Prints one detail reply.
void WriteDetail(std::ostream& out, OutputFormat format, const DeviceDetail& detail);

// The dialog's reading of a DHCP value: its leading integer is 1.
bool DhcpEnabled(const std::string& value);

} // namespace pemblor
