// Shared declarations of the lmr command-line program: the commands, the
// error that stands for a wrong command line, and the helpers the commands
// share for opening a database and turning a dataset's rows into cells.
//
// Exit codes: 0 success, 1 a failure while running (missing database file,
// engine error, a parameter the SQL does not name or that has no value),
// 2 a command line that cannot be understood.
#pragma once

#include <string>
#include <vector>

#include "host/Exceptions.h"
#include "tools/lmr/Output.h"

class TSqliteQuery;
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

// Gives every host variable of query's SQL its value from "NAME=VALUE"
// assignments (names ignoring case, as the dataset matches them). Raises
// when an assignment names no host variable of the text or a host variable
// is left without a value. A value written as a plain decimal integer that
// fits 32 bits binds as an integer, anything else as text.
void LmrBindParams(TSqliteQuery& query, const std::vector<std::string>& assignments,
                   const std::string& synopsis);

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
