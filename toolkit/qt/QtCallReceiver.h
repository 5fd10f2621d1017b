#pragma once
#include <QObject>

#include <cstdint>
#include <functional>

namespace pemblor {

// Lives on the user-interface thread and serves the calls other threads post
// to it: a call event carries only the number of a pending call, which the
// serving function looks up, so an event that outlives its call is harmless.
class QtCallReceiver final : public QObject {
    Q_OBJECT
public:
    explicit QtCallReceiver(std::function<void(std::uint64_t)> serve) : m_serve(std::move(serve)) {}

    static void Post(QObject* receiver, std::uint64_t call);

protected:
    void customEvent(QEvent* event) override;

private:
    std::function<void(std::uint64_t)> m_serve;
};

} // namespace pemblor
