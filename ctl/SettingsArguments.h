#pragma once
#include "ctl/CtlOptions.h"
#include "common/ValidateSettings.h"
#include "fleet/SettingsCheck.h"

#include <optional>
#include <string_view>

namespace pemblor {

// Checks the requested change with the dialog's validation, so that the
// failures carry the dialog's messages in its order. An address the control
// could not hold fails with that control's "Invalid ..." message.
ValidationOutcome CheckSettings(const CtlOptions& options);

} // namespace pemblor
