// A result column of a type the dataset cannot show (ntUnknown): generation 3
// builds no field definition for it at all, later generations an ftUnknown
// one; in every generation the columns after it keep their own field
// numbers, so their fields still read their own column's bytes.
#include <gtest/gtest.h>

#include <memory>

#include "dataset/recording_dataset.h"
#include "host/Fields.h"

using namespace host;
using recording::Log;
using recording::RecordingDataset;
using recording::RecordingSession;

namespace {

class UnknownColumn : public ::testing::Test {
protected:
    void SetUp() override {
        RecordingSession::LibraryRefCount = 0;
        Session = std::make_unique<RecordingSession>(&SessionLog);
        Dataset = std::make_unique<RecordingDataset>(&StatementLog);
        Dataset->SetSession(Session.get());
        Dataset->Sql()->Columns = {{"ID", ntInteger, 4}, {"ODD", ntUnknown, 4}, {"LATER", ntInteger, 4}};
        Dataset->SQL()->SetText("select id, odd, later from t");
    }
    void TearDown() override {
        Dataset.reset();
        Session.reset();
    }

    Log SessionLog, StatementLog;
    std::unique_ptr<RecordingSession> Session;
    std::unique_ptr<RecordingDataset> Dataset;
};

} // namespace

TEST_F(UnknownColumn, GetsAFieldDefinitionOnlyAfterGenerationThreeWhileLaterColumnsKeepTheirNumbers) {
    Dataset->Open();
    TFieldDefs* defs = Dataset->FieldDefs();
#if LMR_HOST_GENERATION == 3
    ASSERT_EQ(defs->Count(), 2);
    EXPECT_EQ(defs->IndexOf("ODD"), -1);
#else
    ASSERT_EQ(defs->Count(), 3);
    ASSERT_GE(defs->IndexOf("ODD"), 0);
    EXPECT_EQ(defs->Find("ODD")->DataType(), ftUnknown);
    EXPECT_EQ(defs->Find("ODD")->FieldNo(), 2);
#endif
    EXPECT_EQ(defs->Find("ID")->FieldNo(), 1);
    EXPECT_EQ(defs->Find("LATER")->FieldNo(), 3);
    EXPECT_EQ(Dataset->FindField("ODD"), nullptr) << "no field shows a column of unknown type";

    Dataset->Next();
    Dataset->Next();
    EXPECT_EQ(Dataset->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(Dataset->FieldByName("LATER")->AsInteger(), 2)
        << "the column after the unknown one reads its own bytes";
}
