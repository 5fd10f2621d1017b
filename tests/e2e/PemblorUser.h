#pragma once
#include "UiDriver.h"

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <chrono>
#include <string>
#include <vector>

namespace e2e {

using std::chrono::milliseconds;

inline const QString kMainTitle = QStringLiteral("Quarnel Access Point Configuration Tool");
inline const QString kSetupIpTitle = QStringLiteral("Setup IP Address");

struct MessageBoxSeen {
    QString text;
    QString title;
    QString ownerTitle; // caption of the window that owns the box
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // texts without '&', in the box's order
    milliseconds waited{0};
};

struct TableSeen {
    QStringList headings;
    std::vector<QStringList> rows;
    // Per row: the tool tip of the cell that carries a warning icon, and
    // that cell's column; empty and -1 where none does.
    std::vector<QString> warnings;
    std::vector<int> warnedColumns;
    // Per row: the tool tip of a greyed row (the live view's silence), empty
    // where the row is drawn as usual.
    std::vector<QString> greyed;

    // The first row whose `column` holds `text`, or -1.
    int Find(int column, const QString& text) const;
    std::string Describe() const;
};

// What a user of the tool sees and does, in the terms of its windows:
// windows by caption, controls by control id, the device table by row.
// Every input waits first until its target is there and enabled, as a user
// would, and fails the step when it does not come.
class PemblorUser final {
public:
    explicit PemblorUser(UiDriver& ui) : m_ui(ui) {}
    PemblorUser(const PemblorUser&) = delete;
    PemblorUser& operator=(const PemblorUser&) = delete;

    UiDriver& Ui() { return m_ui; }

    milliseconds WaitForWindow(const QString& title, milliseconds timeout);
    milliseconds WaitUntilClosed(const QString& title, milliseconds timeout);
    bool IsShown(const QString& title);

    bool IsEnabled(const QString& window, const char* id);
    bool IsChecked(const QString& window, const char* id);
    QString Text(const QString& window, const char* id);
    // Waits until the static text `id` starts with `prefix`; returns its text.
    QString WaitForLabel(const QString& window, const char* id, const QString& prefix, milliseconds timeout);
    // The four fields of an address control joined by dots, blanks as "".
    QString Address(const QString& window, const char* id);
    milliseconds WaitEnabled(const QString& window, const char* id, bool enabled, milliseconds timeout);
    void Click(const QString& window, const char* id);
    // A key pressed while `window` is active: it goes to the window's focus.
    void PressKey(const QString& window, Qt::Key key, Qt::KeyboardModifiers modifiers = {});
    // Text (ASCII) typed while `window` is active, into the window's focus.
    void TypeKeys(const QString& window, const QString& text);
    // Presses Tab until control `id` holds the focus; fails when it does not
    // after `presses` presses.
    void TabTo(const QString& window, const char* id, int presses = 12);
    // Replaces the text of an edit by typing.
    void Type(const QString& window, const char* id, const QString& text);
    // Replaces one field (0 leftmost) of an address control by typing.
    void TypeAddressField(const QString& window, const char* id, int field, const QString& text);

    TableSeen Table();
    int RowCount();
    milliseconds WaitForRows(int count, milliseconds timeout);
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {});
    void DoubleClickRow(int row);
    void RightClickRow(int row);
    // The items of the pop-up menu once it is open.
    QStringList WaitForMenu(milliseconds timeout);
    void ChooseMenuItem(const QString& text);
    // Waits for a file dialog and chooses `path` in it.
    void AnswerSaveFile(const std::string& path, milliseconds timeout = milliseconds(3000));

    MessageBoxSeen WaitForMessageBox(milliseconds timeout);
    bool IsMessageBoxShown();
    // Presses the button of the message box on top and waits until it is gone.
    void Answer(QMessageBox::StandardButton button);
    // Presses a key on the message box on top and waits until it is gone.
    void AnswerByKey(Qt::Key key);

    // Windows, boxes and the device table as they stand, for failure reports.
    std::string Describe();

private:
    UiDriver& m_ui;
};

} // namespace e2e
