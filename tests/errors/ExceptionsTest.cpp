// The two exception classes and LumraCheckError: codes travel with the
// message, the class hierarchy is what callers catch by.
#include "LmrBasDS/LmrDatasetErrors.h"
#include "LmrBase/LmrErrors.h"

#include <gtest/gtest.h>

#include <climits>
#include <type_traits>

namespace {

static_assert(std::is_base_of_v<host::Exception, ELumraException>);
static_assert(std::is_base_of_v<host::EDatabaseError, ELumraDatasetError>);
static_assert(!std::is_base_of_v<ELumraException, ELumraDatasetError>);

TEST(LumraExceptions, KeepMessageUnformattedAndCodeIgnoringTheThirdArgument) {
    const ELumraException Core("100% of \"%s\" failed", -1202, 77);
    EXPECT_EQ(Core.Message(), "100% of \"%s\" failed");
    EXPECT_STREQ(Core.what(), "100% of \"%s\" failed");
    EXPECT_EQ(Core.ErrorCode(), -1202);

    const ELumraDatasetError Dataset("row gone", INT32_MIN, 5);
    EXPECT_EQ(Dataset.Message(), "row gone");
    EXPECT_EQ(Dataset.ErrorCode(), INT32_MIN);
}

TEST(LumraExceptions, DatasetErrorIsCaughtAsADatabaseError) {
    try {
        throw ELumraDatasetError("deadlock", -306, 0);
    } catch (const host::EDatabaseError& e) {
        ASSERT_NE(dynamic_cast<const ELumraDatasetError*>(&e), nullptr);
        EXPECT_EQ(dynamic_cast<const ELumraDatasetError&>(e).ErrorCode(), -306);
    }
}

TEST(LumraCheckError, NonNegativeStatusPassesSilently) {
    for (int32_t Status : {0, 1, 100, INT32_MAX})
        EXPECT_NO_THROW(LumraCheckError("ignored", Status)) << Status;
}

TEST(LumraCheckError, NegativeStatusRaisesDatasetErrorWithThatCode) {
    for (int32_t Status : {-1, -141, INT32_MIN}) {
        try {
            LumraCheckError("Table 'x' not found", Status);
            ADD_FAILURE() << "no exception for " << Status;
        } catch (const ELumraDatasetError& e) {
            EXPECT_EQ(e.ErrorCode(), Status);
            EXPECT_EQ(e.Message(), "Table 'x' not found");
        }
    }
}

} // namespace
