// Sessions on different threads, each with its own statements, on one file:
// loading and freeing the library, connecting, reading, writing and closing
// in a loop. No crash, no row lost, a sound file, and a session held open on
// the main thread keeps the library loaded throughout.
//
// The suite runs a short loop. LMR_SOAK_SECONDS=S (and LMR_SOAK_ROUNDS=R)
// turns it into a soak: R rounds of S seconds each.
#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sqlite_fixture.h"

namespace {

constexpr int Threads = 16;

int EnvNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

struct TResults {
    std::mutex Lock;
    std::vector<std::string> Errors;
    std::atomic<int64_t> Inserted{0};
    std::atomic<int64_t> Increments{0};
    void Fail(const std::string& what) {
        std::lock_guard<std::mutex> hold(Lock);
        if (Errors.size() < 20) Errors.push_back(what);
    }
};

bool Busy(int32_t code) {
    return ((-code) & 0xFF) == SQLITE_BUSY || ((-code) & 0xFF) == SQLITE_LOCKED;
}

// One thread's loop: every pass opens a session of its own, checks that every
// row it wrote before is there, adds one, adds one to the shared counter in a
// user transaction (read, then write: tried again when the engine refuses
// one of two writers), and closes. Runs `passes` passes, or until `deadline`.
void Work(const std::string& file, int worker, int passes, std::chrono::steady_clock::time_point deadline,
          TResults& results) {
    int64_t mine = 0;
    for (int pass = 0; passes > 0 ? pass < passes : std::chrono::steady_clock::now() < deadline; ++pass) {
        try {
            TSqliteSession session;
            session.SetDatabaseName(file);
            session.SetBusyTimeout(20000);
            session.Open();
            TSqliteSQL sql;
            sql.SetSession(&session);
            if (!sql.OpenRead("select count(*) from rows where worker = ?",
                              {host::Variant(int32_t{worker})})) {
                results.Fail("read: " + session.LastError());
                return;
            }
            const int64_t seen = sql.GetFieldValue(host::Variant(int32_t{0})).AsInt64();
            sql.Close();
            if (seen != mine) {
                results.Fail("worker " + std::to_string(worker) + " finds " + std::to_string(seen) +
                             " of its " + std::to_string(mine) + " rows");
                return;
            }
            if (!sql.Execute("insert into rows (worker, pass) values (?, ?)",
                             {host::Variant(int32_t{worker}), host::Variant(int32_t{pass})})) {
                results.Fail("insert: " + session.LastError());
                return;
            }
            ++mine;
            ++results.Inserted;
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            for (int attempt = 0;; ++attempt) {
                session.StartTransaction();
                bool ok = sql.OpenRead("select n from counter where id = 1");
                const int64_t n = ok ? sql.GetFieldValue(host::Variant(int32_t{0})).AsInt64() : 0;
                sql.Close();
                ok = ok && sql.Execute("update counter set n = ? where id = 1", {host::Variant(n + 1)});
                if (ok) {
                    try {
                        session.Commit();
                        ++results.Increments;
                        break;
                    } catch (const ELumraException&) {
                        ok = false;
                    }
                }
                const int32_t code = session.LastErrorCode();
                session.Rollback();
                if (!Busy(code) || std::chrono::steady_clock::now() > giveUp) {
                    results.Fail("increment: " + session.LastError() + " (" + std::to_string(code) + ")");
                    return;
                }
                // Two writers that both read first: one of them always has to wait.
                std::this_thread::sleep_for(std::chrono::microseconds(50 * (1 + attempt % 20)));
            }
            session.Close();
        } catch (const std::exception& e) {
            results.Fail(std::string("worker ") + std::to_string(worker) + ": " + e.what());
            return;
        }
    }
}

} // namespace

TEST_F(SqliteTest, SixteenThreadsWithASessionEachOpenReadWriteAndCloseWithoutLosingARow) {
    Run("pragma journal_mode = wal");
    Run("create table rows (id integer primary key, worker integer, pass integer)");
    Run("create table counter (id integer primary key, n integer)");
    Run("insert into counter values (1, 0)");
    const int seconds = EnvNumber("LMR_SOAK_SECONDS", 0);
    const int rounds = seconds > 0 ? EnvNumber("LMR_SOAK_ROUNDS", 1) : 1;
    const int passes = seconds > 0 ? 0 : 6;
    TResults results;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round + 1));
        Run("delete from rows; update counter set n = 0");
        results.Inserted = 0;
        results.Increments = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        std::vector<std::thread> threads;
        for (int worker = 0; worker < Threads; ++worker)
            threads.emplace_back(Work, File, worker, passes, deadline, std::ref(results));
        for (std::thread& t : threads)
            t.join();
        for (const std::string& e : results.Errors)
            ADD_FAILURE() << e;
        results.Errors.clear();
        // The session on this thread lived through it all.
        EXPECT_GE(SqliteDriverLibraryRefCount(), 1);
        EXPECT_EQ(Count("rows"), results.Inserted.load());
        EXPECT_EQ(Scalar("select n from counter").AsInt64(), results.Increments.load());
        EXPECT_EQ(Scalar("pragma integrity_check").AsString(), "ok");
        if (passes > 0) {
            EXPECT_EQ(results.Inserted.load(), int64_t{Threads} * passes);
        }
        if (seconds > 0)
            std::printf("round %d: %lld rows, %lld increments\n", round + 1,
                        static_cast<long long>(results.Inserted.load()),
                        static_cast<long long>(results.Increments.load()));
    }
}

TEST(SqliteLibrary, SessionsOnManyThreadsLoadTheLibraryOnceAndTheLastOneFreesIt) {
    char pattern[] = "/tmp/lmr-sqlite-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string file = std::string(pattern) + "/lib.db";
    {
        TSqliteSession session;
        session.SetDatabaseName(file);
        session.SetCreateIfMissing(true);
        session.Open();
    }
    ASSERT_EQ(SqliteDriverLibraryRefCount(), 0);
    TResults results;
    for (int round = 0; round < 20; ++round) {
        std::vector<std::thread> threads;
        for (int worker = 0; worker < Threads; ++worker)
            threads.emplace_back([&] {
                for (int pass = 0; pass < 5; ++pass) {
                    try {
                        TSqliteSession session;
                        session.SetDatabaseName(file);
                        session.Open();
                        TSqliteSQL sql;
                        sql.SetSession(&session);
                        if (!sql.OpenRead("select 1 union all select 2")) results.Fail(session.LastError());
                    } catch (const std::exception& e) {
                        results.Fail(e.what());
                    }
                }
            });
        for (std::thread& t : threads)
            t.join();
        EXPECT_EQ(SqliteDriverLibraryRefCount(), 0);
        EXPECT_EQ(SqliteDriverLibraryHandle(), nullptr);
    }
    for (const std::string& e : results.Errors)
        ADD_FAILURE() << e;
    std::filesystem::remove_all(pattern);
}
