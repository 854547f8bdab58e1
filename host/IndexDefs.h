// The host framework's index descriptions: what an index is built on (its
// fields, the descending and case-insensitive ones among them) and the list
// a dataset keeps of them. Providers ask a dataset for its default order as
// one of these.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/Classes.h"

namespace host {

class TDataSet;
class TIndexDefs;

enum TIndexOption : uint8_t {
    ixPrimary,
    ixUnique,
    ixDescending,
    ixCaseInsensitive,
    ixExpression,
    ixNonMaintained
};
using TIndexOptions = TSet<TIndexOption>;

// One index. Field lists are ";"-separated field names.
class TIndexDef : public TPersistent {
public:
    // Registers itself with Owner when given (the list then owns it);
    // without an owner the creator owns it.
    TIndexDef(TIndexDefs* owner, const std::string& name, const std::string& fields, TIndexOptions options);
    ~TIndexDef() override;

    TIndexDefs* Collection() const noexcept { return FOwner; }
    const std::string& Name() const noexcept { return FName; }
    void SetName(const std::string& value) { FName = value; }
    const std::string& Fields() const noexcept { return FFields; }
    void SetFields(const std::string& value) { FFields = value; }
    const std::string& DescFields() const noexcept { return FDescFields; }
    void SetDescFields(const std::string& value) { FDescFields = value; }
    const std::string& CaseInsFields() const noexcept { return FCaseInsFields; }
    void SetCaseInsFields(const std::string& value) { FCaseInsFields = value; }
    const std::string& Expression() const noexcept { return FExpression; }
    void SetExpression(const std::string& value) { FExpression = value; }
    TIndexOptions Options() const noexcept { return FOptions; }
    void SetOptions(TIndexOptions value) noexcept { FOptions = value; }

    void Assign(TPersistent* source) override;

private:
    friend class TIndexDefs;
    TIndexDefs* FOwner;
    std::string FName;
    std::string FFields;
    std::string FDescFields;
    std::string FCaseInsFields;
    std::string FExpression;
    TIndexOptions FOptions;
};

// The ordered, owning list of a dataset's index descriptions.
class TIndexDefs : public TPersistent {
public:
    explicit TIndexDefs(TDataSet* dataSet = nullptr) : FDataSet(dataSet) {}
    ~TIndexDefs() override;

    TDataSet* DataSet() const noexcept { return FDataSet; }
    TIndexDef* Add(const std::string& name, const std::string& fields, TIndexOptions options);
    TIndexDef* AddIndexDef();
    void Clear();
    int32_t Count() const noexcept { return static_cast<int32_t>(FItems.size()); }
    // EListError outside the list.
    TIndexDef* Items(int32_t index) const;
    TIndexDef* operator[](int32_t index) const { return Items(index); }
    // Case-insensitive by name; -1 / null when none.
    int32_t IndexOf(const std::string& name) const;
    TIndexDef* FindIndexForFields(const std::string& fields) const;
    // The index of that name; EDatabaseError SIndexNotFound when none.
    TIndexDef* Find(const std::string& name) const;
    bool Updated() const noexcept { return FUpdated; }
    void SetUpdated(bool value) noexcept { FUpdated = value; }

    void Assign(TPersistent* source) override;

private:
    friend class TIndexDef;
    TDataSet* FDataSet;
    std::vector<TIndexDef*> FItems; // owned; each item removes itself when deleted
    bool FUpdated = false;
};

} // namespace host
