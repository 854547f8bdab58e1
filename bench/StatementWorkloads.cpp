// The statement variants: the SQLite driver's TSqliteSQL used directly, the
// way an application that needs no dataset would use it. The scan reads
// columns by number (no name lookups on the caller's side) in two ways: the
// general GetFieldValue, and the row buffer of the documented row format
// with the memo columns' stored bytes.
#include <cstring>
#include <memory>
#include <vector>

#include "bench/BenchData.h"
#include "bench/BenchHarness.h"
#include "drivers/sqlite/SqliteSession.h"
#include "drivers/sqlite/SqliteStatement.h"
#include "host/Variant.h"

namespace {

constexpr const char* SelectItems = "SELECT id, name, amount, created, flag, note FROM items";

std::unique_ptr<TSqliteSession> Connect(const std::string& path) {
    auto session = std::make_unique<TSqliteSession>();
    session->SetDatabaseName(path);
    session->Open();
    return session;
}

TBenchResult Failed(TLumraSession& session, const char* what) {
    TBenchResult r;
    r.Error = std::string(what) + ": " + session.LastError();
    return r;
}

void HashRow(const TBenchRow& row, TBenchResult& r) {
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

// Scan through GetFieldValue: one Variant per value, converted to native.
TBenchResult ScanByValue(const TBenchContext& context) {
    TBenchResult r;
    const TBenchTimer timer;
    auto session = Connect(context.Database);
    TSqliteSQL sql;
    sql.SetSession(session.get());
    bool more = sql.OpenRead(SelectItems);
    const host::Variant c0(int32_t{0}), c1(int32_t{1}), c2(int32_t{2}), c3(int32_t{3}), c4(int32_t{4}),
        c5(int32_t{5});
    TBenchRow row;
    while (more) {
        row.Id = sql.GetFieldValue(c0).AsInt64();
        row.Name = sql.GetFieldValue(c1).AsString();
        row.Amount = sql.GetFieldValue(c2).AsDouble();
        row.Created = sql.GetFieldValue(c3).AsString();
        row.Flag = sql.GetFieldValue(c4).AsInt64();
        row.NoteNull = sql.IsFieldNull(c5);
        if (!row.NoteNull) row.Note = sql.GetFieldValue(c5).AsString();
        if (r.Rows == 0) timer.FirstRow(r);
        HashRow(row, r);
        more = sql.FetchNext();
    }
    if (session->LastErrorCode() < 0) return Failed(*session, "fetch");
    sql.Close();
    timer.Stop(r);
    return r;
}

// Scan through the row buffer: numbers at their offsets, memo text through
// the driver's stored bytes by column number, nulls from the indicator buffer.
TBenchResult ScanByBuffer(const TBenchContext& context) {
    TBenchResult r;
    const TBenchTimer timer;
    auto session = Connect(context.Database);
    TSqliteSQL sql;
    sql.SetSession(session.get());
    bool more = sql.OpenRead(SelectItems);
    TLumraFieldDefs* defs = sql.FieldDefs();
    const int32_t offId = defs->GetItem(0)->Offset(), offAmount = defs->GetItem(2)->Offset(),
                  offFlag = defs->GetItem(4)->Offset();
    const int32_t name = 1, created = 3, note = 5;
    TBenchRow row;
    std::string scratch;
    auto text = [&](int32_t column, std::string& out) {
        const char* data = nullptr;
        int64_t size = 0;
        if (sql.GetStoredBytes(column, data, size, scratch))
            out.assign(data, static_cast<size_t>(size));
        else
            out.clear();
    };
    while (more) {
        const char* buffer = sql.RowBuffer();
        std::memcpy(&row.Id, buffer + offId, 8);
        text(name, row.Name);
        std::memcpy(&row.Amount, buffer + offAmount, 8);
        text(created, row.Created);
        std::memcpy(&row.Flag, buffer + offFlag, 8);
        row.NoteNull = sql.IsNull(sql.IndicatorBuffer(), 5);
        if (!row.NoteNull) text(note, row.Note);
        if (r.Rows == 0) timer.FirstRow(r);
        HashRow(row, r);
        more = sql.FetchNext();
    }
    if (session->LastErrorCode() < 0) return Failed(*session, "fetch");
    sql.Close();
    timer.Stop(r);
    return r;
}

// Parameterised inserts through ExecutePrepared with Variant values, in one
// user transaction.
TBenchResult InsertMany(const TBenchContext& context) {
    TBenchResult r;
    const std::string path = context.ScratchDir + "/w2-statement.db";
    if (!BenchCreateInsertTarget(path, r.Error)) return r;
    std::vector<TBenchRow> rows(static_cast<size_t>(context.InsertRows));
    for (size_t i = 0; i < rows.size(); ++i)
        BenchMakeRow(context.Seed + 1, static_cast<int64_t>(i) + 1, rows[i]);
    const TBenchTimer timer;
    {
        auto session = Connect(path);
        session->StartTransaction();
        TSqliteSQL sql;
        sql.SetSession(session.get());
        if (!sql.PrepareExecute("INSERT INTO items_w2 VALUES(?,?,?,?,?,?)"))
            return Failed(*session, "prepare");
        for (const TBenchRow& row : rows) {
            const bool ok = sql.ExecutePrepared(
                {host::Variant(row.Id), host::Variant(row.Name), host::Variant(row.Amount),
                 host::Variant(row.Created), host::Variant(row.Flag),
                 row.NoteNull ? host::Variant::Null() : host::Variant(row.Note)});
            if (!ok) return Failed(*session, "insert");
            ++r.Rows;
        }
        sql.UnprepareExecute();
        session->Commit();
    }
    timer.Stop(r);
    if (!BenchTableChecksum(path, "items_w2", r.Checksum, r.Error)) return r;
    return r;
}

} // namespace

void BenchAddStatementVariants(std::vector<TBenchVariant>& list) {
    list.push_back({"W1", "statement (GetFieldValue)", "", 1.2, 0,
                    "OpenRead + FetchNext; GetFieldValue(column number) and IsFieldNull", ScanByValue});
    list.push_back({"W1", "statement (row buffer)", "", 1.2, 0,
                    "OpenRead + FetchNext; numbers from RowBuffer at their offsets, text by "
                    "GetStoredBytes(column number)",
                    ScanByBuffer});
    list.push_back({"W2", "statement", "", 1.3, 0,
                    "PrepareExecute once, ExecutePrepared with six Variants per row", InsertMany});
}
