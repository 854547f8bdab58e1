// The parameter collection: ownership, name lookups and the namesake rule,
// copying between collections and from the host's TParams, and the values it
// hands to a statement for binding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LmrBasDS/LmrParams.h"
#include "LmrBase/LmrErrors.h"
#include "host/Exceptions.h"
#include "host/Params.h"

using host::Variant;

namespace {

TLumraParam* Add(TLumraParams& params, const std::string& name, TLumraParamType type = nptInput) {
    auto* p = new TLumraParam(&params, name);
    p->SetAlias(name);
    p->SetParamType(type);
    return p;
}

} // namespace

TEST(ParamCollection, ParametersRegisterThemselvesAndLeaveWhenDestroyed) {
    host::TComponent owner(nullptr);
    TLumraParams params(&owner);
    EXPECT_EQ(params.GetOwner(), &owner);
    TLumraParam* a = Add(params, "a");
    TLumraParam* b = Add(params, "b");
    EXPECT_EQ(params.Count(), 2);
    EXPECT_EQ(a->ParamCollection(), &params);
    delete a;
    EXPECT_EQ(params.Count(), 1);
    EXPECT_EQ(params.GetParam(0), b);

    params.RemoveParam(b);
    EXPECT_EQ(params.Count(), 0);
    EXPECT_EQ(b->ParamCollection(), nullptr);
    params.AddParam(b);
    EXPECT_EQ(params.Count(), 1);
    params.Clear();
    EXPECT_EQ(params.Count(), 0);
}

TEST(ParamCollection, MovingAParameterToAnotherCollectionLeavesTheFirstOne) {
    TLumraParams first(nullptr);
    TLumraParams second(nullptr);
    TLumraParam* p = Add(first, "p");
    second.AddParam(p);
    EXPECT_EQ(first.Count(), 0) << "a parameter owned twice would be freed twice";
    EXPECT_EQ(second.Count(), 1);
    second.AddParam(p);
    EXPECT_EQ(second.Count(), 1);
}

TEST(ParamCollection, LookupsIgnoreCaseAndRaiseTheCatalogueMessageWhenMissing) {
    TLumraParams params(nullptr);
    TLumraParam* p = Add(params, "Amount");
    p->SetAlias("amt");
    EXPECT_EQ(params.ParamByName("AMOUNT"), p);
    EXPECT_EQ(params.ParamByAlias("AMT"), p);
    try {
        params.ParamByName("missing");
        FAIL() << "no exception";
    } catch (const ELumraException& e) {
        EXPECT_STREQ(e.what(), "Host variable \"missing\" not found");
        EXPECT_EQ(e.ErrorCode(), 0);
    }
    EXPECT_THROW(params.ParamByAlias("Amount"), ELumraException);
    EXPECT_EQ(params.Count(), 1);
}

TEST(ParamCollection, NamesakesResolveToTheFirstOfThemAtEveryPosition) {
    TLumraParams params(nullptr);
    TLumraParam* first = Add(params, "id");
    TLumraParam* second = Add(params, "ID");
    EXPECT_EQ(params.ParamByName("Id"), first);
    EXPECT_EQ(params.GetParam(1), first);
    EXPECT_EQ(params.RawItem(1), second);

    // A value set by name reaches every occurrence when binding.
    params.ParamByName("id")->SetAsInteger(9);
    second->SetAsInteger(1);
    Variant values = params.GetParamValues();
    EXPECT_EQ(values[0].AsInteger(), 9);
    EXPECT_EQ(values[1].AsInteger(), 9);
}

TEST(ParamCollection, IndexBeyondCountRaisesTheListError) {
    TLumraParams params(nullptr);
    Add(params, "a");
    EXPECT_THROW(params.GetParam(1), host::EListError);
    EXPECT_THROW(params.GetParam(65535), host::EListError);
}

TEST(ParamCollection, AssignValuesMatchesNamesExactlyAndKeepsDirections) {
    TLumraParams own(nullptr);
    TLumraParam* lower = Add(own, "id", nptInput);
    TLumraParams ownUpper(nullptr);
    TLumraParam* upper = Add(ownUpper, "ID");
    TLumraParam* untouched = Add(own, "other");
    untouched->SetAsString("keep");

    TLumraParams source(nullptr);
    TLumraParam* src = Add(source, "id", nptOutput);
    src->SetAsInteger(42);
    TLumraParam* second = Add(source, "ID");
    second->SetAsInteger(43);
    Add(source, "extra")->SetAsInteger(1);

    own.AssignValues(&source);
    EXPECT_EQ(lower->GetAsInteger(), 42);
    EXPECT_EQ(lower->ParamType(), nptInput);
    EXPECT_EQ(untouched->GetAsString(), "keep");
    EXPECT_EQ(own.Count(), 2);

    TLumraParams onlyLower(nullptr);
    Add(onlyLower, "id")->SetAsInteger(42);
    ownUpper.AssignValues(&onlyLower);
    EXPECT_EQ(upper->DataType(), ntUnknown) << "id is not copied onto ID";
}

TEST(ParamCollection, ACopiedCollectionEqualsItsSource) {
    TLumraParams source(nullptr);
    Add(source, "a", nptInput)->SetAsString("x");
    Add(source, "b", nptInputOutput)->SetAsBlob(std::string("\0\1", 2));
    TLumraParam* c = Add(source, "c", nptResult);
    c->SetAsDate(36925.0);
    c->Clear();
    TLumraParam* d = Add(source, "d", nptOutput);
    d->SetBound(false);
    // Null through the Variant: the source keeps Null, the copy is cleared.
    Add(source, "e", nptInput)->SetAsVariant(Variant::Null());

    TLumraParams copy(nullptr);
    copy.Assign(&source);
    ASSERT_EQ(copy.Count(), 5);
    EXPECT_TRUE(copy.IsEqual(&source));
    EXPECT_TRUE(source.IsEqual(&copy));
    EXPECT_EQ(copy.GetParam(1)->Data().VarType(), host::varString) << "blob copies stay byte strings";
    EXPECT_TRUE(copy.GetParam(2)->IsNull());
    EXPECT_FALSE(copy.GetParam(3)->Bound());

    copy.GetParam(0)->SetAsString("y");
    EXPECT_FALSE(copy.IsEqual(&source));
    TLumraParams shorter(nullptr);
    EXPECT_FALSE(shorter.IsEqual(&source));

    // AssignTo goes the other way round; assigning to itself keeps everything.
    TLumraParams viaAssignTo(nullptr);
    source.AssignTo(&viaAssignTo);
    EXPECT_TRUE(viaAssignTo.IsEqual(&source));
    source.Assign(&source);
    EXPECT_EQ(source.Count(), 5);
}

TEST(ParamCollection, UnsupportedSourcesAndDestinationsRaiseTheAssignError) {
    TLumraParams params(nullptr);
    Add(params, "a");
    host::TComponent other(nullptr);
    EXPECT_THROW(params.Assign(&other), host::EConvertError);
    EXPECT_THROW(params.AssignTo(&other), host::EConvertError);
    EXPECT_EQ(params.Count(), 1);
}

struct DirectionCase {
    host::TParamType host;
    TLumraParamType lumra;
};

class DirectionMapping : public ::testing::TestWithParam<DirectionCase> {};

TEST_P(DirectionMapping, AssignFromHostParamsMapsEachDirectionByName) {
    const DirectionCase& c = GetParam();
    host::TParams hostParams;
    host::TParam* hp = hostParams.CreateParam(host::ftFloat, "Total", c.host);
    hp->SetValue(Variant(int32_t{7}));
    hp->SetBound(false);

    TLumraParams params(nullptr);
    Add(params, "stale");
    params.Assign(&hostParams);
    ASSERT_EQ(params.Count(), 1);
    TLumraParam* p = params.GetParam(0);
    EXPECT_EQ(p->Name(), "Total");
    EXPECT_EQ(p->Alias(), "Total");
    EXPECT_EQ(p->ParamType(), c.lumra);
    EXPECT_EQ(p->DataType(), ntInteger) << "the value's type wins over the host's ftFloat";
    EXPECT_TRUE(p->Bound()) << "the host's bound flag is not copied";
    EXPECT_EQ(LmrParamTypeToHost(c.lumra), c.host);
}

INSTANTIATE_TEST_SUITE_P(Table, DirectionMapping,
                         ::testing::ValuesIn(std::vector<DirectionCase>{
                             {host::ptUnknown, nptUnknown},
                             {host::ptInput, nptInput},
                             {host::ptOutput, nptOutput},
                             {host::ptInputOutput, nptInputOutput},
                             {host::ptResult, nptResult},
                         }));

TEST(ParamCollection, AssignFromHostParamsTakesNullAndEmptyValuesAsNull) {
    host::TParams hostParams;
    hostParams.CreateParam(host::ftString, "a", host::ptInput)->SetValue(Variant::Null());
    hostParams.CreateParam(host::ftString, "b", host::ptInput);
    hostParams.CreateParam(host::ftString, "c", host::ptInput)->SetValue(Variant("x"));
    TLumraParams params(nullptr);
    params.Assign(&hostParams);
    ASSERT_EQ(params.Count(), 3);
    EXPECT_TRUE(params.GetParam(0)->IsNull());
    EXPECT_EQ(params.GetParam(0)->DataType(), ntUnknown);
    EXPECT_TRUE(params.GetParam(1)->IsNull());
    EXPECT_EQ(params.GetParam(2)->DataType(), ntString);
    EXPECT_EQ(params.GetParam(2)->GetAsString(), "x");
}

TEST(ParamValues, OnlyOutputAndResultParametersGiveNull) {
    TLumraParams params(nullptr);
    EXPECT_TRUE(params.GetParamValues().IsNull());
    Add(params, "o", nptOutput)->SetAsInteger(1);
    Add(params, "r", nptResult)->SetAsInteger(2);
    EXPECT_TRUE(params.GetParamValues().IsNull());
}

TEST(ParamValues, InputValuesBecomeAVariantArrayInPositionOrder) {
    TLumraParams params(nullptr);
    Add(params, "u", nptUnknown)->SetAsString("s");
    Add(params, "out", nptOutput)->SetAsInteger(99);
    TLumraParam* nullInput = Add(params, "n", nptInput);
    nullInput->SetAsInteger(5);
    nullInput->Clear();
    Add(params, "io", nptInputOutput)->SetAsBlob("\x01\x02");
    Add(params, "res", nptResult);
    Add(params, "f", nptInput)->SetAsFloat(2.5);

    Variant values = params.GetParamValues();
    ASSERT_TRUE(values.IsArray());
    EXPECT_EQ(values.VarType(), host::varArray | host::varVariant);
    EXPECT_EQ(host::VarArrayLowBound(values), 0);
    ASSERT_EQ(host::VarArrayHighBound(values), 3);
    EXPECT_EQ(values[0].AsString(), "s");
    EXPECT_TRUE(values[1].IsNull());
    Variant bytes = values[2];
    EXPECT_EQ(bytes.VarType(), host::varArray | host::varByte);
    EXPECT_EQ(host::VarArrayHighBound(bytes), 1);
    EXPECT_EQ(bytes[1].AsInteger(), 2);
    EXPECT_DOUBLE_EQ(values[3].AsDouble(), 2.5);
}

TEST(ParamValues, ASingleNullInputGivesAnArrayOfOneNull) {
    TLumraParams params(nullptr);
    Add(params, "n", nptInput)->Clear();
    Variant values = params.GetParamValues();
    ASSERT_TRUE(values.IsArray());
    EXPECT_EQ(host::VarArrayHighBound(values), 0);
    EXPECT_TRUE(values[0].IsNull());
}

TEST(HostParams, FindAndParamByNameIgnoreCaseAndValueTypesAnUntypedParameter) {
    host::TParams hostParams;
    host::TParam* p = hostParams.CreateParam(host::ftUnknown, "Name", host::ptInput);
    EXPECT_EQ(hostParams.FindParam("NAME"), p);
    EXPECT_EQ(hostParams.FindParam("none"), nullptr);
    EXPECT_THROW(hostParams.ParamByName("none"), host::EDatabaseError);
    EXPECT_FALSE(p->Bound());
    p->SetValue(Variant(int16_t{3}));
    EXPECT_EQ(p->DataType(), host::ftSmallint);
    EXPECT_TRUE(p->Bound());
    EXPECT_THROW(hostParams.Items(1), host::EListError);
    delete p;
    EXPECT_EQ(hostParams.Count(), 0);
}
