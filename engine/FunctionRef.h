#pragma once
#include <type_traits>
#include <utility>

namespace pemblor {

// Non-owning reference to a callable; never allocates. The callable must
// outlive every call through the reference.
template <typename Signature>
class FunctionRef;

template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
public:
    template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef>>>
    FunctionRef(F&& f) // NOLINT: implicit by design
        : m_object(const_cast<void*>(static_cast<const void*>(&f)))
        , m_call([](void* object, Args... args) -> R {
            return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
        })
    {
    }
    R operator()(Args... args) const { return m_call(m_object, std::forward<Args>(args)...); }

private:
    void* m_object;
    R (*m_call)(void*, Args...);
};

} // namespace pemblor
