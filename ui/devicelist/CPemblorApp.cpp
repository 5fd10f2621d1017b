#include "ui/devicelist/CPemblorApp.h"

#include "engine/ISocketLayer.h"
#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "toolkit/IToolkit.h"
#include "ui/devicelist/CDeviceListDlg.h"

#include <memory>
#include <string>

namespace pemblor {

bool CPemblorApp::InitInstance(IToolkit& toolkit, UiDispatcher& dispatcher, ISocketLayer& sockets, SessionConfig config,
                               ManySetupIpView manySetupIp)
{
    if (!sockets.StartupProcess()) {
        toolkit.MessageBox(nullptr, std::string(LoadResourceString(IDP_SOCKETS_INIT_FAILED)), MbButtons::Ok,
                           MbIcon::Exclamation);
        return false;
    }
    auto dialog = std::make_unique<CDeviceListDlg>(toolkit, dispatcher, sockets, std::move(config));
    dialog->SetManySetupIpView(std::move(manySetupIp));
    dialog->DoModal();
    // The window object goes now, with its send socket; the receive thread
    // has heard the stop datagram of the close.
    dialog.reset();
    return false;
}

} // namespace pemblor
