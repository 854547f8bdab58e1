// The SQLite driver's entry-point table: one typed function pointer per
// client-library function the driver calls, filled by name when the library
// is loaded. Every engine call of the driver goes through this table, which
// makes it the one seam where tests replace an entry point (to make the N-th
// prepare, step, bind or commit fail) without touching the driver's code.
//
// Internal header of the driver: it includes <sqlite3.h> for the C types and
// constants, so public headers never include it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

class TLumraSession;

struct TSqliteApi {
    // Required: bound to the raising fallback when missing.
    int (*libversion_number)();
    int (*initialize)();
    int (*open_v2)(const char*, sqlite3**, int, const char*);
    int (*close_v2)(sqlite3*);
    const char* (*errmsg)(sqlite3*);
    const char* (*errstr)(int);
    int (*extended_errcode)(sqlite3*);
    int (*prepare_v2)(sqlite3*, const char*, int, sqlite3_stmt**, const char**);
    int (*finalize)(sqlite3_stmt*);
    int (*reset)(sqlite3_stmt*);
    int (*step)(sqlite3_stmt*);
    int (*column_count)(sqlite3_stmt*);
    const char* (*column_name)(sqlite3_stmt*, int);
    const char* (*column_decltype)(sqlite3_stmt*, int);
    int (*column_type)(sqlite3_stmt*, int);
    sqlite3_int64 (*column_int64)(sqlite3_stmt*, int);
    double (*column_double)(sqlite3_stmt*, int);
    const unsigned char* (*column_text)(sqlite3_stmt*, int);
    const void* (*column_blob)(sqlite3_stmt*, int);
    int (*column_bytes)(sqlite3_stmt*, int);
    // A column read once as a value; the value_* readers take no connection mutex.
    sqlite3_value* (*column_value)(sqlite3_stmt*, int);
    int (*value_type)(sqlite3_value*);
    sqlite3_int64 (*value_int64)(sqlite3_value*);
    double (*value_double)(sqlite3_value*);
    const unsigned char* (*value_text)(sqlite3_value*);
    const void* (*value_blob)(sqlite3_value*);
    int (*value_bytes)(sqlite3_value*);
    int (*bind_parameter_count)(sqlite3_stmt*);
    const char* (*bind_parameter_name)(sqlite3_stmt*, int);
    int (*bind_null)(sqlite3_stmt*, int);
    int (*bind_int64)(sqlite3_stmt*, int, sqlite3_int64);
    int (*bind_double)(sqlite3_stmt*, int, double);
    int (*bind_text64)(sqlite3_stmt*, int, const char*, sqlite3_uint64, void (*)(void*), unsigned char);
    int (*bind_blob64)(sqlite3_stmt*, int, const void*, sqlite3_uint64, void (*)(void*));
    int (*stmt_readonly)(sqlite3_stmt*);
    int (*changes)(sqlite3*);
    sqlite3_int64 (*last_insert_rowid)(sqlite3*);
    int (*get_autocommit)(sqlite3*);
    // Optional: bound to the silent fallback (result 0 / null) when missing.
    int (*extended_result_codes)(sqlite3*, int);
    int (*busy_timeout)(sqlite3*, int);
    const char* (*column_table_name)(sqlite3_stmt*, int);
    const char* (*column_origin_name)(sqlite3_stmt*, int);
};

// The table shared by all sessions of the driver. Valid while the library is
// loaded; tests may overwrite entries after a session has connected.
TSqliteApi& SqliteApi() noexcept;

// Loads the library file (raising the catalogue's path and load messages),
// binds every entry point and initialises the engine (raising the catalogue's
// initialisation message). Called for the first session only.
// Errors are recorded in session before they are raised.
void SqliteLoadLibrary(TLumraSession* session, const std::string& fileName);
void SqliteInitLibrary(TLumraSession* session);
// Unloads the library and resets the table to the raising fallbacks.
void SqliteFreeLibrary() noexcept;
// Directory of the loaded library file, with a trailing '/'; empty when not loaded.
std::string SqliteLoadedLibraryDirectory();
// The dlopen handle of the loaded library, null when none is loaded.
void* SqliteLibraryHandle() noexcept;

// Owners of engine handles: every sqlite3* and sqlite3_stmt* the driver makes
// lives in one of these, so no path leaks or double-frees a handle.
// They run in destructors: an entry point that raises (the fallback of a
// library no longer loaded) must not end the process from here.
struct TSqliteDbCloser {
    void operator()(sqlite3* db) const noexcept {
        try {
            SqliteApi().close_v2(db);
        } catch (...) {
        }
    }
};
struct TSqliteStmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept {
        try {
            SqliteApi().finalize(stmt);
        } catch (...) {
        }
    }
};
