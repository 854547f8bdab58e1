// The session's own contracts, seen through a recording driver: the shared
// library reference, connecting and disconnecting with their events, hold
// counting, attached handles, loading from a form file, transactions,
// statement links and destruction in either order.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include <gtest/gtest.h>

#include "host/Windows.h"
#include "recording_driver.h"
#include "tests/host/pe_writer.h"

using namespace recording;

namespace {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override { RecordingSession::LibraryRefCount = 0; }
    void TearDown() override { RecordingSession::LibraryRefCount = 0; }

    // Logs the four connection events into the same log as the driver.
    void WatchEvents(TLumraSession& session) {
        session.SetBeforeConnect([this](host::TObject*) { log.push_back("BeforeConnect"); });
        session.SetAfterConnect([this](host::TObject*) { log.push_back("AfterConnect"); });
        session.SetBeforeDisconnect([this](host::TObject*) { log.push_back("BeforeDisconnect"); });
        session.SetAfterDisconnect([this](host::TObject*) { log.push_back("AfterDisconnect"); });
    }

    Log log;
};

TEST_F(SessionTest, TwoSessionsLoadAndInitialiseTheLibraryOnceAndFreeItOnce) {
    auto first = std::make_unique<RecordingSession>(&log);
    auto second = std::make_unique<RecordingSession>(&log);
    first->Open();
    second->Open();
    EXPECT_EQ(Join(log), "LoadLibrary InitLibrary SetHandle(null) Connect SetHandle(null) Connect");
    EXPECT_EQ(RecordingSession::LibraryRefCount, 2);
    EXPECT_TRUE(first->LibraryLoaded());

    log.clear();
    first.reset();
    EXPECT_EQ(Join(log), "Disconnect");
    EXPECT_EQ(RecordingSession::LibraryRefCount, 1);

    log.clear();
    second.reset();
    EXPECT_EQ(Join(log), "Disconnect FreeLibrary");
    EXPECT_EQ(RecordingSession::LibraryRefCount, 0);
}

TEST_F(SessionTest, ASessionTakesAtMostOneLibraryReference) {
    RecordingSession session(&log);
    session.Open();
    session.Close();
    session.Open();
    session.GetLibraryVersion();
    EXPECT_EQ(RecordingSession::LibraryRefCount, 1);
}

TEST_F(SessionTest, ASessionThatNeverLoadedTheLibraryLeavesTheSharedCountAlone) {
    RecordingSession other(&log);
    other.Open();
    { RecordingSession idle(&log); }
    EXPECT_EQ(RecordingSession::LibraryRefCount, 1);
}

TEST_F(SessionTest, AFailingInitialisationFreesTheLoadedLibraryAndCountsNothing) {
    RecordingSession session(&log);
    session.FailInit = true;
    EXPECT_THROW(session.Open(), ELumraException);
    EXPECT_EQ(Join(log), "LoadLibrary InitLibrary FreeLibrary");
    EXPECT_EQ(RecordingSession::LibraryRefCount, 0);
    EXPECT_FALSE(session.LibraryLoaded());
    EXPECT_FALSE(session.Connected());
}

TEST_F(SessionTest, OpenAndCloseFireTheirEventsAroundTheDriverAndKeepTheLibrary) {
    RecordingSession session(&log);
    WatchEvents(session);
    session.Open();
    EXPECT_TRUE(session.Connected());
    EXPECT_EQ(session.Handle(), session.NextHandle);
    session.Open(); // already connected: nothing
    session.Close();
    EXPECT_EQ(Join(log), "LoadLibrary InitLibrary BeforeConnect SetHandle(null) Connect AfterConnect "
                         "BeforeDisconnect Disconnect AfterDisconnect");
    EXPECT_FALSE(session.Connected());
    EXPECT_TRUE(session.LibraryLoaded());
    EXPECT_EQ(RecordingSession::LibraryRefCount, 1);
}

TEST_F(SessionTest, TheDesignerFiresTheConnectionEventsLikeRunTime) {
    RecordingSession session(&log);
    session.SetDesigning(true);
    WatchEvents(session);
    session.Open();
    session.Close();
    EXPECT_EQ(Join(log), "LoadLibrary InitLibrary BeforeConnect SetHandle(null) Connect AfterConnect "
                         "BeforeDisconnect Disconnect AfterDisconnect");
}

TEST_F(SessionTest, CloseOnASessionThatWasNeverConnectedDoesNothing) {
    RecordingSession session(&log);
    WatchEvents(session);
    session.Close();
    EXPECT_TRUE(log.empty());
}

TEST_F(SessionTest, AFailedConnectLeavesTheSessionDisconnectedWithTheLibraryCounted) {
    RecordingSession session(&log);
    WatchEvents(session);
    session.FailConnect = true;
    EXPECT_THROW(session.Open(), ELumraException);
    EXPECT_EQ(Join(log), "LoadLibrary InitLibrary BeforeConnect SetHandle(null) Connect");
    EXPECT_FALSE(session.Connected());
    EXPECT_TRUE(session.LibraryLoaded());
    EXPECT_EQ(RecordingSession::LibraryRefCount, 1);
    EXPECT_EQ(session.LastErrorCode(), -1);
}

TEST_F(SessionTest, HoldsCloseTheConnectionOnlyWhenTheLastOneGoesWithoutKeepConnection) {
    RecordingSession session(&log);
    session.SetKeepConnection(false);
    session.OpenSession();
    session.OpenSession();
    EXPECT_EQ(session.HoldCount(), 2);
    session.CloseSession();
    EXPECT_TRUE(session.Connected());
    session.CloseSession();
    EXPECT_FALSE(session.Connected());
    session.CloseSession();
    EXPECT_EQ(session.HoldCount(), 0);
}

TEST_F(SessionTest, KeepConnectionKeepsAnUnheldConnectionUntilSwitchedOff) {
    RecordingSession session(&log);
    session.OpenSession();
    session.CloseSession();
    EXPECT_TRUE(session.Connected());
    session.SetKeepConnection(false);
    EXPECT_FALSE(session.Connected());
}

TEST_F(SessionTest, SwitchingKeepConnectionOffWhileHeldKeepsTheConnectionAndCloseResetsHolds) {
    RecordingSession session(&log);
    session.OpenSession();
    session.OpenSession();
    session.SetKeepConnection(false);
    EXPECT_TRUE(session.Connected());
    session.Close();
    EXPECT_EQ(session.HoldCount(), 0);
}

TEST_F(SessionTest, AnAttachedHandleConnectsWithoutConnectAndDetachesWithoutDisconnect) {
    RecordingSession session(&log);
    WatchEvents(session);
    void* foreign = reinterpret_cast<void*>(0x2000);
    session.SetHandle(foreign);
    EXPECT_TRUE(session.Connected());
    EXPECT_TRUE(session.ExternalHandle());
    EXPECT_EQ(session.Handle(), foreign);
    session.Close();
    EXPECT_FALSE(session.ExternalHandle());
    EXPECT_FALSE(session.Connected());
    EXPECT_EQ(Join(log), "LoadLibrary InitLibrary BeforeConnect SetHandle(8192) AfterConnect "
                         "BeforeDisconnect SetHandle(null) AfterDisconnect");
}

TEST_F(SessionTest, SettingANullHandleClosesTheOwnConnectionThenOnlyDetaches) {
    RecordingSession session(&log);
    session.Open();
    log.clear();
    session.SetHandle(nullptr);
    EXPECT_EQ(Join(log), "Disconnect SetHandle(null)");
    EXPECT_FALSE(session.Connected());
}

TEST_F(SessionTest, ConnectedReadFromAFormFileConnectsOnlyInLoaded) {
    RecordingSession session(&log);
    session.BeginLoading();
    session.SetConnected(true);
    EXPECT_FALSE(session.Connected());
    session.EndLoading();
    EXPECT_TRUE(session.Connected());
}

TEST_F(SessionTest, AStoredConnectionThatFailsIsShownInTheDesignerAndTheFormStillLoads) {
    RecordingSession session(&log);
    session.SetDesigning(true);
    session.FailConnect = true;
    std::string text, caption;
    uint32_t type = 0;
    auto previous = host::SetMessageBoxHandler([&](const char* t, const char* c, uint32_t ty) {
        text = t;
        caption = c;
        type = ty;
        return host::IDOK;
    });
    session.BeginLoading();
    session.SetConnected(true);
    EXPECT_NO_THROW(session.EndLoading());
    host::SetMessageBoxHandler(previous);
    EXPECT_EQ(text, "Could not load the Database Interface library");
    EXPECT_EQ(caption, "LumraDB");
    EXPECT_EQ(type, 16u);
    EXPECT_FALSE(session.Connected());
}

TEST_F(SessionTest, AStoredConnectionThatFailsAtRunTimeRaisesWithoutAMessageBox) {
    RecordingSession session(&log);
    session.FailConnect = true;
    bool shown = false;
    auto previous = host::SetMessageBoxHandler([&](const char*, const char*, uint32_t) {
        shown = true;
        return host::IDOK;
    });
    session.BeginLoading();
    session.SetConnected(true);
    EXPECT_THROW(session.EndLoading(), ELumraException);
    host::SetMessageBoxHandler(previous);
    EXPECT_FALSE(shown);
}

TEST_F(SessionTest, StartingATransactionCommitsPendingWorkAndASecondStartIsRefused) {
    RecordingSession session(&log);
    session.Open();
    log.clear();
    session.StartTransaction();
    EXPECT_TRUE(session.InTransaction());
    try {
        session.StartTransaction();
        FAIL() << "a second StartTransaction must raise";
    } catch (const ELumraException& e) {
        EXPECT_STREQ(e.what(), "A user transaction is already in progress");
        EXPECT_EQ(e.ErrorCode(), 0);
    }
    EXPECT_EQ(session.LastError(), "A user transaction is already in progress");
    EXPECT_EQ(session.LastErrorCode(), 0);
    session.Rollback();
    EXPECT_FALSE(session.InTransaction());
    session.Commit();
    EXPECT_EQ(Join(log), "Commit Rollback Commit");
}

// Connecting forgets any transaction state, so a user transaction started
// before would end unseen and its work would commit statement by statement.
TEST_F(SessionTest, AUserTransactionIsRefusedWhileNotConnected) {
    RecordingSession session(&log);
    EXPECT_THROW(session.StartTransaction(), ELumraException);
    EXPECT_FALSE(session.InTransaction());
    EXPECT_FALSE(session.LastError().empty());
    EXPECT_EQ(Join(log), "");
    session.Open();
    session.StartTransaction();
    EXPECT_TRUE(session.InTransaction());
}

TEST_F(SessionTest, CloseUnpreparesEveryLinkedStatementBeforeDisconnecting) {
    RecordingSession session(&log);
    RecordingSQL first(&log), second(&log);
    first.SetSession(&session);
    second.SetSession(&session);
    session.Open();
    ASSERT_TRUE(first.OpenRead("select a"));
    ASSERT_TRUE(second.Execute("update b"));
    log.clear();
    session.Close();
    // In list order: each statement's cursor side (closed even when never
    // opened), then its execute side.
    EXPECT_EQ(Join(log), "Close UnprepareOpen Close UnprepareExecute Disconnect");
    EXPECT_FALSE(first.CursorPrepared());
    EXPECT_FALSE(second.StatementPrepared());
}

// Regression: a dataset that gives up its hold while the session closes its
// statements used to make the session disconnect twice.
TEST_F(SessionTest, ADatasetReleasingItsHoldDuringCloseDisconnectsOnlyOnce) {
    RecordingSession session(&log);
    RecordingSQL statement(&log);
    statement.SetSession(&session);
    session.SetKeepConnection(false);
    session.OpenSession();
    ASSERT_TRUE(statement.OpenRead("select a"));
    statement.SetOnAfterClose([&](host::TObject*) { session.CloseSession(); });
    int disconnects = 0;
    session.SetAfterDisconnect([&](host::TObject*) { ++disconnects; });
    log.clear();
    session.Close();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Disconnect"), 1);
    EXPECT_EQ(disconnects, 1);
    EXPECT_FALSE(session.Connected());
    EXPECT_FALSE(statement.CursorPrepared());
}

TEST_F(SessionTest, DestroyingASessionDisconnectsWithoutDisconnectEvents) {
    auto session = std::make_unique<RecordingSession>(&log);
    session->Open();
    WatchEvents(*session);
    log.clear();
    session.reset();
    EXPECT_EQ(Join(log), "Disconnect FreeLibrary");
}

TEST_F(SessionTest, SetSessionLinksAtTheEndOfTheListAndMovesBetweenSessions) {
    RecordingSession a(&log), b(&log);
    RecordingSQL first(&log), second(&log);
    first.SetSession(&a);
    second.SetSession(&a);
    first.SetSession(&a);
    ASSERT_EQ(a.Queries().size(), 2u);
    EXPECT_EQ(a.Queries()[0], &second);
    EXPECT_EQ(a.Queries()[1], &first);
    first.SetSession(&b);
    EXPECT_EQ(a.Queries().size(), 1u);
    EXPECT_EQ(b.Queries().size(), 1u);
    EXPECT_EQ(first.GetSessionObject(), &b);
    first.SetSession(nullptr);
    EXPECT_TRUE(b.Queries().empty());
    EXPECT_EQ(first.GetSessionObject(), nullptr);
}

#if LMR_HOST_GENERATION >= 4
// Regression: adding a statement that belongs to another session used to
// leave it in both lists, one of them dangling once it was destroyed.
TEST_F(SessionTest, AddQueryTakesTheStatementOutOfItsPreviousSession) {
    RecordingSession a(&log), b(&log);
    {
        RecordingSQL statement(&log);
        statement.SetSession(&a);
        b.AddQuery(&statement);
        EXPECT_TRUE(a.Queries().empty());
        EXPECT_EQ(statement.GetSessionObject(), &b);
    }
    EXPECT_TRUE(b.Queries().empty());
}
#endif

TEST_F(SessionTest, ASessionDestroyedBeforeItsStatementsUnlinksThem) {
    auto session = std::make_unique<RecordingSession>(&log);
    auto statement = std::make_unique<RecordingSQL>(&log);
    statement->SetSession(session.get());
    statement->Columns = {{"ID"}};
    session->Open();
    ASSERT_TRUE(statement->OpenRead("select id"));
    session.reset();
    EXPECT_EQ(statement->GetSessionObject(), nullptr);
    EXPECT_FALSE(statement->CursorPrepared());
    EXPECT_THROW(statement->GetLastError(), ELumraException);
    statement.reset();
}

TEST_F(SessionTest, StatementsDestroyedBeforeTheirSessionLeaveItsList) {
    RecordingSession session(&log);
    {
        RecordingSQL statement(&log);
        statement.SetSession(&session);
        statement.Columns = {{"ID"}};
        ASSERT_TRUE(statement.OpenRead("select id"));
    }
    EXPECT_TRUE(session.Queries().empty());
    session.Close();
}

TEST_F(SessionTest, AnOwnerDestroysSessionAndStatementsInEitherOrderCleanly) {
    for (bool sessionFirst : {true, false}) {
        auto owner = std::make_unique<host::TComponent>(nullptr);
        RecordingSession* session = nullptr;
        RecordingSQL* statement = nullptr;
        if (sessionFirst) {
            statement = new RecordingSQL(&log, owner.get());
            session = new RecordingSession(&log, owner.get());
        } else {
            session = new RecordingSession(&log, owner.get());
            statement = new RecordingSQL(&log, owner.get());
        }
        statement->SetSession(session);
        statement->Columns = {{"ID"}};
        session->Open();
        ASSERT_TRUE(statement->OpenRead("select id"));
        owner.reset(); // the owner deletes the last inserted first
        EXPECT_EQ(RecordingSession::LibraryRefCount, 0) << sessionFirst;
    }
}

TEST_F(SessionTest, LibraryVersionIsTheProductVersionOfTheFileTheDriverNames) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lmr_base_version_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const pe_writer::Bytes image = pe_writer::Image(pe_writer::VersionInfo(
        pe_writer::FixedFileInfo(0x00090008, 0x00070006, 0x00010002, 0x00030004), u"040904E4",
        {pe_writer::StringEntry(u"ProductVersion", u"1.2.3.4")}, 0x0409, 0x04E4));
    {
        std::ofstream out(dir / "client.dll", std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    RecordingSession session(&log);
    session.LibraryPath = dir.string() + "/";
    session.SetLibraryName("client.dll");
    const std::string version = session.GetLibraryVersion();
    // Reading the version takes the library reference first, as connecting does.
    EXPECT_EQ(Join(log), "LoadLibrary InitLibrary");
    std::filesystem::remove_all(dir);
    EXPECT_EQ(version, "1.2.3.4");
    EXPECT_EQ(RecordingSession::LibraryRefCount, 1);
}

TEST_F(SessionTest, LibraryVersionOfALibraryWithoutVersionResourceIsAllZeros) {
    RecordingSession session(&log);
    session.SetLibraryName("missing-client.so");
    EXPECT_EQ(session.GetLibraryVersion(), "0.0.0.0");
    EXPECT_TRUE(session.LibraryLoaded());
}

TEST_F(SessionTest, TranslateCharWithoutOemConvertLeavesTheDestinationUntouched) {
    RecordingSession session(&log);
    char source[] = "\xe9t\xe9";
    char dest[] = "xyz";
    session.TranslateChar(source, dest, 3, true);
    EXPECT_STREQ(dest, "xyz");
    session.SetOemConvert(true);
    session.TranslateChar(source, dest, 3, true);
    EXPECT_EQ(static_cast<unsigned char>(dest[0]), 0x82); // e acute in code page 850
    EXPECT_EQ(dest[1], 't');
    session.TranslateChar(dest, dest, 3, false);
    EXPECT_STREQ(dest, source);
}

TEST_F(SessionTest, CheckAndAutoCommitGoThroughTheSession) {
    RecordingSession session(&log);
    RecordingSQL statement(&log);
    statement.SetSession(&session);
    EXPECT_TRUE(statement.Check(nullptr, 3, 3, true));
    statement.InternalAutoCommit();
    const Log beforeConnect = log;
    session.Open();
    log = beforeConnect; // only the commits are of interest here
    session.StartTransaction();
    statement.InternalAutoCommit(); // inside a user transaction: no automatic commit
    session.Commit();
    session.SetAutoCommit(false);
    statement.InternalAutoCommit();
    EXPECT_EQ(Join(log), "Check(3,3,true) Commit(auto) Commit Commit");
}

TEST_F(SessionTest, TheBaseExecuteAndPingAnswerZero) {
    RecordingSession session(&log);
    char buffer[4] = {};
    EXPECT_EQ(session.Execute("select 1"), 0);
    EXPECT_EQ(session.Ping(buffer), 0);
}

} // namespace
