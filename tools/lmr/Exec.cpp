// lmr exec: runs a statement that returns no rows on an existing database
// and reports the rows it changed. lmr opens no transaction of its own: the
// driver commits the change when it succeeds (and undoes it when it fails),
// and statements the engine refuses inside a transaction (VACUUM, PRAGMA
// journal_mode) run as they would in the engine's shell.
#include <cstdio>

#include "LmrBase/LmrErrors.h"
#include "drivers/sqlite/SqliteSession.h"
#include "drivers/sqlite/SqliteStatement.h"
#include "host/ResourceStrings.h"
#include "tools/lmr/Arguments.h"
#include "tools/lmr/Lmr.h"

int LmrExec(const std::vector<std::string>& args) {
    const TLmrArguments arguments = LmrParseArguments(args, false, LmrExecSynopsis);
    std::string text = arguments.SQL;
    const std::vector<host::Variant> values = LmrParamValues(text, arguments.Assignments, LmrExecSynopsis);
    TSqliteSession session;
    LmrOpenDatabase(session, arguments.Database);
    TSqliteSQL statement;
    statement.SetSession(&session);
    // Preparing as a cursor tells a statement that returns rows; nothing has run yet.
    if (statement.PrepareOpen(text))
        throw host::Exception(
            "the statement returns rows, so exec did not run it (lmr query runs it and shows them)");
    if (statement.GetLastError() != host::LoadResString(LUMRA_ERR_CURS_NOT_QUERY))
        throw host::Exception(statement.GetLastError());
    statement.UnprepareOpen();
    const host::Variant all = values.empty() ? host::Variant::Null() : host::VarArrayOf(values);
    const std::span<const host::Variant> given(&all, values.empty() ? 0 : 1);
    if (!statement.PrepareExecute(text) || !statement.ExecutePrepared(given))
        throw host::Exception(statement.GetLastError());
    const int32_t rows = statement.RowsProcessed();
    std::printf("%d %s affected\n", rows, rows == 1 ? "row" : "rows");
    return 0;
}
