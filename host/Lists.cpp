// The pointer list: a vector with the host's index checks and notifications.
#include "host/Lists.h"

#include "host/Exceptions.h"

#include <algorithm>
#include <string>

namespace host {

void TList::CheckIndex(int32_t index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TList::Notify(void*, TListNotification) {}

int32_t TList::Add(void* item) {
    const int32_t index = Count();
    FList.push_back(item);
    if (item) Notify(item, lnAdded);
    return index;
}

void TList::Insert(int32_t index, void* item) {
    if (index < 0 || index > Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    FList.insert(FList.begin() + index, item);
    if (item) Notify(item, lnAdded);
}

void TList::Delete(int32_t index) {
    CheckIndex(index);
    void* item = FList[static_cast<size_t>(index)];
    FList.erase(FList.begin() + index);
    if (item) Notify(item, lnDeleted);
}

int32_t TList::Remove(void* item) {
    const int32_t index = IndexOf(item);
    if (index >= 0) Delete(index);
    return index;
}

void* TList::Extract(void* item) {
    const int32_t index = IndexOf(item);
    if (index < 0) return nullptr;
    void* result = FList[static_cast<size_t>(index)];
    FList.erase(FList.begin() + index);
    Notify(result, lnExtracted);
    return result;
}

int32_t TList::IndexOf(void* item) const {
    auto it = std::find(FList.begin(), FList.end(), item);
    return it == FList.end() ? -1 : static_cast<int32_t>(it - FList.begin());
}

void TList::Clear() {
    SetCount(0);
    std::vector<void*>().swap(FList);
}

void TList::SetCount(int32_t value) {
    if (value < 0) throw EListError("List count out of bounds (" + std::to_string(value) + ")");
    while (Count() > value)
        Delete(Count() - 1);
    FList.resize(static_cast<size_t>(value), nullptr);
}

void TList::SetCapacity(int32_t value) {
    if (value < Count()) throw EListError("List capacity out of bounds (" + std::to_string(value) + ")");
    if (static_cast<size_t>(value) > FList.capacity()) {
        FList.reserve(static_cast<size_t>(value));
    } else if (static_cast<size_t>(value) < FList.capacity()) {
        std::vector<void*> smaller;
        smaller.reserve(static_cast<size_t>(value));
        smaller.assign(FList.begin(), FList.end());
        FList.swap(smaller);
    }
}

void* TList::Items(int32_t index) const {
    CheckIndex(index);
    return FList[static_cast<size_t>(index)];
}

void TList::SetItems(int32_t index, void* item) {
    CheckIndex(index);
    void* old = FList[static_cast<size_t>(index)];
    if (old == item) return;
    FList[static_cast<size_t>(index)] = item;
    if (old) Notify(old, lnDeleted);
    if (item) Notify(item, lnAdded);
}

void TList::Exchange(int32_t index1, int32_t index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(FList[static_cast<size_t>(index1)], FList[static_cast<size_t>(index2)]);
}

void TList::Move(int32_t curIndex, int32_t newIndex) {
    if (curIndex == newIndex) return;
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    void* item = FList[static_cast<size_t>(curIndex)];
    FList.erase(FList.begin() + curIndex);
    FList.insert(FList.begin() + newIndex, item);
}

void TList::Pack() {
    FList.erase(std::remove(FList.begin(), FList.end(), nullptr), FList.end());
}

void TList::Sort(TListSortCompare compare) {
    if (!compare || FList.size() < 2) return;
    // A merge sort never leaves the range, whatever the comparison answers.
    std::stable_sort(FList.begin(), FList.end(), [compare](void* a, void* b) { return compare(a, b) < 0; });
}

} // namespace host
