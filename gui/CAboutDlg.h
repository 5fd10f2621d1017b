#pragma once
#include <QDialog>

#include <memory>

namespace pemblor {

namespace Ui {
class CAboutDlg;
}

// The About box: the program's icon, name and version, and what it does.
// OK and Enter accept it, Escape rejects it.
class CAboutDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    const std::unique_ptr<Ui::CAboutDlg> m_ui;
};

} // namespace pemblor
