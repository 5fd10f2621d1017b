#pragma once
#include "engine/UiDispatcher.h"

#include <mutex>

namespace pemblor {

// First-in first-out queue of posted calls for dispatcher implementations.
// Thread-safe; allocates nothing.
class PostedCallQueue final {
public:
    // False when the call was queued already.
    bool Push(PostedCall& call);
    // Unlinks the call if it is queued.
    void Remove(PostedCall& call);
    // Takes the oldest call off the queue; null when empty. The call is no
    // longer queued when it runs, so it can post itself again.
    PostedCall* Pop();
    bool Empty() const;

private:
    mutable std::mutex m_mutex;
    PostedCall* m_head = nullptr;
    PostedCall* m_tail = nullptr;
};

} // namespace pemblor
