// Descriptions of result columns and host variables: the field-type and
// key-indicator enumerations, one description per column or variable, the
// ordered lists a statement keeps of them, and the variable list that adds
// the value buffer the driver binds.
//
// Row and variable buffers are laid out by these lists: every description
// owns Size() bytes starting at Offset(), back to back in list order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The kind of value a column or variable holds. The ordinals are stored in
// parameter streams, so members may never be reordered or renumbered.
enum TLumraFieldTypes : uint8_t {
    ntUnknown = 0,
    ntString = 1,
    ntInteger = 2,
    ntFloat = 3,
    ntCurrency = 4,
    ntDate = 5,
    ntTime = 6,
    ntDateTime = 7,
    ntBoolean = 8,
    ntBinary = 9,
    ntMemo = 10, // long text, travels through a blob stream
    ntBlob = 11, // long byte string, travels through a blob stream
};

// Marks the columns that identify a row. The statement's Clear and
// ClearNotNull leave kiHiddenKeyField columns alone.
enum TLumraKeyIndicator : uint8_t {
    kiRegularField = 0,
    kiKeyField = 1,
    kiHiddenKeyField = 2,
};

class TLumraFieldDefs;

// The description of one column or host variable.
//
// A description created with an owner belongs to that list: the constructor
// appends it and the list deletes it in Clear. Such a description must
// therefore be created with `new`; deleting it removes it from its list,
// which is the way to take a single description out.
class TLumraFieldDef {
public:
    // Appends the new description to `owner` (when not null); FieldNo and
    // Offset are left at 0 for the caller (normally AddFieldDef) to fix.
    TLumraFieldDef(TLumraFieldDefs* owner, std::string name);
    ~TLumraFieldDef();

    TLumraFieldDef(const TLumraFieldDef&) = delete;
    TLumraFieldDef& operator=(const TLumraFieldDef&) = delete;

    TLumraFieldDefs* Owner() const noexcept { return FOwner; }

    // Column or variable name; host variables built by the statement are "?".
    const std::string& Name() const noexcept { return FName; }
    void SetName(std::string value) { FName = std::move(value); }

    // Zero-based position in the owning list, fixed when it was added.
    int32_t FieldNo() const noexcept { return FFieldNo; }
    void SetFieldNo(int32_t value) noexcept { FFieldNo = value; }

    TLumraFieldTypes FieldType() const noexcept { return FFieldType; }
    void SetFieldType(TLumraFieldTypes value) noexcept { FFieldType = value; }

    // The engine's own type code; its meaning belongs to the driver.
    int32_t ExtType() const noexcept { return FExtType; }
    void SetExtType(int32_t value) noexcept { FExtType = value; }

    // Bytes the value occupies in a row or variable buffer.
    int32_t Size() const noexcept { return FSize; }
    // Keeps the owning list's total up to date.
    void SetSize(int32_t value) noexcept;

    // Byte position of the value in that buffer.
    int32_t Offset() const noexcept { return FOffset; }
    void SetOffset(int32_t value) noexcept { FOffset = value; }

    // Declared length as the driver reports it; 0 for host variables.
    int32_t Length() const noexcept { return FLength; }
    void SetLength(int32_t value) noexcept { FLength = value; }

    // Declared scale; 0 for host variables.
    int32_t Decimals() const noexcept { return FDecimals; }
    void SetDecimals(int32_t value) noexcept { FDecimals = value; }

    // The column accepts nulls; false for host variables.
    bool Nulls() const noexcept { return FNulls; }
    void SetNulls(bool value) noexcept { FNulls = value; }

    TLumraKeyIndicator KeyIndicator() const noexcept { return FKeyIndicator; }
    void SetKeyIndicator(TLumraKeyIndicator value) noexcept { FKeyIndicator = value; }

private:
    friend class TLumraFieldDefs;

    TLumraFieldDefs* FOwner = nullptr;
    std::string FName;
    int32_t FFieldNo = 0;
    TLumraFieldTypes FFieldType = ntUnknown;
    int32_t FExtType = 0;
    int32_t FSize = 0;
    int32_t FOffset = 0;
    int32_t FLength = 0;
    int32_t FDecimals = 0;
    bool FNulls = false;
    TLumraKeyIndicator FKeyIndicator = kiRegularField;
};

// An ordered list of descriptions that owns them.
class TLumraFieldDefs {
public:
    TLumraFieldDefs() = default;
    // Deletes every description. A subclass that extends Clear calls its own
    // Clear in its destructor, since a destructor does not dispatch virtually.
    virtual ~TLumraFieldDefs();

    TLumraFieldDefs(const TLumraFieldDefs&) = delete;
    TLumraFieldDefs& operator=(const TLumraFieldDefs&) = delete;

    // Deletes the descriptions, always the last one first, until none is left.
    virtual void Clear();

    // Creates a description named `name` at the end of the list, with
    // FieldNo = its position and Offset = the sum of the sizes before it.
    // The caller sets type and size right afterwards, so each description
    // begins where the previous ones end.
    TLumraFieldDef* AddFieldDef(const std::string& name);

    // Sum of Size over all descriptions: the bytes of a row or variable
    // buffer. Raises host::ERangeError when the sum does not fit 32 bits.
    int32_t Size() const;
    int32_t GetCount() const noexcept { return static_cast<int32_t>(FList.size()); }
    // The description at `index`, or null when index < 0 or >= GetCount().
    TLumraFieldDef* GetItem(int32_t index) const noexcept {
        return index >= 0 && index < GetCount() ? FList[static_cast<size_t>(index)].get() : nullptr;
    }
    // Position of the first description whose name equals `name` ignoring
    // case (host::AnsiCompareText), -1 when there is none.
    int32_t IndexOf(const std::string& name) const;
    // The description IndexOf finds, or null.
    TLumraFieldDef* FieldByName(const std::string& name) const;
    // True when any description is ntMemo or ntBlob.
    bool AnyBlob() const noexcept;

private:
    friend class TLumraFieldDef;

    void Attach(TLumraFieldDef* def);
    void Detach(TLumraFieldDef* def) noexcept;

    std::vector<std::unique_ptr<TLumraFieldDef>> FList;
    // Sum of the descriptions' sizes, kept as they join, leave and resize, so
    // that adding one description never walks all the others.
    int64_t FTotalSize = 0;
};

inline void TLumraFieldDef::SetSize(int32_t value) noexcept {
    if (FOwner != nullptr) FOwner->FTotalSize += static_cast<int64_t>(value) - FSize;
    FSize = value;
}

// Descriptions of host variables together with the buffer holding their
// values, each at its description's Offset.
class TLumraVariableDefs : public TLumraFieldDefs {
public:
    TLumraVariableDefs() = default;
    ~TLumraVariableDefs() override;

    // Deletes the descriptions, frees the buffer and drops Bound, so the
    // driver binds again once the variables are rebuilt.
    void Clear() override;

    // The values of all variables, or null when no buffer is allocated.
    char* Buffer() const noexcept { return FBuffer.get(); }
    int32_t BufSize() const noexcept { return FBufSize; }

    // True once the driver bound these variables to its prepared statement;
    // set only by the driver.
    bool Bound() const noexcept { return FBound; }
    void SetBound(bool value) noexcept { FBound = value; }

    // Replaces the buffer by `size` zero bytes; 0 leaves no buffer at all.
    // A negative size raises host::ERangeError and keeps the old buffer.
    void SetBufSize(int32_t size);
    // Zero-fills the buffer, if there is one.
    void ClearBuffer() noexcept;

private:
    std::unique_ptr<char[]> FBuffer;
    int32_t FBufSize = 0;
    size_t FCapacity = 0; // bytes FBuffer was allocated with (at least FBufSize)
    bool FBound = false;
};
