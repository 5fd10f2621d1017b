#include "ctl/SettingsArguments.h"

namespace pemblor {

ValidationOutcome CheckSettings(const CtlOptions& options)
{
    return CheckSettingTexts(options.ip, options.netmask, options.gateway, options.dhcp);
}

} // namespace pemblor
