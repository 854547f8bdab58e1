// Generation and checking of the benchmark's database, straight on the C API
// so that the data never depends on the library being measured.
#include "bench/BenchData.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

uint64_t SplitMix(uint64_t& state) noexcept {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void RandomText(uint64_t& state, size_t length, std::string& out) {
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz";
    out.clear();
    for (size_t i = 0; i < length; ++i) {
        const uint64_t r = SplitMix(state);
        // Roughly one word break in six characters, never at either end.
        out.push_back(i > 0 && i + 1 < length && r % 6 == 0 ? ' ' : Letters[(r >> 8) % 26]);
    }
}

// Civil date of a day count since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int64_t z, int& y, unsigned& m, unsigned& d) noexcept {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yoe + era * 400) + (m <= 2);
}

struct TDbCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct TStmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};
using TDb = std::unique_ptr<sqlite3, TDbCloser>;
using TStmt = std::unique_ptr<sqlite3_stmt, TStmtFinalizer>;

bool Fail(sqlite3* db, const std::string& what, std::string& error) {
    error = what + ": " + (db != nullptr ? sqlite3_errmsg(db) : "cannot open");
    return false;
}

bool OpenDb(const std::string& path, int flags, TDb& db, std::string& error) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    db.reset(raw);
    if (rc != SQLITE_OK) return Fail(raw, "open " + path, error);
    return true;
}

bool Exec(sqlite3* db, const char* sql, std::string& error) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return Fail(db, sql, error);
    return true;
}

constexpr const char* ItemsColumns =
    "(id INTEGER PRIMARY KEY, name TEXT, amount REAL, created TEXT, flag INTEGER, note TEXT)";

// True when path already holds the rows of (rows, seed).
bool Matches(const std::string& path, int64_t rows, uint64_t seed) {
    if (!std::filesystem::exists(path)) return false;
    TDb db;
    std::string ignored;
    if (!OpenDb(path, SQLITE_OPEN_READONLY, db, ignored)) return false;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db.get(), "SELECT rows, seed FROM bench_meta", -1, &raw, nullptr) != SQLITE_OK)
        return false;
    TStmt stmt(raw);
    return sqlite3_step(stmt.get()) == SQLITE_ROW && sqlite3_column_int64(stmt.get(), 0) == rows &&
           static_cast<uint64_t>(sqlite3_column_int64(stmt.get(), 1)) == seed;
}

} // namespace

void BenchMakeRow(uint64_t seed, int64_t id, TBenchRow& row) {
    uint64_t state = seed * 0x2545F4914F6CDD1Dull + static_cast<uint64_t>(id);
    SplitMix(state);
    row.Id = id;
    RandomText(state, 16 + SplitMix(state) % 9, row.Name);
    row.Amount = static_cast<double>(SplitMix(state) % 10000000) / 100.0;
    // Ten years of seconds from 2015-01-01 00:00:00.
    const int64_t seconds = static_cast<int64_t>(SplitMix(state) % (3653ull * 86400ull));
    int y;
    unsigned m, d;
    CivilFromDays(16436 + seconds / 86400, y, m, d);
    const int64_t s = seconds % 86400;
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", y, m, d, static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    row.Created = text;
    row.Flag = static_cast<int64_t>(SplitMix(state) % 2);
    row.NoteNull = SplitMix(state) % 10 < 3;
    if (row.NoteNull)
        row.Note.clear();
    else
        RandomText(state, 10 + SplitMix(state) % 51, row.Note);
}

bool BenchEnsureDatabase(const std::string& path, int64_t rows, uint64_t seed, std::string& error) {
    if (Matches(path, rows, seed)) return true;
    // Written beside the target and renamed, so an interrupted run never leaves a half file.
    const std::string temp = path + ".partial";
    std::filesystem::remove(temp);
    {
        TDb db;
        if (!OpenDb(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, db, error)) return false;
        if (!Exec(db.get(), "PRAGMA journal_mode=OFF", error) ||
            !Exec(db.get(), (std::string("CREATE TABLE items ") + ItemsColumns).c_str(), error) ||
            !Exec(db.get(), "CREATE TABLE bench_meta(rows INTEGER, seed INTEGER)", error) ||
            !Exec(db.get(), "BEGIN", error))
            return false;
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db.get(), "INSERT INTO items VALUES(?,?,?,?,?,?)", -1, &raw, nullptr) !=
            SQLITE_OK)
            return Fail(db.get(), "prepare insert", error);
        TStmt insert(raw);
        TBenchRow row;
        for (int64_t id = 1; id <= rows; ++id) {
            BenchMakeRow(seed, id, row);
            sqlite3_stmt* s = insert.get();
            sqlite3_bind_int64(s, 1, row.Id);
            sqlite3_bind_text(s, 2, row.Name.data(), static_cast<int>(row.Name.size()), SQLITE_STATIC);
            sqlite3_bind_double(s, 3, row.Amount);
            sqlite3_bind_text(s, 4, row.Created.data(), static_cast<int>(row.Created.size()), SQLITE_STATIC);
            sqlite3_bind_int64(s, 5, row.Flag);
            if (row.NoteNull)
                sqlite3_bind_null(s, 6);
            else
                sqlite3_bind_text(s, 6, row.Note.data(), static_cast<int>(row.Note.size()), SQLITE_STATIC);
            if (sqlite3_step(s) != SQLITE_DONE) return Fail(db.get(), "insert", error);
            sqlite3_reset(s);
        }
        insert.reset();
        const std::string meta = "INSERT INTO bench_meta VALUES(" + std::to_string(rows) + "," +
                                 std::to_string(static_cast<int64_t>(seed)) + ")";
        if (!Exec(db.get(), meta.c_str(), error) || !Exec(db.get(), "COMMIT", error)) return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        error = "rename " + temp + ": " + ec.message();
        return false;
    }
    return true;
}

bool BenchCreateInsertTarget(const std::string& path, std::string& error) {
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-journal");
    TDb db;
    if (!OpenDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, db, error)) return false;
    return Exec(db.get(), (std::string("CREATE TABLE items_w2 ") + ItemsColumns).c_str(), error);
}

bool BenchTableChecksum(const std::string& path, const std::string& table, uint64_t& checksum,
                        std::string& error) {
    TDb db;
    if (!OpenDb(path, SQLITE_OPEN_READONLY, db, error)) return false;
    sqlite3_stmt* raw = nullptr;
    const std::string sql = "SELECT id, name, amount, created, flag, note FROM " + table;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        return Fail(db.get(), "prepare " + sql, error);
    TStmt stmt(raw);
    checksum = 0;
    int rc;
    auto text = [&](int i) {
        return std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), i)),
                                static_cast<size_t>(sqlite3_column_bytes(stmt.get(), i)));
    };
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        TBenchHasher h;
        h.Int(sqlite3_column_int64(stmt.get(), 0));
        h.Text(text(1));
        h.Float(sqlite3_column_double(stmt.get(), 2));
        h.Text(text(3));
        h.Int(sqlite3_column_int64(stmt.get(), 4));
        if (sqlite3_column_type(stmt.get(), 5) == SQLITE_NULL)
            h.Null();
        else
            h.Text(text(5));
        checksum += h.Value();
    }
    if (rc != SQLITE_DONE) return Fail(db.get(), "step " + sql, error);
    return true;
}
