// TSqliteSession: the SQLite driver's session. It loads libsqlite3 at run time
// (LibraryName, "libsqlite3.so.0" unless the application sets another file),
// keeps one library reference count for all its sessions, opens DatabaseName
// as the database file and runs the transaction rules of the session
// contract on the engine:
//
// - A unit of work is a user transaction (StartTransaction), or, with
//   AutoCommit off, whatever runs until the next Commit or Rollback. Its
//   engine transaction (BEGIN, deferred) starts before its first statement of
//   any kind, reads included, so that what it read and what it writes are one
//   engine transaction: a second session that changed the rows meanwhile makes
//   one of the two fail with "database is locked" instead of an update being
//   lost. InternalCommit ends it with COMMIT, InternalRollback with ROLLBACK.
// - Outside a unit of work every data change runs in an engine transaction of
//   its own, committed right after it ran (the statements' InternalAutoCommit).
//   Statements that cannot run inside a transaction (VACUUM, ATTACH, DETACH,
//   PRAGMA) are run as they are when no engine transaction is open.
// - The engine may end a transaction by itself after an error (a full disk,
//   INSERT OR ROLLBACK, a trigger's RAISE(ROLLBACK)). The unit of work is then
//   lost: every later change and every Commit fail with an error saying so
//   until the application calls Rollback; nothing reports success for work
//   that the engine has thrown away.
// - Sessions may live on different threads (each with its statements); the
//   library count and the entry-point table are shared under one lock.
//
// Public header: no engine type appears here; the connection is an opaque handle.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "LmrBase/LmrSession.h"
#include "drivers/sqlite/SqliteGeneration.h"

struct sqlite3;
struct TSqliteConnection;

class TSqliteSession : public TLumraSession {
public:
    explicit TSqliteSession(host::TComponent* owner = nullptr);
    ~TSqliteSession() override;

    // Published: create the database file when it does not exist (default
    // false: opening a missing file is an error).
    bool CreateIfMissing() const noexcept { return FCreateIfMissing; }
    void SetCreateIfMissing(bool value) noexcept { FCreateIfMissing = value; }
    // Published: milliseconds the engine waits for a lock held by another
    // connection before it reports "database is locked" (applied on connect).
    int32_t BusyTimeout() const noexcept { return FBusyTimeout; }
    void SetBusyTimeout(int32_t value) noexcept { FBusyTimeout = value; }
    // Cursors prepared while this is true describe every column as one without
    // a declared type (ntMemo, ExtType SQLITE_NULL), so that each value is read
    // with its own engine type whatever the table declares: for a tool that
    // shows any file's values as they are stored. Default false: columns are
    // typed by their declared types and a value that does not fit fails.
    bool UntypedColumns() const noexcept { return FUntypedColumns; }
    void SetUntypedColumns(bool value) noexcept { FUntypedColumns = value; }

    // The engine's connection, or null when not connected (for the driver's statements).
    sqlite3* Db() const noexcept;
    // True while an engine transaction holds pending work.
    bool EngineTransactionOpen() const;
    // Opens the engine transaction when none is open; raises on failure.
    void EnsureEngineTransaction();
    // True inside a unit of work (a user transaction, or AutoCommit off).
    bool InUnitOfWork() const noexcept { return InTransaction() || !AutoCommit(); }
    // True when the engine ended the unit of work's transaction after an error
    // and the application has not rolled back yet.
    bool UnitOfWorkLost() const noexcept { return FLost; }

    // Called by the driver's statements before a step of statement `sql`:
    // inside a unit of work opens its engine transaction (not for a
    // transaction-free statement while none is open) and refuses a change
    // once the unit of work is lost; outside one opens an engine transaction
    // for a change alone, and `began` tells so. False with the error recorded.
    bool BeforeStatement(bool writes, std::string_view sql, bool& began);
    // Called after every step of a statement with its result: notices that
    // the engine ended the unit of work's transaction by itself.
    void AfterStep(int rc) noexcept {
        if (FWorkOpen) NoticeEngineEnd(rc);
    }

    // Runs SQL text directly on the connection (one statement or several, as
    // the engine's script execution does). Returns 0, or the negative engine
    // code after recording the error as LastError.
    int32_t Execute(const std::string& sql) override;

    // --- Driver contract ---------------------------------------------------------
    int32_t GetLibraryRefCount() override;
    void SetLibraryRefCount(int32_t value) override;
    void GetLibraryPath(std::string& path) override;
    void InternalLoadLibrary() override;
    void InternalFreeLibrary() override;
    void InternalInitLibrary() override;
    void InternalConnect(void*& handle) override;
    void InternalDisconnect() override;
    void InternalSetHandle(void* handle) override;
    bool InternalCheck(void* data, int32_t value1, int32_t value2, bool flag) override;
    void InternalCommit(bool automatic) override;
    void InternalRollback() override;

private:
    // Runs one transaction-control statement through the entry-point table;
    // raises the engine's error.
    void RunControl(const char* sql);
    void NoticeEngineEnd(int rc) noexcept;
    void NoticeSilentEnd() noexcept;
    std::string LostMessage() const;
    [[noreturn]] void RaiseLost();
    void ForgetUnitOfWork() noexcept;

    std::unique_ptr<TSqliteConnection> FConnection;
    // The unit of work's engine transaction was opened and not yet ended by
    // the driver.
    bool FWorkOpen = false;
    // The engine ended it after an error; the error that ended it.
    bool FLost = false;
    std::string FLostReason;
    bool FCreateIfMissing = false;
    int32_t FBusyTimeout = 2000;
    bool FUntypedColumns = false;
};

// True for SQL whose first word names a statement that cannot run inside a
// transaction (VACUUM, ATTACH, DETACH, PRAGMA): the driver opens none for it.
bool SqliteIsTransactionFree(std::string_view sql);

// True for SQL whose first word is PRAGMA.
bool SqliteIsPragma(std::string_view sql);

// The first word of sql after blanks, semicolons and comments (empty when
// there is none).
std::string SqliteFirstWord(std::string_view sql);

// True when only blanks, comments and semicolons remain from p to end (a
// comment that never closes runs to the end).
bool SqliteOnlyCommentsLeft(const char* p, const char* end);

// True for SQL that begins or ends the engine transaction as a whole (BEGIN,
// COMMIT, END, ROLLBACK without TO): inside a unit of work only the session
// may do that.
bool SqliteEndsTransaction(std::string_view sql);

// The driver's shared library state, for tests and diagnostics: the dlopen
// handle (null when unloaded) and the number of sessions holding it.
void* SqliteDriverLibraryHandle() noexcept;
int32_t SqliteDriverLibraryRefCount() noexcept;
