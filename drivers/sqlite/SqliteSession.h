// TSqliteSession: the SQLite driver's session. It loads libsqlite3 at run time
// (LibraryName, "libsqlite3.so.0" unless the application sets another file),
// keeps one library reference count for all its sessions, opens DatabaseName
// as the database file and runs the transaction rules of the session
// contract on the engine:
//
// - There is no separate start operation. Before the first statement that
//   changes data the driver opens an engine transaction (BEGIN) and keeps it
//   while work is pending; InternalCommit ends it with COMMIT, InternalRollback
//   with ROLLBACK. Outside a user transaction with AutoCommit on, every data
//   change is committed right after it ran (the statements' InternalAutoCommit).
// - Reads need no engine transaction of their own.
//
// Public header: no engine type appears here; the connection is an opaque handle.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

    // The engine's connection, or null when not connected (for the driver's statements).
    sqlite3* Db() const noexcept;
    // True while an engine transaction holds pending work.
    bool EngineTransactionOpen() const;
    // Opens the engine transaction when none is open; raises on failure.
    void EnsureEngineTransaction();

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

    std::unique_ptr<TSqliteConnection> FConnection;
    bool FCreateIfMissing = false;
    int32_t FBusyTimeout = 2000;
};

// The driver's shared library state, for tests and diagnostics: the dlopen
// handle (null when unloaded) and the number of sessions holding it.
void* SqliteDriverLibraryHandle() noexcept;
int32_t SqliteDriverLibraryRefCount() noexcept;
