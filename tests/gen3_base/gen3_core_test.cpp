// The engine access core as generation 3 builds it: the session's statement
// list operations and the statement's OEM conversion are internal there, yet
// the statement list still follows SetSession and every prepare, open and
// execute still converts its SQL text when the session asks for it.
#include <string>

#include <gtest/gtest.h>

#include "tests/base/recording_driver.h"

using namespace recording;

namespace {

template <class S>
concept ExportsStatementList = requires(S& s, TLumraSQL* q) {
    s.AddQuery(q);
    s.RemoveQuery(q);
};
template <class Q>
concept ExportsStatementToOem = requires(Q& q, std::string& text) {
    q.StatementToOem(text);
};

static_assert(LMR_HOST_GENERATION == 3);
static_assert(!ExportsStatementList<TLumraSession>);
static_assert(!ExportsStatementToOem<TLumraSQL>);

class Gen3Core : public ::testing::Test {
protected:
    void SetUp() override { RecordingSession::LibraryRefCount = 0; }
    void TearDown() override { RecordingSession::LibraryRefCount = 0; }

    Log log;
};

TEST_F(Gen3Core, TheStatementListFollowsSetSessionAndCloseUnpreparesItsStatements) {
    RecordingSession a(&log), b(&log);
    RecordingSQL first(&log), second(&log);
    first.SetSession(&a);
    second.SetSession(&a);
    first.SetSession(&a); // the same session again: to the end of the list
    ASSERT_EQ(a.Queries().size(), 2u);
    EXPECT_EQ(a.Queries()[0], &second);
    EXPECT_EQ(a.Queries()[1], &first);

    first.SetSession(&b);
    EXPECT_EQ(a.Queries().size(), 1u);
    ASSERT_EQ(b.Queries().size(), 1u);
    EXPECT_EQ(first.GetSessionObject(), &b);

    a.Open();
    ASSERT_TRUE(second.OpenRead("select a"));
    log.clear();
    a.Close();
    EXPECT_EQ(Join(log), "Close UnprepareOpen Disconnect");
    EXPECT_FALSE(second.CursorPrepared());

    first.SetSession(nullptr);
    EXPECT_TRUE(b.Queries().empty());
    EXPECT_EQ(first.GetSessionObject(), nullptr);
}

TEST_F(Gen3Core, SessionsAndStatementsUnlinkWhicheverIsDestroyedFirst) {
    auto session = std::make_unique<RecordingSession>(&log);
    auto statement = std::make_unique<RecordingSQL>(&log);
    statement->SetSession(session.get());
    session.reset();
    EXPECT_EQ(statement->GetSessionObject(), nullptr);

    RecordingSession kept(&log);
    statement->SetSession(&kept);
    statement.reset();
    EXPECT_TRUE(kept.Queries().empty());
}

TEST_F(Gen3Core, SqlTextIsConvertedToOemBeforeEveryPrepareOpenAndExecute) {
    RecordingSession session(&log);
    RecordingSQL sql(&log);
    sql.SetSession(&session);
    const std::string ansi = "select '\xe9'";
    const std::string oem = "select '\x82'"; // e acute in code page 850

    session.SetOemConvert(true);
    ASSERT_TRUE(sql.PrepareOpen(ansi));
    EXPECT_EQ(sql.CursorSQL(), oem);
    // The open compares the converted text, so the prepared cursor is reused.
    log.clear();
    ASSERT_TRUE(sql.OpenRead(ansi));
    EXPECT_EQ(Join(log), "Close BindOpen(null) Open(ro) FetchFirstForward");
    ASSERT_TRUE(sql.Describe(ansi));
    EXPECT_EQ(sql.CursorSQL(), oem);

    log.clear();
    ASSERT_TRUE(sql.Execute(ansi));
    EXPECT_EQ(sql.StatementSQL(), oem);
    ASSERT_TRUE(sql.PrepareExecute(ansi));
    EXPECT_EQ(sql.StatementSQL(), oem);
    ASSERT_TRUE(sql.Prepare(ansi));
    EXPECT_EQ(log.back(), "Prepare(" + oem + ")");

    session.SetOemConvert(false);
    ASSERT_TRUE(sql.PrepareOpen(ansi));
    EXPECT_EQ(sql.CursorSQL(), ansi);
}

} // namespace
