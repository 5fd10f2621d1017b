#pragma once
#include "toolkit/IDialogHandler.h"

#include <QPersistentModelIndex>
#include <QTreeView>

#include <functional>
#include <optional>
#include <vector>

namespace pemblor {

class QtListModel;

// Report-style view over a QtListModel. It keeps the selection mark: the row
// the user selected last; deselecting (a click on an empty part included)
// keeps it, clearing the model resets it. Mouse clicks anywhere in the rows'
// area are reported after the view has acted on them; a right click selects
// the row under the cursor first. The rows the user selected now are
// SelectedRows(); the selection may be empty while the mark stays. A key that
// selects a row is reported as a selection change; the Menu key and Shift+F10 as a right click, with
// MenuAnchor() telling where the menu belongs meanwhile.
class QtListView final : public QTreeView {
    Q_OBJECT
public:
    explicit QtListView(QWidget* parent);

    QtListModel& Model() const { return *m_pModel; }
    int SelectionMark() const { return m_mark.isValid() ? m_mark.row() : -1; }
    std::vector<int> SelectedRows() const;
    void SetNotifyCallback(std::function<void(pemblor::Notify)> notify) { m_notify = std::move(notify); }

    // See IListCtrl::FitColumn.
    void FitColumn(int column, const QString& widestValue, bool withMark);
    // The outer width that shows every column in full, with room for the
    // vertical scroll bar that many rows bring.
    int WantedOuterWidth() const;
    // While a menu key is being reported: the screen point below the current
    // row's first cell, where its menu opens.
    std::optional<QPoint> MenuAnchor() const { return m_menuAnchor; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // The copy key goes to the window (Notify::Copy) instead of copying the
    // current cell.
    void keyPressEvent(QKeyEvent* event) override;

private:
    // `text` with each digit replaced by the font's widest digit and each
    // letter A-F by its widest hexadecimal digit.
    QString WidestSpelling(const QString& text) const;
    void OnSelectionChanged(const QItemSelection& selected);
    void Report(pemblor::Notify code);

    QtListModel* m_pModel;
    QPersistentModelIndex m_mark;
    std::function<void(pemblor::Notify)> m_notify;
    std::optional<QPoint> m_menuAnchor;
    bool m_bSkipNextClick = false;
};

} // namespace pemblor
