#pragma once
// The rig of the "Setup IP for N devices" window tests: the tool's transport
// over the fake network with its receive thread running, the virtual clock,
// the simulator's access points, the devices the dialog opens for, and the
// dialog, its controls found by object name.
#include "engine/EventLoop.h"
#include "engine/NetworkEndpoint.h"
#include "engine/Transport.h"
#include "gui/FileDialog.h"
#include "gui/MessageBox.h"
#include "gui/QtIpAddressCtrl.h"
#include "gui/SetupIpManyDialog.h"
#include "tests/fakenet/FakeInterfaceList.h"
#include "tests/fakenet/FakeNetwork.h"
#include "tests/support/SimAccessPoint.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace pemblor {

class SetupIpManyRig : public ::testing::Test {
protected:
    // The tool at `toolHost`; with `withInterfaces` its transport reads the
    // host's interfaces, else it knows none.
    SetupIpManyRig(const std::string& toolHost, bool withInterfaces)
        : tool(net.NewLayer(toolHost))
        , interfaces(net.InterfaceList(toolHost))
        , transport(*tool, loop, Config(withInterfaces ? interfaces.get() : nullptr, reversePath))
    {
        MessageBox::reset();
        FileDialog::reset();
        g_hRecvSocket = InvalidSocket;
        EXPECT_TRUE(transport.Open().Ok());
        EXPECT_TRUE(transport.StartReceiveThread());
    }
    ~SetupIpManyRig() override
    {
        dialog.reset();
        transport.StopReceiveThread();
        aps.clear();
        loop.Stop();
        g_hRecvSocket = InvalidSocket;
        MessageBox::reset();
        FileDialog::reset();
    }

    // The dialog for `devices` and `heard`, shown and active.
    SetupIpManyDialog& OpenDialog(std::vector<std::uint32_t> reserved)
    {
        dialog = std::make_unique<SetupIpManyDialog>(transport, loop, virtualClock, devices, heard,
                                                     std::move(reserved));
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return *dialog;
    }

    template <typename T>
    T* Find(const char* name) const
    {
        T* found = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    // Each key goes to the widget that has the focus when it is typed.
    static void Type(const QString& keys) { QTest::keyClicks(static_cast<QWidget*>(nullptr), keys); }
    // Types the start address, the user name and, unless empty, the
    // password, each into its own control.
    void TypeInputs(const QString& start, const QString& user, const QString& password = {})
    {
        Find<QtIpAddressCtrl>("start")->setFocus();
        Type(start);
        Find<QLineEdit>("user")->setFocus();
        Type(user);
        if (password.isEmpty())
            return;
        Find<QLineEdit>("password")->setFocus();
        Type(password);
    }
    // Runs the job to its end in steps of `stepMs`, letting the dialog paint
    // between.
    void RunJob(EventLoop::Millis stepMs)
    {
        for (int step = 0; step < 400 && dialog->Logic().Running(); ++step) {
            loop.Advance(stepMs);
            QCoreApplication::processEvents();
        }
    }

    FakeNetwork net;
    FakeReversePathFilter reversePath;
    VirtualClock virtualClock{[this] { return net.Quiescent(); }};
    EventLoop loop{virtualClock};
    std::unique_ptr<FakeSocketLayer> tool;
    std::unique_ptr<IInterfaceList> interfaces;
    Transport transport;
    std::vector<std::unique_ptr<SimAccessPoint>> aps;
    std::vector<ManyDevice> devices;
    std::vector<HeardDevice> heard;
    std::unique_ptr<SetupIpManyDialog> dialog;

private:
    static TransportConfig Config(IInterfaceList* list, IReversePathFilter& filter)
    {
        TransportConfig config;
        config.interfaces = list;
        config.reversePath = &filter;
        return config;
    }
};

} // namespace pemblor
