// The parameter path: inserts through a dataset's Params and ExecSQL (with
// and without Prepare), a wide insert of 48 host variables per row through the
// C API, the statement and the dataset, and one statement with 100,000 host
// variables. Each writes its own scratch file; the checksum is read back
// through the C API afterwards, so every variant of a workload must have
// stored the same values.
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchData.h"
#include "bench/BenchHarness.h"
#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "drivers/sqlite/SqliteStatement.h"
#include "host/Variant.h"

namespace {

struct TDbCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct TStmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};
using TDb = std::unique_ptr<sqlite3, TDbCloser>;
using TStmt = std::unique_ptr<sqlite3_stmt, TStmtFinalizer>;

TBenchResult Failed(const std::string& what, const std::string& why) {
    TBenchResult r;
    r.Error = what + ": " + why;
    return r;
}

std::vector<TBenchRow> MakeRows(const TBenchContext& context, int64_t count) {
    std::vector<TBenchRow> rows(static_cast<size_t>(count));
    for (size_t i = 0; i < rows.size(); ++i)
        BenchMakeRow(context.Seed + 1, static_cast<int64_t>(i) + 1, rows[i]);
    return rows;
}

bool ExecC(const std::string& path, const std::string& sql, std::string& error) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    TDb db(raw);
    if (rc != SQLITE_OK || sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        error = sql + ": " + (raw != nullptr ? sqlite3_errmsg(raw) : "cannot open");
        return false;
    }
    return true;
}

// Sum of a per-row hash over every column of table, by each value's own type.
bool AnyTableChecksum(const std::string& path, const std::string& table, uint64_t& checksum,
                      std::string& error) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    TDb db(raw);
    sqlite3_stmt* rawStmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), ("SELECT * FROM " + table).c_str(), -1, &rawStmt, nullptr) !=
        SQLITE_OK) {
        error = std::string("checksum: ") + sqlite3_errmsg(db.get());
        return false;
    }
    TStmt stmt(rawStmt);
    checksum = 0;
    const int columns = sqlite3_column_count(stmt.get());
    while (sqlite3_step(stmt.get()) == SQLITE_ROW) {
        TBenchHasher h;
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(stmt.get(), c)) {
            case SQLITE_INTEGER:
                h.Int(sqlite3_column_int64(stmt.get(), c));
                break;
            case SQLITE_FLOAT:
                h.Float(sqlite3_column_double(stmt.get(), c));
                break;
            case SQLITE_NULL:
                h.Null();
                break;
            default:
                h.Text(std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), c)),
                                        static_cast<size_t>(sqlite3_column_bytes(stmt.get(), c))));
            }
        }
        checksum += h.Value();
    }
    return true;
}

// --- Six values per row through a dataset's Params ------------------------------------

constexpr const char* InsertNamed =
    "INSERT INTO items_w2 VALUES(:id, :name, :amount, :created, :flag, :note)";

// The six parameters filled from one row, the way an application sets them.
void SetRowParams(TLumraParams& params, const TBenchRow& row) {
    params.RawItem(0)->SetAsInteger(static_cast<int32_t>(row.Id));
    params.RawItem(1)->SetAsString(row.Name);
    params.RawItem(2)->SetAsFloat(row.Amount);
    params.RawItem(3)->SetAsString(row.Created);
    params.RawItem(4)->SetAsInteger(static_cast<int32_t>(row.Flag));
    if (row.NoteNull)
        params.RawItem(5)->Clear();
    else
        params.RawItem(5)->SetAsString(row.Note);
}

TBenchResult DatasetInsert(const TBenchContext& context, bool prepare, const char* file) {
    TBenchResult r;
    const std::string path = context.ScratchDir + "/" + file;
    if (!BenchCreateInsertTarget(path, r.Error)) return r;
    const std::vector<TBenchRow> rows = MakeRows(context, context.InsertRows);
    const TBenchTimer timer;
    try {
        TSqliteSession session;
        session.SetDatabaseName(path);
        session.Open();
        session.StartTransaction();
        TSqliteQuery query;
        query.SetSession(&session);
        query.SQL()->SetText(InsertNamed);
        if (prepare) query.Prepare();
        for (const TBenchRow& row : rows) {
            SetRowParams(*query.Params(), row);
            query.ExecSQL();
            ++r.Rows;
        }
        if (prepare) query.UnPrepare();
        session.Commit();
    } catch (const std::exception& e) {
        return Failed("insert", e.what());
    }
    timer.Stop(r);
    BenchTableChecksum(path, "items_w2", r.Checksum, r.Error);
    return r;
}

TBenchResult DatasetInsertPrepared(const TBenchContext& context) {
    return DatasetInsert(context, true, "w4-dataset.db");
}

TBenchResult DatasetInsertUnprepared(const TBenchContext& context) {
    return DatasetInsert(context, false, "w5-dataset.db");
}

// --- 48 values per row --------------------------------------------------------------

constexpr int WideGroups = 8; // of the six item columns: 48 host variables

int64_t WideRows(const TBenchContext& context) {
    return std::max<int64_t>(1, context.InsertRows / 4);
}

bool CreateWideTarget(const std::string& path, std::string& error) {
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-journal");
    std::string columns;
    for (int g = 0; g < WideGroups; ++g)
        for (const char* c : {"id", "name", "amount", "created", "flag", "note"})
            columns += (columns.empty() ? "" : ", ") + std::string(c) + std::to_string(g);
    return ExecC(path, "CREATE TABLE wide (" + columns + ")", error);
}

std::string WideInsert(bool named) {
    std::string sql = "INSERT INTO wide VALUES(";
    for (int g = 0; g < WideGroups; ++g)
        for (const char* c : {"id", "name", "amount", "created", "flag", "note"}) {
            if (sql.back() != '(') sql += ", ";
            sql += named ? ":" + std::string(c) + std::to_string(g) : std::string("?");
        }
    return sql + ")";
}

TBenchResult WideCApi(const TBenchContext& context) {
    TBenchResult r;
    const std::string path = context.ScratchDir + "/w6-capi.db";
    if (!CreateWideTarget(path, r.Error)) return r;
    const std::vector<TBenchRow> rows = MakeRows(context, WideRows(context));
    const TBenchTimer timer;
    {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        TDb db(raw);
        sqlite3_exec(db.get(), "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* rawStmt = nullptr;
        if (sqlite3_prepare_v2(db.get(), WideInsert(false).c_str(), -1, &rawStmt, nullptr) != SQLITE_OK)
            return Failed("prepare", sqlite3_errmsg(db.get()));
        TStmt stmt(rawStmt);
        sqlite3_stmt* s = stmt.get();
        for (const TBenchRow& row : rows) {
            for (int g = 0; g < WideGroups; ++g) {
                const int b = g * 6;
                sqlite3_bind_int64(s, b + 1, row.Id);
                sqlite3_bind_text(s, b + 2, row.Name.data(), static_cast<int>(row.Name.size()),
                                  SQLITE_STATIC);
                sqlite3_bind_double(s, b + 3, row.Amount);
                sqlite3_bind_text(s, b + 4, row.Created.data(), static_cast<int>(row.Created.size()),
                                  SQLITE_STATIC);
                sqlite3_bind_int64(s, b + 5, row.Flag);
                if (row.NoteNull)
                    sqlite3_bind_null(s, b + 6);
                else
                    sqlite3_bind_text(s, b + 6, row.Note.data(), static_cast<int>(row.Note.size()),
                                      SQLITE_STATIC);
            }
            if (sqlite3_step(s) != SQLITE_DONE) return Failed("insert", sqlite3_errmsg(db.get()));
            sqlite3_reset(s);
            ++r.Rows;
        }
        stmt.reset();
        sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr);
    }
    timer.Stop(r);
    AnyTableChecksum(path, "wide", r.Checksum, r.Error);
    return r;
}

TBenchResult WideStatement(const TBenchContext& context) {
    TBenchResult r;
    const std::string path = context.ScratchDir + "/w6-statement.db";
    if (!CreateWideTarget(path, r.Error)) return r;
    const std::vector<TBenchRow> rows = MakeRows(context, WideRows(context));
    const TBenchTimer timer;
    try {
        TSqliteSession session;
        session.SetDatabaseName(path);
        session.Open();
        session.StartTransaction();
        TSqliteSQL sql;
        sql.SetSession(&session);
        if (!sql.PrepareExecute(WideInsert(false))) return Failed("prepare", session.LastError());
        std::vector<host::Variant> values(6 * WideGroups);
        for (const TBenchRow& row : rows) {
            for (int g = 0; g < WideGroups; ++g) {
                const size_t b = static_cast<size_t>(g) * 6;
                values[b] = host::Variant(row.Id);
                values[b + 1] = host::Variant(row.Name);
                values[b + 2] = host::Variant(row.Amount);
                values[b + 3] = host::Variant(row.Created);
                values[b + 4] = host::Variant(row.Flag);
                values[b + 5] = row.NoteNull ? host::Variant::Null() : host::Variant(row.Note);
            }
            if (!sql.ExecutePrepared(std::span<const host::Variant>(values)))
                return Failed("insert", session.LastError());
            ++r.Rows;
        }
        sql.UnprepareExecute();
        session.Commit();
    } catch (const std::exception& e) {
        return Failed("insert", e.what());
    }
    timer.Stop(r);
    AnyTableChecksum(path, "wide", r.Checksum, r.Error);
    return r;
}

TBenchResult WideDataset(const TBenchContext& context) {
    TBenchResult r;
    const std::string path = context.ScratchDir + "/w6-dataset.db";
    if (!CreateWideTarget(path, r.Error)) return r;
    const std::vector<TBenchRow> rows = MakeRows(context, WideRows(context));
    const TBenchTimer timer;
    try {
        TSqliteSession session;
        session.SetDatabaseName(path);
        session.Open();
        session.StartTransaction();
        TSqliteQuery query;
        query.SetSession(&session);
        query.SQL()->SetText(WideInsert(true));
        query.Prepare();
        TLumraParams& params = *query.Params();
        for (const TBenchRow& row : rows) {
            for (int g = 0; g < WideGroups; ++g) {
                const int32_t b = g * 6;
                params.RawItem(b)->SetAsInteger(static_cast<int32_t>(row.Id));
                params.RawItem(b + 1)->SetAsString(row.Name);
                params.RawItem(b + 2)->SetAsFloat(row.Amount);
                params.RawItem(b + 3)->SetAsString(row.Created);
                params.RawItem(b + 4)->SetAsInteger(static_cast<int32_t>(row.Flag));
                if (row.NoteNull)
                    params.RawItem(b + 5)->Clear();
                else
                    params.RawItem(b + 5)->SetAsString(row.Note);
            }
            query.ExecSQL();
            ++r.Rows;
        }
        query.UnPrepare();
        session.Commit();
    } catch (const std::exception& e) {
        return Failed("insert", e.what());
    }
    timer.Stop(r);
    AnyTableChecksum(path, "wide", r.Checksum, r.Error);
    return r;
}

// --- One statement with 100,000 host variables -------------------------------------------

constexpr int ManyVariables = 100000;

std::string ManyVariablesSql() {
    std::string sql = "INSERT INTO many SELECT count(*) FROM (SELECT 1) WHERE 1 IN (";
    for (int i = 0; i < ManyVariables; ++i)
        sql += i == 0 ? "?" : ", ?";
    return sql + ")";
}

TBenchResult ManyCApi(const TBenchContext& context) {
    TBenchResult r;
    const std::string path = context.ScratchDir + "/w7-capi.db";
    std::filesystem::remove(path);
    if (!ExecC(path, "CREATE TABLE many (n)", r.Error)) return r;
    const std::string text = ManyVariablesSql();
    const TBenchTimer timer;
    {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        TDb db(raw);
        sqlite3_stmt* rawStmt = nullptr;
        if (sqlite3_prepare_v2(db.get(), text.c_str(), -1, &rawStmt, nullptr) != SQLITE_OK)
            return Failed("prepare", sqlite3_errmsg(db.get()));
        TStmt stmt(rawStmt);
        for (int i = 0; i < ManyVariables; ++i)
            sqlite3_bind_int64(stmt.get(), i + 1, i + 1);
        if (sqlite3_step(stmt.get()) != SQLITE_DONE) return Failed("insert", sqlite3_errmsg(db.get()));
        r.Rows = ManyVariables;
    }
    timer.Stop(r);
    AnyTableChecksum(path, "many", r.Checksum, r.Error);
    return r;
}

TBenchResult ManyStatement(const TBenchContext& context) {
    TBenchResult r;
    const std::string path = context.ScratchDir + "/w7-statement.db";
    std::filesystem::remove(path);
    if (!ExecC(path, "CREATE TABLE many (n)", r.Error)) return r;
    const std::string text = ManyVariablesSql();
    std::vector<host::Variant> values;
    for (int i = 0; i < ManyVariables; ++i)
        values.emplace_back(static_cast<int32_t>(i + 1));
    const TBenchTimer timer;
    try {
        TSqliteSession session;
        session.SetDatabaseName(path);
        session.Open();
        TSqliteSQL sql;
        sql.SetSession(&session);
        if (!sql.Execute(text, std::span<const host::Variant>(values)))
            return Failed("execute", session.LastError());
        r.Rows = ManyVariables;
    } catch (const std::exception& e) {
        return Failed("execute", e.what());
    }
    timer.Stop(r);
    AnyTableChecksum(path, "many", r.Checksum, r.Error);
    return r;
}

} // namespace

void BenchAddParameterVariants(std::vector<TBenchVariant>& list) {
    list.push_back(
        {"W4", "dataset", "W2", 1.3, 0,
         "TSqliteQuery: Prepare once, then per row six Params setters and ExecSQL; ratio to W2's C API",
         DatasetInsertPrepared});
    list.push_back(
        {"W5", "dataset", "W2", 2.0, 0,
         "TSqliteQuery without Prepare: per row six Params setters and ExecSQL; ratio to W2's C API",
         DatasetInsertUnprepared});
    list.push_back({"W6", "C API", "", 0, 0,
                    "48 host variables per row (the six item columns 8 times): bind, step", WideCApi});
    list.push_back({"W6", "statement", "", 0, 0,
                    "PrepareExecute once, ExecutePrepared with 48 Variants per row", WideStatement});
    TBenchVariant wide{
        "W6",
        "dataset",
        "",
        1.5,
        0,
        "TSqliteQuery: Prepare once, 48 Params setters and ExecSQL per row; target against W6's "
        "statement",
        WideDataset};
    wide.Baseline = "statement";
    list.push_back(wide);
    list.push_back({"W7", "C API", "", 0, 0, "one INSERT ... IN (100,000 ?): prepare, bind, step", ManyCApi});
    TBenchVariant many{"W7",
                       "statement",
                       "",
                       0,
                       0,
                       "the same text through TSqliteSQL::Execute with 100,000 Variants (prepare included)",
                       ManyStatement};
    many.SecondsTarget = 1.0;
    list.push_back(many);
}
