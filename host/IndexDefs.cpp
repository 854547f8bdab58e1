// Index descriptions and their owning list.
#include "host/IndexDefs.h"

#include <algorithm>

#include "host/DBConsts.h"
#include "host/Exceptions.h"
#include "host/SysUtils.h"

namespace host {

TIndexDef::TIndexDef(TIndexDefs* owner, const std::string& name, const std::string& fields,
                     TIndexOptions options)
    : FOwner(owner), FName(name), FFields(fields), FOptions(options) {
    if (owner) owner->FItems.push_back(this);
}

TIndexDef::~TIndexDef() {
    if (FOwner) std::erase(FOwner->FItems, this);
}

void TIndexDef::Assign(TPersistent* source) {
    auto* other = dynamic_cast<TIndexDef*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    FName = other->FName;
    FFields = other->FFields;
    FDescFields = other->FDescFields;
    FCaseInsFields = other->FCaseInsFields;
    FExpression = other->FExpression;
    FOptions = other->FOptions;
}

TIndexDefs::~TIndexDefs() {
    Clear();
}

TIndexDef* TIndexDefs::Add(const std::string& name, const std::string& fields, TIndexOptions options) {
    return new TIndexDef(this, name, fields, options);
}

TIndexDef* TIndexDefs::AddIndexDef() {
    return new TIndexDef(this, "", "", {});
}

void TIndexDefs::Clear() {
    while (!FItems.empty())
        delete FItems.back();
}

TIndexDef* TIndexDefs::Items(int32_t index) const {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", {index}));
    return FItems[static_cast<size_t>(index)];
}

int32_t TIndexDefs::IndexOf(const std::string& name) const {
    for (int32_t i = 0; i < Count(); ++i)
        if (AnsiSameText(FItems[static_cast<size_t>(i)]->Name(), name)) return i;
    return -1;
}

TIndexDef* TIndexDefs::FindIndexForFields(const std::string& fields) const {
    for (TIndexDef* def : FItems)
        if (AnsiSameText(def->Fields(), fields)) return def;
    return nullptr;
}

TIndexDef* TIndexDefs::Find(const std::string& name) const {
    const int32_t i = IndexOf(name);
    if (i < 0) DatabaseError(Format(LoadResString(SIndexNotFound), {name}));
    return Items(i);
}

void TIndexDefs::Assign(TPersistent* source) {
    auto* other = dynamic_cast<TIndexDefs*>(source);
    if (!other) {
        TPersistent::Assign(source);
        return;
    }
    Clear();
    for (TIndexDef* def : other->FItems)
        AddIndexDef()->Assign(def);
}

} // namespace host
