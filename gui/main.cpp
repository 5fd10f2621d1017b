#include "engine/PosixInterfaceList.h"
#include "engine/PosixSocketLayer.h"
#include "engine/ProcReversePathFilter.h"
#include "gui/Application.h"
#include "gui/QtDispatcher.h"
#include "gui/QtTranslation.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // The window's end ends the program, not the last window closed (a
    // message box of the start-up failure would otherwise end it).
    QApplication::setQuitOnLastWindowClosed(false);
    pemblor::InstallTranslations(application);
    pemblor::InstallApplicationIcon();

    pemblor::QtDispatcher dispatcher;
    pemblor::SteadyClock clock;
    pemblor::PosixSocketLayer sockets;
    pemblor::PosixInterfaceList interfaces;
    pemblor::ProcReversePathFilter reversePath;
    pemblor::SessionConfig config = pemblor::DesktopSessionConfig(interfaces);
    config.reversePath = &reversePath;
    const int status = pemblor::RunApplication(dispatcher, clock, sockets, std::move(config));
    // A receive thread that could not be waited for must find no loop to
    // call into.
    dispatcher.Stop();
    return status;
}
