#pragma once
#include "toolkit/IListCtrl.h"

#include <QPointer>

namespace pemblor {

class QtListView;

// Device table adapter over a QtListView; the window owns both.
class QtListCtrl final : public IListCtrl {
public:
    explicit QtListCtrl(QtListView* view) : m_pView(view) {}
    QtListCtrl(const QtListCtrl&) = delete;
    QtListCtrl& operator=(const QtListCtrl&) = delete;

    void ShowDevices(const DeviceRegistry& registry, std::function<Millis()> now) override;
    bool HasColumns() const override;
    void DevicesAdded(int count) override;
    void DevicesChanged(int first, int last) override;
    void DeleteAllItems() override;
    void SetItemWarning(int device, std::string_view reason) override;
    void SetStaleAfter(std::optional<Millis> staleAfter) override;
    void RefreshLastSeen() override;
    int GetItemCount() const override;
    int GetSelectionMark() const override;
    std::vector<int> GetSelectedRows() const override;
    std::vector<int> GetShownRows() const override;

private:
    QPointer<QtListView> m_pView;
};

} // namespace pemblor
