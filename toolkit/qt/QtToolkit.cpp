#include "toolkit/qt/QtToolkit.h"

#include "resources/DialogTemplate.h"
#include "toolkit/IDialogHandler.h"
#include "toolkit/qt/QtListView.h"
#include "toolkit/qt/QtTranslation.h"
#include "toolkit/qt/QtWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

namespace pemblor {

namespace {
constexpr std::size_t kPostedRoom = 256;
} // namespace

QtToolkit::QtToolkit() : m_pReceiver(std::make_unique<QObject>())
{
    m_posted.reserve(kPostedRoom);
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd >= 0) {
        m_pWakeNotifier = std::make_unique<QSocketNotifier>(m_wakeFd, QSocketNotifier::Read);
        QObject::connect(m_pWakeNotifier.get(), &QSocketNotifier::activated, m_pReceiver.get(), [this] {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = read(m_wakeFd, &count, sizeof count);
            RunPosted();
        });
    }
    QIcon icon;
    icon.addFile(QStringLiteral(":/pemblor/pemblor-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/pemblor/pemblor-32.png"), QSize(32, 32));
    QApplication::setWindowIcon(icon);
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

QtToolkit::~QtToolkit()
{
    Shutdown();
    m_pWakeNotifier.reset();
    if (m_wakeFd >= 0)
        close(m_wakeFd);
    while (m_nWaitCursors > 0)
        EndWaitCursor();
}

std::string QtToolkit::AppName() const
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
}

std::int64_t QtToolkit::NowMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QtWindow* QtToolkit::AsQtWindow(IWindow* window)
{
    return dynamic_cast<QtWindow*>(window);
}

int QtToolkit::RunModal(IDialogHandler& handler, int templateId, IWindow* owner)
{
    Q_ASSERT(IsUiThread());
    const DialogTemplate* layout = FindDialogTemplate(templateId);
    if (!layout)
        return -1;
    QtWindow window(*layout, handler, AsQtWindow(owner));
    window.setModal(true);
    if (handler.OnInitDialog(window))
        window.FocusFirstTabStop();
    if (!window.IsEnded()) {
        window.FitToContents();
        window.show();
        handler.OnShowWindow();
    }
    if (!window.IsEnded())
        window.exec();
    window.hide();
    handler.OnDestroy();
    window.Detach();
    return window.Result();
}

void QtToolkit::EndDialog(IWindow& window, int result)
{
    if (QtWindow* qtWindow = AsQtWindow(&window))
        qtWindow->End(result);
}

void QtToolkit::PostClose(IWindow& window)
{
    if (QtWindow* qtWindow = AsQtWindow(&window))
        QMetaObject::invokeMethod(qtWindow, [qtWindow] { qtWindow->RequestClose(); }, Qt::QueuedConnection);
}

std::string QtToolkit::Translate(const char* text) const
{
    return Translated(text).toStdString();
}

int QtToolkit::MessageBox(IWindow* owner, const std::string& text, MbButtons buttons, MbIcon icon)
{
    Q_ASSERT(IsUiThread());
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    if (icon == MbIcon::Exclamation)
        boxIcon = QMessageBox::Warning;
    else if (icon == MbIcon::Question)
        boxIcon = QMessageBox::Question;
    QMessageBox::StandardButtons boxButtons = QMessageBox::Ok;
    QMessageBox::StandardButton yes = QMessageBox::Ok;
    QMessageBox::StandardButton no = QMessageBox::Ok;
    if (buttons == MbButtons::OkCancel) {
        no = QMessageBox::Cancel;
        boxButtons = QMessageBox::Ok | QMessageBox::Cancel;
    } else if (buttons == MbButtons::YesNo) {
        yes = QMessageBox::Yes;
        no = QMessageBox::No;
        boxButtons = QMessageBox::Yes | QMessageBox::No;
    }
    QMessageBox box(boxIcon, QString::fromStdString(AppName()), Translated(text), boxButtons,
                    AsQtWindow(owner));
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    const int answer = box.exec();
    return answer == no && no != yes ? IdCancel : IdOk;
}

unsigned QtToolkit::SetTimer(IWindow& window, unsigned id, unsigned periodMs)
{
    Q_ASSERT(IsUiThread());
    QtWindow* qtWindow = AsQtWindow(&window);
    return qtWindow ? qtWindow->SetTimer(id, periodMs) : 0;
}

void QtToolkit::KillTimer(IWindow& window, unsigned id)
{
    Q_ASSERT(IsUiThread());
    if (QtWindow* qtWindow = AsQtWindow(&window))
        qtWindow->KillTimer(id);
}

void QtToolkit::BeginWaitCursor()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++m_nWaitCursors;
}

void QtToolkit::EndWaitCursor()
{
    if (m_nWaitCursors == 0)
        return;
    --m_nWaitCursors;
    QGuiApplication::restoreOverrideCursor();
}

void QtToolkit::WaitOnUiThread(unsigned ms)
{
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

bool QtToolkit::IsUiThread() const
{
    return QThread::currentThread() == m_pReceiver->thread();
}

bool QtToolkit::InvokeOnUiThread(FunctionRef<void()> call)
{
    Q_ASSERT_X(!IsUiThread(), "QtToolkit::InvokeOnUiThread", "called on the user-interface thread");
    if (IsUiThread()) {
        call();
        return true;
    }
    PendingCall pending(call);
    std::unique_lock lock(m_mutex);
    if (m_bShutdown)
        return false;
    const std::uint64_t number = ++m_nLastCall;
    m_pending.emplace(number, &pending);
    QMetaObject::invokeMethod(m_pReceiver.get(), [this, number] { ServeCall(number); }, Qt::QueuedConnection);
    pending.finished.wait(lock, [&pending] { return pending.bFinished; });
    return pending.bRan;
}

// A posted request carries only the number of its call, so one that outlives
// its call (served or dropped by Shutdown) finds nothing and does nothing.
void QtToolkit::ServeCall(std::uint64_t number)
{
    PendingCall* pending = nullptr;
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_pending.find(number);
        if (found == m_pending.end())
            return;
        pending = found->second;
        m_pending.erase(found);
    }
    pending->call();
    std::lock_guard lock(m_mutex);
    pending->bRan = true;
    pending->bFinished = true;
    // Notified under the lock: the waiter cannot return, and destroy the
    // record, before this is done with it.
    pending->finished.notify_one();
}

std::size_t QtToolkit::PendingCallCount()
{
    std::lock_guard lock(m_mutex);
    return m_pending.size();
}

void QtToolkit::Shutdown()
{
    std::lock_guard lock(m_mutex);
    m_bShutdown = true;
    for (auto& [number, pending] : m_pending) {
        pending->bFinished = true;
        pending->finished.notify_one();
    }
    m_pending.clear();
}

void QtToolkit::PostToUiThread(std::function<void()> call)
{
    if (m_wakeFd < 0) {
        QMetaObject::invokeMethod(m_pReceiver.get(), std::move(call), Qt::QueuedConnection);
        return;
    }
    std::lock_guard lock(m_mutex);
    m_posted.push_back(std::move(call));
    if (!m_bWakePending) {
        m_bWakePending = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t put = write(m_wakeFd, &one, sizeof one);
    }
}

void QtToolkit::RunPosted()
{
    std::vector<std::function<void()>> posted;
    posted.reserve(kPostedRoom);
    {
        std::lock_guard lock(m_mutex);
        posted.swap(m_posted);
        m_bWakePending = false;
    }
    for (auto& call : posted)
        call();
}

int QtToolkit::TrackPopupMenu(IWindow& window, int menuId)
{
    QtWindow* qtWindow = AsQtWindow(&window);
    const auto items = FindPopupMenu(menuId);
    if (items.empty())
        return 0;
    QMenu menu(qtWindow);
    for (const MenuItemTemplate& item : items)
        menu.addAction(Translated(item.text))->setData(item.command);
    if (qtWindow) {
        qtWindow->raise();
        qtWindow->activateWindow();
    }
    // A menu asked for from the keyboard opens at the list's current row.
    QPoint at = QCursor::pos();
    if (const auto* list = qtWindow ? qobject_cast<QtListView*>(qtWindow->focusWidget()) : nullptr)
        at = list->MenuAnchor().value_or(at);
    const QAction* chosen = menu.exec(at);
    return chosen ? chosen->data().toInt() : 0;
}

void QtToolkit::AppendSystemMenu(IWindow& window, unsigned commandId, const std::string& text)
{
    if (QtWindow* qtWindow = AsQtWindow(&window))
        qtWindow->AddSystemCommand(commandId, Translated(text));
}

void QtToolkit::SetClipboardText(const std::string& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(QString::fromStdString(text));
}

std::optional<std::string> QtToolkit::AskSaveFileName(IWindow& owner, const std::string& title,
                                                      const std::string& suggestedName, const std::string& filter)
{
    QWidget* parent = AsQtWindow(&owner);
    if (m_saveFileChooser)
        return m_saveFileChooser(parent, title, suggestedName, filter);
    const QString chosen = QFileDialog::getSaveFileName(parent, Translated(title), QString::fromStdString(suggestedName),
                                                        Translated(filter));
    if (chosen.isEmpty())
        return std::nullopt;
    // The name as the file system spells it.
    const QByteArray encoded = QFile::encodeName(chosen);
    return std::string(encoded.constData(), static_cast<std::size_t>(encoded.size()));
}

std::optional<std::string> QtToolkit::SaveTextFile(const std::string& path, const std::string& text)
{
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !file.commit()) {
        const QString cause = file.errorString();
        file.cancelWriting();
        return cause.toStdString();
    }
    return std::nullopt;
}

void QtToolkit::OpenUrl(const std::string& url)
{
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

} // namespace pemblor
