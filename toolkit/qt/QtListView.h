#pragma once
#include "toolkit/IDialogHandler.h"

#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QTreeView>

#include <functional>
#include <optional>
#include <vector>

namespace pemblor {

class QtDeviceSortProxy;
class QtDeviceTableModel;

// The device table's view over its model, sorted and filtered by a proxy: a
// heading click sorts (a second one reverses), several rows can be selected.
// It keeps the selection mark: the current row as the user selected it last,
// which stays with its device when rows move; deselecting (a click on an
// empty part included) keeps it, clearing the model resets it. Mouse clicks
// anywhere in the rows' area are reported after the view has acted on them;
// a right click selects the row under the cursor first. A key that changes
// the selection is reported as a selection change; the Menu key and
// Shift+F10 as a right click, with MenuAnchor() telling where the menu
// belongs meanwhile.
class QtListView final : public QTreeView {
    Q_OBJECT
public:
    explicit QtListView(QWidget* parent);

    QtDeviceTableModel& Model() const { return *m_pModel; }
    QtDeviceSortProxy& Proxy() const { return *m_pProxy; }
    // Record indices (rows of the model).
    int SelectionMark() const;
    std::vector<int> SelectedRows() const;
    std::vector<int> ShownRows() const;
    void SetNotifyCallback(std::function<void(pemblor::Notify)> notify) { m_notify = std::move(notify); }
    // Gives the columns their first widths, fitted to their headings and
    // widest values in the view's font.
    void FitColumns();
    std::optional<QPoint> MenuAnchor() const { return m_menuAnchor; }
    QSize sizeHint() const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // The copy key goes to the window (Notify::Copy) instead of copying the
    // current cell.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnSelectionChanged(const QItemSelection& selected);
    void Report(pemblor::Notify code);

    QtDeviceTableModel* m_pModel;
    QtDeviceSortProxy* m_pProxy;
    QPersistentModelIndex m_mark; // in the proxy
    std::function<void(pemblor::Notify)> m_notify;
    std::optional<QPoint> m_menuAnchor;
    bool m_bSkipNextClick = false;
};

// The table's Filter field: Escape clears it (and closes nothing).
class QtFilterEdit final : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace pemblor
