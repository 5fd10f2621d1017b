#pragma once

namespace pemblor {

// The state of the discovery: whether a received reply is a device (only
// while Discovering), and whether the tool is closing.
enum ConversationState : int {
    Idle = 0,
    Discovering = 1,
    Closing = 6,
};

} // namespace pemblor
