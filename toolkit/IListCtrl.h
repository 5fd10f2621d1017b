#pragma once
#include "engine/DeviceRegistry.h"

#include <functional>
#include <string_view>
#include <vector>

namespace pemblor {

// The device table: a view of a DeviceRegistry, one row per record, in the
// columns of common/DeviceColumns.h. The user sorts it (a heading click) and
// filters it (the Filter field); rows are named by their record's index in
// the registry, never by their place on screen, so a row keeps naming its
// device while rows move. User-interface thread only.
class IListCtrl {
public:
    using Millis = DeviceRecord::Millis;
    virtual ~IListCtrl() = default;

    // Shows `registry`, whose records the table reads while it paints;
    // `now` is the clock the Last seen column counts from. Both outlive the
    // table. Until then the table has no columns.
    virtual void ShowDevices(const DeviceRegistry& registry, std::function<Millis()> now) = 0;
    virtual bool HasColumns() const = 0;
    // The registry holds `count` records now: those past the rows shown so
    // far become rows (in their sorted place).
    virtual void DevicesAdded(int count) = 0;
    // Records `first` to `last` changed: their rows are read again (and move
    // to their sorted places).
    virtual void DevicesChanged(int first, int last) = 0;
    // The registry was cleared: no rows, no selection.
    virtual void DeleteAllItems() = 0;
    // Marks the IP Address cell of `device` with a warning icon whose tool
    // tip is `reason`; an empty reason takes the mark away.
    virtual void SetItemWarning(int device, std::string_view reason) = 0;
    // Live view: with `staleAfter`, a device not heard for that long is
    // greyed, with the time in its tool tip; every Last seen text is read
    // again. Nothing: no greying.
    virtual void SetStaleAfter(std::optional<Millis> staleAfter) = 0;
    virtual void RefreshLastSeen() = 0;

    virtual int GetItemCount() const = 0;
    // The device of the current row, or a negative value when there is none.
    virtual int GetSelectionMark() const = 0;
    // The devices of the selected rows, as shown (top to bottom); empty when
    // the user has deselected every row (the current row stays).
    virtual std::vector<int> GetSelectedRows() const = 0;
    // The devices of the rows the filter shows, top to bottom.
    virtual std::vector<int> GetShownRows() const = 0;
};

} // namespace pemblor
