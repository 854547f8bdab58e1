// The SQLite session: library reference, connection and engine transaction.
#include "drivers/sqlite/SqliteSession.h"

#include <sys/stat.h>

#include "drivers/sqlite/SqliteErrors.h"
#include "drivers/sqlite/SqliteLoader.h"

namespace {
int32_t GLibraryRefCount = 0;
} // namespace

void* SqliteDriverLibraryHandle() noexcept { return SqliteLibraryHandle(); }
int32_t SqliteDriverLibraryRefCount() noexcept { return GLibraryRefCount; }

struct TSqliteConnection {
    std::unique_ptr<sqlite3, TSqliteDbCloser> Owned; // a connection this session opened
    sqlite3* Attached = nullptr;                     // a connection attached through SetHandle
    sqlite3* Current() const noexcept { return Owned ? Owned.get() : Attached; }
};

TSqliteSession::TSqliteSession(host::TComponent* owner)
    : TLumraSession(owner), FConnection(std::make_unique<TSqliteConnection>()) {
    SetLibraryName("libsqlite3.so.0");
}

TSqliteSession::~TSqliteSession() { DestroySession(); }

sqlite3* TSqliteSession::Db() const noexcept { return FConnection->Current(); }

bool TSqliteSession::EngineTransactionOpen() const {
    sqlite3* db = Db();
    return db != nullptr && SqliteApi().get_autocommit(db) == 0;
}

void TSqliteSession::EnsureEngineTransaction() {
    if (Db() != nullptr && !EngineTransactionOpen()) RunControl("BEGIN");
}

void TSqliteSession::RunControl(const char* sql) {
    const TSqliteApi& api = SqliteApi();
    sqlite3* db = Db();
    sqlite3_stmt* raw = nullptr;
    int rc = api.prepare_v2(db, sql, -1, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, TSqliteStmtFinalizer> stmt(raw);
    if (rc == SQLITE_OK) rc = api.step(stmt.get());
    if (rc != SQLITE_DONE && rc != SQLITE_OK) SqliteRaiseError(this, db, rc);
}

int32_t TSqliteSession::Execute(const std::string& sql) {
    const TSqliteApi& api = SqliteApi();
    sqlite3* db = Db();
    if (db == nullptr) {
        SetLastError(host::LoadResString(LUMRA_ERR_SESS_INVALID_HANDLE), SqliteCodeMisuse);
        return SqliteCodeMisuse;
    }
    const char* tail = sql.c_str();
    const char* end = tail + sql.size();
    while (tail < end) {
        sqlite3_stmt* raw = nullptr;
        const char* next = nullptr;
        int rc = api.prepare_v2(db, tail, static_cast<int>(end - tail), &raw, &next);
        std::unique_ptr<sqlite3_stmt, TSqliteStmtFinalizer> stmt(raw);
        if (rc == SQLITE_OK && stmt) {
            while ((rc = api.step(stmt.get())) == SQLITE_ROW) {
            }
            if (rc == SQLITE_DONE) rc = SQLITE_OK;
        }
        if (rc != SQLITE_OK) {
            SqliteRecordError(this, db, rc);
            return LastErrorCode();
        }
        if (next == nullptr || next <= tail) break;
        tail = next;
    }
    return 0;
}

int32_t TSqliteSession::GetLibraryRefCount() { return GLibraryRefCount; }
void TSqliteSession::SetLibraryRefCount(int32_t value) { GLibraryRefCount = value; }

void TSqliteSession::GetLibraryPath(std::string& path) {
    const std::string& name = LibraryName();
    const std::string::size_type slash = name.rfind('/');
    if (slash != std::string::npos) {
        // LibraryName already carries its directory; the path adds nothing.
        path.clear();
        return;
    }
    path = SqliteLoadedLibraryDirectory();
}

void TSqliteSession::InternalLoadLibrary() { SqliteLoadLibrary(this, LibraryName()); }
void TSqliteSession::InternalFreeLibrary() { SqliteFreeLibrary(); }
void TSqliteSession::InternalInitLibrary() { SqliteInitLibrary(this); }

void TSqliteSession::InternalConnect(void*& handle) {
    const TSqliteApi& api = SqliteApi();
    const std::string& file = DatabaseName();
    struct stat info {};
    if (!FCreateIfMissing && (file.empty() || stat(file.c_str(), &info) != 0))
        RaiseLastError("Database file \"" + file + "\" does not exist", -SQLITE_CANTOPEN);
    // A session and its statements belong to one thread, so the engine's
    // per-call connection mutex would only cost time on every column read.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (FCreateIfMissing) flags |= SQLITE_OPEN_CREATE;
    sqlite3* raw = nullptr;
    const int rc = api.open_v2(file.c_str(), &raw, flags, nullptr);
    // The engine hands back a connection even on failure; it must be closed too.
    std::unique_ptr<sqlite3, TSqliteDbCloser> db(raw);
    if (rc != SQLITE_OK) {
        const std::string msg = db ? SqliteErrorMessage(db.get(), rc) : SqliteErrorMessage(nullptr, rc);
        const int32_t code = db ? SqliteErrorCode(db.get(), rc) : -rc;
        RaiseLastError(msg + " (" + file + ")", code);
    }
    api.extended_result_codes(db.get(), 1);
    api.busy_timeout(db.get(), FBusyTimeout);
    FConnection->Owned = std::move(db);
    FConnection->Attached = nullptr;
    handle = FConnection->Owned.get();
}

void TSqliteSession::InternalDisconnect() {
    // Work still pending when the connection goes is given up, as the engine does.
    FConnection->Owned.reset();
    FConnection->Attached = nullptr;
}

void TSqliteSession::InternalSetHandle(void* handle) {
    FConnection->Owned.reset();
    FConnection->Attached = static_cast<sqlite3*>(handle);
}

bool TSqliteSession::InternalCheck(void*, int32_t, int32_t, bool) { return true; }

void TSqliteSession::InternalCommit(bool) {
    if (EngineTransactionOpen()) RunControl("COMMIT");
}

void TSqliteSession::InternalRollback() {
    if (EngineTransactionOpen()) RunControl("ROLLBACK");
}
