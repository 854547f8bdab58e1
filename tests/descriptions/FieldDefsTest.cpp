// Column and variable descriptions: buffer layout by offsets, list ownership,
// case-insensitive lookup and the variable value buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "LmrBase/LmrFieldDefs.h"
#include "host/Exceptions.h"

// Field-type ordinals are stored in parameter streams; a reordering would
// misread every stored parameter.
static_assert(sizeof(TLumraFieldTypes) == 1 && sizeof(TLumraKeyIndicator) == 1);
static_assert(ntUnknown == 0 && ntString == 1 && ntInteger == 2 && ntFloat == 3 && ntCurrency == 4 &&
              ntDate == 5 && ntTime == 6 && ntDateTime == 7 && ntBoolean == 8 && ntBinary == 9 &&
              ntMemo == 10 && ntBlob == 11);
static_assert(kiRegularField == 0 && kiKeyField == 1 && kiHiddenKeyField == 2);

namespace {

TLumraFieldDef* Add(TLumraFieldDefs& defs, const std::string& name, int32_t size,
                    TLumraFieldTypes type = ntInteger) {
    TLumraFieldDef* def = defs.AddFieldDef(name);
    def->SetSize(size);
    def->SetFieldType(type);
    return def;
}

} // namespace

TEST(FieldDefs, EachAddedDescriptionStartsWhereThePreviousOnesEnd) {
    TLumraFieldDefs defs;
    Add(defs, "A", 4);
    Add(defs, "B", 10);
    TLumraFieldDef* c = defs.AddFieldDef("C");

    EXPECT_EQ(c->Offset(), 14);
    EXPECT_EQ(c->FieldNo(), 2);
    EXPECT_EQ(c->Owner(), &defs);
    EXPECT_EQ(defs.GetCount(), 3);
    c->SetSize(6);
    EXPECT_EQ(defs.Size(), 20);
}

TEST(FieldDefs, SizeBeyondThe32BitRangeRaisesInsteadOfWrapping) {
    TLumraFieldDefs defs;
    Add(defs, "A", std::numeric_limits<int32_t>::max());
    Add(defs, "B", 1);
    EXPECT_THROW(defs.Size(), host::ERangeError);
    EXPECT_THROW(defs.AddFieldDef("C"), host::ERangeError);
    EXPECT_EQ(defs.GetCount(), 2);
}

TEST(FieldDefs, DeletingADescriptionTakesItOutOfItsList) {
    TLumraFieldDefs defs;
    Add(defs, "A", 4);
    TLumraFieldDef* b = Add(defs, "B", 4);
    TLumraFieldDef* c = Add(defs, "C", 4);

    delete b;

    ASSERT_EQ(defs.GetCount(), 2);
    EXPECT_EQ(defs.GetItem(1), c);
    EXPECT_EQ(defs.IndexOf("B"), -1);
    // FieldNo was fixed when C was added and is not renumbered.
    EXPECT_EQ(c->FieldNo(), 2);
}

TEST(FieldDefs, DescriptionCreatedWithAnOwnerJoinsItAndOneWithoutStaysAlone) {
    TLumraFieldDefs defs;
    auto* joined = new TLumraFieldDef(&defs, "X");
    EXPECT_EQ(defs.GetItem(0), joined);

    TLumraFieldDef alone(nullptr, "Y");
    EXPECT_EQ(alone.Owner(), nullptr);
    EXPECT_EQ(defs.GetCount(), 1);
}

TEST(FieldDefs, ClearDeletesEveryDescriptionAndTheListCanBeRefilled) {
    TLumraFieldDefs defs;
    Add(defs, "A", 4);
    Add(defs, "B", 8);
    defs.Clear();
    EXPECT_EQ(defs.GetCount(), 0);
    EXPECT_EQ(defs.Size(), 0);

    TLumraFieldDef* again = defs.AddFieldDef("A");
    EXPECT_EQ(again->FieldNo(), 0);
    EXPECT_EQ(again->Offset(), 0);
}

TEST(FieldDefs, LookupByNameIgnoresCaseAndTheFirstMatchWins) {
    TLumraFieldDefs defs;
    TLumraFieldDef* first = Add(defs, "Photo", 4);
    Add(defs, "Name", 4);
    Add(defs, "PHOTO", 4);

    EXPECT_EQ(defs.IndexOf("photo"), 0);
    EXPECT_EQ(defs.IndexOf("NAME"), 1);
    EXPECT_EQ(defs.IndexOf("Phot"), -1);
    EXPECT_EQ(defs.IndexOf(""), -1);
    EXPECT_EQ(defs.FieldByName("pHoTo"), first);
    EXPECT_EQ(defs.FieldByName("missing"), nullptr);
}

TEST(FieldDefs, GetItemOutsideTheListIsNull) {
    TLumraFieldDefs defs;
    EXPECT_EQ(defs.GetItem(0), nullptr);
    Add(defs, "A", 4);
    Add(defs, "B", 4);
    for (int32_t index : {-1, 2, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()})
        EXPECT_EQ(defs.GetItem(index), nullptr) << "index " << index;
    EXPECT_NE(defs.GetItem(1), nullptr);
}

TEST(FieldDefs, OnlyMemoAndBlobColumnsCountAsBlobs) {
    for (int t = ntUnknown; t <= ntBlob; ++t) {
        TLumraFieldDefs defs;
        Add(defs, "A", 4, ntString);
        Add(defs, "B", 4, static_cast<TLumraFieldTypes>(t));
        EXPECT_EQ(defs.AnyBlob(), t == ntMemo || t == ntBlob) << "type " << t;
    }
    EXPECT_FALSE(TLumraFieldDefs().AnyBlob());
}

TEST(VariableDefs, ZeroBufferSizeLeavesNoBufferAndClearBufferDoesNothing) {
    TLumraVariableDefs vars;
    vars.SetBufSize(8);
    ASSERT_NE(vars.Buffer(), nullptr);

    vars.SetBufSize(0);
    EXPECT_EQ(vars.Buffer(), nullptr);
    EXPECT_EQ(vars.BufSize(), 0);
    vars.ClearBuffer();
    EXPECT_EQ(vars.Buffer(), nullptr);
}

TEST(VariableDefs, NewBufferIsZeroFilledAndClearBufferZeroesItAgain) {
    TLumraVariableDefs vars;
    vars.SetBufSize(16);
    ASSERT_EQ(vars.BufSize(), 16);
    const char zeros[16] = {};
    EXPECT_EQ(std::memcmp(vars.Buffer(), zeros, 16), 0);

    std::memset(vars.Buffer(), 0x5A, 16);
    vars.ClearBuffer();
    EXPECT_EQ(std::memcmp(vars.Buffer(), zeros, 16), 0);
}

TEST(VariableDefs, EveryResizeGivesZerosWhetherTheBlockIsKeptOrNot) {
    TLumraVariableDefs vars;
    const char zeros[300] = {};
    for (const int32_t size : {256, 9, 256, 300, 12}) {
        SCOPED_TRACE(size);
        vars.SetBufSize(size);
        ASSERT_EQ(vars.BufSize(), size);
        EXPECT_EQ(std::memcmp(vars.Buffer(), zeros, static_cast<size_t>(size)), 0);
        std::memset(vars.Buffer(), 0x5A, static_cast<size_t>(size)); // dirt the next size must not show
    }
}

TEST(VariableDefs, NegativeBufferSizeRaisesAndKeepsTheOldBuffer) {
    TLumraVariableDefs vars;
    vars.SetBufSize(4);
    char* before = vars.Buffer();
    EXPECT_THROW(vars.SetBufSize(-1), host::ERangeError);
    EXPECT_EQ(vars.Buffer(), before);
    EXPECT_EQ(vars.BufSize(), 4);
}

TEST(VariableDefs, ClearDropsDescriptionsBufferAndBound) {
    TLumraVariableDefs vars;
    Add(vars, "?", 4);
    Add(vars, "?", 8);
    vars.SetBufSize(vars.Size());
    vars.SetBound(true);

    vars.Clear();

    EXPECT_EQ(vars.GetCount(), 0);
    EXPECT_EQ(vars.Buffer(), nullptr);
    EXPECT_EQ(vars.BufSize(), 0);
    EXPECT_FALSE(vars.Bound());
}

TEST(VariableDefs, ClearThroughTheBaseListAlsoDropsTheBuffer) {
    TLumraVariableDefs vars;
    Add(vars, "?", 4);
    vars.SetBufSize(4);
    vars.SetBound(true);

    TLumraFieldDefs& asList = vars;
    asList.Clear();

    EXPECT_EQ(vars.Buffer(), nullptr);
    EXPECT_FALSE(vars.Bound());
}
