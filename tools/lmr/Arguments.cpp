// Parsing of the query and exec command lines.
#include "tools/lmr/Arguments.h"

#include "tools/lmr/Lmr.h"

TLmrArguments LmrParseArguments(const std::vector<std::string>& args, bool allowFormat,
                                const std::string& synopsis) {
    TLmrArguments result;
    std::vector<std::string> positional;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!options || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
        } else if (arg == "--") {
            options = false;
        } else if (arg == "-p" || arg == "--param") {
            if (i + 1 == args.size()) throw ELmrUsage(arg + " needs NAME=VALUE", synopsis);
            result.Assignments.push_back(args[++i]);
        } else if (arg.rfind("--param=", 0) == 0) {
            result.Assignments.push_back(arg.substr(8));
        } else if (allowFormat && (arg == "--format" || arg.rfind("--format=", 0) == 0)) {
            if (arg == "--format") {
                if (i + 1 == args.size()) throw ELmrUsage("--format needs table, csv or json", synopsis);
                result.Format = args[++i];
            } else {
                result.Format = arg.substr(9);
            }
            if (result.Format != "table" && result.Format != "csv" && result.Format != "json")
                throw ELmrUsage("unknown format '" + result.Format + "' (table, csv or json)", synopsis);
        } else {
            throw ELmrUsage("unknown option '" + arg + "'", synopsis);
        }
    }
    if (positional.size() < 2)
        throw ELmrUsage(positional.empty() ? "missing DB and SQL" : "missing SQL", synopsis);
    if (positional.size() > 2) throw ELmrUsage("unexpected argument '" + positional[2] + "'", synopsis);
    result.Database = positional[0];
    result.SQL = positional[1];
    return result;
}
