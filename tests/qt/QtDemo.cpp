// Shows a window filled with made-up data, saves a picture of it and ends.
// Usage: pemblor_qt_demo devicelist|about <png file> [initial] ("initial"
// leaves the window as it opens). The device list takes
// PEMBLOR_DEMO_DEVICES (how many, default 3), PEMBLOR_DEMO_SORT (a column to
// sort by), PEMBLOR_DEMO_FILTER (filter text) and PEMBLOR_DEMO_MAXIMISED=1.
// It opens no sockets: the window's session runs on the fake network.
#include "common/DeviceColumns.h"
#include "tests/fakenet/FakeNetwork.h"
#include "gui/Application.h"
#include "gui/CAboutDlg.h"
#include "gui/CDeviceListDlg.h"
#include "gui/DeviceTableView.h"
#include "gui/QtDispatcher.h"
#include "gui/QtTranslation.h"
#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/ReplyDatagram.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace pemblor;

void Fill(DeviceRegistry& registry)
{
    const int count =
        qEnvironmentVariableIsSet("PEMBLOR_DEMO_DEVICES") ? qEnvironmentVariableIntValue("PEMBLOR_DEMO_DEVICES") : 3;
    const char* ssids[]{"Quarnel-Office", "Quarnel-Lab", "Warehouse AP"};
    for (int i = 0; i < count; ++i) {
        const MacBytes mac{0x00, 0x1A, 0x2B, 0x3C, static_cast<std::uint8_t>(0x4D + i / 256),
                           static_cast<std::uint8_t>(0x50 + i % 256)};
        const std::string ssid = i < 3 ? ssids[i] : "lab-" + std::to_string(i + 1);
        const std::vector<std::string> texts{"SSID=" + ssid, "IP_ADDR=x", "CURRENT_SUBNET_MASK=255.255.254.0",
                                             "CHANNEL=" + std::to_string(1 + 5 * (i % 3))};
        const std::vector<std::string_view> views(texts.begin(), texts.end());
        const Datagram datagram = EncodeDatagram(TypeQueryReply, mac, "", "", views);
        // Addresses in an order that differs from arrival.
        const std::string sender = "198.18." + std::to_string(i % 7) + "." + std::to_string(10 + (i * 37) % 240);
        const ReplyDatagram reply(datagram.data(), datagram.size, sender);
        NetworkInterface heardOn;
        heardOn.name = i % 5 == 4 ? "enp0s31f6" : "lab0";
        registry.Record(reply, heardOn, i % 9 == 8 ? -20000 : 0);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if ((argc != 3 && argc != 4) || (which != QStringLiteral("devicelist") && which != QStringLiteral("about"))) {
        std::fprintf(stderr, "usage: %s devicelist|about <png file> [initial]\n", argv[0]);
        return 2;
    }
    InstallTranslations(app);
    InstallApplicationIcon();
    const QString file = QString::fromLocal8Bit(argv[2]);
    const bool fill = argc == 3;

    FakeNetwork network;
    auto sockets = network.NewLayer("198.18.0.1");
    QtDispatcher dispatcher;
    SteadyClock clock;
    std::unique_ptr<QDialog> window;
    if (which == QStringLiteral("about")) {
        window = std::make_unique<CAboutDlg>();
    } else {
        auto list = std::make_unique<CDeviceListDlg>(dispatcher, clock, *sockets);
        if (fill)
            Fill(list->GetSession().registry());
        window = std::move(list);
    }
    if (qEnvironmentVariableIntValue("PEMBLOR_DEMO_MAXIMISED") == 1)
        window->showMaximized();
    else
        window->show();
    int status = 1;
    QTimer::singleShot(700, [&] {
        if (auto* view = window->findChild<DeviceTableView*>(QStringLiteral("IDC_LIST_DEVICES")); view && fill) {
            if (qEnvironmentVariableIsSet("PEMBLOR_DEMO_SORT"))
                view->sortByColumn(qEnvironmentVariableIntValue("PEMBLOR_DEMO_SORT"), Qt::AscendingOrder);
            window->findChild<QLineEdit*>(QStringLiteral("filter"))->setText(qEnvironmentVariable("PEMBLOR_DEMO_FILTER"));
            window->findChild<QCheckBox*>(QStringLiteral("IDC_CHK_KEEP_DISCOVERING"))->click();
            view->setCurrentIndex(view->model()->index(1, 0));
            for (const char* name : {"IDC_BTN_SETUPIP", "IDC_BTN_WEBSERVER"})
                window->findChild<QPushButton*>(QString::fromLatin1(name))->setEnabled(true);
        }
        const bool saved = window->grab().save(file);
        std::printf("%s %s (%dx%d)\n", saved ? "saved" : "could not save", qPrintable(file), window->width(),
                    window->height());
        status = saved ? 0 : 1;
        app.quit();
    });
    app.exec();
    window.reset();
    dispatcher.Stop();
    return status;
}
