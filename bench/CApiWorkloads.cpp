// The reference variants: the engine's own C API, used the way a careful
// application would (one prepared statement, values read straight into
// native variables whose buffers are reused from row to row).
#include <sqlite3.h>

#include <memory>
#include <vector>

#include "bench/BenchData.h"
#include "bench/BenchHarness.h"

namespace {

struct TDbCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct TStmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};

constexpr const char* SelectItems = "SELECT id, name, amount, created, flag, note FROM items";

TBenchResult Fail(sqlite3* db, const char* what) {
    TBenchResult r;
    r.Error = std::string(what) + ": " + (db != nullptr ? sqlite3_errmsg(db) : "no connection");
    return r;
}

void AssignText(sqlite3_stmt* stmt, int column, std::string& out) {
    out.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
               static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
}

// Full forward scan; every column of every row into native values.
TBenchResult ScanForwardWith(const TBenchContext& context, int openFlags) {
    TBenchResult r;
    const TBenchTimer timer;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(context.Database.c_str(), &raw, SQLITE_OPEN_READONLY | openFlags, nullptr);
    std::unique_ptr<sqlite3, TDbCloser> db(raw);
    if (rc != SQLITE_OK) return Fail(raw, "open");
    sqlite3_stmt* rawStmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), SelectItems, -1, &rawStmt, nullptr) != SQLITE_OK)
        return Fail(db.get(), "prepare");
    std::unique_ptr<sqlite3_stmt, TStmtFinalizer> stmt(rawStmt);
    TBenchRow row;
    int step;
    while ((step = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = stmt.get();
        row.Id = sqlite3_column_int64(s, 0);
        AssignText(s, 1, row.Name);
        row.Amount = sqlite3_column_double(s, 2);
        AssignText(s, 3, row.Created);
        row.Flag = sqlite3_column_int64(s, 4);
        row.NoteNull = sqlite3_column_type(s, 5) == SQLITE_NULL;
        if (!row.NoteNull) AssignText(s, 5, row.Note);
        if (r.Rows == 0) timer.FirstRow(r);
        TBenchHasher h;
        h.Int(row.Id);
        h.Text(row.Name);
        h.Float(row.Amount);
        h.Text(row.Created);
        h.Int(row.Flag);
        if (row.NoteNull)
            h.Null();
        else
            h.Text(row.Note);
        r.Checksum += h.Value();
        ++r.Rows;
    }
    if (step != SQLITE_DONE) return Fail(db.get(), "step");
    stmt.reset();
    db.reset();
    timer.Stop(r);
    return r;
}

TBenchResult ScanForward(const TBenchContext& context) {
    return ScanForwardWith(context, 0);
}

// The same without the connection mutex that a serialized build takes on every call.
TBenchResult ScanForwardNoMutex(const TBenchContext& context) {
    return ScanForwardWith(context, SQLITE_OPEN_NOMUTEX);
}

// The rows the insert workload writes, made before the clock starts.
std::vector<TBenchRow> InsertRows(const TBenchContext& context) {
    std::vector<TBenchRow> rows(static_cast<size_t>(context.InsertRows));
    for (size_t i = 0; i < rows.size(); ++i)
        BenchMakeRow(context.Seed + 1, static_cast<int64_t>(i) + 1, rows[i]);
    return rows;
}

// Parameterised inserts in one transaction: bind, step, reset.
TBenchResult InsertMany(const TBenchContext& context) {
    TBenchResult r;
    const std::string path = context.ScratchDir + "/w2-capi.db";
    if (!BenchCreateInsertTarget(path, r.Error)) return r;
    const std::vector<TBenchRow> rows = InsertRows(context);
    const TBenchTimer timer;
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        std::unique_ptr<sqlite3, TDbCloser> db(raw);
        if (rc != SQLITE_OK) return Fail(raw, "open");
        if (sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
            return Fail(db.get(), "begin");
        sqlite3_stmt* rawStmt = nullptr;
        if (sqlite3_prepare_v2(db.get(), "INSERT INTO items_w2 VALUES(?,?,?,?,?,?)", -1, &rawStmt, nullptr) !=
            SQLITE_OK)
            return Fail(db.get(), "prepare");
        std::unique_ptr<sqlite3_stmt, TStmtFinalizer> stmt(rawStmt);
        for (const TBenchRow& row : rows) {
            sqlite3_stmt* s = stmt.get();
            sqlite3_bind_int64(s, 1, row.Id);
            sqlite3_bind_text(s, 2, row.Name.data(), static_cast<int>(row.Name.size()), SQLITE_STATIC);
            sqlite3_bind_double(s, 3, row.Amount);
            sqlite3_bind_text(s, 4, row.Created.data(), static_cast<int>(row.Created.size()), SQLITE_STATIC);
            sqlite3_bind_int64(s, 5, row.Flag);
            if (row.NoteNull)
                sqlite3_bind_null(s, 6);
            else
                sqlite3_bind_text(s, 6, row.Note.data(), static_cast<int>(row.Note.size()), SQLITE_STATIC);
            if (sqlite3_step(s) != SQLITE_DONE) return Fail(db.get(), "insert");
            sqlite3_reset(s);
            ++r.Rows;
        }
        stmt.reset();
        if (sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            return Fail(db.get(), "commit");
    }
    timer.Stop(r);
    if (!BenchTableChecksum(path, "items_w2", r.Checksum, r.Error)) return r;
    return r;
}

} // namespace

void BenchAddCApiVariants(std::vector<TBenchVariant>& list) {
    list.push_back({"W1", "C API", "", 0, 0, "sqlite3_step + sqlite3_column_*", ScanForward});
    list.push_back(
        {"W1", "C API, NOMUTEX", "", 0, 0,
         "the same scan on a connection opened with SQLITE_OPEN_NOMUTEX (what the driver could do)",
         ScanForwardNoMutex});
    list.push_back({"W2", "C API", "", 0, 0, "bind, step, reset", InsertMany});
}
