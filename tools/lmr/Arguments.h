// The command line of lmr query and lmr exec: DB and SQL, -p NAME=VALUE
// assignments and, for query, --format.
#pragma once

#include <string>
#include <vector>

struct TLmrArguments {
    std::string Database;
    std::string SQL;
    std::vector<std::string> Assignments;
    std::string Format = "table";
};

// Options may come before, between or after DB and SQL; "--" ends them (for
// SQL text that starts with "-"). Raises ELmrUsage with synopsis for
// anything else. allowFormat: whether --format is an option of the command.
TLmrArguments LmrParseArguments(const std::vector<std::string>& args, bool allowFormat,
                                const std::string& synopsis);
