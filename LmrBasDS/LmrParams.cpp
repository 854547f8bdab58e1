// Parameter values: typed setters and getters over the stored Variant, the
// text and binary forms, copying between parameters, fields, strings and
// bitmaps, and the collection's lookups and binding values.
#include "LmrBasDS/LmrParams.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

#include "LmrBase/LmrErrors.h"
#include "host/DateTime.h"
#include "host/Exceptions.h"
#include "host/Fields.h"
#include "host/Graphics.h"
#include "host/Streams.h"
#include "host/Strings.h"
#include "host/SysUtils.h"

using host::Variant;

namespace {

// Values in the binary layout are little-endian whatever the machine is.
template <class T> void PutLE(void* buffer, T value) {
    static_assert(std::is_integral_v<T>);
    auto* p = static_cast<uint8_t*>(buffer);
    using U = std::make_unsigned_t<T>;
    const U u = static_cast<U>(value);
    for (size_t i = 0; i < sizeof(T); ++i)
        p[i] = static_cast<uint8_t>(u >> (8 * i));
}

template <class T> T GetLE(const void* buffer) {
    static_assert(std::is_integral_v<T>);
    const auto* p = static_cast<const uint8_t*>(buffer);
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        u |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
    return static_cast<T>(u);
}

void PutDouble(void* buffer, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PutLE<uint64_t>(buffer, bits);
}

double GetDouble(const void* buffer) {
    const uint64_t bits = GetLE<uint64_t>(buffer);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Text types carry a terminating zero in the binary layout.
bool IsTextType(TLumraFieldTypes type) {
    return type == ntString || type == ntMemo;
}
bool IsBinaryType(TLumraFieldTypes type) {
    return type == ntBinary || type == ntBlob;
}
bool IsDateType(TLumraFieldTypes type) {
    return type == ntDate || type == ntTime || type == ntDateTime;
}

int32_t CheckedLength(size_t length) {
    if (length > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw host::ERangeError("Parameter value is too large for its binary form");
    return static_cast<int32_t>(length);
}

} // namespace

// ---- TLumraParam ---------------------------------------------------------------

TLumraParam::TLumraParam(TLumraParams* collection, const std::string& name) {
    if (collection != nullptr) collection->AddParam(this);
    StoreName(name);
    SetDataType(ntUnknown);
}

TLumraParam::~TLumraParam() {
    if (FParamCollection != nullptr) FParamCollection->RemoveParam(this);
}

void TLumraParam::StoreName(const std::string& value) {
    FName = value;
    if (FParamCollection != nullptr) FParamCollection->NamesChanged();
}

void TLumraParam::MarkValue() noexcept {
    FBound = true;
    FIsNull = false;
}

#if LMR_HOST_GENERATION != 3
void TLumraParam::InitValue() {
    MarkValue();
}
#endif

void TLumraParam::AssignTo(host::TPersistent* dest) {
    if (auto* field = dynamic_cast<host::TField*>(dest)) {
        field->SetValue(FData);
        return;
    }
    host::TPersistent::AssignTo(dest);
}

void TLumraParam::Assign(host::TPersistent* source) {
    if (auto* param = dynamic_cast<TLumraParam*>(source)) {
        AssignParam(param);
    } else if (auto* field = dynamic_cast<host::TField*>(source)) {
        AssignField(field);
    } else if (auto* strings = dynamic_cast<host::TStrings*>(source)) {
        SetAsMemo(strings->Text());
    } else if (auto* bitmap = dynamic_cast<host::TBitmap*>(source)) {
        host::TMemoryStream stream;
        bitmap->SaveToStream(stream);
        LoadFromStream(stream, ntBlob);
    } else if (auto* picture = dynamic_cast<host::TPicture*>(source);
               picture != nullptr && dynamic_cast<host::TBitmap*>(picture->Graphic()) != nullptr) {
        Assign(picture->Graphic());
    } else {
        host::TPersistent::Assign(source);
    }
}

void TLumraParam::AssignParam(const TLumraParam* param) {
    // Copying onto itself would lose the value to SetDataType below.
    if (param == nullptr || param == this) return;
    SetDataType(param->FDataType);
    if (param->FIsNull) {
        Clear();
    } else {
        MarkValue();
        FData = param->FData;
    }
    FBound = param->FBound;
    StoreName(param->FName);
    FAlias = param->FAlias;
    if (FParamType == nptUnknown) FParamType = param->FParamType;
}

void TLumraParam::AssignField(host::TField* field) {
    if (field == nullptr) return;
    StoreName(field->FieldName());
    FAlias = field->FieldName();
    AssignFieldValue(field, field->Value());
}

void TLumraParam::AssignFieldValue(host::TField* field, const Variant& value) {
    if (field == nullptr) return;
    if (field->IsNull()) {
        Clear();
    } else {
        MarkValue();
        SetAsVariant(value);
    }
    FBound = true;
}

void TLumraParam::Clear() {
    FIsNull = true;
    FData = Variant(int32_t{0});
}

bool TLumraParam::IsEqual(const TLumraParam* other) const {
    if (other == nullptr) return false;
    // Two null parameters have no value to compare: what is left in the
    // stored value differs by road (SetAsVariant(Null) keeps Null, Clear and
    // so every copy of a null parameter leave integer 0), and comparing it
    // would make a copied collection differ from its source.
    const bool sameValue =
        (FIsNull && other->FIsNull) || (FData.VarType() == other->FData.VarType() &&
                                        host::VarCompareValue(FData, other->FData) == host::vrEqual);
    return sameValue && FName == other->FName && FAlias == other->FAlias && FDataType == other->FDataType &&
           FIsNull == other->FIsNull && FBound == other->FBound && FParamType == other->FParamType;
}

void TLumraParam::SetDataType(TLumraFieldTypes value) {
    FData = Variant(int32_t{0});
    FDataType = value;
}

void TLumraParam::LoadFromFile(const std::string& fileName, TLumraFieldTypes dataType) {
    host::TFileStream stream(fileName, host::fmOpenRead);
    LoadFromStream(stream, dataType);
}

void TLumraParam::LoadFromStream(host::TStream& stream, TLumraFieldTypes dataType) {
    MarkValue();
    FDataType = dataType;
    stream.SetPosition(0);
    const int64_t size = stream.Size();
    if (size > static_cast<int64_t>(std::numeric_limits<int32_t>::max()))
        throw host::EReadError("Stream read error");
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0) stream.ReadBuffer(bytes.data(), static_cast<int32_t>(size));
    FData = Variant(std::move(bytes));
}

int32_t TLumraParam::GetDataSize() const {
    switch (FDataType) {
    case ntString:
    case ntMemo:
        return CheckedLength(FData.AsString().size() + 1);
    case ntInteger:
        return 4;
    case ntFloat:
    case ntCurrency:
        return 8;
    case ntDate:
    case ntTime:
        return 4;
    case ntDateTime:
        return 8;
    case ntBoolean:
        return 2;
    case ntBinary:
    case ntBlob:
        return CheckedLength(FData.AsString().size());
    default:
        return 0;
    }
}

void TLumraParam::GetData(void* buffer) const {
    switch (FDataType) {
    case ntString:
    case ntMemo:
    case ntBinary:
    case ntBlob: {
        const std::string text = FData.AsString();
        CheckedLength(text.size() + 1);
        std::memcpy(buffer, text.data(), text.size());
        if (IsTextType(FDataType)) static_cast<char*>(buffer)[text.size()] = '\0';
        break;
    }
    case ntInteger:
        PutLE<int32_t>(buffer, FData.AsInteger());
        break;
    case ntFloat:
    case ntCurrency:
        PutDouble(buffer, FData.AsDouble());
        break;
    case ntDate:
    case ntTime:
    case ntDateTime: {
        const host::TTimeStamp stamp = host::DateTimeToTimeStamp(GetAsDateTime());
        if (FDataType == ntDate)
            PutLE<int32_t>(buffer, stamp.Date);
        else if (FDataType == ntTime)
            PutLE<int32_t>(buffer, stamp.Time);
        else
            PutDouble(buffer, static_cast<double>(host::TimeStampToMSecs(stamp)));
        break;
    }
    case ntBoolean:
        PutLE<uint16_t>(buffer, FData.AsBoolean() ? 1 : 0);
        break;
    default:
        break;
    }
}

void TLumraParam::SetData(const void* buffer) {
    switch (FDataType) {
    case ntString:
        SetAsString(std::string(static_cast<const char*>(buffer)));
        break;
    case ntMemo:
        SetAsMemo(std::string(static_cast<const char*>(buffer)));
        break;
    case ntInteger:
        SetAsInteger(GetLE<int32_t>(buffer));
        break;
    case ntFloat:
        SetAsFloat(GetDouble(buffer));
        break;
    case ntCurrency:
        SetAsCurrency(GetDouble(buffer));
        break;
    case ntDate:
        SetAsDate(host::TimeStampToDateTime({0, GetLE<int32_t>(buffer)}));
        break;
    case ntTime:
        SetAsTime(host::TimeStampToDateTime({GetLE<int32_t>(buffer), host::DateDelta}));
        break;
    case ntDateTime: {
        const double msecs = GetDouble(buffer);
        // llround of a non-finite or huge value is undefined; such bytes are
        // not a date-time of the layout.
        if (!std::isfinite(msecs) || std::fabs(msecs) > 9.0e15)
            throw host::EConvertError("Invalid date-time value in parameter data");
        SetAsDateTime(host::TimeStampToDateTime(host::MSecsToTimeStamp(std::llround(msecs))));
        break;
    }
    case ntBoolean:
        SetAsBoolean(GetLE<uint16_t>(buffer) != 0);
        break;
    default:
        SetText(std::string());
        break;
    }
}

void TLumraParam::SetDataBounded(const void* buffer, int32_t size) {
    if (size < 0) throw host::ERangeError("Negative parameter data size");
    const char* bytes = static_cast<const char*>(buffer);
    if (IsTextType(FDataType)) {
        const char* end = static_cast<const char*>(std::memchr(bytes, 0, static_cast<size_t>(size)));
        std::string text(bytes, end ? static_cast<size_t>(end - bytes) : static_cast<size_t>(size));
        if (FDataType == ntString)
            SetAsString(text);
        else
            SetAsMemo(text);
        return;
    }
    if (IsBinaryType(FDataType)) {
        SetBlobData(buffer, size);
        return;
    }
    int32_t needed = 0;
    switch (FDataType) {
    case ntInteger:
    case ntDate:
    case ntTime:
        needed = 4;
        break;
    case ntFloat:
    case ntCurrency:
    case ntDateTime:
        needed = 8;
        break;
    case ntBoolean:
        needed = 2;
        break;
    default:
        break;
    }
    if (size < needed) throw host::EReadError("Stream read error");
    SetData(buffer);
}

void TLumraParam::SetBlobData(const void* buffer, int32_t size) {
    if (size < 0) throw host::ERangeError("Negative parameter data size");
    SetAsBlob(std::string(static_cast<const char*>(buffer), static_cast<size_t>(size)));
}

void TLumraParam::SetText(const std::string& value) {
    MarkValue();
    if (FDataType == ntUnknown) SetDataType(ntString);
    FData = Variant(value);
    try {
        switch (FDataType) {
        case ntInteger:
            FData = Variant(FData.AsInteger());
            break;
        case ntFloat:
        case ntCurrency:
            FData = Variant(FData.AsDouble());
            break;
        case ntDate:
        case ntTime:
        case ntDateTime:
            FData = Variant::FromDate(FData.AsDateTime());
            break;
        case ntBoolean:
            // The catalogue's words are what GetAsString shows; they may be
            // translated, so they are read back before the Variant's own words.
            if (host::AnsiSameText(value, host::LoadResString(LUMRA_TXT_TRUE)))
                FData = Variant(true);
            else if (host::AnsiSameText(value, host::LoadResString(LUMRA_TXT_FALSE)))
                FData = Variant(false);
            else
                FData = Variant(FData.AsBoolean());
            break;
        default:
            break;
        }
    } catch (...) {
        FData = Variant(int32_t{0});
    }
}

std::string TLumraParam::GetAsString() const {
    if (FIsNull) return std::string();
    if (IsDateType(FDataType)) {
        try {
            return Variant::FromDate(FData.AsDouble()).AsString();
        } catch (...) {
            return std::string();
        }
    }
    if (FDataType == ntBoolean)
        return host::LoadResString(FData.AsBoolean() ? LUMRA_TXT_TRUE : LUMRA_TXT_FALSE);
    return FData.AsString();
}

void TLumraParam::SetAsVariant(const Variant& value) {
    MarkValue();
    switch (value.VarType()) {
    // Byte, shortint and word values fit an integer as well as smallints do;
    // treating them as "no value" would turn real values into nulls.
    case host::varSmallint:
    case host::varInteger:
    case host::varByte:
    case host::varShortInt:
    case host::varWord:
        FDataType = ntInteger;
        break;
    // Wider integers are integers when they fit, otherwise kept as numbers.
    case host::varLongWord:
    case host::varInt64: {
        const int64_t v = value.AsInt64();
        FDataType = (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
                        ? ntInteger
                        : ntFloat;
        break;
    }
    case host::varSingle:
    case host::varDouble:
        FDataType = ntFloat;
        break;
    case host::varCurrency:
        FDataType = ntCurrency;
        break;
    case host::varDate:
        FDataType = ntDateTime;
        break;
    case host::varOleStr:
    case host::varString:
        FDataType = ntString;
        break;
    case host::varBoolean:
        FDataType = ntBoolean;
        break;
    default:
        Clear();
        SetDataType(ntUnknown);
        break;
    }
    FData = value;
}

Variant TLumraParam::GetAsVariant() const {
    if (IsBinaryType(FDataType)) return GetAsByteArray();
    return FData;
}

Variant TLumraParam::GetAsByteArray() const {
    const std::string bytes = FData.AsString();
    if (bytes.empty()) return Variant::Null();
    Variant result = host::VarArrayCreate(0, CheckedLength(bytes.size()) - 1, host::varByte);
    std::memcpy(host::VarArrayLock(result), bytes.data(), bytes.size());
    host::VarArrayUnlock(result);
    return result;
}

int32_t TLumraParam::GetAsInteger() const {
    return FData.AsInteger();
}

void TLumraParam::SetAsInteger(int32_t value) {
    MarkValue();
    FDataType = ntInteger;
    FData = Variant(value);
}

double TLumraParam::GetAsFloat() const {
    return FData.AsDouble();
}

void TLumraParam::SetAsFloat(double value) {
    MarkValue();
    FDataType = ntFloat;
    FData = Variant(value);
}

void TLumraParam::SetAsCurrency(double value) {
    SetAsFloat(value);
    FDataType = ntCurrency;
}

host::TDateTime TLumraParam::GetAsDateTime() const {
    if (FIsNull) return 0.0;
    return FData.AsDateTime();
}

void TLumraParam::SetAsDate(host::TDateTime value) {
    MarkValue();
    FDataType = ntDate;
    host::TTimeStamp stamp = host::DateTimeToTimeStamp(value);
    stamp.Time = 0;
    FData = Variant::FromDate(host::TimeStampToDateTime(stamp));
}

void TLumraParam::SetAsTime(host::TDateTime value) {
    MarkValue();
    FDataType = ntTime;
    host::TTimeStamp stamp = host::DateTimeToTimeStamp(value);
    stamp.Date = host::DateDelta;
    FData = Variant::FromDate(host::TimeStampToDateTime(stamp));
}

void TLumraParam::SetAsDateTime(host::TDateTime value) {
    MarkValue();
    FDataType = ntDateTime;
    FData = Variant::FromDate(value);
}

bool TLumraParam::GetAsBoolean() const {
    return FData.AsBoolean();
}

void TLumraParam::SetAsBoolean(bool value) {
    MarkValue();
    FDataType = ntBoolean;
    FData = Variant(value);
}

std::string TLumraParam::GetAsMemo() const {
    return FData.AsString();
}

void TLumraParam::SetAsMemo(const std::string& value) {
    MarkValue();
    FDataType = ntMemo;
    FData = Variant(value);
}

void TLumraParam::SetAsString(const std::string& value) {
    MarkValue();
    FDataType = ntString;
    FData = Variant(value);
}

void TLumraParam::SetAsBinary(const std::string& value) {
    MarkValue();
    SetDataType(ntBinary);
    FData = Variant(value);
}

void TLumraParam::SetAsBlob(const std::string& value) {
    MarkValue();
    SetDataType(ntBlob);
    FData = Variant(value);
}

// ---- TLumraParams --------------------------------------------------------------

TLumraParams::TLumraParams(host::TComponent* owner) : FOwner(owner) {}

TLumraParams::~TLumraParams() {
    Clear();
}

void TLumraParams::AssignTo(host::TPersistent* dest) {
    if (auto* params = dynamic_cast<TLumraParams*>(dest)) {
        params->Assign(this);
        return;
    }
    host::TPersistent::AssignTo(dest);
}

void TLumraParams::Assign(host::TPersistent* source) {
    if (auto* params = dynamic_cast<TLumraParams*>(source)) {
        // Clearing first would leave nothing to copy.
        if (params == this) return;
        Clear();
        for (int32_t i = 0; i < params->Count(); ++i)
            (new TLumraParam(this, std::string()))->Assign(params->GetParam(static_cast<uint16_t>(i)));
        return;
    }
    if (auto* hostParams = dynamic_cast<host::TParams*>(source)) {
        Clear();
        for (int32_t i = 0; i < hostParams->Count(); ++i) {
            const host::TParam* hostParam = hostParams->Items(i);
            auto* param = new TLumraParam(this, hostParam->Name());
            param->FAlias = hostParam->Name();
            param->FParamType = LmrParamTypeFromHost(hostParam->ParamType());
            param->SetAsVariant(hostParam->Value());
        }
        return;
    }
    host::TPersistent::Assign(source);
}

host::TPersistent* TLumraParams::GetOwner() {
    return FOwner;
}

void TLumraParams::AssignValues(const TLumraParams* source) {
    if (source == nullptr) return;
    for (int32_t i = 0; i < Count(); ++i) {
        TLumraParam* own = GetParam(static_cast<uint16_t>(i));
        for (int32_t j = 0; j < source->Count(); ++j) {
            const TLumraParam* candidate = source->GetParam(static_cast<uint16_t>(j));
            if (candidate->Name() == own->Name()) {
                own->AssignParam(candidate);
                break;
            }
        }
    }
}

void TLumraParams::AddParam(TLumraParam* param) {
    if (param == nullptr || param->FParamCollection == this) return;
    // Two collections owning one parameter would delete it twice.
    if (param->FParamCollection != nullptr) param->FParamCollection->RemoveParam(param);
    FItems.emplace_back(param);
    param->FParamCollection = this;
    NamesChanged();
}

void TLumraParams::RemoveParam(TLumraParam* param) {
    // Searched from the end, where Clear takes them from.
    auto it =
        std::find_if(FItems.rbegin(), FItems.rend(), [param](const auto& p) { return p.get() == param; });
    if (it == FItems.rend()) return;
    it->release();
    FItems.erase(std::next(it).base());
    param->FParamCollection = nullptr;
    NamesChanged();
}

void TLumraParams::Resolve() const {
    if (FResolved) return;
    FFirstOf.resize(FItems.size());
    FByName.clear();
    FByName.reserve(FItems.size());
    for (size_t i = 0; i < FItems.size(); ++i) {
        // AnsiSameText compares the upper-cased forms, character by character.
        const auto [it, fresh] =
            FByName.emplace(host::AnsiUpperCase(FItems[i]->FName), static_cast<uint32_t>(i));
        FFirstOf[i] = it->second;
    }
    FResolved = true;
}

void TLumraParams::Clear() {
    // Each parameter leaves the list in its destructor.
    while (!FItems.empty())
        delete FItems.back().get();
}

TLumraParam* TLumraParams::GetParam(uint16_t index) const {
    if (index >= FItems.size())
        throw host::EListError(host::Format("List index out of bounds (%d)", {int32_t{index}}));
    Resolve();
    return FItems[FFirstOf[index]].get();
}

TLumraParam* TLumraParams::RawItem(int32_t index) const {
    if (index < 0 || index >= Count())
        throw host::EListError(host::Format("List index out of bounds (%d)", {index}));
    return FItems[static_cast<size_t>(index)].get();
}

bool TLumraParams::IsEqual(const TLumraParams* other) const {
    if (other == nullptr || other->Count() != Count()) return false;
    for (int32_t i = 0; i < Count(); ++i)
        if (!GetParam(static_cast<uint16_t>(i))->IsEqual(other->GetParam(static_cast<uint16_t>(i))))
            return false;
    return true;
}

TLumraParam* TLumraParams::ParamByName(const std::string& name) const {
    Resolve();
    if (const auto it = FByName.find(host::AnsiUpperCase(name)); it != FByName.end())
        return FItems[it->second].get();
    throw ELumraException(host::Format(host::LoadResString(LUMRA_ERR_PARAM_NOT_FOUND), {name}), 0, 0);
}

TLumraParam* TLumraParams::ParamByAlias(const std::string& alias) const {
    for (const auto& p : FItems)
        if (host::AnsiSameText(p->FAlias, alias)) return p.get();
    throw ELumraException(host::Format(host::LoadResString(LUMRA_ERR_PARAM_NOT_FOUND), {alias}), 0, 0);
}

Variant TLumraParams::GetParamValues() const {
    Variant result = Variant::Null();
    Resolve();
    int32_t inputs = 0;
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[FFirstOf[i]]->ParamType() < nptOutput) ++inputs;
    if (inputs == 0) return result;
    result = host::VarArrayCreate(0, inputs - 1, host::varVariant);
    int32_t k = 0;
    for (size_t i = 0; i < FItems.size(); ++i) {
        const TLumraParam* param = FItems[FFirstOf[i]].get();
        if (param->ParamType() >= nptOutput) continue;
        result.SetElement(k++, param->IsNull() ? Variant::Null() : param->GetAsVariant());
    }
    return result;
}

void TLumraParams::GetInputValues(std::vector<Variant>& values) const {
    Resolve();
    values.clear();
    for (size_t i = 0; i < FItems.size(); ++i) {
        const TLumraParam* param = FItems[FFirstOf[i]].get();
        if (param->ParamType() >= nptOutput) continue;
        if (param->IsNull())
            values.push_back(Variant::Null());
        else if (IsBinaryType(param->FDataType))
            values.push_back(param->GetAsByteArray());
        else
            values.push_back(param->FData);
    }
}

// ---- Direction mapping -----------------------------------------------------------

TLumraParamType LmrParamTypeFromHost(host::TParamType value) noexcept {
    switch (value) {
    case host::ptInput:
        return nptInput;
    case host::ptOutput:
        return nptOutput;
    case host::ptInputOutput:
        return nptInputOutput;
    case host::ptResult:
        return nptResult;
    default:
        return nptUnknown;
    }
}

host::TParamType LmrParamTypeToHost(TLumraParamType value) noexcept {
    switch (value) {
    case nptInput:
        return host::ptInput;
    case nptOutput:
        return host::ptOutput;
    case nptInputOutput:
        return host::ptInputOutput;
    case nptResult:
        return host::ptResult;
    default:
        return host::ptUnknown;
    }
}
