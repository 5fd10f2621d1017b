#include "gui/CAboutDlg.h"
#include "ui_CAboutDlg.h"

#include <QApplication>
#include <QIcon>

namespace pemblor {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CAboutDlg>())
{
    m_ui->setupUi(this);
    // The application's own icon, which the form cannot name.
    m_ui->icon->setPixmap(QApplication::windowIcon().pixmap(m_ui->icon->size()));
    connect(m_ui->IDOK, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

} // namespace pemblor
