#pragma once
#include <QDialog>

#include <memory>

namespace Ui {
class CAboutDlg;
}

namespace pemblor {

// The About box: the application's icon, its version and what it does. OK
// and Escape end it.
class CAboutDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    std::unique_ptr<Ui::CAboutDlg> ui;
};

} // namespace pemblor
