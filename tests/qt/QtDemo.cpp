// Shows a window of the Qt toolkit filled with made-up data, saves a picture
// of it and ends. Usage: pemblor_qt_demo <template id> <png file> [initial]
// ("initial" leaves the window as its layout creates it). The device list
// takes PEMBLOR_DEMO_DEVICES (how many, default 3), PEMBLOR_DEMO_SORT (a
// column to sort by), PEMBLOR_DEMO_FILTER (filter text) and
// PEMBLOR_DEMO_MAXIMISED=1.
#include "resources/ResourceIds.h"
#include "toolkit/IButton.h"
#include "toolkit/ICheckBox.h"
#include "toolkit/IDialogHandler.h"
#include "toolkit/IEdit.h"
#include "toolkit/IIpAddressCtrl.h"
#include "toolkit/IListCtrl.h"
#include "toolkit/IWindow.h"
#include "toolkit/qt/QtToolkit.h"
#include "toolkit/qt/QtWindow.h"
#include "common/DeviceColumns.h"
#include "engine/DeviceRegistry.h"
#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/ReplyDatagram.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeView>
#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace pemblor;

class DemoHandler final : public IDialogHandler {
public:
    DemoHandler(QtToolkit& toolkit, QString file, bool fill)
        : m_toolkit(toolkit), m_file(std::move(file)), m_bFill(fill)
    {
    }

    bool OnInitDialog(IWindow& window) override
    {
        m_pWindow = &window;
        if (!m_bFill)
            return true;
        if (IListCtrl* list = window.List(IDC_LIST_DEVICES))
            FillList(*list);
        if (window.IpAddress(IDC_IP_ADDRESS)) {
            window.SetItemText(IDC_TEXT_DEVICE, "Quarnel-Lab \u00B7 00:1A:2B:3C:4D:51 \u00B7 enp0s31f6");
            window.SetDescription("Quarnel-Lab \u00B7 00:1A:2B:3C:4D:51 \u00B7 enp0s31f6");
            for (int id : {IDC_IP_ADDRESS, IDC_IP_NETMASK, IDC_IP_GATEWAY})
                window.IpAddress(id)->EnableWindow(true);
            window.IpAddress(IDC_IP_ADDRESS)->SetAddress(0xC612000Au); // 198.18.0.10
            window.IpAddress(IDC_IP_NETMASK)->SetAddress(0xFFFFFE00u);
            window.IpAddress(IDC_IP_GATEWAY)->SetAddress(0xC6120001u);
            window.CheckBox(IDC_CHK_DHCP)->SetCheck(0);
            window.Edit(IDC_EDIT_USERNAME)->EnableWindow(true);
            window.Edit(IDC_EDIT_USERNAME)->SetWindowText("admin");
            window.Edit(IDC_EDIT_PASSWORD)->EnableWindow(true);
            window.Edit(IDC_EDIT_PASSWORD)->SetWindowText("secret");
            window.Button(IDC_BTN_APPLY)->EnableWindow(true);
        }
        m_toolkit.AppendSystemMenu(window, IDM_ABOUTBOX, "&About Pemblor...");
        return true;
    }
    void OnShowWindow() override
    {
        auto* shown = dynamic_cast<QtWindow*>(m_pWindow);
        if (qEnvironmentVariableIntValue("PEMBLOR_DEMO_MAXIMISED") == 1)
            shown->showMaximized();
        QTimer::singleShot(700, [this] {
            auto* window = dynamic_cast<QtWindow*>(m_pWindow);
            if (auto* view = window->findChild<QTreeView*>(QtWindow::ControlName(IDC_LIST_DEVICES));
                view && m_bFill) {
                if (qEnvironmentVariableIsSet("PEMBLOR_DEMO_SORT"))
                    view->sortByColumn(qEnvironmentVariableIntValue("PEMBLOR_DEMO_SORT"), Qt::AscendingOrder);
                if (auto* filter = window->findChild<QLineEdit*>(QStringLiteral("filter")))
                    filter->setText(qEnvironmentVariable("PEMBLOR_DEMO_FILTER"));
                view->setCurrentIndex(view->model()->index(1, 0));
                window->Button(IDC_BTN_SETUPIP)->EnableWindow(true);
                window->Button(IDC_BTN_WEBSERVER)->EnableWindow(true);
            }
            const bool saved = window->grab().save(m_file);
            std::printf("%s %s (%dx%d)\n", saved ? "saved" : "could not save", qPrintable(m_file), window->width(),
                        window->height());
            m_toolkit.EndDialog(*m_pWindow, saved ? 0 : 1);
        });
    }
    void OnCommand(int) override {}
    void OnCancel() override { m_toolkit.EndDialog(*m_pWindow, 1); }

private:
    void FillList(IListCtrl& list)
    {
        const int count = qEnvironmentVariableIsSet("PEMBLOR_DEMO_DEVICES")
                              ? qEnvironmentVariableIntValue("PEMBLOR_DEMO_DEVICES")
                              : 3;
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
            m_registry.Record(reply, heardOn, i % 9 == 8 ? -20000 : 0);
        }
        list.ShowDevices(m_registry, [] { return DeviceRecord::Millis{0}; });
        list.DevicesAdded(m_registry.Size());
        list.SetItemWarning(0, "The computer's interface enp0s31f6 is in 192.168.1.0/24");
        list.SetStaleAfter(kStaleAfterMs);
    }

    DeviceRegistry m_registry;
    QtToolkit& m_toolkit;
    QString m_file;
    bool m_bFill;
    IWindow* m_pWindow = nullptr;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s <template id> <png file> [initial]\n", argv[0]);
        return 2;
    }
    QtToolkit toolkit;
    DemoHandler handler(toolkit, QString::fromLocal8Bit(argv[2]), argc == 3);
    return toolkit.RunModal(handler, std::atoi(argv[1]), nullptr);
}
