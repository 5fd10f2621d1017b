#pragma once
#include <QEvent>

#include <cstdint>

namespace pemblor {

// The request to serve pending cross-thread call number `call`.
class QtCallEvent final : public QEvent {
public:
    static QEvent::Type EventType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    explicit QtCallEvent(std::uint64_t call) : QEvent(EventType()), m_nCall(call) {}
    std::uint64_t Call() const { return m_nCall; }

private:
    std::uint64_t m_nCall;
};

} // namespace pemblor
