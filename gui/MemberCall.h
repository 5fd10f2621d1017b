#pragma once
#include "engine/UiDispatcher.h"

namespace pemblor {

// A member function of `Owner` run by the dispatcher: from its queue
// (MemberCall) or once a deadline has passed (MemberDeadline). The owner
// holds it and cancels it before it goes.
template <class Owner, void (Owner::*Method)()>
struct MemberCall final : PostedCall {
    explicit MemberCall(Owner& of) : owner(of) {}
    void Run() override { (owner.*Method)(); }
    Owner& owner;
};

template <class Owner, void (Owner::*Method)()>
struct MemberDeadline final : Deadline {
    explicit MemberDeadline(Owner& of) : owner(of) {}
    void Expired() override { (owner.*Method)(); }
    Owner& owner;
};

} // namespace pemblor
