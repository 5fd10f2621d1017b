#pragma once
#include "fleet/ManyDevices.h"

#include <QDialog>

#include <memory>

class QPushButton;

namespace pemblor {

namespace Ui {
class SetupIpManyDialog;
}

// "Setup IP for N devices": the start address, netmask, gateway and DHCP
// (blank: leave as it is), the credentials, the reboot, and a preview of
// the plan that follows the inputs as they are typed; Apply runs the job,
// each row telling its device's state, and the end brings a summary,
// "Export result..." and "Put back", which runs the plan back of the result
// with the same credentials, in the same rows. Closing while a job runs asks
// first and stops it.
//
// The dialog owns its logic. The transport (its receive thread started),
// the dispatcher and the clock outlive the dialog; whoever opens it deletes
// it once it has finished.
class SetupIpManyDialog final : public QDialog {
    Q_OBJECT
public:
    SetupIpManyDialog(Transport& transport, UiDispatcher& dispatcher, const LoopClock& clock,
                      std::vector<ManyDevice> devices, std::vector<HeardDevice> heard,
                      std::vector<std::uint32_t> reserved, QWidget* parent = nullptr);
    ~SetupIpManyDialog() override;

    ManyDevices& Logic() { return m_logic; }

    // Escape, Close and the window's close button: asks first while the job
    // runs, and stops it.
    void reject() override;

signals:
    // Each device as it ends, while the job runs.
    void deviceEnded(const pemblor::DeviceOutcome& outcome);

private slots:
    void OnInputChanged();
    void OnApply();
    void OnExport();
    void OnPutBack();

private:
    // The warning line above Apply: shown when any device's password would
    // go by broadcast, as known before any query.
    void ShowBroadcastWarning();
    // The plan failed once the other hosts on the link were found: the
    // inputs come back with the reason.
    void ShowApplyRefused();
    void ShowRow(std::size_t row);
    void ShowFinished();
    QString StatusText(const ManyRow& row) const;
    QString SummaryText() const;
    // True when the dialog may close (asked first while the job runs).
    bool MayClose();

    const std::unique_ptr<Ui::SetupIpManyDialog> m_ui;
    ManyDevices m_logic;
    QPushButton* m_apply = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_putBack = nullptr;
    QPushButton* m_close = nullptr;
};

} // namespace pemblor
