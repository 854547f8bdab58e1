// Field definitions and field objects of the host dataset framework: value
// conversions of each field class over its field-buffer format, and the
// binding of fields to their dataset.
#include "host/Fields.h"

#include <cmath>
#include <cstring>

#include "host/DBConsts.h"
#include "host/DataSet.h"
#include "host/DateTime.h"
#include "host/Lists.h"
#include "host/Streams.h"
#include "host/SysUtils.h"

namespace host {

namespace {

const char* const kFieldTypeNames[] = {
    "Unknown",    "String",    "SmallInt",  "Integer",    "Word",      "Boolean",     "Float",   "Currency",
    "BCD",        "Date",      "Time",      "DateTime",   "Bytes",     "VarBytes",    "AutoInc", "Blob",
    "Memo",       "Graphic",   "FmtMemo",   "ParadoxOle", "DBaseOle",  "TypedBinary", "Cursor",  "FixedChar",
    "WideString", "Largeint",  "ADT",       "Array",      "Reference", "DataSet",     "OraBlob", "OraClob",
    "Variant",    "Interface", "IDispatch", "Guid"};

[[noreturn]] void FieldError(const TResStringRec& msg, std::initializer_list<Variant> args,
                             const TComponent* component = nullptr) {
    DatabaseError(Format(LoadResString(msg), args), component);
}

} // namespace

std::string FieldTypeName(TFieldType type) {
    const auto index = static_cast<size_t>(type);
    return index < std::size(kFieldTypeNames) ? kFieldTypeNames[index] : "Unknown";
}

// ---------------------------------------------------------------------------
// TFieldDef / TFieldDefs

TFieldDef::TFieldDef(TFieldDefs* owner, const std::string& name, TFieldType dataType, int32_t size,
                     bool required, int32_t fieldNo)
    : FOwner(owner), FName(name), FDataType(dataType), FSize(size), FFieldNo(fieldNo) {
    SetRequired(required);
    if (owner) owner->FItems.emplace_back(this);
}

TFieldDef::~TFieldDef() = default;

void TFieldDef::SetRequired(bool value) noexcept {
    if (value)
        FAttributes.Include(faRequired);
    else
        FAttributes.Exclude(faRequired);
}

int32_t TFieldDef::Index() const {
    if (!FOwner) return -1;
    for (int32_t i = 0; i < FOwner->Count(); ++i)
        if (FOwner->Items(i) == this) return i;
    return -1;
}

TField* TFieldDef::CreateField(TComponent* owner) {
    TDataSet* dataSet = FOwner ? FOwner->DataSet() : nullptr;
    std::unique_ptr<TField> field(CreateFieldOfType(FDataType, owner));
    if (!field) FieldError(SUnknownFieldType, {FName}, dataSet);
    field->SetFieldName(FName);
    if (FDataType == ftString || FDataType == ftBytes || FDataType == ftVarBytes ||
        FDataType == ftFixedChar || FDataType == ftWideString)
        field->SetSize(FSize);
    field->SetRequired(Required());
    field->SetFieldNo(FFieldNo);
    if (FAttributes.Contains(faReadonly)) field->SetReadOnly(true);
    field->SetDataSet(dataSet);
    return field.release();
}

void TFieldDef::Assign(TPersistent* source) {
    auto* other = dynamic_cast<TFieldDef*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    FName = other->FName;
    FDataType = other->FDataType;
    FSize = other->FSize;
    FPrecision = other->FPrecision;
    FAttributes = other->FAttributes;
    FInternalCalcField = other->FInternalCalcField;
}

TFieldDefs::TFieldDefs(TDataSet* dataSet) : FDataSet(dataSet) {}
TFieldDefs::~TFieldDefs() = default;

TFieldDef* TFieldDefs::Add(const std::string& name, TFieldType dataType, int32_t size, bool required) {
    return new TFieldDef(this, name, dataType, size, required, Count() + 1);
}

TFieldDef* TFieldDefs::AddFieldDef() {
    return new TFieldDef(this, "", ftUnknown, 0, false, Count() + 1);
}

void TFieldDefs::Clear() {
    FItems.clear();
}

TFieldDef* TFieldDefs::Items(int32_t index) const {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", {index}));
    return FItems[static_cast<size_t>(index)].get();
}

int32_t TFieldDefs::IndexOf(const std::string& name) const {
    for (int32_t i = 0; i < Count(); ++i)
        if (AnsiSameText(FItems[static_cast<size_t>(i)]->Name(), name)) return i;
    return -1;
}

TFieldDef* TFieldDefs::Find(const std::string& name) const {
    const int32_t i = IndexOf(name);
    if (i < 0) FieldError(SFieldNotFound, {name}, FDataSet);
    return Items(i);
}

void TFieldDefs::Update() {
    if (FUpdated || !FDataSet) return;
    FDataSet->InternalInitFieldDefs();
    FUpdated = true;
}

void TFieldDefs::Assign(TPersistent* source) {
    auto* other = dynamic_cast<TFieldDefs*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    Clear();
    for (const auto& def : other->FItems) {
        TFieldDef* copy = AddFieldDef();
        copy->Assign(def.get());
        copy->SetFieldNo(def->FieldNo());
    }
}

// ---------------------------------------------------------------------------
// TFields

TField* TFields::Fields(int32_t index) const {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", {index}));
    return FList[static_cast<size_t>(index)];
}

void TFields::Add(TField* field) {
    FList.push_back(field);
}

void TFields::Remove(TField* field) {
    std::erase(FList, field);
}

int32_t TFields::IndexOf(const TField* field) const noexcept {
    for (size_t i = 0; i < FList.size(); ++i)
        if (FList[i] == field) return static_cast<int32_t>(i);
    return -1;
}

TField* TFields::FindField(const std::string& fieldName) const {
    // A name spelt exactly as a field's (code that looks fields up for every
    // value) is found by comparing bytes; only fields before it of the same
    // length still need the folded comparison, as the first match wins.
    for (size_t j = 0; j < FList.size(); ++j) {
        if (FList[j]->FieldName() != fieldName) continue;
        for (size_t i = 0; i < j; ++i)
            if (FList[i]->FieldName().size() == fieldName.size() &&
                AnsiSameText(FList[i]->FieldName(), fieldName))
                return FList[i];
        return FList[j];
    }
    for (TField* f : FList)
        if (AnsiSameText(f->FieldName(), fieldName)) return f;
    return nullptr;
}

TField* TFields::FieldByName(const std::string& fieldName) const {
    TField* f = FindField(fieldName);
    if (!f) FieldError(SFieldNotFound, {fieldName}, FDataSet);
    return f;
}

TField* TFields::FieldByNumber(int32_t fieldNo) const {
    for (TField* f : FList)
        if (f->FieldNo() == fieldNo) return f;
    return nullptr;
}

// ---------------------------------------------------------------------------
// TField

TField::TField(TComponent* owner) : TComponent(owner) {}

TField::~TField() {
    if (FDataSet) FDataSet->Fields()->Remove(this);
}

void TField::SetFieldName(const std::string& value) {
    if (FDataSet && FDataSet->Active()) FDataSet->CheckInactive();
    FFieldName = value;
}

void TField::SetFieldKind(TFieldKind value) {
    if (FDataSet) FDataSet->CheckInactive();
    FFieldKind = value;
}

void TField::SetSize(int32_t value) {
    if (FDataSet) FDataSet->CheckInactive();
    CheckSize(value);
    FSize = value;
}

void TField::CheckSize(int32_t value) {
    if (value != 0) FieldError(SInvalidFieldSize, {value});
}

void TField::SetDataSet(TDataSet* value) {
    if (value == FDataSet) return;
    if (FDataSet) FDataSet->CheckInactive();
    if (value) {
        value->CheckInactive();
        if (!FFieldName.empty() && value->FindField(FFieldName))
            FieldError(SDuplicateFieldName, {FFieldName}, value);
    }
    if (FDataSet) FDataSet->Fields()->Remove(this);
    FDataSet = value;
    if (FDataSet) FDataSet->Fields()->Add(this);
}

int32_t TField::Index() const {
    return FDataSet ? FDataSet->Fields()->IndexOf(this) : -1;
}

bool TField::CanModify() const {
    return !FReadOnly && FDataSet && FDataSet->Active() && FDataSet->CanModify();
}

bool TField::GetData(void* buffer) const {
    if (!FDataSet) FieldError(SDataSetMissing, {DisplayName()});
    return FDataSet->GetFieldData(const_cast<TField*>(this), buffer);
}

void TField::SetData(const void* buffer) {
    if (!FDataSet) FieldError(SDataSetMissing, {DisplayName()});
    FDataSet->SetFieldData(this, buffer);
}

bool TField::IsNull() const {
    return !GetData(nullptr);
}

void TField::Validate(const void* buffer) {
    if (!OnValidate) return;
    // The handler reads the proposed value through ValidatingBuffer.
    const void* saved = FValidating;
    FValidating = buffer;
    try {
        OnValidate(this);
    } catch (...) {
        FValidating = saved;
        throw;
    }
    FValidating = saved;
}

void TField::Change() {
    if (OnChange) OnChange(this);
}

void TField::FocusControl() {
    if (FDataSet && FDataSet->Active()) {
        TField* self = this;
        FDataSet->DataEvent(deFocusControl, reinterpret_cast<intptr_t>(&self));
    }
}

void TField::SetAsVariant(const Variant& value) {
    if (value.IsNull() || value.IsEmpty())
        Clear();
    else
        SetVarValue(value);
}

void TField::AccessError(const char* typeName) const {
    FieldError(SFieldAccessError, {DisplayName(), typeName});
}

Variant TField::GetAsVariant() const {
    AccessError("Variant");
}
void TField::SetVarValue(const Variant&) {
    AccessError("Variant");
}
std::string TField::GetAsString() const {
    AccessError("String");
}
void TField::SetAsStringImpl(const std::string&) {
    AccessError("String");
}
int32_t TField::GetAsInteger() const {
    AccessError("Integer");
}
void TField::SetAsIntegerImpl(int32_t) {
    AccessError("Integer");
}
int64_t TField::GetAsLargeInt() const {
    return GetAsInteger();
}
void TField::SetAsLargeIntImpl(int64_t value) {
    if (value < INT32_MIN || value > INT32_MAX) AccessError("Largeint");
    SetAsIntegerImpl(static_cast<int32_t>(value));
}
double TField::GetAsFloat() const {
    AccessError("Float");
}
void TField::SetAsFloatImpl(double) {
    AccessError("Float");
}
Currency TField::GetAsCurrency() const {
    return Currency::FromDouble(GetAsFloat());
}
void TField::SetAsCurrencyImpl(Currency value) {
    SetAsFloatImpl(value.ToDouble());
}
bool TField::GetAsBoolean() const {
    AccessError("Boolean");
}
void TField::SetAsBooleanImpl(bool) {
    AccessError("Boolean");
}
TDateTime TField::GetAsDateTime() const {
    AccessError("DateTime");
}
void TField::SetAsDateTimeImpl(TDateTime) {
    AccessError("DateTime");
}

// ---------------------------------------------------------------------------
// TStringField

TStringField::TStringField(TComponent* owner) : TField(owner) {
    SetDataType(ftString);
    SetSize(20);
    SetTransliterate(true);
}

void TStringField::CheckSize(int32_t value) {
    if (value < 0 || value > 8192) FieldError(SInvalidFieldSize, {value});
}

bool TStringField::GetValue(std::string& value) const {
    std::vector<char> buf(static_cast<size_t>(Size()) + 1, '\0');
    if (!GetData(buf.data())) return false;
    buf.back() = '\0';
    if (Transliterate() && DataSet()) DataSet()->Translate(buf.data(), buf.data(), false);
    value.assign(buf.data());
    return true;
}

Variant TStringField::GetAsVariant() const {
    std::string s;
    return GetValue(s) ? Variant(s) : Variant::Null();
}

void TStringField::SetVarValue(const Variant& value) {
    SetAsStringImpl(value.AsString());
}

std::string TStringField::GetAsString() const {
    std::string s;
    GetValue(s);
    return s;
}

void TStringField::SetAsStringImpl(const std::string& value) {
    // Longer text is cut at Size characters, as the host does; the buffer
    // always ends in a terminator.
    std::vector<char> buf(static_cast<size_t>(Size()) + 1, '\0');
    std::memcpy(buf.data(), value.data(), std::min(value.size(), static_cast<size_t>(Size())));
    if (Transliterate() && DataSet()) DataSet()->Translate(buf.data(), buf.data(), true);
    SetData(buf.data());
}

int32_t TStringField::GetAsInteger() const {
    const std::string s = GetAsString();
    return s.empty() ? 0 : StrToInt(s);
}
void TStringField::SetAsIntegerImpl(int32_t value) {
    SetAsStringImpl(IntToStr(value));
}
int64_t TStringField::GetAsLargeInt() const {
    const std::string s = GetAsString();
    return s.empty() ? 0 : StrToInt64(s);
}
void TStringField::SetAsLargeIntImpl(int64_t value) {
    SetAsStringImpl(IntToStr(value));
}
double TStringField::GetAsFloat() const {
    const std::string s = GetAsString();
    return s.empty() ? 0.0 : StrToFloat(s);
}
void TStringField::SetAsFloatImpl(double value) {
    SetAsStringImpl(FloatToStr(value));
}
bool TStringField::GetAsBoolean() const {
    const std::string s = GetAsString();
    if (s.empty()) return false;
    return Variant(s).AsBoolean();
}
void TStringField::SetAsBooleanImpl(bool value) {
    SetAsStringImpl(LoadResString(value ? STextTrue : STextFalse));
}
TDateTime TStringField::GetAsDateTime() const {
    const std::string s = GetAsString();
    return s.empty() ? 0.0 : StrToDateTime(s);
}
void TStringField::SetAsDateTimeImpl(TDateTime value) {
    SetAsStringImpl(DateTimeToStr(value));
}

// ---------------------------------------------------------------------------
// Numeric fields

Variant TNumericField::GetAsVariant() const {
    return ReadValue();
}

void TNumericField::SetVarValue(const Variant& value) {
    if (value.VarType() == varString || value.VarType() == varOleStr)
        SetAsStringImpl(value.AsString());
    else
        WriteValue(value);
}

std::string TNumericField::GetAsString() const {
    const Variant v = ReadValue();
    return v.IsNull() ? std::string() : v.AsString();
}

void TNumericField::SetAsStringImpl(const std::string& value) {
    const std::string text = Trim(value);
    if (text.empty()) {
        Clear();
        return;
    }
    double d = 0;
    int64_t i = 0;
    if (TryStrToInt64(text, i))
        WriteValue(Variant(i));
    else if (TryStrToFloat(text, d))
        WriteValue(Variant(d));
    else
        FieldError(SFieldValueError, {value, DisplayName()});
}

int32_t TNumericField::GetAsInteger() const {
    const Variant v = ReadValue();
    return v.IsNull() ? 0 : v.AsInteger();
}
void TNumericField::SetAsIntegerImpl(int32_t value) {
    WriteValue(Variant(value));
}
double TNumericField::GetAsFloat() const {
    const Variant v = ReadValue();
    return v.IsNull() ? 0.0 : v.AsDouble();
}
void TNumericField::SetAsFloatImpl(double value) {
    WriteValue(Variant(value));
}
Currency TNumericField::GetAsCurrency() const {
    const Variant v = ReadValue();
    return v.IsNull() ? Currency() : v.AsCurrency();
}
void TNumericField::SetAsCurrencyImpl(Currency value) {
    WriteValue(Variant(value));
}
bool TNumericField::GetAsBoolean() const {
    const Variant v = ReadValue();
    return v.IsNull() ? false : v.AsDouble() != 0;
}
void TNumericField::SetAsBooleanImpl(bool value) {
    WriteValue(Variant(int32_t{value ? 1 : 0}));
}

TIntegerField::TIntegerField(TComponent* owner) : TNumericField(owner) {
    SetDataType(ftInteger);
}

void TIntegerField::CheckRange(int64_t value) const {
    int64_t lo = TypeMin(), hi = TypeMax();
    if (FMinValue != 0 || FMaxValue != 0) {
        lo = std::max<int64_t>(lo, FMinValue);
        hi = std::min<int64_t>(hi, FMaxValue);
    }
    if (value < lo || value > hi)
        FieldError(SFieldRangeError, {IntToStr(value), IntToStr(lo), IntToStr(hi), DisplayName()});
}

// Integer fields take whole numbers only; a fraction is refused rather than rounded.
static int64_t WholeNumber(const Variant& value, const TField& field) {
    if (value.VarType() == varDouble || value.VarType() == varSingle || value.VarType() == varCurrency ||
        value.VarType() == varDate) {
        int64_t whole = 0;
        if (!DoubleToInt64Exact(value.AsDouble(), whole))
            FieldError(SFieldValueError, {value.AsString(), field.DisplayName()});
        return whole;
    }
    return value.AsInt64();
}

Variant TIntegerField::ReadValue() const {
    int32_t v = 0;
    return GetData(&v) ? Variant(v) : Variant::Null();
}

void TIntegerField::WriteValue(const Variant& value) {
    const int64_t v = WholeNumber(value, *this);
    CheckRange(v);
    const auto stored = static_cast<int32_t>(v);
    SetData(&stored);
}

int64_t TIntegerField::GetAsLargeInt() const {
    return GetAsInteger();
}
void TIntegerField::SetAsLargeIntImpl(int64_t value) {
    WriteValue(Variant(value));
}

TSmallintField::TSmallintField(TComponent* owner) : TIntegerField(owner) {
    SetDataType(ftSmallint);
}

Variant TSmallintField::ReadValue() const {
    int16_t v = 0;
    return GetData(&v) ? Variant(v) : Variant::Null();
}

void TSmallintField::WriteValue(const Variant& value) {
    const int64_t v = WholeNumber(value, *this);
    CheckRange(v);
    const auto stored = static_cast<int16_t>(v);
    SetData(&stored);
}

TWordField::TWordField(TComponent* owner) : TIntegerField(owner) {
    SetDataType(ftWord);
}

Variant TWordField::ReadValue() const {
    uint16_t v = 0;
    return GetData(&v) ? Variant(int32_t{v}) : Variant::Null();
}

void TWordField::WriteValue(const Variant& value) {
    const int64_t v = WholeNumber(value, *this);
    CheckRange(v);
    const auto stored = static_cast<uint16_t>(v);
    SetData(&stored);
}

TAutoIncField::TAutoIncField(TComponent* owner) : TIntegerField(owner) {
    SetDataType(ftAutoInc);
}

TLargeintField::TLargeintField(TComponent* owner) : TNumericField(owner) {
    SetDataType(ftLargeint);
}

Variant TLargeintField::ReadValue() const {
    int64_t v = 0;
    return GetData(&v) ? Variant(v) : Variant::Null();
}

void TLargeintField::WriteValue(const Variant& value) {
    const int64_t v = WholeNumber(value, *this);
    SetData(&v);
}

int64_t TLargeintField::GetAsLargeInt() const {
    int64_t v = 0;
    return GetData(&v) ? v : 0;
}
void TLargeintField::SetAsLargeIntImpl(int64_t value) {
    SetData(&value);
}

TFloatField::TFloatField(TComponent* owner) : TNumericField(owner) {
    SetDataType(ftFloat);
}

double TFloatField::GetAsFloat() const {
    double v = 0;
    return GetData(&v) ? v : 0.0;
}

Variant TFloatField::ReadValue() const {
    double v = 0;
    return GetData(&v) ? Variant(v) : Variant::Null();
}

void TFloatField::WriteValue(const Variant& value) {
    double v = 0;
    // A large integer that no double holds would be rounded on the way in.
    if (value.VarType() == varInt64 || value.VarType() == varLongWord) {
        if (!Int64ToDoubleExact(value.AsInt64(), v))
            FieldError(SFieldValueError, {value.AsString(), DisplayName()});
    } else {
        v = value.AsDouble();
    }
    SetData(&v);
}

TCurrencyField::TCurrencyField(TComponent* owner) : TFloatField(owner) {
    SetDataType(ftCurrency);
}

Variant TCurrencyField::ReadValue() const {
    double v = 0;
    return GetData(&v) ? Variant(Currency::FromDouble(v)) : Variant::Null();
}

// ---------------------------------------------------------------------------
// TBooleanField

TBooleanField::TBooleanField(TComponent* owner) : TField(owner) {
    SetDataType(ftBoolean);
}

Variant TBooleanField::GetAsVariant() const {
    int16_t v = 0;
    return GetData(&v) ? Variant(v != 0) : Variant::Null();
}

void TBooleanField::SetVarValue(const Variant& value) {
    if (value.VarType() == varString || value.VarType() == varOleStr)
        SetAsStringImpl(value.AsString());
    else
        SetAsBooleanImpl(value.AsBoolean());
}

std::string TBooleanField::GetAsString() const {
    int16_t v = 0;
    if (!GetData(&v)) return std::string();
    return LoadResString(v != 0 ? STextTrue : STextFalse);
}

void TBooleanField::SetAsStringImpl(const std::string& value) {
    const std::string text = Trim(value);
    if (text.empty())
        Clear();
    else if (AnsiSameText(text, LoadResString(STextTrue)) || AnsiSameText(text, "T") ||
             AnsiSameText(text, "Y") || AnsiSameText(text, "Yes") || AnsiSameText(text, "True"))
        SetAsBooleanImpl(true);
    else if (AnsiSameText(text, LoadResString(STextFalse)) || AnsiSameText(text, "F") ||
             AnsiSameText(text, "N") || AnsiSameText(text, "No") || AnsiSameText(text, "False"))
        SetAsBooleanImpl(false);
    else
        FieldError(SFieldValueError, {value, DisplayName()});
}

bool TBooleanField::GetAsBoolean() const {
    int16_t v = 0;
    return GetData(&v) && v != 0;
}

void TBooleanField::SetAsBooleanImpl(bool value) {
    const int16_t v = value ? -1 : 0;
    SetData(&v);
}

int32_t TBooleanField::GetAsInteger() const {
    return GetAsBoolean() ? 1 : 0;
}
void TBooleanField::SetAsIntegerImpl(int32_t value) {
    SetAsBooleanImpl(value != 0);
}

// ---------------------------------------------------------------------------
// Date and time fields

TDateTimeField::TDateTimeField(TComponent* owner) : TField(owner) {
    SetDataType(ftDateTime);
}

Variant TDateTimeField::GetAsVariant() const {
    double v = 0;
    return GetData(&v) ? Variant::FromDate(v) : Variant::Null();
}

void TDateTimeField::SetVarValue(const Variant& value) {
    if (value.VarType() == varString || value.VarType() == varOleStr)
        SetAsStringImpl(value.AsString());
    else
        SetAsDateTimeImpl(value.AsDateTime());
}

std::string TDateTimeField::GetAsString() const {
    double v = 0;
    if (!GetData(&v)) return std::string();
    switch (DataType()) {
    case ftDate:
        return DateToStr(v);
    case ftTime:
        return TimeToStr(v);
    default:
        return DateTimeToStr(v);
    }
}

void TDateTimeField::SetAsStringImpl(const std::string& value) {
    const std::string text = Trim(value);
    if (text.empty()) {
        Clear();
        return;
    }
    TDateTime v = 0;
    if (!TryStrToDateTime(text, v)) FieldError(SFieldValueError, {value, DisplayName()});
    SetAsDateTimeImpl(v);
}

double TDateTimeField::GetAsFloat() const {
    return GetAsDateTime();
}
void TDateTimeField::SetAsFloatImpl(double value) {
    SetAsDateTimeImpl(value);
}

TDateTime TDateTimeField::GetAsDateTime() const {
    double v = 0;
    return GetData(&v) ? v : 0.0;
}

void TDateTimeField::SetAsDateTimeImpl(TDateTime value) {
    const double v = Normalize(value);
    SetData(&v);
}

TDateField::TDateField(TComponent* owner) : TDateTimeField(owner) {
    SetDataType(ftDate);
}

TDateTime TDateField::Normalize(TDateTime value) const {
    return std::trunc(value);
}

TTimeField::TTimeField(TComponent* owner) : TDateTimeField(owner) {
    SetDataType(ftTime);
}

TDateTime TTimeField::Normalize(TDateTime value) const {
    return std::fabs(value - std::trunc(value));
}

// ---------------------------------------------------------------------------
// Binary fields

TBinaryField::TBinaryField(TComponent* owner) : TField(owner) {}

void TBinaryField::CheckSize(int32_t value) {
    if (value < 0 || value > 65535) FieldError(SInvalidFieldSize, {value});
}

Variant TBinaryField::GetAsVariant() const {
    std::string bytes;
    if (!ReadBytes(bytes)) return Variant::Null();
    Variant v = VarArrayCreate(0, static_cast<int32_t>(bytes.size()) - 1, varByte);
    if (!bytes.empty()) {
        std::memcpy(VarArrayLock(v), bytes.data(), bytes.size());
        VarArrayUnlock(v);
    }
    return v;
}

void TBinaryField::SetVarValue(const Variant& value) {
    if (value.IsArray()) {
        Variant copy = value;
        const int32_t lo = VarArrayLowBound(copy), hi = VarArrayHighBound(copy);
        std::string bytes;
        for (int32_t i = lo; i <= hi; ++i)
            bytes.push_back(static_cast<char>(copy.GetElement(i).AsByte()));
        WriteBytes(bytes);
    } else {
        WriteBytes(value.AsString());
    }
}

std::string TBinaryField::GetAsString() const {
    std::string bytes;
    ReadBytes(bytes);
    return bytes;
}

void TBinaryField::SetAsStringImpl(const std::string& value) {
    WriteBytes(value);
}

TBytesField::TBytesField(TComponent* owner) : TBinaryField(owner) {
    SetDataType(ftBytes);
    SetSize(16);
}

bool TBytesField::ReadBytes(std::string& bytes) const {
    bytes.assign(static_cast<size_t>(Size()), '\0');
    return GetData(bytes.data());
}

void TBytesField::WriteBytes(const std::string& bytes) {
    if (bytes.size() > static_cast<size_t>(Size())) FieldError(SFieldSizeError, {DisplayName(), Size()});
    std::string buf(static_cast<size_t>(Size()), '\0');
    std::memcpy(buf.data(), bytes.data(), bytes.size());
    SetData(buf.data());
}

TVarBytesField::TVarBytesField(TComponent* owner) : TBinaryField(owner) {
    SetDataType(ftVarBytes);
    SetSize(16);
}

bool TVarBytesField::ReadBytes(std::string& bytes) const {
    std::string buf(static_cast<size_t>(Size()) + 2, '\0');
    if (!GetData(buf.data())) return false;
    uint16_t len = 0;
    std::memcpy(&len, buf.data(), 2);
    len = std::min<uint16_t>(len, static_cast<uint16_t>(Size()));
    bytes.assign(buf.data() + 2, len);
    return true;
}

void TVarBytesField::WriteBytes(const std::string& bytes) {
    if (bytes.size() > static_cast<size_t>(Size())) FieldError(SFieldSizeError, {DisplayName(), Size()});
    std::string buf(static_cast<size_t>(Size()) + 2, '\0');
    const auto len = static_cast<uint16_t>(bytes.size());
    std::memcpy(buf.data(), &len, 2);
    std::memcpy(buf.data() + 2, bytes.data(), bytes.size());
    SetData(buf.data());
}

// ---------------------------------------------------------------------------
// Blob fields

TBlobField::TBlobField(TComponent* owner) : TField(owner) {
    SetDataType(ftBlob);
}

namespace {
std::unique_ptr<TStream> OpenBlob(const TBlobField& field, TBlobStreamMode mode) {
    TDataSet* ds = field.DataSet();
    if (!ds) FieldError(SDataSetMissing, {field.DisplayName()});
    auto stream = ds->CreateBlobStream(const_cast<TBlobField*>(&field), mode);
    if (!stream) FieldError(SBlobStreamUnavailable, {field.DisplayName()}, ds);
    return stream;
}
} // namespace

bool TBlobField::IsNull() const {
    if (Modified()) return OpenBlob(*this, bmRead)->Size() == 0;
    return TField::IsNull();
}

void TBlobField::Clear() {
    OpenBlob(*this, bmWrite);
}

void TBlobField::LoadFromStream(TStream& stream) {
    auto blob = OpenBlob(*this, bmWrite);
    stream.SetPosition(0);
    blob->CopyFrom(stream, 0);
}

void TBlobField::SaveToStream(TStream& stream) const {
    auto blob = OpenBlob(*this, bmRead);
    const int64_t size = blob->Size();
    if (size > 0) stream.CopyFrom(*blob, 0);
}

void TBlobField::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead);
    LoadFromStream(file);
}

void TBlobField::SaveToFile(const std::string& fileName) const {
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}

int32_t TBlobField::BlobSize() const {
    return static_cast<int32_t>(OpenBlob(*this, bmRead)->Size());
}

std::string TBlobField::GetAsString() const {
    TDataSet* ds = DataSet();
    if (!ds) FieldError(SDataSetMissing, {DisplayName()});
    std::string bytes;
    // A field numbered in its dataset lets the dataset hand the value over
    // whole; the others (no field number) read their stream.
    if (FieldNo() > 0) {
        ds->GetBlobFieldData(FieldNo(), bytes);
        return bytes;
    }
    OpenBlob(*this, bmRead)->ReadWhole(bytes);
    return bytes;
}

void TBlobField::SetAsStringImpl(const std::string& value) {
    auto blob = OpenBlob(*this, bmWrite);
    if (!value.empty()) blob->Write(value.data(), static_cast<int32_t>(value.size()));
}

Variant TBlobField::GetAsVariant() const {
    if (IsNull()) return Variant::Null();
    return Variant(GetAsString());
}

void TBlobField::SetVarValue(const Variant& value) {
    SetAsStringImpl(value.AsString());
}

TMemoField::TMemoField(TComponent* owner) : TBlobField(owner) {
    SetDataType(ftMemo);
    SetTransliterate(true);
}

TGraphicField::TGraphicField(TComponent* owner) : TBlobField(owner) {
    SetDataType(ftGraphic);
}

TField* CreateFieldOfType(TFieldType dataType, TComponent* owner) {
    switch (dataType) {
    case ftString:
    case ftFixedChar:
        return new TStringField(owner);
    case ftSmallint:
        return new TSmallintField(owner);
    case ftInteger:
        return new TIntegerField(owner);
    case ftWord:
        return new TWordField(owner);
    case ftAutoInc:
        return new TAutoIncField(owner);
    case ftLargeint:
        return new TLargeintField(owner);
    case ftBoolean:
        return new TBooleanField(owner);
    case ftFloat:
        return new TFloatField(owner);
    case ftCurrency:
    case ftBCD:
        return new TCurrencyField(owner);
    case ftDate:
        return new TDateField(owner);
    case ftTime:
        return new TTimeField(owner);
    case ftDateTime:
        return new TDateTimeField(owner);
    case ftBytes:
        return new TBytesField(owner);
    case ftVarBytes:
        return new TVarBytesField(owner);
    case ftBlob:
    case ftTypedBinary:
    case ftOraBlob:
        return new TBlobField(owner);
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob:
        return new TMemoField(owner);
    case ftGraphic:
        return new TGraphicField(owner);
    default:
        return nullptr;
    }
}

} // namespace host
