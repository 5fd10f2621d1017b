#pragma once
#include "engine/JobOutcome.h"
#include "fleet/PlanRow.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pemblor {

// One device of an apply's result, as the way back reads it.
struct ResultRow {
    int line = 0; // where a result file holds it; 0: not from a file
    std::string mac;
    std::string result; // the result's name, as apply prints it
    // What it held before, as the plan row that puts it back; nothing when
    // it was never read.
    std::optional<PlanRow> before;
};

// The row of an outcome that apply, or the window's job, reported.
ResultRow ResultRowOf(const DeviceOutcome& outcome);

// Empty when every row is one the way back can read, else why the first is
// not: an unknown result, or a device that may have changed without the
// before address and netmask to put back.
std::string CheckResultRows(std::span<const ResultRow> rows);

// The plan that puts back every device that took a change or may have taken
// one, and each device left out with its reason.
struct PlanBack {
    enum class Why {
        TookNothing, // unchanged, would-change, invalid, not-found, or never read
        SharedBefore, // another device of the result had its before address too
        CannotPlan,   // its before values are not a row a plan can hold
    };
    struct LeftOut {
        std::size_t row; // index into the result's rows
        Why why;
        // SharedBefore: the other device's MAC; CannotPlan: why not.
        std::string detail;
    };
    std::vector<PlanRow> rows;
    std::vector<std::size_t> from; // per plan row, index into the result's rows
    std::vector<LeftOut> leftOut;

    std::size_t Count(Why why) const;
};

// Of rows that pass CheckResultRows. A device that had DHCP on gets it on
// again, with the static values it reported. Only the devices that certainly
// took nothing are left out, since apply reads each device first and leaves
// one that already holds its row alone; and those whose before address
// another device also had (a shared factory address), since a plan gives
// each address once.
PlanBack MakePlanBack(std::span<const ResultRow> rows);

} // namespace pemblor
