#include "PemblorUser.h"

#include "gui/QtIpAddressCtrl.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTextDocument>

#include <utility>

namespace e2e {
namespace {

using namespace std::chrono_literals;

// Marks a message box that has been answered, so that a box shown right
// after it (possibly at the same address) is not taken for it.
constexpr const char* kAnsweredProperty = "e2eAnswered";

QString Plain(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// ---- Looks, on the user-interface thread ----

bool IsPlainWindow(const QWidget* widget)
{
    return !qobject_cast<const QMessageBox*>(widget) && !qobject_cast<const QMenu*>(widget);
}

QWidget* FindWindow(const QString& title)
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && IsPlainWindow(widget) && widget->windowTitle() == title)
            return widget;
    return nullptr;
}

template <typename T = QWidget>
T* FindControl(const QString& window, const char* id)
{
    QWidget* found = FindWindow(window);
    return found ? found->findChild<T*>(QString::fromLatin1(id)) : nullptr;
}

QAbstractItemView* DeviceTable()
{
    return FindControl<QAbstractItemView>(kMainTitle, "IDC_LIST_DEVICES");
}

QMessageBox* TopMessageBox()
{
    auto* modal = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (modal && modal->isVisible() && !modal->property(kAnsweredProperty).toBool())
        return modal;
    QMessageBox* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && !box->property(kAnsweredProperty).toBool())
            found = box;
    }
    return found;
}

QMessageBox* AnsweredMessageBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->property(kAnsweredProperty).toBool())
            return box;
    }
    return nullptr;
}

QMenu* OpenMenu()
{
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    return menu && menu->isVisible() ? menu : nullptr;
}

QPoint RowCentre(QAbstractItemView* view, int row)
{
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    return view->visualRect(index).center();
}

void WaitForRow(UiDriver& ui, int row)
{
    ui.WaitFor("row " + std::to_string(row) + " listed", 2s, [row] {
        const QAbstractItemView* view = DeviceTable();
        return view && view->model()->rowCount() > row;
    });
}

QString Quoted(const QString& text)
{
    QString shown = text;
    shown.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

} // namespace

int TableSeen::Find(int column, const QString& text) const
{
    for (std::size_t row = 0; row < rows.size(); ++row)
        if (column < rows[row].size() && rows[row][column] == text)
            return static_cast<int>(row);
    return -1;
}

std::string TableSeen::Describe() const
{
    std::string out = "  columns: " + headings.join(QStringLiteral(" | ")).toStdString() + "\n";
    for (const QStringList& row : rows) {
        QStringList cells;
        for (const QString& cell : row)
            cells << (cell.size() > 40 ? cell.left(37) + QStringLiteral("...") : cell);
        const std::size_t index = static_cast<std::size_t>(&row - rows.data());
        if (index < warnedColumns.size() && warnedColumns[index] >= 0)
            cells << QStringLiteral("[warning on column %1: %2]").arg(warnedColumns[index]).arg(warnings[index]);
        out += "  row: " + cells.join(QStringLiteral(" | ")).toStdString() + "\n";
    }
    return out;
}

// ---- Windows and controls ----

milliseconds PemblorUser::WaitForWindow(const QString& title, milliseconds timeout)
{
    return m_ui.WaitFor("window \"" + title.toStdString() + "\" shown", timeout,
                        [title] { return FindWindow(title) != nullptr; });
}

milliseconds PemblorUser::WaitUntilClosed(const QString& title, milliseconds timeout)
{
    return m_ui.WaitFor("window \"" + title.toStdString() + "\" closed", timeout,
                        [title] { return FindWindow(title) == nullptr; });
}

bool PemblorUser::IsShown(const QString& title)
{
    return m_ui.Query([&] { return FindWindow(title) != nullptr; });
}

bool PemblorUser::IsEnabled(const QString& window, const char* id)
{
    const auto state = m_ui.Query([&] {
        const QWidget* control = FindControl(window, id);
        return std::pair{control != nullptr, control && control->isEnabled()};
    });
    Expect(state.first, "control " + std::string(id) + " of \"" + window.toStdString() + "\" exists");
    return state.second;
}

bool PemblorUser::IsChecked(const QString& window, const char* id)
{
    const auto state = m_ui.Query([&] {
        const auto* box = FindControl<QAbstractButton>(window, id);
        return std::pair{box != nullptr, box && box->isChecked()};
    });
    Expect(state.first, "check box " + std::string(id) + " exists");
    return state.second;
}

QString PemblorUser::Text(const QString& window, const char* id)
{
    const auto state = m_ui.Query([&] {
        const auto* edit = FindControl<QLineEdit>(window, id);
        return std::pair{edit != nullptr, edit ? edit->text() : QString()};
    });
    Expect(state.first, "edit " + std::string(id) + " exists");
    return state.second;
}

QString PemblorUser::WaitForLabel(const QString& window, const char* id, const QString& prefix, milliseconds timeout)
{
    QString seen;
    m_ui.WaitFor("text \"" + prefix.toStdString() + "\" in control " + std::string(id), timeout, [&] {
        const auto* label = FindControl<QLabel>(window, id);
        seen = label ? label->text() : QString();
        return seen.startsWith(prefix);
    });
    return seen;
}

QString PemblorUser::Address(const QString& window, const char* id)
{
    const auto state = m_ui.Query([&] {
        const auto* address = FindControl<pemblor::QtIpAddressCtrl>(window, id);
        QStringList fields;
        for (int field = 0; address && field < 4; ++field)
            fields << address->Field(field)->text();
        return std::pair{address != nullptr, fields.join(QLatin1Char('.'))};
    });
    Expect(state.first, "address control " + std::string(id) + " exists");
    return state.second;
}

milliseconds PemblorUser::WaitEnabled(const QString& window, const char* id, bool enabled, milliseconds timeout)
{
    return m_ui.WaitFor("control " + std::string(id) + " of \"" + window.toStdString() + "\" " +
                            (enabled ? "enabled" : "disabled"),
                        timeout, [&] {
                            QWidget* control = FindControl(window, id);
                            return control && control->isVisible() && control->isEnabled() == enabled;
                        });
}

void PemblorUser::Click(const QString& window, const char* id)
{
    WaitEnabled(window, id, true, 5s);
    m_ui.Post([window, id] {
        if (QWidget* control = FindControl(window, id))
            QTest::mouseClick(control, Qt::LeftButton);
    });
}

void PemblorUser::PressKey(const QString& window, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    WaitForWindow(window, 5s);
    m_ui.Post([window, key, modifiers] {
        if (QWidget* target = FindWindow(window))
            QTest::keyClick(target->focusWidget() ? target->focusWidget() : target, key, modifiers);
    });
}

void PemblorUser::TypeKeys(const QString& window, const QString& text)
{
    WaitForWindow(window, 5s);
    m_ui.Post([window, text] {
        // Key by key to wherever the focus is then, as the keyboard does.
        for (const QChar c : text) {
            if (QWidget* target = FindWindow(window))
                QTest::keyClick(target->focusWidget() ? target->focusWidget() : target, c.toLatin1());
        }
    });
}

void PemblorUser::TabTo(const QString& window, const char* id, int presses)
{
    WaitEnabled(window, id, true, 5s);
    for (int pressed = 0;; ++pressed) {
        // Tab opens no modal loop, so it may be pressed inside the look.
        const bool there = m_ui.Query([&] {
            QWidget* control = FindControl(window, id);
            QWidget* focus = control ? control->window()->focusWidget() : nullptr;
            if (!focus || focus == control || control->isAncestorOf(focus))
                return focus != nullptr;
            if (pressed < presses)
                QTest::keyClick(focus, Qt::Key_Tab);
            return false;
        });
        if (there)
            return;
        Expect(pressed < presses, "Tab reaches control " + std::string(id) + " of \"" + window.toStdString() +
                                      "\" within " + std::to_string(presses) + " presses");
    }
}

void PemblorUser::Type(const QString& window, const char* id, const QString& text)
{
    WaitEnabled(window, id, true, 5s);
    m_ui.Post([window, id, text] {
        auto* edit = FindControl<QLineEdit>(window, id);
        if (!edit)
            return;
        edit->setFocus(Qt::MouseFocusReason);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    });
    m_ui.WaitFor("edit " + std::string(id) + " reads \"" + text.toStdString() + "\"", 2s,
                 [&] {
                     const auto* edit = FindControl<QLineEdit>(window, id);
                     return edit && edit->text() == text;
                 });
}

void PemblorUser::TypeAddressField(const QString& window, const char* id, int field, const QString& text)
{
    WaitEnabled(window, id, true, 5s);
    m_ui.Post([window, id, field, text] {
        auto* address = FindControl<pemblor::QtIpAddressCtrl>(window, id);
        if (!address)
            return;
        QLineEdit* edit = address->Field(field);
        edit->setFocus(Qt::MouseFocusReason);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    });
    m_ui.WaitFor("field " + std::to_string(field) + " of address control " + std::string(id) + " reads " +
                     text.toStdString(),
                 2s, [&] {
                     auto* address = FindControl<pemblor::QtIpAddressCtrl>(window, id);
                     return address && address->Field(field)->text() == text;
                 });
}

// ---- The device table ----

TableSeen PemblorUser::Table()
{
    const auto state = m_ui.Query([] {
        TableSeen table;
        const QAbstractItemView* view = DeviceTable();
        if (!view)
            return std::pair{false, table};
        const QAbstractItemModel* model = view->model();
        for (int column = 0; column < model->columnCount(); ++column)
            table.headings << model->headerData(column, Qt::Horizontal).toString();
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            QString warning;
            int warned = -1;
            for (int column = 0; column < model->columnCount(); ++column) {
                const QModelIndex cell = model->index(row, column);
                cells << model->data(cell).toString();
                if (warned < 0 && !model->data(cell, Qt::DecorationRole).isNull()) {
                    warned = column;
                    QTextDocument tip;
                    tip.setHtml(model->data(cell, Qt::ToolTipRole).toString());
                    warning = tip.toPlainText().simplified();
                }
            }
            const QModelIndex first = model->index(row, 1);
            table.greyed.push_back(model->data(first, Qt::ForegroundRole).isValid()
                                       ? model->data(first, Qt::ToolTipRole).toString()
                                       : QString());
            table.rows.push_back(cells);
            table.warnings.push_back(warning);
            table.warnedColumns.push_back(warned);
        }
        return std::pair{true, table};
    });
    Expect(state.first, "the device table is shown");
    return state.second;
}

int PemblorUser::RowCount()
{
    return m_ui.Query([] {
        QAbstractItemView* view = DeviceTable();
        return view ? view->model()->rowCount() : -1;
    });
}

milliseconds PemblorUser::WaitForRows(int count, milliseconds timeout)
{
    return m_ui.WaitFor(std::to_string(count) + " rows in the device table", timeout, [count] {
        QAbstractItemView* view = DeviceTable();
        return view && view->model()->rowCount() == count;
    });
}

void PemblorUser::ClickRow(int row, Qt::KeyboardModifiers modifiers)
{
    WaitForRow(m_ui, row);
    m_ui.Post([row, modifiers] {
        if (QAbstractItemView* view = DeviceTable())
            QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, RowCentre(view, row));
    });
}

void PemblorUser::DoubleClickRow(int row)
{
    WaitForRow(m_ui, row);
    m_ui.Post([row] {
        QAbstractItemView* view = DeviceTable();
        if (!view)
            return;
        // As the window system delivers a double click.
        const QPoint at = RowCentre(view, row);
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at);
    });
}

void PemblorUser::RightClickRow(int row)
{
    WaitForRow(m_ui, row);
    m_ui.Post([row] {
        if (QAbstractItemView* view = DeviceTable())
            QTest::mouseClick(view->viewport(), Qt::RightButton, {}, RowCentre(view, row));
    });
}

QStringList PemblorUser::WaitForMenu(milliseconds timeout)
{
    m_ui.WaitFor("a pop-up menu", timeout, [] { return OpenMenu() != nullptr; });
    return m_ui.Query([] {
        QStringList items;
        if (QMenu* menu = OpenMenu())
            for (const QAction* action : menu->actions())
                if (!action->isSeparator())
                    items << Plain(action->text());
        return items;
    });
}

void PemblorUser::ChooseMenuItem(const QString& text)
{
    WaitForMenu(2s);
    m_ui.Post([text] {
        QMenu* menu = OpenMenu();
        if (!menu)
            return;
        for (QAction* action : menu->actions())
            if (Plain(action->text()) == text)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    });
    m_ui.WaitFor("the pop-up menu closed", 2s, [] { return OpenMenu() == nullptr; });
}

void PemblorUser::AnswerSaveFile(const std::string& path, milliseconds timeout)
{
    const auto chooser = [] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible())
                return dialog;
        return static_cast<QFileDialog*>(nullptr);
    };
    m_ui.WaitFor("a file dialog", timeout, [&] { return chooser() != nullptr; });
    m_ui.Post([chooser, name = QString::fromStdString(path)] {
        if (QFileDialog* dialog = chooser()) {
            dialog->selectFile(name);
            static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, as Enter would
        }
    });
    m_ui.WaitFor("the file dialog closed", 3s, [&] { return chooser() == nullptr; });
}

// ---- Message boxes ----

MessageBoxSeen PemblorUser::WaitForMessageBox(milliseconds timeout)
{
    MessageBoxSeen seen;
    seen.waited = m_ui.WaitFor("a message box", timeout, [] { return TopMessageBox() != nullptr; });
    m_ui.Run([&] {
        const QMessageBox* box = TopMessageBox();
        if (!box)
            return;
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.icon = box->icon();
        seen.ownerTitle = box->parentWidget() ? box->parentWidget()->window()->windowTitle() : QString();
        for (const QAbstractButton* button : box->buttons())
            seen.buttons << Plain(button->text());
        seen.buttons.sort();
    });
    return seen;
}

bool PemblorUser::IsMessageBoxShown()
{
    return m_ui.Query([] { return TopMessageBox() != nullptr; });
}

void PemblorUser::Answer(QMessageBox::StandardButton button)
{
    // Nothing may throw on the user-interface thread: the verdict is drawn here.
    bool found = false;
    bool hasButton = false;
    m_ui.Run([&] {
        QMessageBox* box = TopMessageBox();
        found = box != nullptr;
        hasButton = found && box->button(button) != nullptr;
        if (hasButton)
            box->setProperty(kAnsweredProperty, true);
    });
    Expect(found, "a message box to answer");
    Expect(hasButton, "the message box has the button to press");
    m_ui.Post([button] {
        if (QMessageBox* box = AnsweredMessageBox())
            if (QAbstractButton* press = box->button(button))
                QTest::mouseClick(press, Qt::LeftButton);
    });
    m_ui.WaitFor("the answered message box closed", 3s, [] { return AnsweredMessageBox() == nullptr; });
}

void PemblorUser::AnswerByKey(Qt::Key key)
{
    bool found = false;
    m_ui.Run([&] {
        QMessageBox* box = TopMessageBox();
        found = box != nullptr;
        if (found)
            box->setProperty(kAnsweredProperty, true);
    });
    Expect(found, "a message box to answer");
    m_ui.Post([key] {
        if (QMessageBox* box = AnsweredMessageBox())
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, key);
    });
    m_ui.WaitFor("the message box answered by key closed", 3s, [] { return AnsweredMessageBox() == nullptr; });
}

std::string PemblorUser::Describe()
{
    return m_ui.Query([] {
        std::string out;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible())
                continue;
            out += "  ";
            out += widget->metaObject()->className();
            out += " " + Quoted(widget->windowTitle()).toStdString();
            if (auto* box = qobject_cast<QMessageBox*>(widget))
                out += " text " + Quoted(box->text()).toStdString();
            out += "\n";
        }
        if (QAbstractItemView* view = DeviceTable()) {
            const QAbstractItemModel* model = view->model();
            out += "  device table: " + std::to_string(model->rowCount()) + " rows, " +
                   std::to_string(model->columnCount()) + " columns\n";
        }
        return out.empty() ? std::string("  (no window shown)\n") : out;
    });
}

} // namespace e2e
