#include "toolkit/fake/FakeToolkit.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "resources/DialogTemplate.h"
#include "toolkit/IDialogHandler.h"

#include <cstdio>
#include <stdexcept>

namespace pemblor {

FakeToolkit::FakeToolkit(EventLoop& loop, std::string appName) : m_loop(loop), m_strAppName(std::move(appName)) {}

FakeToolkit::~FakeToolkit()
{
    for (auto& [key, timer] : m_timers)
        m_loop.Cancel(*timer);
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
    const auto ended = [&window] { return window.Ended(); };
    while (!window.Ended()) {
        if (const auto next = m_loop.NextEventTime()) {
            m_loop.RunUntil(*next, ended);
            continue;
        }
        m_loop.Advance(0);
        if (!window.Ended() && !m_loop.NextEventTime()) {
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
            Disarm(*timer);
    }
    fake->Handler().OnDestroy();
}

void FakeToolkit::PostClose(IWindow& window)
{
    FakeWindow* fake = AsFake(&window);
    Schedule(0, false, [fake] {
        if (fake && !fake->Ended())
            fake->Handler().OnClose();
    });
}

int FakeToolkit::MessageBox(IWindow* owner, const std::string& text, MbButtons buttons, MbIcon icon)
{
    FakeWindow* fake = AsFake(owner);
    m_messages.push_back({text, m_strAppName, buttons, icon, fake ? fake->TemplateId() : 0, Now()});
    // The box runs a loop of its own: timers and other threads' calls go on
    // while the user reads it.
    ++m_nInputBlocked;
    m_loop.Advance(m_nMessageHold);
    EndInputBlock();
    if (m_answers.empty())
        return IdOk;
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

unsigned FakeToolkit::SetTimer(IWindow& window, unsigned id, unsigned periodMs)
{
    FakeWindow* fake = AsFake(&window);
    std::unique_ptr<WindowTimer>& timer = m_timers[{fake, id}];
    if (!timer)
        timer = std::make_unique<WindowTimer>();
    timer->toolkit = this;
    timer->window = fake;
    timer->id = id;
    timer->period = periodMs;
    timer->armed = true;
    m_loop.Schedule(*timer, periodMs);
    return id;
}

void FakeToolkit::KillTimer(IWindow& window, unsigned id)
{
    auto it = m_timers.find({AsFake(&window), id});
    if (it != m_timers.end())
        Disarm(*it->second);
}

void FakeToolkit::Disarm(WindowTimer& timer)
{
    timer.armed = false;
    m_loop.Cancel(timer);
}

void FakeToolkit::WindowTimer::Expired()
{
    if (!armed || window->Ended())
        return;
    toolkit->m_loop.Schedule(*this, static_cast<unsigned>(period));
    window->Handler().OnTimer(id);
}

bool FakeToolkit::TimerArmed(const IWindow& window, unsigned id) const
{
    auto it = m_timers.find({dynamic_cast<const FakeWindow*>(&window), id});
    return it != m_timers.end() && it->second->armed;
}

FakeToolkit::Millis FakeToolkit::TimerPeriod(const IWindow& window, unsigned id) const
{
    auto it = m_timers.find({dynamic_cast<const FakeWindow*>(&window), id});
    return it == m_timers.end() ? 0 : it->second->period;
}

void FakeToolkit::BeginWaitCursor() { ++m_nWaitCursor; }
void FakeToolkit::EndWaitCursor() { --m_nWaitCursor; }

void FakeToolkit::Settle()
{
    m_loop.Advance(0);
}

bool FakeToolkit::Stalled() const
{
    const auto* clock = dynamic_cast<const VirtualClock*>(&m_loop.Clock());
    return m_bStalled || (clock && clock->Stalled());
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

// A user action that comes due while a message box is up waits until the
// box has been answered.
void FakeToolkit::Schedule(Millis delay, bool userInput, std::function<void()> run)
{
    m_loop.After(delay, [this, userInput, run = std::move(run)]() mutable {
        if (userInput && m_nInputBlocked > 0)
            m_heldInput.push_back(std::move(run));
        else
            run();
    });
}

void FakeToolkit::EndInputBlock()
{
    if (--m_nInputBlocked > 0)
        return;
    std::vector<std::function<void()>> held;
    held.swap(m_heldInput);
    for (auto& action : held)
        Schedule(0, true, std::move(action));
}

void FakeToolkit::At(Millis time, std::function<void()> action)
{
    Schedule(time - Now(), true, std::move(action));
}

void FakeToolkit::After(Millis delay, std::function<void()> action)
{
    Schedule(delay, true, std::move(action));
}

void FakeToolkit::AfterExternal(Millis delay, std::function<void()> action)
{
    Schedule(delay, false, std::move(action));
}

void FakeToolkit::Advance(Millis ms)
{
    m_loop.Advance(ms);
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
