#include "gui/Application.h"

#include "engine/ISocketLayer.h"
#include "gui/CDeviceListDlg.h"
#include "gui/MessageBox.h"

#include <QApplication>
#include <QIcon>

namespace pemblor {

SessionConfig DesktopSessionConfig(IInterfaceList& interfaces)
{
    SessionConfig config;
    config.interfaces = &interfaces;
    config.receiveBufferBytes = 8 * 1024 * 1024;
    return config;
}

void InstallApplicationIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/pemblor/pemblor-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/pemblor/pemblor-32.png"), QSize(32, 32));
    QApplication::setWindowIcon(icon);
}

int RunApplication(UiDispatcher& dispatcher, const LoopClock& clock, ISocketLayer& sockets, SessionConfig config)
{
    if (!sockets.StartupProcess()) {
        MessageBox::warning(nullptr, QCoreApplication::translate("Pemblor", "Windows sockets initialization failed."));
        return 0;
    }
    // The window object goes when the loop has returned, with its send
    // socket; the receive thread has heard the stop datagram of the close.
    CDeviceListDlg window(dispatcher, clock, sockets, std::move(config));
    QObject::connect(&window, &QDialog::finished, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    QCoreApplication::exec();
    return 0;
}

} // namespace pemblor
