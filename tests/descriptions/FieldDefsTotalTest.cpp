// The list keeps the total size of its descriptions as they are added,
// resized, deleted and cleared, and places each new description at it.
#include <gtest/gtest.h>

#include <limits>

#include "LmrBase/LmrFieldDefs.h"
#include "host/Exceptions.h"

TEST(FieldDefsTotal, FollowsEveryResizeDeletionAndClear) {
    TLumraFieldDefs defs;
    TLumraFieldDef* a = defs.AddFieldDef("a");
    a->SetSize(8);
    TLumraFieldDef* b = defs.AddFieldDef("b");
    b->SetSize(21);
    TLumraFieldDef* c = defs.AddFieldDef("c");
    EXPECT_EQ(c->Offset(), 29);
    c->SetSize(4);
    EXPECT_EQ(defs.Size(), 33);
    b->SetSize(5);
    EXPECT_EQ(defs.Size(), 17);
    delete b;
    EXPECT_EQ(defs.Size(), 12);
    EXPECT_EQ(defs.GetCount(), 2);
    EXPECT_EQ(defs.AddFieldDef("d")->Offset(), 12);
    defs.Clear();
    EXPECT_EQ(defs.Size(), 0);
    EXPECT_EQ(defs.AddFieldDef("e")->Offset(), 0);
}

TEST(FieldDefsTotal, ManyDescriptionsLieBackToBack) {
    TLumraVariableDefs defs;
    for (int32_t i = 0; i < 100000; ++i)
        defs.AddFieldDef("?")->SetSize(9);
    EXPECT_EQ(defs.GetItem(99999)->Offset(), 9 * 99999);
    EXPECT_EQ(defs.Size(), 900000);
    defs.Clear();
    EXPECT_EQ(defs.Size(), 0);
}

TEST(FieldDefsTotal, ATotalBeyond32BitsRaisesAndFallsBackWhenShrunk) {
    TLumraFieldDefs defs;
    defs.AddFieldDef("a")->SetSize(std::numeric_limits<int32_t>::max());
    TLumraFieldDef* b = defs.AddFieldDef("b");
    b->SetSize(1);
    EXPECT_THROW(defs.Size(), host::ERangeError);
    b->SetSize(0);
    EXPECT_EQ(defs.Size(), std::numeric_limits<int32_t>::max());
}
