#include "engine/Session.h"
#include "engine/PosixInterfaceList.h"
#include "engine/PosixSocketLayer.h"
#include "toolkit/qt/QtToolkit.h"
#include "gui/QtTranslation.h"
#include "ui/devicelist/CPemblorApp.h"
#include "gui/QtDispatcher.h"
#include "ui/qt/SetupIpManyDialog.h"

#include <QApplication>
#include <QIcon>
#include <QSize>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    pemblor::InstallTranslations(application);

    // The icon images are embedded by the Qt layer; without them the windows
    // simply carry the desktop's default icon.
    QIcon icon;
    icon.addFile(QStringLiteral(":/pemblor/pemblor-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/pemblor/pemblor-32.png"), QSize(32, 32));
    if (!icon.availableSizes().isEmpty())
        QApplication::setWindowIcon(icon);

    pemblor::QtToolkit toolkit;
    pemblor::QtDispatcher dispatcher;
    pemblor::PosixSocketLayer sockets;
    pemblor::PosixInterfaceList interfaces;
    pemblor::SessionConfig config;
    config.interfaces = &interfaces;
    // Many devices answer a discovery at once; the replies must wait in the
    // kernel while the receive thread works through them.
    config.receiveBufferBytes = 8 * 1024 * 1024;

    pemblor::CPemblorApp app;
    app.InitInstance(toolkit, dispatcher, sockets, std::move(config), [&toolkit](pemblor::IWindow* owner, pemblor::ManySetupIp& session) {
        pemblor::RunSetupIpManyDialog(toolkit, owner, session);
    });

    // A receive thread that could not be waited for must find no toolkit to
    // call into.
    dispatcher.Stop();
    return 0;
}
