// Loading libsqlite3 at run time and filling the driver's entry-point table.
// The table starts (and ends, after unloading) bound to the raising fallback,
// so a call made while no library is loaded raises instead of crashing.
#include "drivers/sqlite/SqliteLoader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <atomic>

#include "LmrBase/LmrErrors.h"
#include "LmrBase/LmrSession.h"

namespace {

// Loaded, bound and freed only under the session base's library lock (the
// first reference loads, the last one frees); read from any thread.
std::atomic<void*> GLibrary{nullptr};

// Binds every entry point from lib; a null lib binds all fallbacks.
void BindAll(TSqliteApi& api, void* lib) noexcept {
    auto find = [lib](const char* name) -> void* { return lib != nullptr ? dlsym(lib, name) : nullptr; };
#define LMR_REQUIRED(member) LmrAssignProcAddress(api.member, find("sqlite3_" #member), LmrDummyProc)
#define LMR_OPTIONAL(member) LmrAssignProcAddress(api.member, find("sqlite3_" #member), LmrDummyProcNoExcept)
    LMR_REQUIRED(libversion_number);
    LMR_REQUIRED(initialize);
    LMR_REQUIRED(open_v2);
    LMR_REQUIRED(close_v2);
    LMR_REQUIRED(errmsg);
    LMR_REQUIRED(errstr);
    LMR_REQUIRED(extended_errcode);
    LMR_REQUIRED(prepare_v2);
    LMR_REQUIRED(finalize);
    LMR_REQUIRED(reset);
    LMR_REQUIRED(step);
    LMR_REQUIRED(column_count);
    LMR_REQUIRED(column_name);
    LMR_REQUIRED(column_decltype);
    LMR_REQUIRED(column_type);
    LMR_REQUIRED(column_int64);
    LMR_REQUIRED(column_double);
    LMR_REQUIRED(column_text);
    LMR_REQUIRED(column_blob);
    LMR_REQUIRED(column_bytes);
    LMR_REQUIRED(column_value);
    LMR_REQUIRED(value_type);
    LMR_REQUIRED(value_int64);
    LMR_REQUIRED(value_double);
    LMR_REQUIRED(value_text);
    LMR_REQUIRED(value_blob);
    LMR_REQUIRED(value_bytes);
    LMR_REQUIRED(bind_parameter_count);
    LMR_REQUIRED(bind_parameter_name);
    LMR_REQUIRED(bind_null);
    LMR_REQUIRED(bind_int64);
    LMR_REQUIRED(bind_double);
    LMR_REQUIRED(bind_text64);
    LMR_REQUIRED(bind_blob64);
    LMR_REQUIRED(stmt_readonly);
    LMR_REQUIRED(changes);
    LMR_REQUIRED(last_insert_rowid);
    LMR_REQUIRED(get_autocommit);
    LMR_OPTIONAL(extended_result_codes);
    LMR_OPTIONAL(busy_timeout);
    LMR_OPTIONAL(column_table_name);
    LMR_OPTIONAL(column_origin_name);
#undef LMR_REQUIRED
#undef LMR_OPTIONAL
}

TSqliteApi MakeUnboundApi() noexcept {
    TSqliteApi api{};
    BindAll(api, nullptr);
    return api;
}

TSqliteApi GApi = MakeUnboundApi();

} // namespace

TSqliteApi& SqliteApi() noexcept {
    return GApi;
}

void* SqliteLibraryHandle() noexcept {
    return GLibrary;
}

void SqliteLoadLibrary(TLumraSession* session, const std::string& fileName) {
    const std::string::size_type slash = fileName.rfind('/');
    if (fileName.empty() || slash != std::string::npos) {
        struct stat info {};
        const std::string dir = fileName.empty() ? std::string() : fileName.substr(0, slash + 1);
        if (dir.empty() || stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            session->RaiseLastError(host::LoadResString(LUMRA_ERR_LIB_PATH_NOT_FOUND), 0);
    }
    void* lib = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) session->RaiseLastError(host::LoadResString(LUMRA_ERR_LIB_LOAD_FAILED), 0);
    GLibrary = lib;
}

void SqliteInitLibrary(TLumraSession* session) {
    void* lib = GLibrary.load();
    BindAll(GApi, lib);
    // A library that lacks the basic entry points is not SQLite 3.
    const bool complete = lib != nullptr && dlsym(lib, "sqlite3_libversion_number") != nullptr &&
                          dlsym(lib, "sqlite3_initialize") != nullptr &&
                          dlsym(lib, "sqlite3_open_v2") != nullptr;
    if (!complete || GApi.libversion_number() < 3007015 || GApi.initialize() != SQLITE_OK) {
        SqliteFreeLibrary();
        session->RaiseLastError(host::LoadResString(LUMRA_ERR_LIB_INIT_FAILED), 0);
    }
}

void SqliteFreeLibrary() noexcept {
    BindAll(GApi, nullptr);
    if (void* lib = GLibrary.exchange(nullptr)) dlclose(lib);
}

std::string SqliteLoadedLibraryDirectory() {
    void* lib = GLibrary.load();
    if (lib == nullptr) return {};
    Dl_info info{};
    void* probe = dlsym(lib, "sqlite3_libversion_number");
    if (probe == nullptr || dladdr(probe, &info) == 0 || info.dli_fname == nullptr) return {};
    const std::string file = info.dli_fname;
    const std::string::size_type slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}
