// Shared declarations of the lmr command-line program: the commands, the
// error that stands for a wrong command line, and the helpers the commands
// share for opening a database and turning a dataset's rows into cells.
//
// Exit codes: 0 success, 1 a failure while running (missing database file,
// engine error, a parameter the SQL does not name or that has no value, a
// statement given to the wrong command, output that cannot be written),
// 2 a command line that cannot be understood, 130 interrupted (SIGINT).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/Exceptions.h"
#include "host/Variant.h"
#include "tools/lmr/Output.h"

class TSqliteQuery;
class TSqliteSQL;
namespace host {
class TField;
}
class TSqliteSession;

// A command line that cannot be understood. Synopsis is the usage line of
// the command concerned (empty for the program as a whole).
class ELmrUsage : public host::Exception {
public:
    ELmrUsage(std::string message, std::string synopsis)
        : host::Exception(std::move(message)), FSynopsis(std::move(synopsis)) {}
    const std::string& Synopsis() const noexcept { return FSynopsis; }

private:
    std::string FSynopsis;
};

// Ctrl-C ended a command; rows is what was written before it.
class ELmrInterrupted : public host::Exception {
public:
    explicit ELmrInterrupted(int64_t rows)
        : host::Exception("interrupted after " + std::to_string(rows) + (rows == 1 ? " row" : " rows")) {}
};

// The whole usage text for lmr --help.
extern const char* const LmrUsageText;
extern const char* const LmrQuerySynopsis;
extern const char* const LmrExecSynopsis;
extern const char* const LmrDemoSynopsis;

// The commands; args are the words after the command name.
int LmrDemo(const std::vector<std::string>& args);
int LmrQuery(const std::vector<std::string>& args);
int LmrExec(const std::vector<std::string>& args);

// Opens an existing database file, never creating one; a missing file
// raises "no such database file: FILE" before the engine is asked.
void LmrOpenDatabase(TSqliteSession& session, const std::string& file);

// The values of the :NAME host variables of sql, one per occurrence in text
// order as the statement takes them, from "-p" assignments (names ignoring
// case, as the dataset matches them; see LmrUsageText for the value forms).
// sql is rewritten as the dataset's parameter scan rewrites it ("::" becomes
// ":"), and that text is the one to run. Raises when an assignment names no
// host variable of the text or a host variable is left without a value; a
// value that its type word does not fit is a command-line error (ELmrUsage).
std::vector<host::Variant> LmrParamValues(std::string& sql, const std::vector<std::string>& assignments,
                                          const std::string& synopsis);

// Thrown when standard output cannot take what is written (a full disk, a
// closed pipe with SIGPIPE ignored): the command must not report success.
// Raises "cannot write the output: REASON" when out holds a write error.
void LmrCheckOutput(std::FILE* out);

// Reads the rows of an open statement cursor as output cells, each value
// with the type it is stored with (the session reads untyped columns). The
// columns are the statement's except the key column the driver adds on its
// own (the rowid).
class TLmrStatementReader {
public:
    explicit TLmrStatementReader(TSqliteSQL& statement);
    const std::vector<TColumn>& Columns() const noexcept { return FColumns; }
    // The current row's cells, one per column.
    void Read(std::vector<TCell>& cells);

private:
    TSqliteSQL& FStatement;
    std::vector<int32_t> FSources; // column number per output column
    std::vector<TColumn> FColumns;
};

// Reads an open query's rows as output cells. The columns are the query's
// fields except the key column the driver adds on its own (the rowid), in
// field order.
class TLmrRowReader {
public:
    explicit TLmrRowReader(TSqliteQuery& query);
    const std::vector<TColumn>& Columns() const noexcept { return FColumns; }
    // The active record's cells, one per column.
    void Read(std::vector<TCell>& cells);

private:
    struct TSource {
        host::TField* Field;
        // Declared scale of a numeric column, 0 when none.
        int32_t Decimals;
    };
    TSqliteQuery& FQuery;
    std::vector<TSource> FSources;
    std::vector<TColumn> FColumns;
};
