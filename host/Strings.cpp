// String lists. Comparisons follow the host: AnsiCompareText ignoring case,
// AnsiCompareStr when case-sensitive.
#include "host/Strings.h"

#include "host/Exceptions.h"
#include "host/Streams.h"
#include "host/SysUtils.h"

#include <utility>

namespace host {

namespace {

// Ends an update block even when the work inside raised. Ending it tells the
// list's change handler, which may raise (a dataset whose SQL changed closes
// itself): End() lets that reach the caller, while the destructor, reached
// only when another error is on its way, ends the block quietly.
class TUpdateGuard {
public:
    explicit TUpdateGuard(TStrings& strings) : FStrings(&strings) { FStrings->BeginUpdate(); }
    ~TUpdateGuard() {
        if (FStrings == nullptr) return;
        try {
            FStrings->EndUpdate();
        } catch (...) {
        }
    }
    void End() {
        TStrings* strings = FStrings;
        FStrings = nullptr;
        strings->EndUpdate();
    }
    TUpdateGuard(const TUpdateGuard&) = delete;
    TUpdateGuard& operator=(const TUpdateGuard&) = delete;

private:
    TStrings* FStrings;
};

bool NeedsQuotes(const std::string& s) {
    for (char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= ' ' || c == '"' || c == ',') return true;
    }
    return false;
}

std::string Quoted(const std::string& s) {
    std::string result = "\"";
    for (char c : s) {
        if (c == '"') result += '"';
        result += c;
    }
    return result + '"';
}

bool IsBlank(char ch) {
    const unsigned char c = static_cast<unsigned char>(ch);
    return c >= 1 && c <= ' ';
}

} // namespace

// ---------------------------------------------------------------- TStrings

void TStrings::Error(const std::string& messagePrefix, int32_t index) {
    throw EStringListError(messagePrefix + " (" + std::to_string(index) + ")");
}

TObject* TStrings::GetObject(int32_t) const {
    return nullptr;
}

void TStrings::Put(int32_t index, const std::string& s) {
    TObject* object = GetObject(index);
    TUpdateGuard guard(*this);
    Delete(index);
    InsertObject(index, s, object);
    guard.End();
}

void TStrings::PutObject(int32_t, TObject*) {}

int32_t TStrings::CompareStrings(const std::string& s1, const std::string& s2) const {
    return AnsiCompareText(s1, s2);
}

int32_t TStrings::Add(const std::string& s) {
    const int32_t index = GetCount();
    Insert(index, s);
    return index;
}

int32_t TStrings::AddObject(const std::string& s, TObject* object) {
    const int32_t index = Add(s);
    PutObject(index, object);
    return index;
}

void TStrings::InsertObject(int32_t index, const std::string& s, TObject* object) {
    Insert(index, s);
    PutObject(index, object);
}

void TStrings::Exchange(int32_t index1, int32_t index2) {
    TUpdateGuard guard(*this);
    const std::string s1 = Get(index1);
    TObject* o1 = GetObject(index1);
    Put(index1, Get(index2));
    PutObject(index1, GetObject(index2));
    Put(index2, s1);
    PutObject(index2, o1);
    guard.End();
}

void TStrings::Move(int32_t curIndex, int32_t newIndex) {
    if (curIndex == newIndex) return;
    TUpdateGuard guard(*this);
    const std::string s = Get(curIndex);
    TObject* object = GetObject(curIndex);
    Delete(curIndex);
    InsertObject(newIndex, s, object);
    guard.End();
}

void TStrings::AddStrings(TStrings* strings) {
    if (!strings) return;
    // Copied first, so adding a list to itself (or to a sorted list) sees a fixed source.
    std::vector<std::pair<std::string, TObject*>> items;
    for (int32_t i = 0; i < strings->GetCount(); ++i)
        items.emplace_back(strings->Get(i), strings->GetObject(i));
    TUpdateGuard guard(*this);
    for (auto& [s, object] : items)
        AddObject(s, object);
    guard.End();
}

int32_t TStrings::IndexOf(const std::string& s) const {
    for (int32_t i = 0; i < GetCount(); ++i)
        if (CompareStrings(Get(i), s) == 0) return i;
    return -1;
}

int32_t TStrings::IndexOfName(const std::string& name) const {
    for (int32_t i = 0; i < GetCount(); ++i) {
        const std::string line = Get(i);
        const size_t eq = line.find('=');
        if (eq != std::string::npos && CompareStrings(line.substr(0, eq), name) == 0) return i;
    }
    return -1;
}

int32_t TStrings::IndexOfObject(TObject* object) const {
    for (int32_t i = 0; i < GetCount(); ++i)
        if (GetObject(i) == object) return i;
    return -1;
}

std::string TStrings::Names(int32_t index) const {
    const std::string line = Get(index);
    const size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TStrings::Values(const std::string& name) const {
    const int32_t i = IndexOfName(name);
    if (i < 0) return {};
    const std::string line = Get(i);
    return line.substr(line.find('=') + 1);
}

void TStrings::SetValues(const std::string& name, const std::string& value) {
    int32_t i = IndexOfName(name);
    if (!value.empty()) {
        if (i < 0) {
            Add(name + "=" + value);
            return;
        }
        Put(i, name + "=" + value);
    } else if (i >= 0) {
        Delete(i);
    }
}

std::string TStrings::Text() const {
    std::string result;
    for (int32_t i = 0; i < GetCount(); ++i) {
        result += Get(i);
        result += '\n';
    }
    return result;
}

void TStrings::SetText(const std::string& value) {
    TUpdateGuard guard(*this);
    Clear();
    size_t p = 0;
    while (p < value.size()) {
        const size_t start = p;
        while (p < value.size() && value[p] != '\r' && value[p] != '\n')
            ++p;
        Add(value.substr(start, p - start));
        if (p < value.size() && value[p] == '\r') ++p;
        if (p < value.size() && value[p] == '\n') ++p;
    }
    guard.End();
}

std::string TStrings::CommaText() const {
    const int32_t count = GetCount();
    if (count == 1 && Get(0).empty()) return "\"\"";
    std::string result;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0) result += ',';
        const std::string s = Get(i);
        result += NeedsQuotes(s) ? Quoted(s) : s;
    }
    return result;
}

void TStrings::SetCommaText(const std::string& value) {
    TUpdateGuard guard(*this);
    Clear();
    // As the host, a NUL byte ends the text.
    const size_t n = std::min(value.size(), value.find('\0'));
    size_t p = 0;
    while (p < n && IsBlank(value[p]))
        ++p;
    while (p < n) {
        std::string item;
        if (value[p] == '"') {
            ++p;
            while (p < n) {
                if (value[p] == '"') {
                    if (p + 1 < n && value[p + 1] == '"') {
                        item += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += value[p++];
            }
        } else {
            const size_t start = p;
            while (p<n&& static_cast<unsigned char>(value[p])> ' ' && value[p] != ',')
                ++p;
            item = value.substr(start, p - start);
        }
        Add(item);
        while (p < n && IsBlank(value[p]))
            ++p;
        if (p < n && value[p] == ',') {
            do {
                ++p;
            } while (p < n && IsBlank(value[p]));
        }
    }
    guard.End();
}

void TStrings::Assign(TPersistent* source) {
    if (auto* strings = dynamic_cast<TStrings*>(source)) {
        // Assigning a list to itself would otherwise clear it first.
        if (strings == this) return;
        TUpdateGuard guard(*this);
        Clear();
        AddStrings(strings);
        guard.End();
        return;
    }
    TPersistent::Assign(source);
}

bool TStrings::Equals(TStrings* strings) const {
    if (!strings || strings->GetCount() != GetCount()) return false;
    for (int32_t i = 0; i < GetCount(); ++i)
        if (Get(i) != strings->Get(i)) return false;
    return true;
}

void TStrings::LoadFromStream(TStream& stream) {
    const int64_t size = stream.Size() - stream.Position();
    std::string text;
    if (size > 0) {
        if (size > INT32_MAX) throw EReadError("Stream read error");
        text.resize(static_cast<size_t>(size));
        stream.ReadBuffer(text.data(), static_cast<int32_t>(size));
    }
    SetText(text);
}

void TStrings::SaveToStream(TStream& stream) const {
    const std::string text = Text();
    if (text.size() > static_cast<size_t>(INT32_MAX)) throw EWriteError("Stream write error");
    stream.WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
}

void TStrings::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TStrings::SaveToFile(const std::string& fileName) const {
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}

void TStrings::BeginUpdate() {
    if (FUpdateCount++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
    if (FUpdateCount <= 0) return;
    if (--FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

// ---------------------------------------------------------------- TStringList

TStringList::~TStringList() {
    // Nobody is told about the list's own destruction.
    FOnChange = nullptr;
    FOnChanging = nullptr;
}

void TStringList::CheckIndex(int32_t index) const {
    if (index < 0 || index >= GetCount()) Error("List index out of bounds", index);
}

void TStringList::Changing() {
    if (UpdateCount() == 0) {
        if (FOnChanging) FOnChanging(this);
    } else if (!FChangingSent) {
        FChangingSent = true;
        if (FOnChanging) FOnChanging(this);
    }
}

void TStringList::Changed() {
    if (UpdateCount() == 0) {
        if (FOnChange) FOnChange(this);
    } else {
        FChangedInUpdate = true;
    }
}

void TStringList::SetUpdateState(bool updating) {
    if (updating) {
        FChangingSent = false;
        FChangedInUpdate = false;
        return;
    }
    const bool changed = std::exchange(FChangedInUpdate, false);
    FChangingSent = false;
    if (changed && FOnChange) FOnChange(this);
}

std::string TStringList::Get(int32_t index) const {
    CheckIndex(index);
    return FList[static_cast<size_t>(index)].FString;
}

TObject* TStringList::GetObject(int32_t index) const {
    CheckIndex(index);
    return FList[static_cast<size_t>(index)].FObject;
}

void TStringList::Put(int32_t index, const std::string& s) {
    if (FSorted) throw EStringListError("Operation not allowed on sorted string list");
    CheckIndex(index);
    Changing();
    FList[static_cast<size_t>(index)].FString = s;
    Changed();
}

void TStringList::PutObject(int32_t index, TObject* object) {
    CheckIndex(index);
    Changing();
    FList[static_cast<size_t>(index)].FObject = object;
    Changed();
}

void TStringList::InsertItem(int32_t index, const std::string& s, TObject* object) {
    Changing();
    FList.insert(FList.begin() + index, TStringItem{s, object});
    Changed();
}

void TStringList::Insert(int32_t index, const std::string& s) {
    if (FSorted) throw EStringListError("Operation not allowed on sorted string list");
    if (index < 0 || index > GetCount()) Error("List index out of bounds", index);
    InsertItem(index, s, nullptr);
}

void TStringList::Delete(int32_t index) {
    CheckIndex(index);
    Changing();
    FList.erase(FList.begin() + index);
    Changed();
}

void TStringList::Clear() {
    if (FList.empty()) return;
    Changing();
    FList.clear();
    Changed();
}

int32_t TStringList::CompareStrings(const std::string& s1, const std::string& s2) const {
    return FCaseSensitive ? AnsiCompareStr(s1, s2) : AnsiCompareText(s1, s2);
}

int32_t TStringList::Add(const std::string& s) {
    return AddObject(s, nullptr);
}

int32_t TStringList::AddObject(const std::string& s, TObject* object) {
    int32_t index = GetCount();
    if (FSorted && Find(s, index)) {
        if (FDuplicates == dupIgnore) return index;
        if (FDuplicates == dupError) throw EStringListError("String list does not allow duplicates");
    }
    InsertItem(index, s, object);
    return index;
}

void TStringList::Exchange(int32_t index1, int32_t index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(FList[static_cast<size_t>(index1)], FList[static_cast<size_t>(index2)]);
    Changed();
}

int32_t TStringList::IndexOf(const std::string& s) const {
    if (!FSorted) return TStrings::IndexOf(s);
    int32_t index = 0;
    return Find(s, index) ? index : -1;
}

bool TStringList::Find(const std::string& s, int32_t& index) const {
    bool found = false;
    int32_t l = 0;
    int32_t h = GetCount() - 1;
    while (l <= h) {
        const int32_t i = l + (h - l) / 2;
        const int32_t c = CompareStrings(FList[static_cast<size_t>(i)].FString, s);
        if (c < 0) {
            l = i + 1;
        } else {
            h = i - 1;
            if (c == 0) {
                found = true;
                if (FDuplicates != dupAccept) l = i;
            }
        }
    }
    index = l;
    return found;
}

void TStringList::QuickSort(int32_t l, int32_t r, TStringListSortCompare compare) {
    // The host's quicksort; the extra bounds on i and j keep an inconsistent
    // comparison from walking off the list.
    int32_t i = 0;
    do {
        i = l;
        int32_t j = r;
        int32_t p = l + (r - l) / 2;
        do {
            while (i < r && compare(this, i, p) < 0)
                ++i;
            while (j > l && compare(this, j, p) > 0)
                --j;
            if (i <= j) {
                std::swap(FList[static_cast<size_t>(i)], FList[static_cast<size_t>(j)]);
                if (p == i)
                    p = j;
                else if (p == j)
                    p = i;
                ++i;
                --j;
            }
        } while (i <= j);
        if (l < j) QuickSort(l, j, compare);
        l = i;
    } while (i < r);
}

void TStringList::CustomSort(TStringListSortCompare compare) {
    if (FSorted || !compare || GetCount() < 2) return;
    Changing();
    QuickSort(0, GetCount() - 1, compare);
    Changed();
}

void TStringList::Sort() {
    CustomSort([](TStringList* list, int32_t index1, int32_t index2) {
        return list->CompareStrings(list->FList[static_cast<size_t>(index1)].FString,
                                    list->FList[static_cast<size_t>(index2)].FString);
    });
}

void TStringList::SetSorted(bool value) {
    if (FSorted == value) return;
    if (value) Sort();
    FSorted = value;
}

void TStringList::SetCaseSensitive(bool value) {
    if (FCaseSensitive == value) return;
    FCaseSensitive = value;
    if (FSorted) {
        FSorted = false;
        Sort();
        FSorted = true;
    }
}

} // namespace host
