#pragma once
#include <QObject>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace e2e {

// A step of a scenario that did not go as the user expected.
struct StepFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws StepFailed with `what` unless `ok`.
void Expect(bool ok, const std::string& what);

// Lets a scenario running on a thread of its own look at and act on the
// program's widgets, which live on the user-interface thread.
//
// A look (Run, Query, the conditions of WaitFor) is carried out by the
// user-interface thread while the scenario waits; whichever loop runs there
// at that moment serves it: the main window's, a dialog's, a message box's,
// a menu's or the program's own waits. An input (Post) is queued and never
// waited for, because it may open a modal loop that only a later input ends.
// Looks and inputs are carried out in the order they were made.
class UiDriver final {
public:
    using Clock = std::chrono::steady_clock;

    // `context` lives on the user-interface thread.
    explicit UiDriver(QObject* context);
    UiDriver(const UiDriver&) = delete;
    UiDriver& operator=(const UiDriver&) = delete;

    // Ends the process (status 1) when the user-interface thread has not
    // served the call within the deadline: it is stuck, and the scenario
    // cannot go on.
    void Run(const std::function<void()>& call);

    template <typename F>
    auto Query(F query)
    {
        using Result = decltype(query());
        if constexpr (std::is_void_v<Result>) {
            Run([&] { query(); });
        } else {
            std::optional<Result> result;
            Run([&] { result.emplace(query()); });
            return std::move(*result);
        }
    }

    void Post(std::function<void()> action);

    // Polls `condition` until it holds; StepFailed naming `what` when it
    // still does not after `timeout`. Returns the time it took.
    std::chrono::milliseconds WaitFor(std::string_view what, std::chrono::milliseconds timeout,
                                      const std::function<bool()>& condition);

private:
    QObject* m_pContext;
};

} // namespace e2e
