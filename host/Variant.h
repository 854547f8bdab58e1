// The host framework's Variant: a tagged value that is empty, null, an
// integer, a floating-point, currency or date value, a Boolean, an 8-bit or
// wide string, or a one-dimensional array of such values. Field values,
// parameter values and statement host variables travel as Variants.
//
// Text form. Every conversion between a Variant and text uses one
// locale-independent form, so that text written by AsString() reads back as
// the same value:
//   - integers: decimal digits with an optional leading '-';
//   - floating point: '.' as the decimal separator and the shortest text that
//     reads back as the same double (single: the same float), e.g. "0.1",
//     "1e+20", "-2.5"; reading also accepts a leading '+' and surrounding
//     blanks;
//   - currency: fixed notation with at most four decimals, no trailing zeros
//     ("12.5", "-0.0001");
//   - Boolean: "True" / "False"; reading accepts them in any case, or a
//     number (nonzero is true);
//   - dates "YYYY-MM-DD", times "HH:MM:SS" with ".zzz" milliseconds only when
//     not zero, date-times "YYYY-MM-DD HH:MM:SS[.zzz]". A date-time whose time
//     of day is 0 is written as the date only; one on the zero day 1899-12-30
//     (integer part 0) as the time only. See host/DateTime.h.
//
// Conversions follow the host's rules: Empty converts to 0, "" and false;
// Null converts to nothing (raises); floating values convert to integers by
// rounding to nearest, ties to even; True converts to the integer -1 (the
// host's Boolean truth value) and to the text "True"; an out-of-range value
// raises instead of wrapping. Every failing conversion raises
// host::EVariantTypeCastError or host::EVariantOverflowError, both
// EConvertError, with a message naming both types.
#pragma once

#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace host {

// Days since 1899-12-30; the fraction is the time of day. Before that day the
// integer part is the (negative) day and the fraction's absolute value the
// time, as in OLE dates.
using TDateTime = double;

using TVarType = uint16_t;

inline constexpr TVarType varEmpty = 0x0000;
inline constexpr TVarType varNull = 0x0001;
inline constexpr TVarType varSmallint = 0x0002;
inline constexpr TVarType varInteger = 0x0003;
inline constexpr TVarType varSingle = 0x0004;
inline constexpr TVarType varDouble = 0x0005;
inline constexpr TVarType varCurrency = 0x0006;
inline constexpr TVarType varDate = 0x0007;
inline constexpr TVarType varOleStr = 0x0008;
inline constexpr TVarType varError = 0x000A;
inline constexpr TVarType varBoolean = 0x000B;
inline constexpr TVarType varVariant = 0x000C;
inline constexpr TVarType varShortInt = 0x0010;
inline constexpr TVarType varByte = 0x0011;
inline constexpr TVarType varWord = 0x0012;
inline constexpr TVarType varLongWord = 0x0013;
inline constexpr TVarType varInt64 = 0x0014;
inline constexpr TVarType varString = 0x0100;
inline constexpr TVarType varTypeMask = 0x0FFF;
inline constexpr TVarType varArray = 0x2000;

// The host's fixed-point currency: an int64 scaled by 10,000 (four decimals).
struct Currency {
    static constexpr int64_t Scale = 10000;
    int64_t Value = 0; // the amount times 10,000

    constexpr Currency() noexcept = default;
    static constexpr Currency FromScaled(int64_t scaled) noexcept {
        Currency c;
        c.Value = scaled;
        return c;
    }
    // Rounds to the nearest 1/10,000 (ties to even); raises
    // EVariantOverflowError when the value does not fit (or is not finite).
    static Currency FromDouble(double value);
    // Raises EVariantOverflowError when value * 10,000 does not fit.
    static Currency FromInt64(int64_t value);
    double ToDouble() const noexcept { return static_cast<double>(Value) / Scale; }
    // Fixed notation, at most four decimals, no trailing zeros: "12.5".
    std::string ToString() const;
    // Reads the form ToString writes (more decimals are rounded, an exponent
    // is accepted); raises EConvertError on bad text or overflow.
    static Currency Parse(std::string_view text);

    friend constexpr bool operator==(Currency, Currency) noexcept = default;
    friend constexpr auto operator<=>(Currency, Currency) noexcept = default;
};

// Exact conversions between 64-bit integers and doubles. Both answer false
// rather than round: a double fits an int64 only when it is whole and lies in
// -2^63 .. 2^63 - 1; an int64 fits a double only when the double holds that
// very integer (every integer up to 2^53, and beyond it those the 53-bit
// mantissa spells exactly, such as 2^60).
bool DoubleToInt64Exact(double value, int64_t& out) noexcept;
bool Int64ToDoubleExact(int64_t value, double& out) noexcept;

// Result of VarCompareValue.
enum TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

class Variant {
public:
    // Empty. No allocation for any scalar; strings own their text, arrays are
    // shared copy-on-write (copying a Variant never copies array elements
    // until one copy is changed).
    Variant() noexcept = default;
    static Variant Null() noexcept {
        Variant v;
        v.FType = varNull;
        return v;
    }
    static Variant FromDate(TDateTime value) noexcept;
    // A varError value carrying an error code (OLE's "missing parameter" and
    // the like); converts to nothing.
    static Variant Error(int32_t code) noexcept;

    Variant(int16_t value) noexcept : FType(varSmallint), FValue(int64_t{value}) {}
    Variant(int32_t value) noexcept : FType(varInteger), FValue(int64_t{value}) {}
    Variant(int64_t value) noexcept : FType(varInt64), FValue(value) {}
    Variant(uint8_t value) noexcept : FType(varByte), FValue(int64_t{value}) {}
    Variant(float value) noexcept : FType(varSingle), FValue(double{value}) {}
    Variant(double value) noexcept : FType(varDouble), FValue(value) {}
    Variant(Currency value) noexcept : FType(varCurrency), FValue(value.Value) {}
    // Only a real bool becomes varBoolean: no int or pointer slips in here.
    template <class T>
    requires std::same_as<T, bool> Variant(T value)
    noexcept : FType(varBoolean), FValue(int64_t{value ? 1 : 0}) {}
    // Other integer types: int8_t → varShortInt, uint16_t → varWord,
    // uint32_t → varLongWord, long long → varInt64; 64-bit unsigned values
    // become varInt64 and raise EVariantOverflowError above INT64_MAX.
    template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, int16_t> &&
             !std::same_as<T, int32_t> && !std::same_as<T, int64_t> && !std::same_as<T, uint8_t> &&
             !std::same_as<T, char8_t> && !std::same_as<T, char16_t> && !std::same_as<T, char32_t> &&
             !std::same_as<T, wchar_t>) Variant(T value)
        : Variant(FromOtherIntegral(value)) {}

    Variant(char value) : FType(varString), FValue(std::string(1, value)) {}
    Variant(const char* value) : FType(varString), FValue(std::string(value ? value : "")) {}
    Variant(std::string value) noexcept : FType(varString), FValue(std::move(value)) {}
    Variant(std::string_view value) : FType(varString), FValue(std::string(value)) {}
    Variant(std::u16string value) noexcept : FType(varOleStr), FValue(std::move(value)) {}
    Variant(const char16_t* value) : FType(varOleStr), FValue(std::u16string(value ? value : u"")) {}
    // Pointers other than text are not values.
    Variant(std::nullptr_t) = delete;
    Variant(const void*) = delete;

    Variant(const Variant& other);
    Variant(Variant&& other) noexcept = default;
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept = default;
    ~Variant() = default;

    // The type code; arrays report varArray | element type.
    TVarType VarType() const noexcept { return FType; }
    bool IsEmpty() const noexcept { return FType == varEmpty; }
    bool IsNull() const noexcept { return FType == varNull; }
    bool IsArray() const noexcept { return (FType & varArray) != 0; }
    void Clear() noexcept { *this = Variant(); }

    // Conversions (see the top of this file). Each raises EConvertError
    // (EVariantTypeCastError / EVariantOverflowError) when the value does not
    // convert or does not fit.
    //
    // The value's own type is answered inline, without a call; a temporary
    // Variant hands its text over instead of copying it.
    std::string AsString() const& {
        if (FType == varString) return *std::get_if<std::string>(&FValue);
        return ConvertToString();
    }
    std::string AsString() && {
        if (FType == varString) return std::move(*std::get_if<std::string>(&FValue));
        return ConvertToString();
    }
    std::u16string AsWideString() const;
    int32_t AsInteger() const {
        if (FType == varInteger) return static_cast<int32_t>(*std::get_if<int64_t>(&FValue));
        return ConvertToInteger();
    }
    int64_t AsInt64() const {
        if (FType == varInt64 || FType == varInteger) return *std::get_if<int64_t>(&FValue);
        return ConvertToInt64();
    }
    double AsDouble() const {
        if (FType == varDouble) return *std::get_if<double>(&FValue);
        return ConvertToDouble();
    }
    Currency AsCurrency() const;
    bool AsBoolean() const;
    TDateTime AsDateTime() const;
    uint8_t AsByte() const;
    int16_t AsSmallint() const;

    // The text of a varString read in place, for callers that only look at
    // it; null for every other type (a wide string needs AsString). Valid
    // until this Variant changes or is destroyed.
    const std::string* StringRef() const noexcept {
        return FType == varString ? std::get_if<std::string>(&FValue) : nullptr;
    }

    // Array elements (one-dimensional arrays only; index within the bounds,
    // otherwise ERangeError). An element of a byte array is a varByte; storing
    // into a typed array converts the value to the element type.
    Variant GetElement(int32_t index) const;
    void SetElement(int32_t index, const Variant& value);
    Variant operator[](int32_t index) const { return GetElement(index); }

    // Equal by VarCompareValue.
    friend bool operator==(const Variant& a, const Variant& b);

    // Storage of an array's elements (defined in Variant.cpp).
    struct TVarArrayData;

private:
    friend Variant VarArrayCreate(int32_t, int32_t, TVarType);
    friend int32_t VarArrayLowBound(const Variant&, int32_t);
    friend int32_t VarArrayHighBound(const Variant&, int32_t);
    friend void* VarArrayLock(Variant&);
    friend void VarArrayUnlock(Variant&);
    friend TVariantRelationship VarCompareValue(const Variant&, const Variant&);

    template <class T> static Variant FromOtherIntegral(T value) {
        if constexpr (std::is_signed_v<T> && sizeof(T) == 1)
            return MakeIntegral(varShortInt, value);
        else if constexpr (std::is_unsigned_v<T> && sizeof(T) == 2)
            return MakeIntegral(varWord, value);
        else if constexpr (std::is_unsigned_v<T> && sizeof(T) == 4)
            return MakeIntegral(varLongWord, value);
        else if constexpr (std::is_signed_v<T> && sizeof(T) <= 8)
            return MakeIntegral(varInt64, static_cast<int64_t>(value));
        else
            return FromUnsigned64(static_cast<uint64_t>(value));
    }
    static Variant MakeIntegral(TVarType type, int64_t value) noexcept;
    std::string ConvertToString() const;
    int32_t ConvertToInteger() const;
    int64_t ConvertToInt64() const;
    double ConvertToDouble() const;
    static Variant FromUnsigned64(uint64_t value);

    const TVarArrayData& ArrayData() const;
    TVarArrayData& MutableArrayData(); // detaches a shared array first

    TVarType FType = varEmpty;
    // Integers, Booleans (0/1) and currency (scaled) in int64_t; single,
    // double and date in double; varString / varOleStr text; array data.
    std::variant<int64_t, double, std::string, std::u16string, std::shared_ptr<TVarArrayData>> FValue;
};

// Delphi-style free functions.
inline TVarType VarType(const Variant& v) noexcept {
    return v.VarType();
}
inline bool VarIsNull(const Variant& v) noexcept {
    return v.IsNull();
}
inline bool VarIsEmpty(const Variant& v) noexcept {
    return v.IsEmpty();
}
inline bool VarIsArray(const Variant& v) noexcept {
    return v.IsArray();
}
// True when v's type (masked with varTypeMask, so arrays by element type) is
// `type`.
bool VarIsType(const Variant& v, TVarType type) noexcept;
// True for the integer, floating-point, currency types (not Boolean, date).
bool VarIsNumeric(const Variant& v) noexcept;
// AsString, except that Null gives "".
std::string VarToStr(const Variant& v);
std::u16string VarToWideStr(const Variant& v);
// v converted to `type` (a scalar type code, varVariant returns v; Null stays
// Null and Empty stays Empty only for those target types); raises like the
// As...() conversions.
Variant VarAsType(const Variant& v, TVarType type);
// The host's name of a type code: "Integer", "String", "Null", "Array of Byte".
std::string VarTypeAsText(TVarType type);

// Three-way comparison. Null and Empty each equal only themselves (vrEqual)
// and are vrNotEqual to every other value. Numbers of any type (integers,
// floating, currency, date, Boolean as -1/0) compare by value; strings
// compare byte-wise (wide strings by UTF-16 code unit; an 8-bit and a wide
// string are compared as wide text). A string and a number compare by value
// when the text converts to a number, otherwise as text. Arrays are vrEqual
// when their bounds and elements are, otherwise vrNotEqual.
TVariantRelationship VarCompareValue(const Variant& a, const Variant& b);

// Arrays. varVariant arrays hold Variants; varByte arrays hold contiguous
// bytes (one allocation; VarArrayLock gives block access); other scalar
// element types hold Variants of that type. high = low - 1 makes an empty
// array; a smaller high raises ERangeError.
Variant VarArrayCreate(int32_t low, int32_t high, TVarType elementType);
// A varVariant array with bounds 0 .. count - 1.
Variant VarArrayOf(std::initializer_list<Variant> values);
Variant VarArrayOf(std::span<const Variant> values);
// dim must be 1; a non-array raises EVariantError.
int32_t VarArrayDimCount(const Variant& v) noexcept;
int32_t VarArrayLowBound(const Variant& v, int32_t dim = 1);
int32_t VarArrayHighBound(const Variant& v, int32_t dim = 1);
// Pointer to the contiguous elements (uint8_t for byte arrays, Variant
// otherwise), valid until VarArrayUnlock or until v is changed or destroyed.
// Locking detaches v from any copy sharing its elements, so writes through
// the pointer affect v only; a copy taken while locked gets its own elements.
void* VarArrayLock(Variant& v);
void VarArrayUnlock(Variant& v);

} // namespace host
