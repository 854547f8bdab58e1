// The host framework's own parameter list, TParams of TParam: what the
// provider support exchanges with LumraDB's parameter collections. Only the
// parts LumraDB touches are here: name, data type, direction, value and the
// bound flag, and the list's create, find and clear operations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/Classes.h"
#include "host/Fields.h"
#include "host/Variant.h"

namespace host {

// The host's parameter direction, in the host's own order: output before
// input/output (LumraDB orders them the other way).
enum TParamType : uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TParams;

class TParam : public TPersistent {
public:
    // Appends the new parameter to params when it is not null; the list then owns it.
    explicit TParam(TParams* params, TParamType paramType = ptUnknown);
    ~TParam() override;

    // Copies name, data type, direction, value and bound flag from another TParam.
    void Assign(TPersistent* source) override;

    TParams* Collection() const noexcept { return FParams; }
    const std::string& Name() const noexcept { return FName; }
    void SetName(const std::string& value) { FName = value; }
    TFieldType DataType() const noexcept { return FDataType; }
    // Changing the type discards the value (the parameter becomes Unassigned).
    void SetDataType(TFieldType value);
    TParamType ParamType() const noexcept { return FParamType; }
    void SetParamType(TParamType value) noexcept { FParamType = value; }

    const Variant& Value() const noexcept { return FData; }
    // Stores value. Bound becomes true unless value is Empty; an ftUnknown
    // parameter takes its data type from the Variant type (smallint and byte
    // ftSmallint, integer ftInteger, single/double ftFloat, currency ftBCD,
    // date ftDateTime, Boolean ftBoolean, strings ftString).
    void SetValue(const Variant& value);
    // Null or Empty.
    bool IsNull() const noexcept { return FData.IsNull() || FData.IsEmpty(); }
    bool Bound() const noexcept { return FBound; }
    void SetBound(bool value) noexcept { FBound = value; }
    // Value = Empty (Bound unchanged).
    void Clear() noexcept { FData.Clear(); }

    // The value as text ("" when null) or as an integer (0 when null).
    std::string AsString() const { return IsNull() ? std::string() : FData.AsString(); }
    void SetAsString(const std::string& value);
    int32_t AsInteger() const { return IsNull() ? 0 : FData.AsInteger(); }
    void SetAsInteger(int32_t value);

private:
    friend class TParams;

    TParams* FParams = nullptr; // back reference, not owned
    std::string FName;
    TFieldType FDataType = ftUnknown;
    TParamType FParamType = ptUnknown;
    Variant FData;
    bool FBound = false;
};

// An ordered list of parameters that owns them.
class TParams : public TPersistent {
public:
    TParams() = default;
    ~TParams() override;

    TParams(const TParams&) = delete;
    TParams& operator=(const TParams&) = delete;

    // Replaces the contents by copies of another TParams' parameters.
    void Assign(TPersistent* source) override;

    // Appends a new parameter and returns it (owned by the list).
    TParam* CreateParam(TFieldType fieldType, const std::string& paramName, TParamType paramType);
    // First parameter whose name equals value ignoring case, or nullptr.
    TParam* FindParam(const std::string& value) const;
    // As FindParam, but raises EDatabaseError "Parameter '<value>' not found".
    TParam* ParamByName(const std::string& value) const;
    // EListError "List index out of bounds (<index>)" outside 0 .. Count - 1.
    TParam* Items(int32_t index) const;
    TParam* operator[](int32_t index) const { return Items(index); }
    int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }
    // Deletes every parameter.
    void Clear();

private:
    friend class TParam;

    std::vector<std::unique_ptr<TParam>> FItems;
};

} // namespace host
