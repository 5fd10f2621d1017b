#include "toolkit/qt/QtToolkit.h"

#include "resources/DialogTemplate.h"
#include "toolkit/IDialogHandler.h"
#include "toolkit/qt/QtListView.h"
#include "gui/QtTranslation.h"
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
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <cstdint>

namespace pemblor {

QtToolkit::QtToolkit()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/pemblor/pemblor-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/pemblor/pemblor-32.png"), QSize(32, 32));
    QApplication::setWindowIcon(icon);
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

QtToolkit::~QtToolkit()
{
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

bool QtToolkit::IsUiThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
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
