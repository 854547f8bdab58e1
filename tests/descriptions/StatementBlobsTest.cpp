// Blob streams registered with a statement: they find their column through
// the statement, and a failed lookup by name is recorded in the session.
#include <gtest/gtest.h>

#include "LmrBase/LmrBlobs.h"
#include "tests/base/recording_driver.h"

namespace {

class StatementBlobs : public ::testing::Test {
protected:
    void SetUp() override {
        sql.SetSession(&session);
        sql.Columns = {{"ID", ntInteger, 4}, {"NAME", ntString, 20}, {"PHOTO", ntBlob, 8}};
        ASSERT_TRUE(sql.PrepareOpen("select ID, NAME, PHOTO from PEOPLE"));
        ASSERT_EQ(sql.BlobManager()->Count(), 1);
    }

    recording::Log log;
    recording::RecordingSession session{&log};
    recording::RecordingSQL sql{&log};
};

} // namespace

TEST_F(StatementBlobs, StreamOfTheThirdColumnReportsItsNumberAndEngineType) {
    TLumraBlobStream* photo = sql.BlobManager()->BlobByName("Photo");
    EXPECT_EQ(photo->GetFieldNo(), 2);
    EXPECT_EQ(photo->GetFieldExtType(), 7); // what the recording driver stores for every column
}

TEST_F(StatementBlobs, StreamWithoutAMatchingColumnReportsMinusOne) {
    auto* orphan = new recording::RecordingBlobStream(sql.BlobManager(), "SIGNATURE");
    EXPECT_EQ(orphan->GetFieldNo(), -1);
    EXPECT_EQ(orphan->GetFieldExtType(), -1);
}

TEST_F(StatementBlobs, StreamNameThatLooksLikeANumberIsMatchedAsAName) {
    // Column 1 exists, but no column is named "1".
    auto* numeric = new recording::RecordingBlobStream(sql.BlobManager(), "1");
    EXPECT_EQ(numeric->GetFieldNo(), -1);
}

TEST_F(StatementBlobs, UnknownBlobNameRaisesAndTheSessionRecordsIt) {
    session.SetLastError("earlier failure", -5);
    try {
        sql.BlobManager()->BlobByName("NAME");
        FAIL() << "no exception";
    } catch (const ELumraException& e) {
        EXPECT_STREQ(e.what(), "Field \"NAME\" is not a blob");
        EXPECT_EQ(e.ErrorCode(), 0);
    }
    EXPECT_EQ(session.LastError(), "Field \"NAME\" is not a blob");
    EXPECT_EQ(session.LastErrorCode(), 0);
}

TEST_F(StatementBlobs, UnpreparingTheCursorDeletesItsStreams) {
    sql.BlobManager()->BlobByName("PHOTO")->Write("img", 3);
    sql.UnprepareOpen();
    EXPECT_EQ(sql.BlobManager()->Count(), 0);

    ASSERT_TRUE(sql.PrepareOpen("select ID, NAME, PHOTO from PEOPLE"));
    TLumraBlobStream* fresh = sql.BlobManager()->BlobByName("PHOTO");
    EXPECT_FALSE(fresh->Modified());
    EXPECT_EQ(fresh->BufferedSize(), 0);
}
