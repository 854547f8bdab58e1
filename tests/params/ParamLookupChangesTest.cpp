// The collection works the namesake rule out once and keeps it until the
// list or a name changes: every kind of change must be seen by the next
// lookup, indexed access and the values handed out for binding.
#include <gtest/gtest.h>

#include <string>

#include "LmrBasDS/LmrParams.h"
#include "LmrBase/LmrErrors.h"
#include "host/Fields.h"
#include "host/Variant.h"

using host::Variant;

namespace {

TLumraParam* Add(TLumraParams& params, const std::string& name, int32_t value) {
    auto* p = new TLumraParam(&params, name);
    p->SetParamType(nptInput);
    p->SetAsInteger(value);
    return p;
}

// The values GetParamValues hands out, as integers (-1 for null).
std::vector<int32_t> Values(const TLumraParams& params) {
    const Variant values = params.GetParamValues();
    std::vector<int32_t> out;
    for (int32_t i = host::VarArrayLowBound(values); i <= host::VarArrayHighBound(values); ++i) {
        const Variant v = values.GetElement(i);
        out.push_back(v.IsNull() ? -1 : v.AsInteger());
    }
    return out;
}

} // namespace

TEST(ParamLookupChanges, ARenameIsSeenByIndexedAccessNameLookupAndValues) {
    TLumraParams params(nullptr);
    TLumraParam* first = Add(params, "a", 1);
    TLumraParam* second = Add(params, "b", 2);
    TLumraParam* third = Add(params, "A", 3);
    EXPECT_EQ(params.GetParam(2), first);
    EXPECT_EQ(Values(params), (std::vector<int32_t>{1, 2, 1}));

    first->SetName("c");
    EXPECT_EQ(params.GetParam(0), first);
    EXPECT_EQ(params.GetParam(2), third);
    EXPECT_EQ(params.ParamByName("a"), third);
    EXPECT_EQ(params.ParamByName("C"), first);
    EXPECT_EQ(Values(params), (std::vector<int32_t>{1, 2, 3}));

    // A rename that makes a later parameter a namesake of an earlier one.
    third->SetName("B");
    EXPECT_EQ(params.GetParam(2), second);
    EXPECT_EQ(Values(params), (std::vector<int32_t>{1, 2, 2}));
    EXPECT_THROW(params.ParamByName("a"), ELumraException);
}

TEST(ParamLookupChanges, RemovingDeletingAndAddingParametersChangeWhatANameFinds) {
    TLumraParams params(nullptr);
    TLumraParam* first = Add(params, "x", 1);
    TLumraParam* second = Add(params, "X", 2);
    Add(params, "y", 3);
    EXPECT_EQ(params.ParamByName("x"), first);

    params.RemoveParam(first);
    EXPECT_EQ(params.ParamByName("x"), second);
    EXPECT_EQ(params.GetParam(0), second);
    EXPECT_EQ(Values(params), (std::vector<int32_t>{2, 3}));

    // Added again at the end: now the later namesake.
    params.AddParam(first);
    EXPECT_EQ(params.GetParam(2), second);
    EXPECT_EQ(Values(params), (std::vector<int32_t>{2, 3, 2}));

    delete second;
    EXPECT_EQ(params.ParamByName("x"), first);
    EXPECT_EQ(Values(params), (std::vector<int32_t>{3, 1}));

    params.Clear();
    EXPECT_EQ(params.Count(), 0);
    EXPECT_THROW(params.ParamByName("y"), ELumraException);
    Add(params, "y", 4);
    EXPECT_EQ(params.ParamByName("Y")->AsInteger(), 4);
}

TEST(ParamLookupChanges, AssignAndAssignFieldRenameThroughTheCollection) {
    TLumraParams params(nullptr);
    TLumraParam* first = Add(params, "p", 1);
    TLumraParam* second = Add(params, "q", 2);
    TLumraParams other(nullptr);
    TLumraParam* source = Add(other, "q", 7);

    first->Assign(source); // takes the name q as well
    EXPECT_EQ(params.ParamByName("q"), first);
    EXPECT_EQ(params.GetParam(1), first);
    EXPECT_THROW(params.ParamByName("p"), ELumraException);

    // A whole collection assigned over another: every name is new.
    params.Assign(&other);
    ASSERT_EQ(params.Count(), 1);
    EXPECT_EQ(params.ParamByName("Q")->AsInteger(), 7);
    (void)second;
}

TEST(ParamLookupChanges, ManyParametersClearAndResolveWithoutLosingOne) {
    TLumraParams params(nullptr);
    for (int32_t i = 0; i < 40000; ++i)
        Add(params, "p" + std::to_string(i % 20000), i);
    EXPECT_EQ(params.RawItem(39999)->Name(), "p19999");
    const std::vector<int32_t> values = Values(params);
    ASSERT_EQ(values.size(), 40000u);
    EXPECT_EQ(values[39999], 19999); // the first namesake's value
    EXPECT_EQ(params.ParamByName("P12345")->AsInteger(), 12345);
    params.Clear();
    EXPECT_EQ(params.Count(), 0);
}
