// The host framework's field model: field types and kinds, field definitions
// (what a dataset's cursor offers) and field objects (what application code
// and data-aware controls read and write). A field holds no value of its own;
// every read and write goes through its dataset's GetFieldData/SetFieldData
// with a buffer in the field-buffer format below.
//
// Field-buffer formats (what GetData/SetData exchange with the dataset, and
// what a descendant's GetFieldData must write):
//   ftString, ftFixedChar        Size + 1 bytes, zero-terminated 8-bit text
//   ftSmallint                   2 bytes, int16_t
//   ftWord                       2 bytes, uint16_t
//   ftInteger, ftAutoInc         4 bytes, int32_t
//   ftLargeint                   8 bytes, int64_t
//   ftBoolean                    2 bytes, int16_t WordBool: 0 is false, any
//                                other value true; the field writes -1 for true
//   ftFloat, ftCurrency, ftBCD   8 bytes, double (currency as a plain double)
//   ftDate, ftTime, ftDateTime   8 bytes, double TDateTime (days since
//                                1899-12-30); the values order as doubles
//   ftBytes                      Size bytes
//   ftVarBytes                   2-byte uint16_t length, then Size bytes
//   ftBlob, ftMemo, ftGraphic... no field buffer (DataSize 0): the value moves
//                                through TDataSet::CreateBlobStream
// All multi-byte values are in the machine's byte order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/Classes.h"
#include "host/Variant.h"

namespace host {

class TDataSet;
class TField;
class TFieldDefs;
class TStream;

// The host's order; ordinals are stable.
enum TFieldType : uint8_t {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftOraBlob,
    ftOraClob,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid
};

// The host's type names ("String", "Integer", ...), indexed by TFieldType.
std::string FieldTypeName(TFieldType type);

enum TFieldKind : uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

enum TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };

using TFieldNotifyEvent = std::function<void(TField* sender)>;

// ---------------------------------------------------------------------------
// Field definitions

enum TFieldAttribute : uint8_t { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
using TFieldAttributes = TSet<TFieldAttribute>;

// One column a dataset's cursor offers. Owned by its TFieldDefs.
class TFieldDef : public TPersistent {
public:
    // Appends itself to Owner (when given).
    TFieldDef(TFieldDefs* owner, const std::string& name, TFieldType dataType, int32_t size, bool required,
              int32_t fieldNo);
    ~TFieldDef() override;

    const std::string& Name() const noexcept { return FName; }
    void SetName(const std::string& value) { FName = value; }
    TFieldType DataType() const noexcept { return FDataType; }
    void SetDataType(TFieldType value) noexcept { FDataType = value; }
    int32_t Size() const noexcept { return FSize; }
    void SetSize(int32_t value) noexcept { FSize = value; }
    int32_t Precision() const noexcept { return FPrecision; }
    void SetPrecision(int32_t value) noexcept { FPrecision = value; }
    int32_t FieldNo() const noexcept { return FFieldNo; }
    void SetFieldNo(int32_t value) noexcept { FFieldNo = value; }
    TFieldAttributes Attributes() const noexcept { return FAttributes; }
    void SetAttributes(TFieldAttributes value) noexcept { FAttributes = value; }
    bool Required() const noexcept { return FAttributes.Contains(faRequired); }
    void SetRequired(bool value) noexcept;
    bool InternalCalcField() const noexcept { return FInternalCalcField; }
    void SetInternalCalcField(bool value) noexcept { FInternalCalcField = value; }
    TFieldDefs* Collection() const noexcept { return FOwner; }
    // Position in the owning list; -1 without owner.
    int32_t Index() const;

    // A new field object of the class for DataType (TStringField for
    // ftString, ...), owned by Owner, bound to the definitions' dataset with
    // this name, size, FieldNo and required flag. Raises EDatabaseError for a
    // type without a field class.
    TField* CreateField(TComponent* owner);

    void Assign(TPersistent* source) override;

private:
    friend class TFieldDefs;
    TFieldDefs* FOwner;
    std::string FName;
    TFieldType FDataType;
    int32_t FSize;
    int32_t FPrecision = 0;
    int32_t FFieldNo;
    TFieldAttributes FAttributes;
    bool FInternalCalcField = false;
};

// The ordered, owning list of a dataset's field definitions.
class TFieldDefs : public TPersistent {
public:
    explicit TFieldDefs(TDataSet* dataSet);
    ~TFieldDefs() override;

    TDataSet* DataSet() const noexcept { return FDataSet; }

    // Appends a definition; FieldNo is its 1-based position.
    TFieldDef* Add(const std::string& name, TFieldType dataType, int32_t size = 0, bool required = false);
    // Appends an empty definition (ftUnknown, size 0, FieldNo = position).
    TFieldDef* AddFieldDef();
    void Clear();
    int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }
    // EListError outside the list.
    TFieldDef* Items(int32_t index) const;
    TFieldDef* operator[](int32_t index) const { return Items(index); }
    // Position of the first definition with that name (case-insensitive); -1.
    int32_t IndexOf(const std::string& name) const;
    // The definition of that name; EDatabaseError SFieldNotFound when none.
    TFieldDef* Find(const std::string& name) const;

    // Filled from the cursor: unless Updated, asks the dataset to build its
    // definitions (InternalInitFieldDefs, also when the dataset is closed)
    // and marks the list updated.
    void Update();
    bool Updated() const noexcept { return FUpdated; }
    void SetUpdated(bool value) noexcept { FUpdated = value; }

    void Assign(TPersistent* source) override;

private:
    friend class TFieldDef;
    TDataSet* FDataSet;
    std::vector<std::unique_ptr<TFieldDef>> FItems;
    bool FUpdated = false;
};

// ---------------------------------------------------------------------------
// Field objects

// The list of a dataset's fields in field order. Does not own the fields:
// they belong to their owner component (the dataset for default fields).
class TFields : public TObject {
public:
    explicit TFields(TDataSet* dataSet) : FDataSet(dataSet) {}

    TDataSet* DataSet() const noexcept { return FDataSet; }
    int32_t Count() const noexcept { return static_cast<int32_t>(FList.size()); }
    // EListError outside the list.
    TField* Fields(int32_t index) const;
    TField* operator[](int32_t index) const { return Fields(index); }
    void Add(TField* field);
    void Remove(TField* field);
    void Clear() noexcept { FList.clear(); }
    int32_t IndexOf(const TField* field) const noexcept;
    // First field with that FieldName (case-insensitive); null when none.
    TField* FindField(const std::string& fieldName) const;
    // FindField, or EDatabaseError SFieldNotFound.
    TField* FieldByName(const std::string& fieldName) const;
    // The field with that FieldNo; null when none.
    TField* FieldByNumber(int32_t fieldNo) const;

private:
    TDataSet* FDataSet;
    std::vector<TField*> FList;
};

// A field of a dataset. Typed access raises EDatabaseError
// "Field '<name>' cannot be accessed as type <type>" where a class offers no
// conversion; a null value reads as 0, "", false or Null.
class TField : public TComponent {
public:
    explicit TField(TComponent* owner);
    // Leaves its dataset's field list.
    ~TField() override;

    // --- identity
    const std::string& FieldName() const noexcept { return FFieldName; }
    // Raises when the dataset is open (the name binds the field to its data).
    void SetFieldName(const std::string& value);
    TFieldType DataType() const noexcept { return FDataType; }
    TFieldKind FieldKind() const noexcept { return FFieldKind; }
    void SetFieldKind(TFieldKind value);
    bool Calculated() const noexcept { return FFieldKind == fkCalculated; }
    bool Lookup() const noexcept { return FFieldKind == fkLookup; }
    // 1-based number of the cursor column; 0 or less for calculated and
    // lookup fields (set by BindFields).
    int32_t FieldNo() const noexcept { return FFieldNo; }
    // Declared size (characters for strings, bytes for binary fields).
    int32_t Size() const noexcept { return FSize; }
    void SetSize(int32_t value);
    // Bytes of the field buffer (see the top of this file).
    int32_t DataSize() const { return GetDataSize(); }
    // Offset of a calculated or lookup field's slot within the dataset's
    // calculated-field area (set by BindFields; 0 for data fields).
    int32_t Offset() const noexcept { return FOffset; }
    TDataSet* DataSet() const noexcept { return FDataSet; }
    // Moves the field to another dataset's field list (null: none). Raises
    // when either dataset is open.
    void SetDataSet(TDataSet* value);
    int32_t Index() const;

    std::string DisplayLabel() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }
    void SetDisplayLabel(const std::string& value) { FDisplayLabel = value; }
    // The name shown in messages: DisplayLabel, else FieldName.
    std::string DisplayName() const { return DisplayLabel(); }

    bool ReadOnly() const noexcept { return FReadOnly; }
    void SetReadOnly(bool value) noexcept { FReadOnly = value; }
    bool Required() const noexcept { return FRequired; }
    void SetRequired(bool value) noexcept { FRequired = value; }
    bool Visible() const noexcept { return FVisible; }
    void SetVisible(bool value) noexcept { FVisible = value; }
    // Text is translated through the dataset's Translate on the way in and
    // out. On by default for string and memo fields, off for the others.
    bool Transliterate() const noexcept { return FTransliterate; }
    void SetTransliterate(bool value) noexcept { FTransliterate = value; }
    // Set by blob writes; cleared when the record is posted or cancelled.
    bool Modified() const noexcept { return FModified; }
    void SetModified(bool value) noexcept { FModified = value; }
    virtual bool IsBlob() const { return false; }
    // Whether the field may be written now (dataset can modify, field not read-only).
    bool CanModify() const;

    // --- lookup definition (FieldKind fkLookup)
    TDataSet* LookupDataSet() const noexcept { return FLookupDataSet; }
    void SetLookupDataSet(TDataSet* value) noexcept { FLookupDataSet = value; }
    // ";"-separated fields of this dataset whose values are looked up.
    const std::string& KeyFields() const noexcept { return FKeyFields; }
    void SetKeyFields(const std::string& value) { FKeyFields = value; }
    // ";"-separated fields of the lookup dataset matched against KeyFields.
    const std::string& LookupKeyFields() const noexcept { return FLookupKeyFields; }
    void SetLookupKeyFields(const std::string& value) { FLookupKeyFields = value; }
    const std::string& LookupResultField() const noexcept { return FLookupResultField; }
    void SetLookupResultField(const std::string& value) { FLookupResultField = value; }

    // --- values
    Variant Value() const { return GetAsVariant(); }
    void SetValue(const Variant& value) { SetAsVariant(value); }
    Variant AsVariant() const { return GetAsVariant(); }
    void SetAsVariant(const Variant& value);
    std::string AsString() const { return GetAsString(); }
    void SetAsString(const std::string& value) { SetAsStringImpl(value); }
    int32_t AsInteger() const { return GetAsInteger(); }
    void SetAsInteger(int32_t value) { SetAsIntegerImpl(value); }
    int64_t AsLargeInt() const { return GetAsLargeInt(); }
    void SetAsLargeInt(int64_t value) { SetAsLargeIntImpl(value); }
    double AsFloat() const { return GetAsFloat(); }
    void SetAsFloat(double value) { SetAsFloatImpl(value); }
    Currency AsCurrency() const { return GetAsCurrency(); }
    void SetAsCurrency(Currency value) { SetAsCurrencyImpl(value); }
    bool AsBoolean() const { return GetAsBoolean(); }
    void SetAsBoolean(bool value) { SetAsBooleanImpl(value); }
    TDateTime AsDateTime() const { return GetAsDateTime(); }
    void SetAsDateTime(TDateTime value) { SetAsDateTimeImpl(value); }
    // The value as text for display (same as AsString here).
    std::string Text() const { return GetAsString(); }
    void SetText(const std::string& value) { SetAsStringImpl(value); }
    std::string DisplayText() const { return GetAsString(); }
    // Assigns a value given in any Variant form (Null clears).
    void AssignValue(const Variant& value) { SetAsVariant(value); }

    virtual bool IsNull() const;
    // Sets the field to null.
    virtual void Clear() { SetData(nullptr); }

    // --- buffer access
    // Reads the field buffer of the dataset's current record into Buffer
    // (null Buffer: only whether there is a value). False when null or
    // there is no current record.
    bool GetData(void* buffer) const;
    // Writes Buffer (null: null value) through the dataset's SetFieldData.
    void SetData(const void* buffer);
    // Called by the dataset before a value is stored: runs OnValidate with
    // FValidating set so the handler can read the new value through the
    // buffer; raises to refuse it.
    virtual void Validate(const void* buffer);
    // The buffer being validated; null outside Validate.
    const void* ValidatingBuffer() const noexcept { return FValidating; }
    // Called by the dataset after the field's value changed (deFieldChange).
    void Change();
    // Asks the dataset to show this field's control (deFocusControl).
    void FocusControl();

    TFieldNotifyEvent OnValidate;
    TFieldNotifyEvent OnChange;

    // For the dataset: binding while open.
    void SetFieldNo(int32_t value) noexcept { FFieldNo = value; }
    void SetOffset(int32_t value) noexcept { FOffset = value; }
    // Forgets the dataset without the open-dataset checks (the dataset is
    // being destroyed).
    void SetDataSetUnchecked(TDataSet* value) noexcept { FDataSet = value; }

protected:
    void SetDataType(TFieldType value) noexcept { FDataType = value; }
    virtual int32_t GetDataSize() const { return 0; }
    virtual void CheckSize(int32_t value);

    // Typed conversions; the base raises the access error.
    virtual Variant GetAsVariant() const;
    virtual void SetVarValue(const Variant& value);
    virtual std::string GetAsString() const;
    virtual void SetAsStringImpl(const std::string& value);
    virtual int32_t GetAsInteger() const;
    virtual void SetAsIntegerImpl(int32_t value);
    virtual int64_t GetAsLargeInt() const;
    virtual void SetAsLargeIntImpl(int64_t value);
    virtual double GetAsFloat() const;
    virtual void SetAsFloatImpl(double value);
    virtual Currency GetAsCurrency() const;
    virtual void SetAsCurrencyImpl(Currency value);
    virtual bool GetAsBoolean() const;
    virtual void SetAsBooleanImpl(bool value);
    virtual TDateTime GetAsDateTime() const;
    virtual void SetAsDateTimeImpl(TDateTime value);

    [[noreturn]] void AccessError(const char* typeName) const;

private:
    TDataSet* FDataSet = nullptr;
    std::string FFieldName;
    std::string FDisplayLabel;
    TFieldType FDataType = ftUnknown;
    TFieldKind FFieldKind = fkData;
    int32_t FFieldNo = 0;
    int32_t FSize = 0;
    int32_t FOffset = 0;
    bool FReadOnly = false;
    bool FRequired = false;
    bool FVisible = true;
    bool FTransliterate = false;
    bool FModified = false;
    const void* FValidating = nullptr;
    TDataSet* FLookupDataSet = nullptr;
    std::string FKeyFields;
    std::string FLookupKeyFields;
    std::string FLookupResultField;
};

// ftString: Size characters (default 20), zero-terminated buffer of Size + 1.
// Transliterate is on by default (text passes through the dataset's Translate).
class TStringField : public TField {
public:
    explicit TStringField(TComponent* owner);

protected:
    int32_t GetDataSize() const override { return Size() + 1; }
    void CheckSize(int32_t value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    int32_t GetAsInteger() const override;
    void SetAsIntegerImpl(int32_t value) override;
    int64_t GetAsLargeInt() const override;
    void SetAsLargeIntImpl(int64_t value) override;
    double GetAsFloat() const override;
    void SetAsFloatImpl(double value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanImpl(bool value) override;
    TDateTime GetAsDateTime() const override;
    void SetAsDateTimeImpl(TDateTime value) override;

private:
    // The stored text; false when null.
    bool GetValue(std::string& value) const;
};

// Base of the numeric fields: converts between the numeric forms.
class TNumericField : public TField {
public:
    explicit TNumericField(TComponent* owner) : TField(owner) {}

protected:
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    int32_t GetAsInteger() const override;
    void SetAsIntegerImpl(int32_t value) override;
    double GetAsFloat() const override;
    void SetAsFloatImpl(double value) override;
    Currency GetAsCurrency() const override;
    void SetAsCurrencyImpl(Currency value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanImpl(bool value) override;

    // The stored value as a Variant of the field's natural type; Null when null.
    virtual Variant ReadValue() const = 0;
    // Stores a numeric Variant; raises when it does not fit.
    virtual void WriteValue(const Variant& value) = 0;
};

// ftInteger: 32-bit signed. The integer classes share range checking: a value
// outside MinValue..MaxValue (the stored type's range when both are 0) raises
// EDatabaseError SFieldRangeError.
class TIntegerField : public TNumericField {
public:
    explicit TIntegerField(TComponent* owner);
    int32_t MinValue() const noexcept { return FMinValue; }
    void SetMinValue(int32_t value) noexcept { FMinValue = value; }
    int32_t MaxValue() const noexcept { return FMaxValue; }
    void SetMaxValue(int32_t value) noexcept { FMaxValue = value; }

protected:
    int32_t GetDataSize() const override { return 4; }
    Variant ReadValue() const override;
    void WriteValue(const Variant& value) override;
    int64_t GetAsLargeInt() const override;
    void SetAsLargeIntImpl(int64_t value) override;
    // The range of the stored type.
    virtual int64_t TypeMin() const { return INT32_MIN; }
    virtual int64_t TypeMax() const { return INT32_MAX; }
    void CheckRange(int64_t value) const;

private:
    int32_t FMinValue = 0;
    int32_t FMaxValue = 0;
};

class TSmallintField : public TIntegerField {
public:
    explicit TSmallintField(TComponent* owner);

protected:
    int32_t GetDataSize() const override { return 2; }
    Variant ReadValue() const override;
    void WriteValue(const Variant& value) override;
    int64_t TypeMin() const override { return INT16_MIN; }
    int64_t TypeMax() const override { return INT16_MAX; }
};

class TWordField : public TIntegerField {
public:
    explicit TWordField(TComponent* owner);

protected:
    int32_t GetDataSize() const override { return 2; }
    Variant ReadValue() const override;
    void WriteValue(const Variant& value) override;
    int64_t TypeMin() const override { return 0; }
    int64_t TypeMax() const override { return UINT16_MAX; }
};

// An integer the engine assigns. Writable: whether a written value is kept
// is the engine's decision.
class TAutoIncField : public TIntegerField {
public:
    explicit TAutoIncField(TComponent* owner);
};

// ftLargeint: 64-bit signed.
class TLargeintField : public TNumericField {
public:
    explicit TLargeintField(TComponent* owner);

protected:
    int32_t GetDataSize() const override { return 8; }
    Variant ReadValue() const override;
    void WriteValue(const Variant& value) override;
    int64_t GetAsLargeInt() const override;
    void SetAsLargeIntImpl(int64_t value) override;
};

// ftFloat: 8-byte double.
class TFloatField : public TNumericField {
public:
    explicit TFloatField(TComponent* owner);
    int32_t Precision() const noexcept { return FPrecision; }
    void SetPrecision(int32_t value) noexcept { FPrecision = value; }

    // The stored double as it is (0 when null), without a Variant between.
    double GetAsFloat() const override;

protected:
    int32_t GetDataSize() const override { return 8; }
    Variant ReadValue() const override;
    void WriteValue(const Variant& value) override;

private:
    int32_t FPrecision = 15;
};

// ftCurrency: an amount held as an 8-byte double in the field buffer; its
// Value is a Currency Variant.
class TCurrencyField : public TFloatField {
public:
    explicit TCurrencyField(TComponent* owner);
    // The amount as its Currency value gives it (to four decimals).
    double GetAsFloat() const override { return TNumericField::GetAsFloat(); }

protected:
    Variant ReadValue() const override;
};

// ftBoolean: 2-byte WordBool.
class TBooleanField : public TField {
public:
    explicit TBooleanField(TComponent* owner);

protected:
    int32_t GetDataSize() const override { return 2; }
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanImpl(bool value) override;
    int32_t GetAsInteger() const override;
    void SetAsIntegerImpl(int32_t value) override;
};

// ftDateTime (and the date and time classes below): 8-byte TDateTime.
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(TComponent* owner);

protected:
    int32_t GetDataSize() const override { return 8; }
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    double GetAsFloat() const override;
    void SetAsFloatImpl(double value) override;
    TDateTime GetAsDateTime() const override;
    void SetAsDateTimeImpl(TDateTime value) override;
    // Brings a value to what the class stores (the date part only for a date
    // field, the time part only for a time field).
    virtual TDateTime Normalize(TDateTime value) const { return value; }
};

// ftDate: keeps only the day.
class TDateField : public TDateTimeField {
public:
    explicit TDateField(TComponent* owner);

protected:
    TDateTime Normalize(TDateTime value) const override;
};

// ftTime: keeps only the time of day.
class TTimeField : public TDateTimeField {
public:
    explicit TTimeField(TComponent* owner);

protected:
    TDateTime Normalize(TDateTime value) const override;
};

// ftBytes (fixed Size bytes) and ftVarBytes (length-prefixed); Value is a
// varByte array, AsString the bytes as a string.
class TBinaryField : public TField {
public:
    explicit TBinaryField(TComponent* owner);

protected:
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    // The stored bytes; false when null.
    virtual bool ReadBytes(std::string& bytes) const = 0;
    virtual void WriteBytes(const std::string& bytes) = 0;
    void CheckSize(int32_t value) override;
};

class TBytesField : public TBinaryField {
public:
    explicit TBytesField(TComponent* owner);

protected:
    int32_t GetDataSize() const override { return Size(); }
    bool ReadBytes(std::string& bytes) const override;
    // Shorter values are padded with zero bytes, longer ones raise.
    void WriteBytes(const std::string& bytes) override;
};

class TVarBytesField : public TBinaryField {
public:
    explicit TVarBytesField(TComponent* owner);

protected:
    int32_t GetDataSize() const override { return Size() + 2; }
    bool ReadBytes(std::string& bytes) const override;
    void WriteBytes(const std::string& bytes) override;
};

// ftBlob, and the base of memo and graphic fields. The value travels through
// a stream from the dataset's CreateBlobStream; Value and AsString give the
// whole content as a string of bytes.
class TBlobField : public TField {
public:
    explicit TBlobField(TComponent* owner);

    bool IsBlob() const override { return true; }
    // Null unless the blob holds bytes: a modified blob is asked for its size.
    bool IsNull() const override;
    void Clear() override;

    // Replaces the value with the whole of Stream (from its start).
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    // EFOpenError when the file cannot be read.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;
    int32_t BlobSize() const;

protected:
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    std::string GetAsString() const override;
    void SetAsStringImpl(const std::string& value) override;
    void CheckSize(int32_t) override {}
};

class TMemoField : public TBlobField {
public:
    explicit TMemoField(TComponent* owner);
};

class TGraphicField : public TBlobField {
public:
    explicit TGraphicField(TComponent* owner);
};

// A new field object of the class that serves DataType, owned by Owner; null
// for a type without a field class.
TField* CreateFieldOfType(TFieldType dataType, TComponent* owner);

} // namespace host
