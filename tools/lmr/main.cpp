// lmr: the LumraDB command-line program. It dispatches to the commands
// (demo, query, exec; see Lmr.h) and turns their errors into one line on
// standard error and the exit status.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/lmr/Lmr.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(LmrUsageText, stderr);
        return 2;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    try {
        if (command == "--help" || command == "-h" || command == "help") {
            std::fputs(LmrUsageText, stdout);
            std::fflush(stdout);
            LmrCheckOutput(stdout);
            return 0;
        }
        int status = 0;
        if (command == "demo")
            status = LmrDemo(args);
        else if (command == "query")
            status = LmrQuery(args);
        else if (command == "exec")
            status = LmrExec(args);
        else
            throw ELmrUsage("unknown command '" + command + "'", "");
        // What is still buffered must reach its file, or the command did not succeed.
        std::fflush(stdout);
        LmrCheckOutput(stdout);
        return status;
    } catch (const ELmrInterrupted& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "lmr: %s\n", e.what());
        return 130;
    } catch (const ELmrUsage& e) {
        std::fflush(stdout);
        if (e.Synopsis().empty())
            std::fprintf(stderr, "lmr: %s (see lmr --help)\n", e.what());
        else
            std::fprintf(stderr, "lmr: %s (usage: %s)\n", e.what(), e.Synopsis().c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "lmr: %s\n", e.what());
        return 1;
    }
}
