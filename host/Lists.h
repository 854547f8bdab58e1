// The host framework's list of untyped pointers. It owns nothing it points
// to; owning collections built on it free their items themselves.
#pragma once

#include "host/Classes.h"

#include <cstdint>
#include <vector>

namespace host {

enum TListNotification : uint8_t { lnAdded, lnExtracted, lnDeleted };

// Orders two items: negative, zero or positive.
using TListSortCompare = int (*)(void* item1, void* item2);

// Every operation taking an index raises EListError
// "List index out of bounds (<index>)" when the index is outside the list
// (Insert also accepts Count).
class TList : public TObject {
public:
    TList() = default;
    ~TList() override = default;

    int32_t Add(void* item);                // returns the new item's index
    void Insert(int32_t index, void* item); // 0..Count
    void Delete(int32_t index);
    int32_t Remove(void* item);        // index the first match had, or -1
    void* Extract(void* item);         // removes the first match; returns it, or null
    int32_t IndexOf(void* item) const; // first match or -1
    void Clear();

    int32_t Count() const noexcept { return static_cast<int32_t>(FList.size()); }
    // Shrinking drops the last items; growing appends nulls.
    void SetCount(int32_t value);
    int32_t Capacity() const noexcept { return static_cast<int32_t>(FList.capacity()); }
    // EListError "List capacity out of bounds (<value>)" below Count.
    void SetCapacity(int32_t value);

    void* Items(int32_t index) const;
    void SetItems(int32_t index, void* item);
    void* First() const { return Items(0); }
    void* Last() const { return Items(Count() - 1); }

    void Exchange(int32_t index1, int32_t index2);
    // Takes the item at CurIndex out and inserts it at NewIndex.
    void Move(int32_t curIndex, int32_t newIndex);
    // Removes every null item.
    void Pack();
    // Stable sort; an inconsistent Compare gives some order, never a crash.
    void Sort(TListSortCompare compare);

    // Raw access for fast loops; valid until the list changes.
    void* const* List() const noexcept { return FList.data(); }

protected:
    // Told of every item added, extracted or deleted (null items excepted).
    virtual void Notify(void* item, TListNotification action);

private:
    void CheckIndex(int32_t index) const;
    std::vector<void*> FList;
};

} // namespace host
