// The SQLite session: library reference, connection and engine transaction.
#include "drivers/sqlite/SqliteSession.h"

#include <sys/stat.h>

#include <atomic>
#include <cctype>

#include "drivers/sqlite/SqliteErrors.h"
#include "drivers/sqlite/SqliteLoader.h"
#include "host/SysUtils.h"

namespace {
// Changed only under the base's library lock; read from any thread.
std::atomic<int32_t> GLibraryRefCount{0};

// The code of the error a lost unit of work reports: the engine's own for a
// transaction it rolled back.
constexpr int32_t LostCode = -SQLITE_ABORT_ROLLBACK;
} // namespace

void* SqliteDriverLibraryHandle() noexcept {
    return SqliteLibraryHandle();
}
int32_t SqliteDriverLibraryRefCount() noexcept {
    return GLibraryRefCount.load();
}

namespace {
// Skips blanks, statement separators and comments; false inside a comment
// that never closes.
bool SkipSpace(const char*& p, const char* end) {
    for (;;) {
        while (p < end && (std::isspace(static_cast<unsigned char>(*p)) || *p == ';'))
            ++p;
        if (end - p >= 2 && p[0] == '-' && p[1] == '-') {
            while (p < end && *p != '\n')
                ++p;
        } else if (end - p >= 2 && p[0] == '/' && p[1] == '*') {
            const std::string_view rest(p + 2, static_cast<size_t>(end - p - 2));
            const size_t close = rest.find("*/");
            if (close == std::string_view::npos) return false;
            p = rest.data() + close + 2;
        } else {
            return true;
        }
    }
}

// The next word of sql from p on (empty when none), p moved past it.
std::string NextWord(const char*& p, const char* end) {
    if (!SkipSpace(p, end)) return std::string();
    const char* word = p;
    while (p < end && std::isalpha(static_cast<unsigned char>(*p)))
        ++p;
    return std::string(word, static_cast<size_t>(p - word));
}
} // namespace

bool SqliteIsTransactionFree(std::string_view sql) {
    const char* p = sql.data();
    const std::string first = NextWord(p, p + sql.size());
    for (const char* w : {"VACUUM", "ATTACH", "DETACH", "PRAGMA"})
        if (host::SameText(first, w)) return true;
    return false;
}

bool SqliteIsPragma(std::string_view sql) {
    const char* p = sql.data();
    return host::SameText(NextWord(p, p + sql.size()), "PRAGMA");
}

std::string SqliteFirstWord(std::string_view sql) {
    const char* p = sql.data();
    return NextWord(p, p + sql.size());
}

bool SqliteOnlyCommentsLeft(const char* p, const char* end) {
    return !SkipSpace(p, end) || p == end;
}

bool SqliteEndsTransaction(std::string_view sql) {
    const char* p = sql.data();
    const char* end = p + sql.size();
    const std::string first = NextWord(p, end);
    for (const char* w : {"BEGIN", "COMMIT", "END"})
        if (host::SameText(first, w)) return true;
    if (!host::SameText(first, "ROLLBACK")) return false;
    // ROLLBACK [TRANSACTION] TO a savepoint keeps the transaction open.
    std::string next = NextWord(p, end);
    if (host::SameText(next, "TRANSACTION")) next = NextWord(p, end);
    return !host::SameText(next, "TO");
}

struct TSqliteConnection {
    std::unique_ptr<sqlite3, TSqliteDbCloser> Owned; // a connection this session opened
    sqlite3* Attached = nullptr;                     // a connection attached through SetHandle
    sqlite3* Current() const noexcept { return Owned ? Owned.get() : Attached; }
};

TSqliteSession::TSqliteSession(host::TComponent* owner)
    : TLumraSession(owner), FConnection(std::make_unique<TSqliteConnection>()) {
    SetLibraryName("libsqlite3.so.0");
}

TSqliteSession::~TSqliteSession() {
    DestroySession();
}

sqlite3* TSqliteSession::Db() const noexcept {
    return FConnection->Current();
}

bool TSqliteSession::EngineTransactionOpen() const {
    sqlite3* db = Db();
    return db != nullptr && SqliteApi().get_autocommit(db) == 0;
}

void TSqliteSession::EnsureEngineTransaction() {
    if (Db() != nullptr && !EngineTransactionOpen()) RunControl("BEGIN");
}

bool TSqliteSession::BeforeStatement(bool writes, std::string_view sql, bool& began) {
    began = false;
    if (Db() == nullptr) return true; // the statement reports the missing connection itself
    if (InUnitOfWork() && SqliteEndsTransaction(sql)) {
        // Run as SQL it would begin or end the engine transaction behind the
        // session: committed work Rollback could not undo, or a Commit that
        // reports success for work an earlier ROLLBACK threw away.
        SetLastError(InTransaction() ? "Transaction control is not allowed as SQL inside a user transaction; "
                                       "end the transaction with Commit or Rollback"
                                     : "Transaction control is not allowed as SQL while AutoCommit is off; "
                                       "end the work with Commit or Rollback",
                     SqliteCodeMisuse);
        return false;
    }
    try {
        if (InUnitOfWork()) {
            NoticeSilentEnd();
            if (FLost) {
                if (!writes) return true; // nothing of the lost work can be read any more
                SetLastError(LostMessage(), LostCode);
                return false;
            }
            if (EngineTransactionOpen()) {
                // Still ours, or opened by the application's own BEGIN: the
                // unit of work's changes are in it either way, so it is watched.
                FWorkOpen = true;
                return true;
            }
            // With AutoCommit off and nothing pending, a statement that cannot
            // run in a transaction runs as it is; in a user transaction the
            // engine refuses it, which is what the application asked for.
            if (!InTransaction() && SqliteIsTransactionFree(sql)) return true;
            RunControl("BEGIN");
            FWorkOpen = true;
            return true;
        }
        if (writes && !EngineTransactionOpen() && !SqliteIsTransactionFree(sql)) {
            RunControl("BEGIN");
            began = true;
        }
        return true;
    } catch (const ELumraException&) {
        return false; // recorded by RunControl
    }
}

void TSqliteSession::NoticeSilentEnd() noexcept {
    // Every step is watched, but an engine transaction that ended between
    // steps, without a statement of the application's that ended it, is lost
    // work all the same.
    if (!FWorkOpen || Db() == nullptr || SqliteApi().get_autocommit(Db()) == 0) return;
    FWorkOpen = false;
    FLost = true;
    FLostReason.clear();
}

void TSqliteSession::NoticeEngineEnd(int rc) noexcept {
    sqlite3* db = Db();
    if (db == nullptr || SqliteApi().get_autocommit(db) == 0) return;
    FWorkOpen = false;
    // A statement that succeeded and ended the transaction was the
    // application's own COMMIT or ROLLBACK; only an error loses the work.
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return;
    FLost = true;
    try {
        FLostReason = SqliteErrorMessage(db, rc);
    } catch (...) {
        FLostReason.clear();
    }
}

std::string TSqliteSession::LostMessage() const {
    return "The engine rolled the transaction back after an error" +
           (FLostReason.empty() ? std::string() : " (" + FLostReason + ")") +
           "; none of its changes were kept, and nothing more can be done in it until it is rolled back";
}

void TSqliteSession::RaiseLost() {
    RaiseLastError(LostMessage(), LostCode);
}

void TSqliteSession::ForgetUnitOfWork() noexcept {
    FWorkOpen = false;
    FLost = false;
    FLostReason.clear();
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
            // Inside a unit of work the script is part of it; outside, each of
            // its statements is committed by the engine as it runs.
            bool began = false;
            if (InUnitOfWork() &&
                !BeforeStatement(api.stmt_readonly(stmt.get()) == 0,
                                 std::string_view(tail, static_cast<size_t>(end - tail)), began))
                return LastErrorCode();
            while ((rc = api.step(stmt.get())) == SQLITE_ROW) {
            }
            AfterStep(rc);
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

int32_t TSqliteSession::GetLibraryRefCount() {
    return GLibraryRefCount.load();
}
void TSqliteSession::SetLibraryRefCount(int32_t value) {
    GLibraryRefCount.store(value);
}

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

void TSqliteSession::InternalLoadLibrary() {
    SqliteLoadLibrary(this, LibraryName());
}
void TSqliteSession::InternalFreeLibrary() {
    SqliteFreeLibrary();
}
void TSqliteSession::InternalInitLibrary() {
    SqliteInitLibrary(this);
}

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
    ForgetUnitOfWork();
    handle = FConnection->Owned.get();
}

void TSqliteSession::InternalDisconnect() {
    // Work still pending when the connection goes is given up, as the engine does.
    FConnection->Owned.reset();
    FConnection->Attached = nullptr;
    ForgetUnitOfWork();
}

void TSqliteSession::InternalSetHandle(void* handle) {
    FConnection->Owned.reset();
    FConnection->Attached = static_cast<sqlite3*>(handle);
    ForgetUnitOfWork();
}

bool TSqliteSession::InternalCheck(void*, int32_t, int32_t, bool) {
    return true;
}

void TSqliteSession::InternalCommit(bool automatic) {
    // Work the engine has thrown away is never committed as if it were there.
    if (!automatic) NoticeSilentEnd();
    if (FLost && !automatic) RaiseLost();
    if (!EngineTransactionOpen()) {
        FWorkOpen = false;
        return;
    }
    try {
        RunControl("COMMIT");
    } catch (const ELumraException&) {
        // A failed COMMIT may have rolled back by itself (an I/O error): then
        // the work is gone, and a second Commit must not report success.
        if (FWorkOpen && !EngineTransactionOpen()) {
            FWorkOpen = false;
            FLost = true;
            FLostReason = LastError();
        }
        throw;
    }
    FWorkOpen = false;
}

void TSqliteSession::InternalRollback() {
    try {
        if (EngineTransactionOpen()) RunControl("ROLLBACK");
    } catch (const ELumraException&) {
        if (!EngineTransactionOpen()) ForgetUnitOfWork();
        throw;
    }
    ForgetUnitOfWork();
}
