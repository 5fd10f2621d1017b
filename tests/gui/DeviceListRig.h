#pragma once
#include "gui/CDeviceListDlg.h"
#include "gui/DeviceTableView.h"
#include "tests/gui/GuiRig.h"

#include <QObject>
#include <QPushButton>
#include <QUrl>

#include <memory>
#include <string>
#include <vector>

class QMenu;

namespace pemblor {

// Receives the URLs handed to the desktop while it lives.
class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    UrlRecorder();
    ~UrlRecorder() override;
    std::vector<std::string> urls;
public slots:
    void Open(const QUrl& url) { urls.push_back(url.toString().toStdString()); }
};

// The device list window on the rig's fake LAN, shown offscreen, driven by
// real clicks and keys on widgets found by their object names.
class DeviceListRig : public GuiRig {
public:
    using Rows = std::vector<std::vector<std::string>>;

    ~DeviceListRig() override;

    // Creates the window with the rig's settings and shows it.
    CDeviceListDlg& Open();

    template <typename T = QWidget>
    T* Find(const char* name) const
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    QPushButton& Button(const char* name) const;
    DeviceTableView& List() const { return *Find<DeviceTableView>("IDC_LIST_DEVICES"); }
    bool Enabled(const char* name) const { return Button(name).isEnabled(); }
    // A left click on the widget of that name.
    void Click(const char* name);
    // Clicks Discover and lets `ms` of virtual time pass.
    void Discover(Millis ms = 0);
    // Opens the window and runs one discovery to its end.
    void OpenAndDiscover()
    {
        Open();
        Discover(6000);
    }

    // The cells a reply fills (columns 0 to 5), row by row as shown.
    Rows Cells() const;
    // The Interface column, row by row as shown.
    std::vector<std::string> Interfaces() const;
    // Mouse on a row as shown (-1: the empty part below the rows).
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {});
    void DoubleClickRow(int row);
    void RightClickRow(int row);
    // The menu that is open, or null.
    QMenu* OpenMenu() const;
    // Chooses the open menu's entry of that text with the keyboard; Escape
    // for an empty text.
    void Choose(const QString& text);
    void Key(int key, Qt::KeyboardModifiers modifiers = {});
    // The device of each selected row / the current row, as record indices.
    std::vector<int> Selected() const { return List().SelectedRows(); }

    UrlRecorder urls;
    std::unique_ptr<CDeviceListDlg> window;
};

} // namespace pemblor
