// The host's parameter list: ownership between TParams and TParam, and the
// data type a first value gives an untyped parameter.
#include "host/Params.h"

#include <algorithm>

#include "host/Exceptions.h"
#include "host/SysUtils.h"

namespace host {

TParam::TParam(TParams* params, TParamType paramType) : FParamType(paramType) {
    if (params != nullptr) {
        params->FItems.emplace_back(this);
        FParams = params;
    }
}

TParam::~TParam() {
    if (FParams == nullptr) return;
    // Deleted by its owner directly: leave the list without deleting again.
    auto& items = FParams->FItems;
    auto it = std::find_if(items.begin(), items.end(), [this](const auto& p) { return p.get() == this; });
    if (it != items.end()) {
        it->release();
        items.erase(it);
    }
}

void TParam::Assign(TPersistent* source) {
    if (auto* other = dynamic_cast<TParam*>(source)) {
        FName = other->FName;
        FDataType = other->FDataType;
        FParamType = other->FParamType;
        FData = other->FData;
        FBound = other->FBound;
        return;
    }
    TPersistent::Assign(source);
}

void TParam::SetDataType(TFieldType value) {
    FDataType = value;
    FData.Clear();
}

void TParam::SetValue(const Variant& value) {
    if (FDataType == ftUnknown) {
        switch (value.VarType()) {
        case varSmallint:
        case varByte:
            FDataType = ftSmallint;
            break;
        case varInteger:
            FDataType = ftInteger;
            break;
        case varCurrency:
            FDataType = ftBCD;
            break;
        case varSingle:
        case varDouble:
            FDataType = ftFloat;
            break;
        case varDate:
            FDataType = ftDateTime;
            break;
        case varBoolean:
            FDataType = ftBoolean;
            break;
        case varString:
        case varOleStr:
            FDataType = ftString;
            break;
        default:
            break;
        }
    }
    FData = value;
    FBound = !value.IsEmpty();
}

void TParam::SetAsString(const std::string& value) {
    if (FDataType == ftUnknown) FDataType = ftString;
    SetValue(Variant(value));
}

void TParam::SetAsInteger(int32_t value) {
    if (FDataType == ftUnknown) FDataType = ftInteger;
    SetValue(Variant(value));
}

TParams::~TParams() {
    Clear();
}

void TParams::Assign(TPersistent* source) {
    if (auto* other = dynamic_cast<TParams*>(source)) {
        if (other == this) return;
        Clear();
        for (const auto& p : other->FItems)
            (new TParam(this))->Assign(p.get());
        return;
    }
    TPersistent::Assign(source);
}

TParam* TParams::CreateParam(TFieldType fieldType, const std::string& paramName, TParamType paramType) {
    auto* param = new TParam(this, paramType);
    param->FName = paramName;
    param->FDataType = fieldType;
    return param;
}

TParam* TParams::FindParam(const std::string& value) const {
    for (const auto& p : FItems)
        if (AnsiSameText(p->FName, value)) return p.get();
    return nullptr;
}

TParam* TParams::ParamByName(const std::string& value) const {
    TParam* param = FindParam(value);
    if (param == nullptr) DatabaseError(Format("Parameter '%s' not found", {value}));
    return param;
}

TParam* TParams::Items(int32_t index) const {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", {index}));
    return FItems[size_t(index)].get();
}

void TParams::Clear() {
    while (!FItems.empty()) {
        std::unique_ptr<TParam> last = std::move(FItems.back());
        FItems.pop_back();
        last->FParams = nullptr;
    }
}

} // namespace host
