// lmr query: prepares a statement that returns rows on an existing database
// and writes each row as it is read. The cursor reads forward only, so memory
// stays the same however many rows come, and the session describes every
// column untyped, so each value shows as stored whatever its column
// declares. The SQL runs as written, in the engine's own autocommit, as the
// engine's shell runs it: PRAGMA and journal_mode work, and a statement that
// changes data and returns rows keeps its change.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>

#include "LmrBase/LmrErrors.h"
#include "drivers/sqlite/SqliteSession.h"
#include "drivers/sqlite/SqliteStatement.h"
#include "host/ResourceStrings.h"
#include "tools/lmr/Arguments.h"
#include "tools/lmr/Lmr.h"
#include "tools/lmr/Output.h"

namespace {

volatile std::sig_atomic_t GInterrupted = 0;

extern "C" void LmrOnInterrupt(int) {
    GInterrupted = 1;
}

// Catches the first Ctrl-C so that the row being written is finished and
// the command ends with a message; the handler resets itself, so a second
// Ctrl-C (say, while the engine computes a long first row) ends the program
// at once.
class TInterruptGuard {
public:
    TInterruptGuard() {
        struct sigaction action {};
        action.sa_handler = LmrOnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART | SA_RESETHAND;
        FInstalled = sigaction(SIGINT, &action, &FPrevious) == 0;
    }
    ~TInterruptGuard() {
        if (FInstalled) sigaction(SIGINT, &FPrevious, nullptr);
    }
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;

    static bool Interrupted() noexcept { return GInterrupted != 0; }

private:
    struct sigaction FPrevious {};
    bool FInstalled = false;
};

// "lmr: N of M rows" on standard error while a long result is written
// elsewhere. It appears only when standard error is a terminal and standard
// output is not (on one terminal it would tear the rows apart), only after
// the first second, and is cleared at the end. The total is asked for only
// then, as counting may cost a pass over the rows.
class TProgress {
public:
    explicit TProgress(TSqliteSQL& statement)
        : FStatement(statement), FEnabled(isatty(STDERR_FILENO) == 1 && isatty(STDOUT_FILENO) != 1),
          FStart(std::chrono::steady_clock::now()), FLast(FStart) {}
    ~TProgress() { Clear(); }

    void Step(int64_t rows) {
        if (!FEnabled || (rows & 255) != 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - FStart < std::chrono::seconds(1) || now - FLast < std::chrono::milliseconds(200)) return;
        FLast = now;
        if (FTotal == -1) {
            // The count is a statement of its own; a text it cannot wrap (some
            // PRAGMAs) only costs the progress line its total.
            try {
                FTotal = FStatement.RecordCount();
            } catch (const std::exception&) {
                FTotal = -2;
            }
        }
        if (FTotal >= 0)
            std::fprintf(stderr, "\rlmr: %lld of %lld rows\033[K", static_cast<long long>(rows),
                         static_cast<long long>(FTotal));
        else
            std::fprintf(stderr, "\rlmr: %lld rows\033[K", static_cast<long long>(rows));
        std::fflush(stderr);
        FShown = true;
    }

    void Clear() noexcept {
        if (!FShown) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        FShown = false;
    }

private:
    TSqliteSQL& FStatement;
    int64_t FTotal = -1;
    bool FEnabled;
    bool FShown = false;
    std::chrono::steady_clock::time_point FStart;
    std::chrono::steady_clock::time_point FLast;
};

[[noreturn]] void RaiseStatementError(TSqliteSQL& statement) {
    throw host::Exception(statement.GetLastError());
}

} // namespace

int LmrQuery(const std::vector<std::string>& args) {
    const TLmrArguments arguments = LmrParseArguments(args, true, LmrQuerySynopsis);
    const std::unique_ptr<TRowWriter> writer = MakeRowWriter(arguments.Format, stdout);
    std::string text = arguments.SQL;
    const std::vector<host::Variant> values = LmrParamValues(text, arguments.Assignments, LmrQuerySynopsis);
    TSqliteSession session;
    session.SetUntypedColumns(true);
    LmrOpenDatabase(session, arguments.Database);
    TSqliteSQL statement;
    statement.SetSession(&session);
    if (!statement.PrepareOpen(text)) {
        if (statement.GetLastError() == host::LoadResString(LUMRA_ERR_CURS_NOT_QUERY))
            throw host::Exception(
                "the statement returns no rows, so query did not run it (lmr exec runs it)");
        RaiseStatementError(statement);
    }
    // All values in one array, as the statement takes them (a lone NULL stays a value).
    const host::Variant all = values.empty() ? host::Variant::Null() : host::VarArrayOf(values);
    const std::span<const host::Variant> given(&all, values.empty() ? 0 : 1);
    TInterruptGuard interrupt;
    // Not read-only: query runs a change that returns rows as written, and a
    // read-only cursor refuses to run one.
    if (!statement.OpenPrepared(given, false)) RaiseStatementError(statement);
    int64_t rows = 0;
    bool begun = false;
    try {
        TProgress progress(statement);
        TLmrStatementReader reader(statement);
        writer->Begin(reader.Columns());
        begun = true;
        std::vector<TCell> cells;
        for (bool row = statement.FetchFirstForward();; row = statement.FetchNext()) {
            if (TInterruptGuard::Interrupted()) throw ELmrInterrupted(rows);
            if (!row) {
                if (!statement.Eof()) RaiseStatementError(statement);
                break;
            }
            reader.Read(cells);
            writer->Row(cells);
            LmrCheckOutput(stdout);
            progress.Step(++rows);
        }
        progress.Clear();
        writer->End();
        LmrCheckOutput(stdout);
    } catch (...) {
        if (begun) writer->Abandon();
        throw;
    }
    statement.Close();
    return 0;
}
