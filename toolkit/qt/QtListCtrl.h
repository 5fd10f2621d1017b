#pragma once
#include "toolkit/IListCtrl.h"

#include <QPointer>

namespace pemblor {

class QtListView;

// List adapter over a QtListView; the window owns both.
class QtListCtrl final : public IListCtrl {
public:
    explicit QtListCtrl(QtListView* view) : m_pView(view) {}
    QtListCtrl(const QtListCtrl&) = delete;
    QtListCtrl& operator=(const QtListCtrl&) = delete;

    int InsertColumn(int index, const std::string& heading, int widthPixels) override;
    int GetColumnCount() const override;
    void FitColumn(int column, std::string_view widestValue, bool withMark) override;
    void SetFullRowSelect() override;
    void DeleteAllItems() override;
    int InsertItem(int index, std::string_view text) override;
    void SetItemText(int row, int column, std::string_view text) override;
    void SetItemWarning(int row, int column, std::string_view reason) override;
    std::string GetItemText(int row, int column) const override;
    int GetItemCount() const override;
    int GetSelectionMark() const override;
    std::vector<int> GetSelectedRows() const override;
    void RedrawItem(int row) override;
    int GetOuterWidth() const override;
    void SetRedraw(bool redraw) override;

private:
    QPointer<QtListView> m_pView;
};

} // namespace pemblor
