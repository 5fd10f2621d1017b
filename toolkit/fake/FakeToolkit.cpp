#include "toolkit/fake/FakeToolkit.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "resources/DialogTemplate.h"
#include "toolkit/IDialogHandler.h"

#include <chrono>
#include <cstdio>
#include <limits>
#include <stdexcept>

namespace pemblor {

struct FakeToolkit::Call {
    FunctionRef<void()> function;
    bool done = false;
    bool ran = false;
};

FakeToolkit::FakeToolkit(std::string appName)
    : m_strAppName(std::move(appName))
    , m_uiThread(std::this_thread::get_id())
{
    m_calls.reserve(256);
}

FakeToolkit::~FakeToolkit()
{
    Shutdown();
}

FakeWindow& FakeToolkit::Create(IDialogHandler& handler, int templateId, FakeWindow* owner)
{
    const DialogTemplate* layout = FindDialogTemplate(templateId);
    if (!layout)
        throw std::invalid_argument("no layout with id " + std::to_string(templateId));
    m_windows.push_back(std::make_unique<FakeWindow>(*this, handler, *layout, owner));
    return *m_windows.back();
}

FakeWindow* FakeToolkit::AsFake(IWindow* window) const
{
    return dynamic_cast<FakeWindow*>(window);
}

FakeWindow& FakeToolkit::Open(IDialogHandler& handler, int templateId)
{
    FakeWindow& window = Create(handler, templateId, nullptr);
    m_initResults[&window] = handler.OnInitDialog(window);
    if (!window.Ended())
        handler.OnShowWindow();
    return window;
}

int FakeToolkit::RunModal(IDialogHandler& handler, int templateId, IWindow* owner)
{
    FakeWindow& window = Create(handler, templateId, AsFake(owner));
    m_initResults[&window] = handler.OnInitDialog(window);
    if (!window.Ended())
        handler.OnShowWindow();
    while (!window.Ended()) {
        if (!RunNext(std::numeric_limits<Millis>::max(), m_nInputBlocked == 0) && !window.Ended()) {
            // Nothing left that could ever end the dialog: the test forgot to
            // script it. End it so that the test fails instead of hanging.
            m_bStalled = true;
            EndDialog(window, 2);
        }
    }
    return window.Result();
}

void FakeToolkit::EndDialog(IWindow& window, int result)
{
    FakeWindow* fake = AsFake(&window);
    if (!fake || fake->Ended())
        return;
    fake->End(result);
    for (auto& [key, timer] : m_timers) {
        if (key.first == fake)
            timer.armed = false;
    }
    fake->Handler().OnDestroy();
}

void FakeToolkit::PostClose(IWindow& window)
{
    FakeWindow* fake = AsFake(&window);
    Schedule(m_now, false, [fake] {
        if (fake && !fake->Ended())
            fake->Handler().OnClose();
    });
}

int FakeToolkit::MessageBox(IWindow* owner, const std::string& text, MbButtons buttons, MbIcon icon)
{
    FakeWindow* fake = AsFake(owner);
    m_messages.push_back({text, m_strAppName, buttons, icon, fake ? fake->TemplateId() : 0, m_now});
    // The box runs a loop of its own: timers and other threads' calls go on
    // while the user reads it.
    ++m_nInputBlocked;
    const Millis until = m_now + m_nMessageHold;
    while (RunNext(until, false)) {
    }
    Settle();
    if (m_now < until)
        m_now = until;
    --m_nInputBlocked;
    if (m_answers.empty())
        return IdOk;
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

unsigned FakeToolkit::SetTimer(IWindow& window, unsigned id, unsigned periodMs)
{
    FakeWindow* fake = AsFake(&window);
    const std::uint64_t generation = ++m_nTimerGeneration;
    m_timers[{fake, id}] = TimerState{generation, periodMs, true};
    ScheduleTick(fake, id, generation, m_now + periodMs);
    return id;
}

void FakeToolkit::KillTimer(IWindow& window, unsigned id)
{
    auto it = m_timers.find({AsFake(&window), id});
    if (it != m_timers.end())
        it->second.armed = false;
}

void FakeToolkit::ScheduleTick(FakeWindow* window, unsigned id, std::uint64_t generation, Millis at)
{
    Schedule(at, false, [this, window, id, generation] {
        auto it = m_timers.find({window, id});
        if (it == m_timers.end() || !it->second.armed || it->second.generation != generation || window->Ended())
            return;
        ScheduleTick(window, id, generation, m_now + it->second.period);
        window->Handler().OnTimer(id);
    });
}

bool FakeToolkit::TimerArmed(const IWindow& window, unsigned id) const
{
    auto it = m_timers.find({dynamic_cast<const FakeWindow*>(&window), id});
    return it != m_timers.end() && it->second.armed;
}

FakeToolkit::Millis FakeToolkit::TimerPeriod(const IWindow& window, unsigned id) const
{
    auto it = m_timers.find({dynamic_cast<const FakeWindow*>(&window), id});
    return it == m_timers.end() ? 0 : it->second.period;
}

void FakeToolkit::BeginWaitCursor() { ++m_nWaitCursor; }
void FakeToolkit::EndWaitCursor() { --m_nWaitCursor; }

void FakeToolkit::WaitOnUiThread(unsigned ms)
{
    const Millis start = m_now;
    const Millis until = m_now + ms;
    ++m_nInputBlocked;
    while (RunNext(until, false)) {
    }
    Settle();
    if (m_now < until)
        m_now = until;
    --m_nInputBlocked;
    m_waits.emplace_back(start, static_cast<Millis>(ms));
}

bool FakeToolkit::InvokeOnUiThread(FunctionRef<void()> call)
{
    if (IsUiThread()) {
        call();
        return true;
    }
    Call record{call};
    std::unique_lock lock(m_callMutex);
    if (m_bShutdown)
        return false;
    m_calls.push_back(&record);
    m_callCv.notify_all();
    m_callCv.wait(lock, [&] { return record.done; });
    return record.ran;
}

void FakeToolkit::PostToUiThread(std::function<void()> call)
{
    std::lock_guard lock(m_callMutex);
    if (m_bShutdown)
        return;
    m_posted.push_back(std::move(call));
    m_callCv.notify_all();
}

bool FakeToolkit::ServeCalls()
{
    std::vector<Call*> calls;
    std::deque<std::function<void()>> posted;
    {
        std::lock_guard lock(m_callMutex);
        calls.swap(m_calls);
        m_calls.reserve(256);
        posted.swap(m_posted);
    }
    for (Call* call : calls) {
        call->function();
        std::lock_guard lock(m_callMutex);
        call->ran = true;
        call->done = true;
        m_callCv.notify_all();
    }
    for (auto& function : posted)
        function();
    return !calls.empty() || !posted.empty();
}

void FakeToolkit::Settle()
{
    if (!IsUiThread())
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        const bool served = ServeCalls();
        const bool quiet = !m_probe || m_probe();
        if (!served && quiet) {
            std::lock_guard lock(m_callMutex);
            if (m_calls.empty() && m_posted.empty())
                return;
            continue;
        }
        if (!served) {
            std::unique_lock lock(m_callMutex);
            m_callCv.wait_for(lock, std::chrono::microseconds(200),
                              [&] { return !m_calls.empty() || !m_posted.empty(); });
        }
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "FakeToolkit: other threads never became quiet\n");
            m_bStalled = true;
            return;
        }
    }
}

void FakeToolkit::Shutdown()
{
    std::lock_guard lock(m_callMutex);
    m_bShutdown = true;
    for (Call* call : m_calls)
        call->done = true;
    m_calls.clear();
    m_posted.clear();
    m_callCv.notify_all();
}

int FakeToolkit::TrackPopupMenu(IWindow& window, int menuId)
{
    FakeWindow* fake = AsFake(&window);
    m_popups.push_back({fake ? fake->TemplateId() : 0, menuId});
    if (m_popupAnswers.empty())
        return 0;
    const int answer = m_popupAnswers.front();
    m_popupAnswers.pop_front();
    return answer;
}

void FakeToolkit::AppendSystemMenu(IWindow&, unsigned commandId, const std::string& text)
{
    m_sysMenu.push_back({commandId, text});
}

std::optional<std::string> FakeToolkit::AskSaveFileName(IWindow& owner, const std::string& title,
                                                        const std::string& suggestedName, const std::string& filter)
{
    FakeWindow* window = AsFake(&owner);
    m_saveDialogs.push_back({window ? window->TemplateId() : 0, title, suggestedName, filter});
    if (m_saveAnswers.empty())
        return std::nullopt;
    std::optional<std::string> answer = std::move(m_saveAnswers.front());
    m_saveAnswers.pop_front();
    return answer;
}

void FakeToolkit::OpenUrl(const std::string& url)
{
    m_urls.push_back(url);
}

FakeWindow* FakeToolkit::TopWindow()
{
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
        if (!(*it)->Ended())
            return it->get();
    }
    return nullptr;
}

FakeWindow* FakeToolkit::LastWindow(int templateId)
{
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
        if ((*it)->TemplateId() == templateId)
            return it->get();
    }
    return nullptr;
}

bool FakeToolkit::InitResult(const FakeWindow& window) const
{
    auto it = m_initResults.find(&window);
    return it != m_initResults.end() && it->second;
}

std::vector<std::string> FakeToolkit::MessageTexts() const
{
    std::vector<std::string> texts;
    for (const auto& message : m_messages)
        texts.push_back(message.text);
    return texts;
}

void FakeToolkit::Schedule(Millis time, bool userInput, std::function<void()> run)
{
    const std::uint64_t seq = ++m_seq;
    m_events.emplace(std::make_pair(time, seq), Event{time, seq, userInput, std::move(run)});
}

void FakeToolkit::At(Millis time, std::function<void()> action)
{
    Schedule(time, true, std::move(action));
}

void FakeToolkit::After(Millis delay, std::function<void()> action)
{
    Schedule(m_now + delay, true, std::move(action));
}

void FakeToolkit::AfterExternal(Millis delay, std::function<void()> action)
{
    Schedule(m_now + delay, false, std::move(action));
}

bool FakeToolkit::RunNext(Millis limit, bool allowUserInput)
{
    Settle();
    for (auto it = m_events.begin(); it != m_events.end(); ++it) {
        if (it->first.first > limit)
            return false;
        if (it->second.userInput && !allowUserInput)
            continue;
        Event event = std::move(it->second);
        m_events.erase(it);
        if (event.time > m_now)
            m_now = event.time;
        event.run();
        return true;
    }
    return false;
}

void FakeToolkit::Advance(Millis ms)
{
    const Millis until = m_now + ms;
    while (RunNext(until, m_nInputBlocked == 0)) {
    }
    Settle();
    if (m_now < until)
        m_now = until;
}

std::optional<std::string> FakeToolkit::SaveTextFile(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return std::string(std::strerror(errno));
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written) {
        const int error = written ? errno : writeError;
        std::remove(temporary.c_str());
        return std::string(std::strerror(error));
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        std::remove(temporary.c_str());
        return std::string(std::strerror(error));
    }
    return std::nullopt;
}

} // namespace pemblor
