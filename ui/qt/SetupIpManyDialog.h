#pragma once
#include "ui/setupip/ManySetupIp.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace pemblor {

class IToolkit;
class IWindow;
class QtIpAddressCtrl;

// "Setup IP for N devices": the start address, netmask, gateway and DHCP
// (blank: leave as it is), the credentials, the reboot, and a preview of
// the plan that follows the inputs as they are typed; Apply runs the job,
// each row telling its device's state, and the end brings a summary and
// "Export result...". Closing while the job runs asks first and stops it.
//
// Widgets carry object names and accessible names; the tab order is the
// order on screen. The session outlives the dialog.
class SetupIpManyDialog final : public QDialog {
    Q_OBJECT
public:
    SetupIpManyDialog(IToolkit& toolkit, IWindow* owner, ManySetupIp& session);
    ~SetupIpManyDialog() override;

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Replan();
    void OnApply();
    void OnExport();
    void ShowRow(std::size_t row);
    void ShowFinished();
    QString StatusText(const ManyRow& row) const;
    QString SummaryText() const;
    // True when the dialog may close (asked first while the job runs).
    bool MayClose();

    IToolkit& m_toolkit;
    IWindow* m_owner;
    ManySetupIp& m_session;
    QtIpAddressCtrl* m_start = nullptr;
    QtIpAddressCtrl* m_netmask = nullptr;
    QtIpAddressCtrl* m_gateway = nullptr;
    QComboBox* m_dhcp = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_reboot = nullptr;
    QTableWidget* m_preview = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_close = nullptr;
};

// The view CDeviceListDlg opens for several selected rows.
void RunSetupIpManyDialog(IToolkit& toolkit, IWindow* owner, ManySetupIp& session);

} // namespace pemblor
