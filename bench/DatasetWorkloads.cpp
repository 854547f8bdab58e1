// The dataset variants: TSqliteQuery on the framework's record-buffer
// protocol, read through field objects held once (the framework's own way of
// avoiding a name lookup per value) and their As... accessors.
#include <memory>
#include <vector>

#include "bench/BenchData.h"
#include "bench/BenchHarness.h"
#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "host/Fields.h"

namespace {

constexpr const char* SelectItems = "SELECT id, name, amount, created, flag, note FROM items";

struct TItemFields {
    host::TField* Id;
    host::TField* Name;
    host::TField* Amount;
    host::TField* Created;
    host::TField* Flag;
    host::TField* Note;
};

struct TOpenQuery {
    std::unique_ptr<TSqliteSession> Session;
    std::unique_ptr<TSqliteQuery> Query;
    TItemFields Fields{};
};

void OpenItems(const TBenchContext& context, TOpenQuery& open) {
    open.Session = std::make_unique<TSqliteSession>();
    open.Session->SetDatabaseName(context.Database);
    open.Query = std::make_unique<TSqliteQuery>();
    open.Query->SetSession(open.Session.get());
    open.Query->SQL()->SetText(SelectItems);
    open.Query->Open();
    host::TFields* f = open.Query->Fields();
    open.Fields = {f->Fields(0), f->Fields(1), f->Fields(2), f->Fields(3), f->Fields(4), f->Fields(5)};
}

void ReadRow(const TItemFields& f, TBenchRow& row, TBenchResult& r) {
    row.Id = f.Id->AsLargeInt();
    row.Name = f.Name->AsString();
    row.Amount = f.Amount->AsFloat();
    row.Created = f.Created->AsString();
    row.Flag = f.Flag->AsLargeInt();
    row.NoteNull = f.Note->IsNull();
    if (!row.NoteNull) row.Note = f.Note->AsString();
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

// Open, then Next to the end.
TBenchResult ScanForward(const TBenchContext& context) {
    TBenchResult r;
    const TBenchTimer timer;
    TOpenQuery open;
    OpenItems(context, open);
    TBenchRow row;
    for (; !open.Query->Eof(); open.Query->Next()) {
        ReadRow(open.Fields, row, r);
        if (r.Rows == 1) timer.FirstRow(r);
    }
    open.Query->Close();
    timer.Stop(r);
    return r;
}

// Open, then Next to the end, finding each field by name for every value, as
// much application code does.
TBenchResult ScanByName(const TBenchContext& context) {
    TBenchResult r;
    const TBenchTimer timer;
    TOpenQuery open;
    OpenItems(context, open);
    TSqliteQuery& q = *open.Query;
    TBenchRow row;
    for (; !q.Eof(); q.Next()) {
        const TItemFields f{q.FieldByName("id"),      q.FieldByName("name"), q.FieldByName("amount"),
                            q.FieldByName("created"), q.FieldByName("flag"), q.FieldByName("note")};
        ReadRow(f, row, r);
        if (r.Rows == 1) timer.FirstRow(r);
    }
    q.Close();
    timer.Stop(r);
    return r;
}

// Open, Last, then Prior back to the first row, reading every row on the way back.
TBenchResult ScrollBack(const TBenchContext& context) {
    TBenchResult r;
    const TBenchTimer timer;
    TOpenQuery open;
    OpenItems(context, open);
    open.Query->Last();
    TBenchRow row;
    // At the first row Prior sets Bof and stays, so each row is read once.
    while (!open.Query->Bof()) {
        ReadRow(open.Fields, row, r);
        open.Query->Prior();
    }
    open.Query->Close();
    timer.Stop(r);
    return r;
}

} // namespace

void BenchAddDatasetVariants(std::vector<TBenchVariant>& list) {
    list.push_back({"W1", "dataset", "", 1.3, 1.2,
                    "TSqliteQuery: Open, Next to Eof; AsLargeInt, AsString, AsFloat, IsNull", ScanForward});
    TBenchVariant byName{
        "W1",
        "dataset (FieldByName)",
        "",
        1.15,
        0,
        "as the dataset scan, with FieldByName for every value instead of field objects held "
        "once; target against the dataset scan",
        ScanByName};
    byName.Baseline = "dataset";
    list.push_back(byName);
    list.push_back(
        {"W3", "dataset", "W1", 1.3, 1.2,
         "TSqliteQuery: Open, Last, Prior back to Bof reading every row; ratio to one C API forward scan",
         ScrollBack});
}
