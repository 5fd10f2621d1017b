#pragma once

namespace pemblor {

// The one conversation the tool holds with the devices; decides what a
// received reply means.
enum ConversationState : int {
    Idle = 0,
    Discovering = 1,
    Closing = 6,
};

} // namespace pemblor
