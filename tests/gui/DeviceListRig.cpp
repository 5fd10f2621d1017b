#include "tests/gui/DeviceListRig.h"

#include "common/DeviceColumns.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QTest>

namespace pemblor {

UrlRecorder::UrlRecorder()
{
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Open");
}

UrlRecorder::~UrlRecorder()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

DeviceListRig::~DeviceListRig()
{
    // The window first: its receive thread calls into the loop.
    window.reset();
}

CDeviceListDlg& DeviceListRig::Open()
{
    window = std::make_unique<CDeviceListDlg>(loop, clock, *tool, config);
    window->show();
    window->activateWindow();
    (void)QTest::qWaitForWindowExposed(window.get());
    Settle();
    return *window;
}

QPushButton& DeviceListRig::Button(const char* name) const
{
    auto* button = Find<QPushButton>(name);
    if (!button)
        throw std::runtime_error(std::string("no button ") + name);
    return *button;
}

void DeviceListRig::Click(const char* name)
{
    QWidget* widget = Find(name);
    if (!widget)
        throw std::runtime_error(std::string("no widget ") + name);
    QTest::mouseClick(widget, Qt::LeftButton);
    Settle();
}

void DeviceListRig::Discover(Millis ms)
{
    Click("IDC_BTN_DISCOVER");
    Advance(ms);
}

DeviceListRig::Rows DeviceListRig::Cells() const
{
    const QAbstractItemModel& model = *List().model();
    Rows rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        rows.emplace_back();
        for (int column = 0; column < 6; ++column)
            rows.back().push_back(model.index(row, column).data().toString().toStdString());
    }
    return rows;
}

std::vector<std::string> DeviceListRig::Interfaces() const
{
    const QAbstractItemModel& model = *List().model();
    std::vector<std::string> names;
    for (int row = 0; row < model.rowCount(); ++row)
        names.push_back(
            model.index(row, static_cast<int>(DeviceColumn::Interface)).data().toString().toStdString());
    return names;
}

namespace {

QPoint RowPoint(const DeviceTableView& view, int row)
{
    if (row < 0)
        return view.viewport()->rect().bottomLeft() + QPoint(5, -5);
    return view.visualRect(view.model()->index(row, 1)).center();
}

} // namespace

void DeviceListRig::ClickRow(int row, Qt::KeyboardModifiers modifiers)
{
    QTest::mouseClick(List().viewport(), Qt::LeftButton, modifiers, RowPoint(List(), row));
    Settle();
}

void DeviceListRig::DoubleClickRow(int row)
{
    QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, RowPoint(List(), row));
    Settle();
}

void DeviceListRig::RightClickRow(int row)
{
    QTest::mouseClick(List().viewport(), Qt::RightButton, {}, RowPoint(List(), row));
    Settle();
}

QMenu* DeviceListRig::OpenMenu() const
{
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

void DeviceListRig::Choose(const QString& text)
{
    QMenu* menu = OpenMenu();
    if (!menu)
        throw std::runtime_error("no menu open");
    if (text.isEmpty()) {
        QTest::keyClick(menu, Qt::Key_Escape);
    } else {
        for (QAction* action : menu->actions())
            if (action->text() == text)
                menu->setActiveAction(action);
        QTest::keyClick(menu, Qt::Key_Return);
    }
    Settle();
}

void DeviceListRig::Key(int key, Qt::KeyboardModifiers modifiers)
{
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : window.get(), static_cast<Qt::Key>(key), modifiers);
    Settle();
}

} // namespace pemblor
