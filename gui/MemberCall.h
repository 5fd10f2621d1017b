#pragma once
#include "engine/UiDispatcher.h"

namespace pemblor {

// A member function of `Owner` run by the dispatcher: from its queue
// (MemberCall) or once a deadline has passed (MemberDeadline). The owner
// holds it and cancels it before it goes.
template <class Owner, void (Owner::*Method)()>
class MemberCall final : public PostedCall {
public:
    explicit MemberCall(Owner& owner) : m_owner(owner) {}
    void Run() override { (m_owner.*Method)(); }

private:
    Owner& m_owner;
};

template <class Owner, void (Owner::*Method)()>
class MemberDeadline final : public Deadline {
public:
    explicit MemberDeadline(Owner& owner) : m_owner(owner) {}
    void Expired() override { (m_owner.*Method)(); }

private:
    Owner& m_owner;
};

} // namespace pemblor
