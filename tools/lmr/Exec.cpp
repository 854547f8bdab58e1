// lmr exec: runs a statement that returns no rows on an existing database
// and reports the rows it changed. The statement runs in its own
// transaction, so a failure leaves the file as it was.
#include <cstdio>

#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "tools/lmr/Arguments.h"
#include "tools/lmr/Lmr.h"

int LmrExec(const std::vector<std::string>& args) {
    const TLmrArguments arguments = LmrParseArguments(args, false, LmrExecSynopsis);
    TSqliteSession session;
    LmrOpenDatabase(session, arguments.Database);
    TSqliteQuery query;
    query.SetSession(&session);
    query.SQL()->SetText(arguments.SQL);
    LmrBindParams(query, arguments.Assignments, LmrExecSynopsis);
    int32_t rows = 0;
    session.StartTransaction();
    try {
        query.ExecSQL();
        rows = query.GetRowsAffected();
        session.Commit();
    } catch (...) {
        try {
            session.Rollback();
        } catch (...) {
            // The first error is the one worth reporting.
        }
        throw;
    }
    std::printf("%d rows affected\n", rows);
    return 0;
}
