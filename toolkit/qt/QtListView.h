#pragma once
#include "toolkit/IDialogHandler.h"

#include <QPersistentModelIndex>
#include <QTreeView>

#include <functional>

namespace pemblor {

class QtListModel;

// Report-style view over a QtListModel. It keeps the selection mark: the row
// the user selected last; deselecting (a click on an empty part included)
// keeps it, clearing the model resets it. Mouse clicks anywhere in the rows'
// area are reported after the view has acted on them; a right click selects
// the row under the cursor first.
class QtListView final : public QTreeView {
    Q_OBJECT
public:
    explicit QtListView(QWidget* parent);

    QtListModel& Model() const { return *m_pModel; }
    int SelectionMark() const { return m_mark.isValid() ? m_mark.row() : -1; }
    void SetNotifyCallback(std::function<void(pemblor::Notify)> notify) { m_notify = std::move(notify); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void OnSelectionChanged(const QItemSelection& selected);
    void Report(pemblor::Notify code);

    QtListModel* m_pModel;
    QPersistentModelIndex m_mark;
    std::function<void(pemblor::Notify)> m_notify;
    bool m_bSkipNextClick = false;
};

} // namespace pemblor
