// The host framework's string lists: the abstract TStrings protocol (lines,
// an object per line, name=value pairs, text and comma forms, streaming) and
// TStringList, the in-memory list with sorting, duplicate rules and change
// events. SQL text is held as a string list.
#pragma once

#include "host/Classes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace host {

class TStream;

// Abstract list of lines, each with an optional object pointer (never owned).
// Index errors raise EStringListError "List index out of bounds (<index>)".
class TStrings : public TPersistent {
public:
    // --- the protocol a subclass implements
    virtual std::string Get(int32_t index) const = 0;
    virtual int32_t GetCount() const = 0;
    virtual TObject* GetObject(int32_t index) const;        // base: null
    virtual void Put(int32_t index, const std::string& s);  // base: delete and insert
    virtual void PutObject(int32_t index, TObject* object); // base: ignores it
    virtual void Insert(int32_t index, const std::string& s) = 0;
    virtual void Delete(int32_t index) = 0;
    virtual void Clear() = 0;
    // Compares two lines the way IndexOf and IndexOfName do; base: ignoring ASCII case.
    virtual int32_t CompareStrings(const std::string& s1, const std::string& s2) const;

    // --- lines
    int32_t Count() const { return GetCount(); }
    std::string Strings(int32_t index) const { return Get(index); }
    void SetStrings(int32_t index, const std::string& s) { Put(index, s); }
    TObject* Objects(int32_t index) const { return GetObject(index); }
    void SetObjects(int32_t index, TObject* object) { PutObject(index, object); }

    virtual int32_t Add(const std::string& s); // returns the line's index
    virtual int32_t AddObject(const std::string& s, TObject* object);
    void Append(const std::string& s) { Add(s); }
    void InsertObject(int32_t index, const std::string& s, TObject* object);
    virtual void Exchange(int32_t index1, int32_t index2);
    virtual void Move(int32_t curIndex, int32_t newIndex);
    void AddStrings(TStrings* strings);

    virtual int32_t IndexOf(const std::string& s) const; // first match via CompareStrings, or -1
    int32_t IndexOfName(const std::string& name) const;  // first "name=..." line, or -1
    int32_t IndexOfObject(TObject* object) const;

    // --- name=value lines
    std::string Names(int32_t index) const;            // text before the first '='; "" without one
    std::string Values(const std::string& name) const; // text after the first '='; "" when absent
    // Replaces or appends "name=value"; an empty Value deletes the line.
    void SetValues(const std::string& name, const std::string& value);

    // --- whole-list forms
    // Every line followed by "\n".
    std::string Text() const;
    // Replaces the lines; CR, LF and CR LF each end a line; a final line break
    // adds no empty line.
    void SetText(const std::string& value);
    // Lines separated by ','; a line holding a blank, a control character, '"'
    // or ',' is quoted with '"' (inner quotes doubled); a single empty line is "\"\"".
    std::string CommaText() const;
    // Replaces the lines: items separated by ',' or blanks, '"' quoted ones may hold both.
    void SetCommaText(const std::string& value);

    // Copies lines and objects from another TStrings (other sources: EConvertError).
    void Assign(TPersistent* source) override;
    // Same lines in the same order, compared exactly.
    bool Equals(TStrings* strings) const;

    // The stream's bytes from its position to its end become the text.
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToStream(TStream& stream) const; // writes Text()
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    // Batches changes: change events are held back until the outermost EndUpdate.
    void BeginUpdate();
    void EndUpdate();
    int32_t UpdateCount() const noexcept { return FUpdateCount; }

protected:
    // Told when the update count leaves or returns to 0.
    virtual void SetUpdateState(bool updating);
    [[noreturn]] static void Error(const std::string& messagePrefix, int32_t index);

private:
    int32_t FUpdateCount = 0;
};

enum TDuplicates : uint8_t { dupIgnore, dupAccept, dupError };

class TStringList;
// Orders the lines at two indexes of List: negative, zero or positive.
using TStringListSortCompare = int32_t (*)(TStringList* list, int32_t index1, int32_t index2);

// The in-memory string list. It does not own its objects.
// OnChanging fires before a change and OnChange after it; inside
// BeginUpdate/EndUpdate OnChanging fires once before the first change and
// OnChange once at the outermost EndUpdate, and only if something changed.
class TStringList : public TStrings {
public:
    TStringList() = default;
    ~TStringList() override;

    std::string Get(int32_t index) const override;
    int32_t GetCount() const override { return static_cast<int32_t>(FList.size()); }
    TObject* GetObject(int32_t index) const override;
    // Put raises EStringListError "Operation not allowed on sorted string list" when Sorted.
    void Put(int32_t index, const std::string& s) override;
    void PutObject(int32_t index, TObject* object) override;
    // Raises "Operation not allowed on sorted string list" when Sorted.
    void Insert(int32_t index, const std::string& s) override;
    void Delete(int32_t index) override;
    void Clear() override;
    int32_t CompareStrings(const std::string& s1, const std::string& s2) const override;

    // When Sorted: inserts at the sorted place; an existing equal line is
    // returned (dupIgnore), added again (dupAccept) or refused with
    // EStringListError "String list does not allow duplicates" (dupError).
    int32_t Add(const std::string& s) override;
    int32_t AddObject(const std::string& s, TObject* object) override;
    void Exchange(int32_t index1, int32_t index2) override;
    int32_t IndexOf(const std::string& s) const override; // binary search when Sorted

    // Binary search of a sorted list: true when found (Index is the first
    // match); otherwise Index is where S would be inserted.
    bool Find(const std::string& s, int32_t& index) const;
    // Sorts with CompareStrings; a sorted list is left alone.
    void Sort();
    void CustomSort(TStringListSortCompare compare);

    bool Sorted() const noexcept { return FSorted; }
    void SetSorted(bool value);
    TDuplicates Duplicates() const noexcept { return FDuplicates; }
    void SetDuplicates(TDuplicates value) noexcept { FDuplicates = value; }
    bool CaseSensitive() const noexcept { return FCaseSensitive; }
    void SetCaseSensitive(bool value); // re-sorts a sorted list

    const TNotifyEvent& OnChange() const noexcept { return FOnChange; }
    void SetOnChange(TNotifyEvent value) { FOnChange = std::move(value); }
    const TNotifyEvent& OnChanging() const noexcept { return FOnChanging; }
    void SetOnChanging(TNotifyEvent value) { FOnChanging = std::move(value); }

protected:
    virtual void Changed();
    virtual void Changing();
    void SetUpdateState(bool updating) override;

private:
    struct TStringItem {
        std::string FString;
        TObject* FObject = nullptr;
    };
    void CheckIndex(int32_t index) const;
    void InsertItem(int32_t index, const std::string& s, TObject* object);
    void QuickSort(int32_t l, int32_t r, TStringListSortCompare compare);

    std::vector<TStringItem> FList;
    bool FSorted = false;
    TDuplicates FDuplicates = dupIgnore;
    bool FCaseSensitive = false;
    bool FChangingSent = false; // OnChanging already fired in this update
    bool FChangedInUpdate = false;
    TNotifyEvent FOnChange;
    TNotifyEvent FOnChanging;
};

} // namespace host
