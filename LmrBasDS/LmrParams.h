// Parameters of the dataset layer: TLumraParam, one named, typed value with
// a direction that is bound to a host variable or a stored-procedure
// argument, and TLumraParams, the ordered collection that owns them and that
// every dataset publishes as Params.
//
// A parameter keeps its value in a host::Variant whose representation follows
// its DataType (see TLumraParam), offers typed access, a text form for the
// editors, a byte-array form for binary values, and a fixed binary layout
// (GetData/SetData) that matches the statement's row-buffer format.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "LmrBase/LmrFieldDefs.h"
#include "host/Classes.h"
#include "host/Params.h"
#include "host/Variant.h"

namespace host {
class TField;
class TStream;
} // namespace host

// Direction of a parameter. Input/output comes before output, unlike the host
// framework's TParamType, so conversions go through LmrParamTypeFromHost /
// LmrParamTypeToHost; the editors and the stored procedure rely on these
// ordinals, and parameter streams store them.
enum TLumraParamType : uint8_t {
    nptUnknown = 0,
    nptInput = 1,
    nptInputOutput = 2,
    nptOutput = 3,
    nptResult = 4,
};

// The data types a parameter may take: every TLumraFieldTypes member.
using TLumraParamDataType = TLumraFieldTypes;
inline constexpr TLumraParamDataType LmrParamDataTypeLow = ntUnknown;
inline constexpr TLumraParamDataType LmrParamDataTypeHigh = ntBlob;
// The data types whose values travel as blobs.
using TLumraParamBlobType = TLumraFieldTypes;
inline constexpr TLumraParamBlobType LmrParamBlobTypeLow = ntMemo;
inline constexpr TLumraParamBlobType LmrParamBlobTypeHigh = ntBlob;

class TLumraParams;

// One named, typed parameter value.
//
// What the stored value (Data) holds after the typed setters, by DataType:
//   ntString, ntMemo        8-bit string
//   ntBinary, ntBlob        the bytes as an 8-bit string (never a byte array)
//   ntInteger               32-bit integer
//   ntFloat, ntCurrency     double
//   ntDate                  date at 00:00
//   ntTime                  time of day on 1899-12-30
//   ntDateTime              date and time
//   ntBoolean               Boolean
//   ntUnknown               integer 0, or what SetAsVariant was given
// SetAsVariant stores its argument as it is (a smallint stays a smallint);
// the getters convert, so this never changes what they return.
//
// IsNull is the only authority on nullness: Clear stores integer 0 and sets
// IsNull. GetAsString, GetAsDateTime, AssignParam and the collection's
// GetParamValues test it; the other getters read the stored value as it is.
//
// Binary layout (GetData / SetData / GetDataSize), little-endian:
//   ntUnknown   0 bytes
//   ntString    length + 1: the text and a zero byte (also ntMemo)
//   ntInteger   4: int32
//   ntFloat     8: double (also ntCurrency)
//   ntDate      4: int32 day number, 0001-01-01 = 1, 1899-12-30 = 693594
//   ntTime      4: int32 milliseconds since midnight
//   ntDateTime  8: double, day number * 86,400,000 + milliseconds
//   ntBoolean   2: 16-bit, 1 true, 0 false (any non-zero reads as true)
//   ntBinary    length: the bytes, no terminator (also ntBlob)
// "length" is the length of the stored value converted to an 8-bit string.
class TLumraParam : public host::TPersistent {
public:
    // Registers the new parameter with collection (when not null) through
    // AddParam. Fresh state: DataType ntUnknown, stored value integer 0, not
    // null, not bound, nptUnknown, empty Alias.
    TLumraParam(TLumraParams* collection, const std::string& name);
    // Unregisters from the collection it is registered in.
    ~TLumraParam() override;

    // Copies this parameter's stored value, unconverted, into a host::TField's
    // Value (IsNull is not tested: a cleared parameter assigns 0). Any other
    // destination raises the host's assignment error (EConvertError).
    void AssignTo(host::TPersistent* dest) override;
    // Copies from, by the class of source, in this order: a TLumraParam
    // (AssignParam); a host::TField (AssignField); a host::TStrings (SetAsMemo
    // with its whole text, each line followed by a line break); a
    // host::TBitmap (its BMP bytes as an ntBlob); a host::TPicture holding a
    // bitmap (that bitmap). Anything else, a picture of another graphic kind
    // included, raises the host's assignment error and changes nothing.
    void Assign(host::TPersistent* source) override;

    // Copies DataType, the value (or null), Bound, Name and Alias from param;
    // ParamType only while the own one is nptUnknown. Null param: no effect.
    void AssignParam(const TLumraParam* param);
    // Name and Alias become field's FieldName; the value comes from the
    // field's Value through SetAsVariant (so DataType follows the Variant
    // type), or Clear when the field is null (DataType stays). Bound is set
    // either way. Null field: no effect.
    void AssignField(host::TField* field);
    // As AssignField with value in place of the field's value (the field is
    // still what is tested for null); Name and Alias stay.
    void AssignFieldValue(host::TField* field, const host::Variant& value);

    // IsNull = true, stored value = integer 0; DataType and Bound stay.
    void Clear();
#if LMR_HOST_GENERATION != 3
    // Bound = true, IsNull = false. Every value setter starts with it.
    void InitValue();
#endif
    // Same stored-value type and value (not compared when both are null),
    // Name, Alias (case-sensitive), DataType, IsNull, Bound and ParamType.
    bool IsEqual(const TLumraParam* other) const;
    // Discards the value (integer 0), then sets DataType; flags stay.
    void SetDataType(TLumraFieldTypes value);

    // Loads a whole file as the value, opened read-only. A file that cannot be
    // opened raises host::EFOpenError before anything changes.
    void LoadFromFile(const std::string& fileName, TLumraFieldTypes dataType);
    // Bound = true, IsNull = false, DataType = dataType (the value is not
    // reset first), then the stream's whole contents from position 0 become
    // the stored value as an 8-bit string.
    void LoadFromStream(host::TStream& stream, TLumraFieldTypes dataType);

    // Binary layout (see the class comment). GetData writes GetDataSize
    // bytes; buffer must hold that many.
    int32_t GetDataSize() const;
    void GetData(void* buffer) const;
    // Reads a value of the current DataType from buffer. ntUnknown, ntBinary
    // and ntBlob only take SetText("") (binary content goes through
    // SetBlobData). Text types read up to the first zero byte, so buffer must
    // hold one.
    void SetData(const void* buffer);
    // Like SetData for ntString and ntMemo, but reads at most size bytes and
    // needs no terminator. The stream reader uses it for text blocks cut at
    // their size limit.
    void SetDataBounded(const void* buffer, int32_t size);
    // Copies size bytes and makes the parameter an ntBlob holding them.
    void SetBlobData(const void* buffer, int32_t size);

    // The text form the editors show and edit. SetText converts the text to
    // DataType (ntUnknown becomes ntString first); text that does not convert
    // leaves integer 0 without raising. GetAsString gives "" when null, dates
    // in the Variant's date text (or "" when not convertible), "True"/"False"
    // for Booleans, otherwise the stored value as text.
    void SetText(const std::string& value);
    std::string GetAsString() const;
    std::string Text() const {
        return GetAsString();
    }

    // Stores value unchanged; DataType follows its Variant type (integers
    // ntInteger, single/double ntFloat, currency ntCurrency, date ntDateTime,
    // strings ntString, Boolean ntBoolean). Any other type (Empty, Null,
    // byte, arrays, ...) makes the parameter null and ntUnknown.
    void SetAsVariant(const host::Variant& value);
    // Byte array for ntBinary/ntBlob, otherwise the stored value (IsNull is
    // not tested).
    host::Variant GetAsVariant() const;
    host::Variant Value() const {
        return GetAsVariant();
    }
    void SetValue(const host::Variant& value) {
        SetAsVariant(value);
    }
    // Null when the value as text is empty, otherwise a varByte array with
    // bounds 0 .. length - 1.
    host::Variant GetAsByteArray() const;

    // Typed access. The getters convert the stored value with the Variant's
    // conversions (raising its EConvertError when it does not convert) and do
    // not test IsNull, except GetAsDateTime, which gives 0.0 when null.
    int32_t GetAsInteger() const;
    void SetAsInteger(int32_t value);
    double GetAsFloat() const;
    void SetAsFloat(double value);
    void SetAsCurrency(double value);
    host::TDateTime GetAsDateTime() const;
    // Keeps the date only (00:00).
    void SetAsDate(host::TDateTime value);
    // Keeps the time of day only, on 1899-12-30.
    void SetAsTime(host::TDateTime value);
    void SetAsDateTime(host::TDateTime value);
    bool GetAsBoolean() const;
    void SetAsBoolean(bool value);
    std::string GetAsMemo() const;
    void SetAsMemo(const std::string& value);
    void SetAsString(const std::string& value);
    void SetAsBinary(const std::string& value);
    void SetAsBlob(const std::string& value);

    // Property-style readers.
    int32_t AsInteger() const {
        return GetAsInteger();
    }
    double AsFloat() const {
        return GetAsFloat();
    }
    double AsCurrency() const {
        return GetAsFloat();
    }
    host::TDateTime AsDate() const {
        return GetAsDateTime();
    }
    host::TDateTime AsTime() const {
        return GetAsDateTime();
    }
    host::TDateTime AsDateTime() const {
        return GetAsDateTime();
    }
    bool AsBoolean() const {
        return GetAsBoolean();
    }
    std::string AsMemo() const {
        return GetAsMemo();
    }
    std::string AsString() const {
        return GetAsString();
    }

    TLumraParams* ParamCollection() const noexcept {
        return FParamCollection;
    }
    const std::string& Name() const noexcept {
        return FName;
    }
    void SetName(const std::string& value) {
        StoreName(value);
    }
    const std::string& Alias() const noexcept {
        return FAlias;
    }
    void SetAlias(const std::string& value) {
        FAlias = value;
    }
    TLumraFieldTypes DataType() const noexcept {
        return FDataType;
    }
    // The stored value as it is, for streaming and diagnostics.
    const host::Variant& Data() const noexcept {
        return FData;
    }
    bool IsNull() const noexcept {
        return FIsNull;
    }
    void SetIsNull(bool value) noexcept {
        FIsNull = value;
    }
    bool Bound() const noexcept {
        return FBound;
    }
    void SetBound(bool value) noexcept {
        FBound = value;
    }
    TLumraParamType ParamType() const noexcept {
        return FParamType;
    }
    void SetParamType(TLumraParamType value) noexcept {
        FParamType = value;
    }

    // Sets DataType without touching the stored value, as the stream reader
    // does before decoding the value block.
    void SetDataTypeRaw(TLumraFieldTypes value) noexcept {
        FDataType = value;
    }

private:
    friend class TLumraParams;

    // InitValue's effect, available in every generation.
    void MarkValue() noexcept;
    // Every change of the name goes through here: the collection's lookup by
    // name must learn of it.
    void StoreName(const std::string& value);
    // Stores text (and binary) setters' value: the common tail.
    std::string DataAsText() const {
        return FData.AsString();
    }

    TLumraParams* FParamCollection = nullptr; // back reference, not owned
    std::string FName;
    std::string FAlias;
    TLumraFieldTypes FDataType = ntUnknown;
    host::Variant FData{int32_t{0}};
    bool FIsNull = false;
    bool FBound = false;
    TLumraParamType FParamType = nptUnknown;
};

// The ordered list of parameters a dataset binds; it owns them.
class TLumraParams : public host::TPersistent {
public:
    explicit TLumraParams(host::TComponent* owner);
    // Clear, then the list goes.
    ~TLumraParams() override;

    TLumraParams(const TLumraParams&) = delete;
    TLumraParams& operator=(const TLumraParams&) = delete;

    // A TLumraParams destination assigns from this collection; anything else
    // raises the host's assignment error.
    void AssignTo(host::TPersistent* dest) override;
    // From another TLumraParams: Clear, then one new parameter per source
    // position, assigned from source.GetParam(i). From the host's TParams:
    // Clear, then one parameter per host parameter with its Name (and Alias),
    // the direction by LmrParamTypeFromHost, and SetAsVariant of its Value.
    // Anything else raises the host's assignment error.
    void Assign(host::TPersistent* source) override;

    host::TPersistent* GetOwner() override;

    // For each own parameter, the first source parameter with exactly the
    // same Name (case-sensitive) is assigned to it through AssignParam.
    void AssignValues(const TLumraParams* source);

    // Appends param and makes this its collection (a previous collection is
    // not told). Takes ownership.
    void AddParam(TLumraParam* param);
    // Removes param from the list without deleting it; ownership goes back to
    // the caller.
    void RemoveParam(TLumraParam* param);

    int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }
    // Deletes the parameters, last first.
    void Clear();

    // The parameter at index, resolved through its name: where several
    // parameters share a name (ignoring case), every one of their positions
    // yields the first of them. An index at or beyond Count raises
    // host::EListError.
    TLumraParam* GetParam(uint16_t index) const;
    TLumraParam* Items(uint16_t index) const { return GetParam(index); }
    TLumraParam* operator[](uint16_t index) const { return GetParam(index); }

    // Same Count and GetParam(i).IsEqual(other.GetParam(i)) for every i.
    bool IsEqual(const TLumraParams* other) const;

    // First parameter in list order whose Name (ParamByAlias: Alias) equals
    // the argument ignoring case. Raises ELumraException "Host variable "%s"
    // not found" (code 0) when there is none.
    TLumraParam* ParamByName(const std::string& name) const;
    TLumraParam* ParamByAlias(const std::string& alias) const;

    // The input values for binding: Null when no parameter is nptUnknown,
    // nptInput or nptInputOutput; otherwise a varVariant array with one
    // element per such position (by GetParam), in order: Null for a null
    // parameter, else its GetAsVariant (byte arrays for binary data).
    host::Variant GetParamValues() const;
    // The same values into `values` (replacing what it held; empty when
    // GetParamValues gives Null), without the Variant array: what binding
    // needs on every execute.
    void GetInputValues(std::vector<host::Variant>& values) const;

    // The parameter stored at index itself, without the namesake rule.
    TLumraParam* RawItem(int32_t index) const;

private:
    friend class TLumraParam;

    // Builds FFirstOf and FByName when a change of the list or of a name
    // made them stale.
    void Resolve() const;
    void NamesChanged() noexcept { FResolved = false; }

    host::TComponent* FOwner; // not owned
    std::vector<std::unique_ptr<TLumraParam>> FItems;
    // The namesake rule worked out once per change instead of on every call:
    // per position, the first position with the same name (ignoring case),
    // and per upper-cased name, its first position.
    mutable bool FResolved = false;
    mutable std::vector<uint32_t> FFirstOf;
    mutable std::unordered_map<std::string, uint32_t> FByName;
};

// The direction mapping between the host's TParamType (ptUnknown, ptInput,
// ptOutput, ptInputOutput, ptResult) and TLumraParamType, by name.
TLumraParamType LmrParamTypeFromHost(host::TParamType value) noexcept;
host::TParamType LmrParamTypeToHost(TLumraParamType value) noexcept;
