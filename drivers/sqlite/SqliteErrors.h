// The SQLite driver's one mapping of engine results to the session's last
// error: the engine's message and its (extended) result code made negative.
// A fetch that fails reports through here; the end of the rows never does.
#pragma once

#include <cstdint>
#include <string>

#include "drivers/sqlite/SqliteLoader.h"

class TLumraSession;

// Codes of errors the driver detects itself in values it cannot represent or
// in SQL text it refuses; negative like the engine's, so the dataset layer
// reports them.
inline constexpr int32_t SqliteCodeMismatch = -SQLITE_MISMATCH;
inline constexpr int32_t SqliteCodeMisuse = -SQLITE_MISUSE;

// The message that goes with rc: the connection's own message when it
// describes rc, else the engine's generic text for rc.
std::string SqliteErrorMessage(sqlite3* db, int rc);
// The negative code recorded for rc: the connection's extended code when it
// belongs to rc, else rc itself.
int32_t SqliteErrorCode(sqlite3* db, int rc);
// Records the engine's message and negative code as the session's last error.
void SqliteRecordError(TLumraSession* session, sqlite3* db, int rc);
// The same, then raises ELumraException with them.
[[noreturn]] void SqliteRaiseError(TLumraSession* session, sqlite3* db, int rc);
