// Turns an engine result into the session's last error. Kept in one place so
// every operation of the driver reports the same message and code for the
// same failure.
#include "drivers/sqlite/SqliteErrors.h"

#include "LmrBase/LmrSession.h"

std::string SqliteErrorMessage(sqlite3* db, int rc) {
    const TSqliteApi& api = SqliteApi();
    // A result injected or produced without the connection's knowledge leaves
    // the connection's message describing something else.
    if (db != nullptr && (api.extended_errcode(db) & 0xFF) == (rc & 0xFF)) {
        if (const char* msg = api.errmsg(db)) return msg;
    }
    const char* text = api.errstr(rc);
    return text != nullptr ? text : "SQLite error " + std::to_string(rc);
}

int32_t SqliteErrorCode(sqlite3* db, int rc) {
    if (db != nullptr) {
        const int extended = SqliteApi().extended_errcode(db);
        if ((extended & 0xFF) == (rc & 0xFF)) return -extended;
    }
    return rc == 0 ? SqliteCodeMisuse : -rc;
}

void SqliteRecordError(TLumraSession* session, sqlite3* db, int rc) {
    session->SetLastError(SqliteErrorMessage(db, rc), SqliteErrorCode(db, rc));
}

void SqliteRaiseError(TLumraSession* session, sqlite3* db, int rc) {
    session->RaiseLastError(SqliteErrorMessage(db, rc), SqliteErrorCode(db, rc));
}
