#include "common/OutcomeText.h"

#include "common/EngineTexts.h"
#include "common/FillText.h"
#include "common/FormatError.h"
#include "common/InterfaceTexts.h"
#include "engine/NetworkInterface.h"

namespace pemblor {
namespace {

constexpr const char* MsgAuthentication = PEMBLOR_TR_NOOP("Pemblor", "Authentication Error!");
constexpr const char* MsgTimeOut = PEMBLOR_TR_NOOP("Pemblor", "Time Out!");
constexpr const char* MsgUnknownResult =
    PEMBLOR_TR_NOOP("Pemblor", "The device answered with an unknown result (%d).");
constexpr const char* MsgResultNotKnown = PEMBLOR_TR_NOOP("Pemblor", "The device's result is not known.");
constexpr const char* MsgNotAnswered = PEMBLOR_TR_NOOP("Pemblor", "The device did not answer.");
constexpr const char* MsgQueryNotSent = PEMBLOR_TR_NOOP("Pemblor", "The detail query could not be sent: %1");
constexpr const char* MsgChangeNotSent = PEMBLOR_TR_NOOP("Pemblor", "The change could not be sent: %1");
constexpr const char* MsgRebootNotSent = PEMBLOR_TR_NOOP("Pemblor", "The reboot could not be sent: %1");
constexpr const char* MsgStoppedChanging =
    PEMBLOR_TR_NOOP("Pemblor", "Stopped before the device answered the change.");
constexpr const char* MsgStoppedVerifying =
    PEMBLOR_TR_NOOP("Pemblor", "Stopped before the device was seen at its new address.");
constexpr const char* MsgPlanConflict =
    PEMBLOR_TR_NOOP("Pemblor", "The plan puts %1 on %2, where %3 answers now; nothing was changed.");

// After a reboot.
constexpr const char* MsgSilentMoved = PEMBLOR_TR_NOOP(
    "Pemblor", "The device did not answer after restarting. It may be at its new address %1 or still restarting.");
constexpr const char* MsgSilent =
    PEMBLOR_TR_NOOP("Pemblor", "The device did not answer after restarting. It may still be restarting.");
constexpr const char* MsgSilentDhcp =
    PEMBLOR_TR_NOOP("Pemblor", "The device did not answer after restarting. With DHCP on, it may have taken another "
                               "address, or it may still be restarting.");
constexpr const char* MsgNotRestartedDhcp =
    PEMBLOR_TR_NOOP("Pemblor", "With DHCP on, the device kept answering from %1 and was not seen restarting.");
constexpr const char* MsgAtOldAddress =
    PEMBLOR_TR_NOOP("Pemblor", "After restarting, the device answered only from its old address %1, not from its "
                               "new address %2: the change may not have taken effect.");
constexpr const char* MsgElsewhereMoved = PEMBLOR_TR_NOOP(
    "Pemblor", "After restarting, the device answered from %1, not from its new address %2.");
constexpr const char* MsgElsewhere =
    PEMBLOR_TR_NOOP("Pemblor", "After restarting, the device answered from %1, not from its address %2.");
constexpr const char* MsgOtherNetmask =
    PEMBLOR_TR_NOOP("Pemblor", "After restarting, the device answered from %1 with netmask %2, not with netmask %3: "
                               "it may not have taken the netmask.");
constexpr const char* MsgNoNetmask = PEMBLOR_TR_NOOP("Pemblor", "none");

// The password held back.
constexpr const char* MsgRefusedOutside =
    PEMBLOR_TR_NOOP("Pemblor", "%1 is outside this computer's networks: its password would be broadcast to every host "
                               "on %2.");
constexpr const char* MsgRefusedShared = PEMBLOR_TR_NOOP(
    "Pemblor", "%1 shares its address with another device: its password would be broadcast to every host on %2.");
constexpr const char* MsgRefusedNoAnswer = PEMBLOR_TR_NOOP(
    "Pemblor", "%1 does not answer by unicast: its password would be broadcast to every host on %2.");

std::string NotBackText(const DeviceOutcome& outcome, TextLookup lookup)
{
    const OutcomeCause& cause = outcome.cause;
    const std::string& expected = cause.expectedAddress;
    if (!cause.heardAfterRestart) {
        if (expected.empty())
            return lookup(MsgSilentDhcp);
        if (!SameAddress(expected, cause.oldAddress))
            return FillText(lookup(MsgSilentMoved), {expected});
        return lookup(MsgSilent);
    }
    const std::string from = outcome.ip.value_or(std::string());
    if (expected.empty())
        return FillText(lookup(MsgNotRestartedDhcp), {from});
    if (!SameAddress(from, expected)) {
        const bool moved = !SameAddress(expected, cause.oldAddress);
        if (moved && SameAddress(from, cause.oldAddress))
            return FillText(lookup(MsgAtOldAddress), {from, expected});
        return FillText(lookup(moved ? MsgElsewhereMoved : MsgElsewhere), {from, expected});
    }
    const std::string heard = cause.heardNetmask ? *cause.heardNetmask : lookup(MsgNoNetmask);
    return FillText(lookup(MsgOtherNetmask), {from, heard, cause.expectedNetmask});
}

} // namespace

std::string SendFailuresText(const std::vector<SendFailure>& failures, TextLookup lookup)
{
    std::string text;
    for (const SendFailure& failure : failures) {
        std::string one = SendFailureText(lookup(SendFailureFormat(failure.request)), failure.error,
                                          failure.interfaceName);
        while (!one.empty() && one.back() == '\n')
            one.pop_back();
        if (!text.empty())
            text += "; ";
        text += one;
    }
    return text;
}

std::string BroadcastRefusedText(std::string_view device, const CredentialRoute& route, TextLookup lookup)
{
    const char* format = route.reason == BroadcastReason::SharedAddress     ? MsgRefusedShared
                         : route.reason == BroadcastReason::NoUnicastAnswer ? MsgRefusedNoAnswer
                                                                            : MsgRefusedOutside;
    const std::string where = route.interfaceName.empty() ? lookup(MsgOneSegment) : route.interfaceName;
    return FillText(lookup(format), {device, where});
}

std::string PlanConflictText(std::string_view mac, std::string_view address, std::string_view holder,
                             TextLookup lookup)
{
    return FillText(lookup(MsgPlanConflict), {mac, address, holder});
}

std::string OutcomeText(const DeviceOutcome& outcome, TextLookup lookup)
{
    const OutcomeCause& cause = outcome.cause;
    const std::string failures = SendFailuresText(cause.sendFailures, lookup);
    switch (outcome.result) {
    case JobOutcome::AuthenticationError:
        return lookup(MsgAuthentication);
    case JobOutcome::Timeout:
        return lookup(MsgTimeOut);
    case JobOutcome::UnknownResult:
        if (cause.stopped)
            return lookup(MsgStoppedChanging);
        if (!failures.empty())
            return FillText(lookup(MsgChangeNotSent), {failures});
        if (cause.result != 0)
            return FormatError(lookup(MsgUnknownResult), cause.result);
        return lookup(MsgResultNotKnown);
    case JobOutcome::NotVerified:
        return cause.stopped ? lookup(MsgStoppedVerifying) : NotBackText(outcome, lookup);
    case JobOutcome::NotFound:
        return failures.empty() ? lookup(MsgNotAnswered) : FillText(lookup(MsgQueryNotSent), {failures});
    case JobOutcome::RebootNotSent:
        return FillText(lookup(MsgRebootNotSent), {failures});
    case JobOutcome::SendFailed:
        return failures;
    case JobOutcome::NeedsBroadcast:
        return BroadcastRefusedText(outcome.mac, outcome.route.value_or(CredentialRoute{}), lookup);
    case JobOutcome::Invalid:
        return cause.refused.empty() ? std::string() : lookup(cause.refused.c_str());
    case JobOutcome::Stored:
    case JobOutcome::Unchanged:
    case JobOutcome::Verified:
    case JobOutcome::RebootSent:
    case JobOutcome::Stopped:
    case JobOutcome::WouldChange:
        break;
    }
    return {};
}

DeviceOutcome OutcomeOf(std::string_view mac, const JobReport& report, std::vector<SendFailure> sendFailures)
{
    DeviceOutcome outcome;
    outcome.mac = std::string(mac);
    outcome.result = report.outcome;
    if (!report.address.empty())
        outcome.ip = report.address;
    outcome.before = report.before;
    outcome.after = report.after;
    outcome.route = report.route;
    OutcomeCause& cause = outcome.cause;
    cause.result = report.result;
    cause.expectedAddress = report.expectedAddress;
    cause.expectedNetmask = report.expectedNetmask;
    cause.oldAddress = report.oldAddress;
    cause.heardAfterRestart = report.heardAfterRestart;
    cause.heardNetmask = report.heardNetmask;
    cause.sendFailures = std::move(sendFailures);
    outcome.message = OutcomeText(outcome);
    return outcome;
}

} // namespace pemblor
