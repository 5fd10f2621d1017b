#pragma once
#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QTreeView>

#include <vector>

namespace pemblor {

// The device table's view over a sort and filter proxy of the table's
// model: a heading click sorts (a second one reverses), several rows can be
// selected. It keeps the selection mark, the current row as the user
// selected it last, which stays with its device when rows move; deselecting
// (a click on an empty part included) keeps it, a reset of the model clears
// it. Rows are named by their row in the source model.
//
// Signals, each after the view has acted on the input: rowClicked for a
// left click anywhere in the rows' area and for a key that changed the
// selection; rowDoubleClicked; menuRequested, at the pointer for a right
// click (which selects the row under it first) and at the current row for
// the Menu key or Shift+F10; copyRequested for the copy key.
class DeviceTableView final : public QTreeView {
    Q_OBJECT
public:
    explicit DeviceTableView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    // Source rows: the current row's (-1: none), the selected rows' and
    // the shown rows', top to bottom.
    int SelectionMark() const;
    std::vector<int> SelectedRows() const;
    std::vector<int> ShownRows() const;
    // Gives the columns their first widths, fitted to their headings and
    // widest values in the view's font.
    void FitColumns();
    QSize sizeHint() const override;

signals:
    void rowClicked();
    void rowDoubleClicked();
    void menuRequested(const QPoint& globalPos);
    void copyRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int SourceRow(int row) const;
    void OnSelectionChanged(const QItemSelection& selected);

    QPersistentModelIndex m_mark; // in the proxy
    bool m_bSkipNextClick = false;
};

// The table's Filter field: Escape clears it (and closes nothing).
class FilterEdit final : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace pemblor
