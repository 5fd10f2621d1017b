#pragma once
#include "resources/DialogTemplate.h"
#include "toolkit/IWindow.h"

#include <QDialog>

#include <map>
#include <memory>
#include <vector>

class QAction;
class QVBoxLayout;

namespace pemblor {

class IDialogHandler;
class QtButton;
class QtCheckBox;
class QtEdit;
class QtIpAddressAdapter;
class QtListCtrl;
class QtListView;
enum class Notify;

// A dialog built from a layout template and laid out by Qt's layouts in the
// template's order (see ControlTemplate), which is also the tab order; the
// device table brings its Filter field (Ctrl+F) and the count of the rows
// it shows. A template with a minimum size makes a window the user can
// resize and maximise; the others keep the size their controls need.
//
// Controls with an id are named "id<id>" (objectName) and carry their text
// without '&' as accessible name; a control labelled by a static text takes
// that text, without its colon, as accessible name. Id-less controls
// (statics, group boxes, icons) have no object name. The device list is
// named "Devices".
//
// The window ends only through End(): Escape, the Cancel button (id 2) and
// reject() go to the handler's OnCancel, the close box and Alt+F4 to its
// OnClose, every other push button and the check box to OnCommand(id).
class QtWindow final : public QDialog, public IWindow {
    Q_OBJECT
public:
    QtWindow(const DialogTemplate& layout, IDialogHandler& handler, QWidget* owner);
    ~QtWindow() override;

    IButton* Button(int id) override;
    IEdit* Edit(int id) override;
    ICheckBox* CheckBox(int id) override;
    IIpAddressCtrl* IpAddress(int id) override;
    IListCtrl* List(int id) override;
    void SetFocus(int id) override;
    void SetItemText(int id, const std::string& text) override;
    void SetDescription(const std::string& text) override { setAccessibleDescription(QString::fromStdString(text)); }

    int TemplateId() const { return m_nTemplateId; }
    QWidget* Control(int id) const;
    static QString ControlName(int id);

    // A resizable window takes the size its contents want (within the
    // screen), once they are filled in.
    void FitToContents();
    // The default focus: the default push button when it is enabled, else
    // the first enabled tab stop in template order.
    void FocusFirstTabStop();
    void End(int result);
    bool IsEnded() const { return m_bEnded; }
    int Result() const { return m_nResult; }
    // A close request, handled like the close box.
    void RequestClose();
    unsigned SetTimer(unsigned id, unsigned periodMs);
    void KillTimer(unsigned id);
    // Offered in the background context menu; the first one also by Ctrl+F1.
    void AddSystemCommand(unsigned commandId, const QString& text);
    // After this the handler hears nothing more.
    void Detach() { m_bDetached = true; }

public slots:
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CreateControl(const ControlTemplate& control);
    void Arrange(const DialogTemplate& layout);
    void ArrangeList(QVBoxLayout& top, QtListView& view, std::vector<QWidget*>& tabOrder);
    bool IsLabelled(int id) const;
    QSize ScreenRoom() const;
    void OnButtonClicked(int id);
    void OnNotify(int id, Notify code);

    IDialogHandler& m_handler;
    int m_nTemplateId;
    std::vector<std::pair<const ControlTemplate*, QWidget*>> m_widgets; // template order
    QSize m_minimum; // invalid: the window keeps the size its controls need
    std::map<int, std::unique_ptr<QtButton>> m_buttons;
    std::map<int, std::unique_ptr<QtEdit>> m_edits;
    std::map<int, std::unique_ptr<QtCheckBox>> m_checkBoxes;
    std::map<int, std::unique_ptr<QtIpAddressAdapter>> m_ipAddresses;
    std::map<int, std::unique_ptr<QtListCtrl>> m_lists;
    std::map<int, QWidget*> m_controls;
    std::vector<QWidget*> m_tabStops;
    std::map<unsigned, int> m_timers; // our id -> QObject timer id
    std::vector<QAction*> m_systemCommands;
    int m_nResult = 0;
    bool m_bEnded = false;
    bool m_bDetached = false;
};

} // namespace pemblor
