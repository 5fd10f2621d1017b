// Shows a window of the Qt toolkit filled with made-up data, saves a picture
// of it and ends. Usage: pemblor_qt_demo <template id> <png file> [initial]
// ("initial" leaves the window as its layout creates it).
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
#include "ui/devicelist/DeviceTableColumns.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

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
        QTimer::singleShot(500, [this] {
            auto* window = dynamic_cast<QtWindow*>(m_pWindow);
            if (auto* view = window->findChild<QAbstractItemView*>(QtWindow::ControlName(IDC_LIST_DEVICES));
                view && m_bFill) {
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
    static void FillList(IListCtrl& list)
    {
        AddDeviceTableColumns(list);
        const char* ssids[]{"Quarnel-Office", "Quarnel-Lab", "Warehouse AP"};
        for (int i = 0; i < 3; ++i) {
            const int row = list.InsertItem(i, std::to_string(i + 1));
            list.SetItemText(row, 1, ssids[i]);
            list.SetItemText(row, 2, "198.18.0." + std::to_string(10 + i));
            list.SetItemText(row, 3, "255.255.254.0");
            list.SetItemText(row, 4, std::to_string(1 + 5 * i));
            list.SetItemText(row, 5, "00:1A:2B:3C:4D:5" + std::to_string(i));
        }
    }

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
