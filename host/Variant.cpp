// The Variant's conversions, comparison and one-dimensional arrays. Scalars
// live inline; arrays are shared between copies until one copy changes.
#include "host/Variant.h"

#include "host/DateTime.h"
#include "host/Exceptions.h"
#include "host/SysUtils.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace host {

struct Variant::TVarArrayData {
    int32_t Low = 0;
    TVarType ElemType = varVariant;
    std::vector<uint8_t> Bytes; // varByte arrays: one contiguous block
    std::vector<Variant> Items; // every other element type
    int32_t LockCount = 0;

    int64_t Count() const noexcept {
        return ElemType == varByte ? static_cast<int64_t>(Bytes.size()) : static_cast<int64_t>(Items.size());
    }
};

namespace {

using ArrayPtr = std::shared_ptr<Variant::TVarArrayData>;

bool IsIntegerType(TVarType t) noexcept {
    switch (t) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
        return true;
    default:
        return false;
    }
}

bool IsFloatType(TVarType t) noexcept {
    return t == varSingle || t == varDouble || t == varDate;
}

bool IsStringType(TVarType t) noexcept {
    return t == varString || t == varOleStr;
}

[[noreturn]] void CastError(TVarType from, TVarType to) {
    throw EVariantTypeCastError("Could not convert variant of type (" + VarTypeAsText(from) +
                                ") into type (" + VarTypeAsText(to) + ")");
}

[[noreturn]] void OverflowError(TVarType from, TVarType to) {
    throw EVariantOverflowError("Overflow while converting variant of type (" + VarTypeAsText(from) +
                                ") into type (" + VarTypeAsText(to) + ")");
}

// Rounds to nearest, ties to even, as the host does for float → integer.
double RoundEven(double v) noexcept {
    const double r = std::round(v);
    if (std::fabs(v - std::trunc(v)) == 0.5) return 2.0 * std::round(v / 2.0);
    return r;
}

// Converts a rounded double to int64 or reports that it does not fit.
bool DoubleToInt64(double v, int64_t& out) noexcept {
    if (!std::isfinite(v)) return false;
    return DoubleToInt64Exact(RoundEven(v), out);
}

std::string SingleToStr(float value) {
    if (!std::isfinite(value)) return FloatToStr(value);
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

bool TextToBoolean(const std::string& s, bool& out) noexcept {
    const std::string t = Trim(s);
    if (SameText(t, "True")) {
        out = true;
        return true;
    }
    if (SameText(t, "False")) {
        out = false;
        return true;
    }
    double d;
    if (TryStrToFloat(t, d)) {
        out = d != 0.0;
        return true;
    }
    return false;
}

} // namespace

bool DoubleToInt64Exact(double value, int64_t& out) noexcept {
    // -2^63 and 2^63 are exact doubles, so the range test itself rounds nothing.
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0) || std::trunc(value) != value)
        return false;
    out = static_cast<int64_t>(value);
    return true;
}

bool Int64ToDoubleExact(int64_t value, double& out) noexcept {
    const double d = static_cast<double>(value);
    // INT64_MAX rounds up to 2^63, which no int64 holds: compare before casting back.
    if (d >= 9223372036854775808.0 || static_cast<int64_t>(d) != value) return false;
    out = d;
    return true;
}

// ---- Currency -------------------------------------------------------------

Currency Currency::FromDouble(double value) {
    const double scaled = RoundEven(value * Scale);
    int64_t v;
    if (!DoubleToInt64(scaled, v)) OverflowError(varDouble, varCurrency);
    return FromScaled(v);
}

Currency Currency::FromInt64(int64_t value) {
    int64_t v;
    if (__builtin_mul_overflow(value, Scale, &v)) OverflowError(varInt64, varCurrency);
    return FromScaled(v);
}

std::string Currency::ToString() const {
    const bool negative = Value < 0;
    const uint64_t magnitude =
        negative ? uint64_t{0} - static_cast<uint64_t>(Value) : static_cast<uint64_t>(Value);
    std::string text = std::to_string(magnitude / Scale);
    uint64_t frac = magnitude % Scale;
    if (frac != 0) {
        std::string digits = std::to_string(frac + Scale).substr(1); // four digits
        while (digits.back() == '0')
            digits.pop_back();
        text += '.' + digits;
    }
    return negative ? '-' + text : text;
}

Currency Currency::Parse(std::string_view text) {
    const std::string t = Trim(std::string(text));
    // Exact decimal text first, so large amounts do not pass through a double.
    size_t i = 0;
    const bool negative = i < t.size() && t[i] == '-';
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    size_t intDigits = 0, fracDigits = 0;
    int64_t whole = 0, frac = 0;
    bool exact = true, fits = true;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
        fits = fits && !__builtin_mul_overflow(whole, 10, &whole) &&
               !__builtin_add_overflow(whole, t[i] - '0', &whole);
        ++i;
        ++intDigits;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
            if (fracDigits < 4)
                frac = frac * 10 + (t[i] - '0');
            else
                exact = false;
            ++i;
            ++fracDigits;
        }
    }
    if (i == t.size() && exact && intDigits + fracDigits > 0 && fits) {
        for (size_t n = fracDigits; n < 4; ++n)
            frac *= 10;
        // The magnitude is built unsigned: the lowest amount's is one more than the highest's.
        uint64_t magnitude;
        if (__builtin_mul_overflow(static_cast<uint64_t>(whole), static_cast<uint64_t>(Scale), &magnitude) ||
            __builtin_add_overflow(magnitude, static_cast<uint64_t>(frac), &magnitude) ||
            magnitude > (negative ? uint64_t{1} << 63 : static_cast<uint64_t>(INT64_MAX)))
            OverflowError(varString, varCurrency);
        return FromScaled(negative ? static_cast<int64_t>(uint64_t{0} - magnitude)
                                   : static_cast<int64_t>(magnitude));
    }
    double d;
    if (!TryStrToFloat(t, d))
        throw EVariantTypeCastError("Could not convert variant of type (String) into type "
                                    "(Currency): '" +
                                    std::string(text) + "'");
    return FromDouble(d);
}

// ---- construction, copying --------------------------------------------------

Variant Variant::FromDate(TDateTime value) noexcept {
    Variant v(value);
    v.FType = varDate;
    return v;
}

Variant Variant::Error(int32_t code) noexcept {
    return MakeIntegral(varError, code);
}

Variant Variant::MakeIntegral(TVarType type, int64_t value) noexcept {
    Variant v(value);
    v.FType = type;
    return v;
}

Variant Variant::FromUnsigned64(uint64_t value) {
    if (value > static_cast<uint64_t>(INT64_MAX)) OverflowError(varInt64, varInt64);
    return Variant(static_cast<int64_t>(value));
}

Variant::Variant(const Variant& other) : FType(other.FType), FValue(other.FValue) {
    // A locked array is being written through a raw pointer: the copy must
    // not see those writes.
    if (auto* p = std::get_if<ArrayPtr>(&FValue); p && *p && (*p)->LockCount > 0) {
        *p = std::make_shared<TVarArrayData>(**p);
        (*p)->LockCount = 0;
    }
}

Variant& Variant::operator=(const Variant& other) {
    if (this != &other) {
        Variant copy(other);
        *this = std::move(copy);
    }
    return *this;
}

const Variant::TVarArrayData& Variant::ArrayData() const {
    if (!IsArray()) throw EVariantError("Variant is not an array");
    return *std::get<ArrayPtr>(FValue);
}

Variant::TVarArrayData& Variant::MutableArrayData() {
    if (!IsArray()) throw EVariantError("Variant is not an array");
    auto& p = std::get<ArrayPtr>(FValue);
    if (p.use_count() > 1) {
        p = std::make_shared<TVarArrayData>(*p);
        p->LockCount = 0;
    }
    return *p;
}

// ---- conversions -------------------------------------------------------------

namespace {

// Optionally signed decimal digits and nothing else.
bool IsWholeNumberText(const std::string& t) noexcept {
    size_t i = t.size() > 0 && (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (i >= t.size()) return false;
    for (; i < t.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
    return true;
}

// Integer value of v for a target integer type with range lo..hi.
int64_t ToIntegral(const Variant& v, TVarType target, int64_t lo, int64_t hi, int64_t intValue,
                   double floatValue) {
    const TVarType t = v.VarType();
    int64_t r = 0;
    if (t == varEmpty) {
        r = 0;
    } else if (IsIntegerType(t)) {
        r = intValue;
    } else if (t == varBoolean) {
        r = intValue != 0 ? -1 : 0;
    } else if (t == varCurrency) {
        // Rounded in integers: the scaled amount has more digits than a double keeps.
        r = intValue / Currency::Scale;
        const int64_t rest = intValue % Currency::Scale; // same sign as intValue
        const int64_t half = Currency::Scale / 2;
        if (rest > half || (rest == half && (r & 1) != 0)) ++r;
        if (rest < -half || (rest == -half && (r & 1) != 0)) --r;
    } else if (IsFloatType(t)) {
        if (!DoubleToInt64(floatValue, r)) OverflowError(t, target);
    } else if (IsStringType(t)) {
        const std::string s = Trim(v.AsString());
        double d;
        if (!TryStrToInt64(s, r)) {
            // Whole-number text beyond the 64-bit range must not reach the
            // double: -2^63 - 1 rounds to -2^63 there, which fits.
            if (IsWholeNumberText(s)) OverflowError(t, target);
            if (!TryStrToFloat(s, d)) CastError(t, target);
            if (!DoubleToInt64(d, r)) OverflowError(t, target);
            if (r == INT64_MIN && !(std::strtold(s.c_str(), nullptr) > -9223372036854775809.0L))
                OverflowError(t, target);
        }
    } else {
        CastError(t, target);
    }
    if (r < lo || r > hi) OverflowError(t, target);
    return r;
}

} // namespace

int64_t Variant::ConvertToInt64() const {
    const int64_t* i = std::get_if<int64_t>(&FValue);
    const double* d = std::get_if<double>(&FValue);
    return ToIntegral(*this, varInt64, INT64_MIN, INT64_MAX, i ? *i : 0, d ? *d : 0.0);
}

int32_t Variant::ConvertToInteger() const {
    const int64_t* i = std::get_if<int64_t>(&FValue);
    const double* d = std::get_if<double>(&FValue);
    return static_cast<int32_t>(
        ToIntegral(*this, varInteger, INT32_MIN, INT32_MAX, i ? *i : 0, d ? *d : 0.0));
}

int16_t Variant::AsSmallint() const {
    const int64_t* i = std::get_if<int64_t>(&FValue);
    const double* d = std::get_if<double>(&FValue);
    return static_cast<int16_t>(
        ToIntegral(*this, varSmallint, INT16_MIN, INT16_MAX, i ? *i : 0, d ? *d : 0.0));
}

uint8_t Variant::AsByte() const {
    const int64_t* i = std::get_if<int64_t>(&FValue);
    const double* d = std::get_if<double>(&FValue);
    return static_cast<uint8_t>(ToIntegral(*this, varByte, 0, 255, i ? *i : 0, d ? *d : 0.0));
}

double Variant::ConvertToDouble() const {
    switch (FType) {
    case varEmpty:
        return 0.0;
    case varBoolean:
        return std::get<int64_t>(FValue) != 0 ? -1.0 : 0.0;
    case varCurrency:
        return Currency::FromScaled(std::get<int64_t>(FValue)).ToDouble();
    case varSingle:
    case varDouble:
    case varDate:
        return std::get<double>(FValue);
    case varString:
    case varOleStr: {
        double d;
        if (!TryStrToFloat(AsString(), d)) CastError(FType, varDouble);
        return d;
    }
    default:
        if (IsIntegerType(FType)) return static_cast<double>(std::get<int64_t>(FValue));
        CastError(FType, varDouble);
    }
}

Currency Variant::AsCurrency() const {
    switch (FType) {
    case varEmpty:
        return Currency();
    case varCurrency:
        return Currency::FromScaled(std::get<int64_t>(FValue));
    case varBoolean:
        return Currency::FromInt64(std::get<int64_t>(FValue) != 0 ? -1 : 0);
    case varSingle:
    case varDouble:
    case varDate:
        return Currency::FromDouble(std::get<double>(FValue));
    case varString:
    case varOleStr:
        return Currency::Parse(AsString());
    default:
        if (IsIntegerType(FType)) return Currency::FromInt64(std::get<int64_t>(FValue));
        CastError(FType, varCurrency);
    }
}

bool Variant::AsBoolean() const {
    switch (FType) {
    case varEmpty:
        return false;
    case varBoolean:
        return std::get<int64_t>(FValue) != 0;
    case varCurrency:
        return std::get<int64_t>(FValue) != 0;
    case varSingle:
    case varDouble:
        return std::get<double>(FValue) != 0.0;
    case varString:
    case varOleStr: {
        bool b;
        if (!TextToBoolean(AsString(), b)) CastError(FType, varBoolean);
        return b;
    }
    default:
        if (IsIntegerType(FType)) return std::get<int64_t>(FValue) != 0;
        CastError(FType, varBoolean);
    }
}

TDateTime Variant::AsDateTime() const {
    switch (FType) {
    case varEmpty:
        return 0.0;
    case varSingle:
    case varDouble:
    case varDate:
        return std::get<double>(FValue);
    case varCurrency:
        return Currency::FromScaled(std::get<int64_t>(FValue)).ToDouble();
    case varString:
    case varOleStr: {
        const std::string s = AsString();
        TDateTime d;
        if (TryStrToDateTime(s, d) || TryStrToFloat(s, d)) return d;
        CastError(FType, varDate);
    }
    default:
        if (IsIntegerType(FType)) return static_cast<double>(std::get<int64_t>(FValue));
        CastError(FType, varDate);
    }
}

std::string Variant::ConvertToString() const {
    switch (FType) {
    case varEmpty:
        return std::string();
    case varString:
        return std::get<std::string>(FValue);
    case varOleStr:
        return WideToAnsi(std::get<std::u16string>(FValue));
    case varBoolean:
        return std::get<int64_t>(FValue) != 0 ? "True" : "False";
    case varSingle:
        return SingleToStr(static_cast<float>(std::get<double>(FValue)));
    case varDouble:
        return FloatToStr(std::get<double>(FValue));
    case varDate:
        try {
            return DateTimeToStr(std::get<double>(FValue));
        } catch (const EConvertError&) {
            CastError(FType, varString);
        }
    case varCurrency:
        return Currency::FromScaled(std::get<int64_t>(FValue)).ToString();
    default:
        if (IsIntegerType(FType)) return std::to_string(std::get<int64_t>(FValue));
        CastError(FType, varString);
    }
}

std::u16string Variant::AsWideString() const {
    if (FType == varOleStr) return std::get<std::u16string>(FValue);
    try {
        return AnsiToWide(AsString());
    } catch (const EVariantTypeCastError&) {
        CastError(FType, varOleStr);
    }
}

// ---- arrays --------------------------------------------------------------------

Variant Variant::GetElement(int32_t index) const {
    const TVarArrayData& a = ArrayData();
    const int64_t pos = int64_t{index} - a.Low;
    if (pos < 0 || pos >= a.Count()) throw ERangeError("Variant array index out of bounds");
    if (a.ElemType == varByte) return Variant(a.Bytes[static_cast<size_t>(pos)]);
    return a.Items[static_cast<size_t>(pos)];
}

void Variant::SetElement(int32_t index, const Variant& value) {
    if (!IsArray()) throw EVariantError("Variant is not an array");
    {
        const TVarArrayData& a = ArrayData();
        const int64_t pos = int64_t{index} - a.Low;
        if (pos < 0 || pos >= a.Count()) throw ERangeError("Variant array index out of bounds");
    }
    // Convert before detaching, so a failing conversion leaves v untouched.
    const TVarType elem = ArrayData().ElemType;
    if (elem == varByte) {
        const uint8_t b = value.AsByte();
        TVarArrayData& a = MutableArrayData();
        a.Bytes[static_cast<size_t>(int64_t{index} - a.Low)] = b;
    } else {
        Variant stored = elem == varVariant ? value : VarAsType(value, elem);
        TVarArrayData& a = MutableArrayData();
        a.Items[static_cast<size_t>(int64_t{index} - a.Low)] = std::move(stored);
    }
}

Variant VarArrayCreate(int32_t low, int32_t high, TVarType elementType) {
    if (int64_t{high} < int64_t{low} - 1) throw ERangeError("Invalid variant array bounds");
    const bool supported = elementType == varVariant || IsIntegerType(elementType) ||
                           IsFloatType(elementType) || IsStringType(elementType) ||
                           elementType == varCurrency || elementType == varBoolean;
    if (!supported) throw EVariantError("Invalid variant array element type " + VarTypeAsText(elementType));
    auto data = std::make_shared<Variant::TVarArrayData>();
    data->Low = low;
    data->ElemType = elementType;
    const size_t count = static_cast<size_t>(int64_t{high} - low + 1);
    if (elementType == varByte)
        data->Bytes.assign(count, 0);
    else
        data->Items.assign(count, elementType == varVariant ? Variant() : VarAsType(Variant(), elementType));
    Variant v;
    v.FType = static_cast<TVarType>(varArray | elementType);
    v.FValue = std::move(data);
    return v;
}

Variant VarArrayOf(std::span<const Variant> values) {
    Variant v = VarArrayCreate(0, static_cast<int32_t>(values.size()) - 1, varVariant);
    for (size_t i = 0; i < values.size(); ++i)
        v.SetElement(static_cast<int32_t>(i), values[i]);
    return v;
}

Variant VarArrayOf(std::initializer_list<Variant> values) {
    return VarArrayOf(std::span<const Variant>(values.begin(), values.size()));
}

int32_t VarArrayDimCount(const Variant& v) noexcept {
    return v.IsArray() ? 1 : 0;
}

int32_t VarArrayLowBound(const Variant& v, int32_t dim) {
    if (dim != 1) throw ERangeError("Variant array dimension out of range");
    return v.ArrayData().Low;
}

int32_t VarArrayHighBound(const Variant& v, int32_t dim) {
    if (dim != 1) throw ERangeError("Variant array dimension out of range");
    const auto& a = v.ArrayData();
    return static_cast<int32_t>(a.Low + a.Count() - 1);
}

void* VarArrayLock(Variant& v) {
    Variant::TVarArrayData& a = v.MutableArrayData();
    ++a.LockCount;
    return a.ElemType == varByte ? static_cast<void*>(a.Bytes.data()) : static_cast<void*>(a.Items.data());
}

void VarArrayUnlock(Variant& v) {
    Variant::TVarArrayData& a = v.MutableArrayData();
    if (a.LockCount <= 0) throw EVariantError("Variant array is not locked");
    --a.LockCount;
}

// ---- free functions ------------------------------------------------------------

bool VarIsType(const Variant& v, TVarType type) noexcept {
    return (v.VarType() & varTypeMask) == (type & varTypeMask);
}

bool VarIsNumeric(const Variant& v) noexcept {
    const TVarType t = v.VarType();
    return IsIntegerType(t) || t == varSingle || t == varDouble || t == varCurrency;
}

std::string VarToStr(const Variant& v) {
    return v.IsNull() ? std::string() : v.AsString();
}

std::u16string VarToWideStr(const Variant& v) {
    return v.IsNull() ? std::u16string() : v.AsWideString();
}

Variant VarAsType(const Variant& v, TVarType type) {
    if (type == v.VarType() || type == varVariant) return v;
    switch (type) {
    case varEmpty:
        return Variant();
    case varNull:
        return Variant::Null();
    case varSmallint:
        return Variant(v.AsSmallint());
    case varInteger:
        return Variant(v.AsInteger());
    case varInt64:
        return Variant(v.AsInt64());
    case varByte:
        return Variant(v.AsByte());
    case varShortInt: {
        const int16_t s = v.AsSmallint();
        if (s < INT8_MIN || s > INT8_MAX) OverflowError(v.VarType(), type);
        return Variant(static_cast<int8_t>(s));
    }
    case varWord: {
        const int64_t s = v.AsInt64();
        if (s < 0 || s > UINT16_MAX) OverflowError(v.VarType(), type);
        return Variant(static_cast<uint16_t>(s));
    }
    case varLongWord: {
        const int64_t s = v.AsInt64();
        if (s < 0 || s > UINT32_MAX) OverflowError(v.VarType(), type);
        return Variant(static_cast<uint32_t>(s));
    }
    case varSingle: {
        const double d = v.AsDouble();
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX) OverflowError(v.VarType(), type);
        return Variant(static_cast<float>(d));
    }
    case varDouble:
        return Variant(v.AsDouble());
    case varCurrency:
        return Variant(v.AsCurrency());
    case varDate:
        return Variant::FromDate(v.AsDateTime());
    case varBoolean:
        return Variant(v.AsBoolean());
    case varString:
        return Variant(v.AsString());
    case varOleStr:
        return Variant(v.AsWideString());
    default:
        CastError(v.VarType(), type);
    }
}

std::string VarTypeAsText(TVarType type) {
    if (type & varArray) return "Array of " + VarTypeAsText(type & varTypeMask);
    switch (type) {
    case varEmpty:
        return "Empty";
    case varNull:
        return "Null";
    case varSmallint:
        return "Smallint";
    case varInteger:
        return "Integer";
    case varSingle:
        return "Single";
    case varDouble:
        return "Double";
    case varCurrency:
        return "Currency";
    case varDate:
        return "Date";
    case varOleStr:
        return "OleStr";
    case varError:
        return "Error";
    case varBoolean:
        return "Boolean";
    case varVariant:
        return "Variant";
    case varShortInt:
        return "ShortInt";
    case varByte:
        return "Byte";
    case varWord:
        return "Word";
    case varLongWord:
        return "LongWord";
    case varInt64:
        return "Int64";
    case varString:
        return "String";
    default:
        return "$" + IntToHex(int32_t{type}, 4);
    }
}

// ---- comparison ------------------------------------------------------------------

namespace {

template <class T> TVariantRelationship Relate(const T& a, const T& b) {
    if (a < b) return vrLessThan;
    if (b < a) return vrGreaterThan;
    if (a == b) return vrEqual;
    return vrNotEqual; // NaN
}

bool IsOrdinal(TVarType t) noexcept {
    return IsIntegerType(t) || t == varBoolean;
}

bool IsNumberLike(TVarType t) noexcept {
    return IsOrdinal(t) || IsFloatType(t) || t == varCurrency;
}

} // namespace

TVariantRelationship VarCompareValue(const Variant& a, const Variant& b) {
    const TVarType ta = a.VarType(), tb = b.VarType();
    if (ta == varNull || tb == varNull) return ta == tb ? vrEqual : vrNotEqual;
    if (ta == varEmpty || tb == varEmpty) return ta == tb ? vrEqual : vrNotEqual;
    if (a.IsArray() || b.IsArray()) {
        if (!a.IsArray() || !b.IsArray()) return vrNotEqual;
        const int32_t low = VarArrayLowBound(a), high = VarArrayHighBound(a);
        if (low != VarArrayLowBound(b) || high != VarArrayHighBound(b)) return vrNotEqual;
        if (a.FValue == b.FValue) return vrEqual; // shared elements
        for (int32_t i = low; i <= high; ++i)
            if (VarCompareValue(a.GetElement(i), b.GetElement(i)) != vrEqual) return vrNotEqual;
        return vrEqual;
    }
    if (ta == varError || tb == varError) {
        if (ta != tb) return vrNotEqual;
        return std::get<int64_t>(a.FValue) == std::get<int64_t>(b.FValue) ? vrEqual : vrNotEqual;
    }
    if (IsStringType(ta) && IsStringType(tb)) {
        if (ta == varString && tb == varString)
            return Relate(std::get<std::string>(a.FValue), std::get<std::string>(b.FValue));
        return Relate(a.AsWideString(), b.AsWideString());
    }
    if (IsStringType(ta) || IsStringType(tb)) {
        double d;
        const Variant& text = IsStringType(ta) ? a : b;
        if (TryStrToFloat(text.AsString(), d)) {
            const Variant num(d);
            return IsStringType(ta) ? VarCompareValue(num, b) : VarCompareValue(a, num);
        }
        return Relate(a.AsString(), b.AsString());
    }
    if (IsOrdinal(ta) && IsOrdinal(tb)) return Relate(a.AsInt64(), b.AsInt64());
    if (ta == varCurrency && tb == varCurrency) return Relate(a.AsCurrency(), b.AsCurrency());
    if (IsNumberLike(ta) && IsNumberLike(tb)) return Relate(a.AsDouble(), b.AsDouble());
    return vrNotEqual;
}

bool operator==(const Variant& a, const Variant& b) {
    return VarCompareValue(a, b) == vrEqual;
}

} // namespace host
