#include "gui/CAboutDlg.h"

#include "ui_CAboutDlg.h"

#include <QApplication>

namespace pemblor {

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::CAboutDlg>())
{
    ui->setupUi(this);
    ui->icon->setPixmap(QApplication::windowIcon().pixmap(ui->icon->size()));
}

CAboutDlg::~CAboutDlg() = default;

} // namespace pemblor
