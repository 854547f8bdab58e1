// lmr query: opens a query dataset on an existing database and writes each
// row as it is fetched. The command runs inside a transaction that is always
// rolled back, so that no SQL given to query can change the file.
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "tools/lmr/Arguments.h"
#include "tools/lmr/Lmr.h"
#include "tools/lmr/Output.h"

namespace {

// "lmr: N of M rows" on standard error while a long result is written
// elsewhere. It appears only when standard error is a terminal and standard
// output is not (on one terminal it would tear the rows apart), only after
// the first second, and is cleared at the end. The total is asked for only
// then, as counting may cost a pass over the rows.
class TProgress {
public:
    explicit TProgress(TSqliteQuery& query)
        : FQuery(query), FEnabled(isatty(STDERR_FILENO) == 1 && isatty(STDOUT_FILENO) != 1),
          FStart(std::chrono::steady_clock::now()), FLast(FStart) {}
    ~TProgress() { Clear(); }

    void Step(int64_t rows) {
        if (!FEnabled || (rows & 255) != 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - FStart < std::chrono::seconds(1) || now - FLast < std::chrono::milliseconds(200)) return;
        FLast = now;
        if (FTotal < 0) FTotal = FQuery.RecordCount();
        std::fprintf(stderr, "\rlmr: %lld of %lld rows\033[K", static_cast<long long>(rows),
                     static_cast<long long>(FTotal));
        std::fflush(stderr);
        FShown = true;
    }

    void Clear() {
        if (!FShown) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        FShown = false;
    }

private:
    TSqliteQuery& FQuery;
    int64_t FTotal = -1;
    bool FEnabled;
    bool FShown = false;
    std::chrono::steady_clock::time_point FStart;
    std::chrono::steady_clock::time_point FLast;
};

} // namespace

int LmrQuery(const std::vector<std::string>& args) {
    const TLmrArguments arguments = LmrParseArguments(args, true, LmrQuerySynopsis);
    const std::unique_ptr<TRowWriter> writer = MakeRowWriter(arguments.Format, stdout);
    TSqliteSession session;
    LmrOpenDatabase(session, arguments.Database);
    TSqliteQuery query;
    query.SetSession(&session);
    query.SQL()->SetText(arguments.SQL);
    LmrBindParams(query, arguments.Assignments, LmrQuerySynopsis);
    bool begun = false;
    session.StartTransaction();
    try {
        // Reads open no engine transaction of their own; without this one a
        // writing statement given to query would be committed by the engine.
        session.EnsureEngineTransaction();
        query.Open();
        TProgress progress(query);
        TLmrRowReader reader(query);
        writer->Begin(reader.Columns());
        begun = true;
        std::vector<TCell> cells;
        int64_t rows = 0;
        for (query.First(); !query.Eof(); query.Next()) {
            reader.Read(cells);
            writer->Row(cells);
            progress.Step(++rows);
        }
        progress.Clear();
        writer->End();
        query.Close();
    } catch (...) {
        if (begun) writer->Abandon();
        try {
            session.Rollback();
        } catch (...) {
            // The first error is the one worth reporting.
        }
        throw;
    }
    session.Rollback();
    return 0;
}
