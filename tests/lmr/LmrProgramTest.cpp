// The lmr program end to end: each command is run as a child process on a
// database file in a temporary folder, and its standard output, standard
// error and exit status are checked.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>

#include "drivers/sqlite/SqliteSession.h"

namespace fs = std::filesystem;

namespace {

struct TRun {
    int Status = -1;
    std::string Out;
    std::string Err;
};

// The program is built as tools/lmr in the build folder, the tests in tests/.
fs::path ProgramPath() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return {};
    const fs::path tools = self.parent_path().parent_path() / "tools";
    if (fs::is_regular_file(tools / "lmr")) return tools / "lmr";
    return tools / "lmr" / "lmr";
}

std::string Quoted(const std::string& arg) {
    std::string out = "'";
    for (char c : arg)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class LmrProgram : public ::testing::Test {
protected:
    void SetUp() override {
        Program = ProgramPath();
        if (!fs::exists(Program)) FAIL() << "lmr program not built at " << Program << " (build target lmr)";
        char pattern[] = "/tmp/lmr-program-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        File = (Folder / "test.db").string();
        Sql({"create table items (id integer primary key, name varchar(20), note text, price real, qty "
             "integer)",
             "insert into items values (1, 'plain', null, 2.5, 3)",
             "insert into items values (2, 'a, \"quoted\"', 'line one\nline two', null, -7)",
             "insert into items values (3, '', 'tab\there', 1e-3, null)"});
    }
    void TearDown() override {
        if (!Folder.empty()) fs::remove_all(Folder);
    }

    void Sql(std::initializer_list<const char*> statements) {
        TSqliteSession session;
        session.SetDatabaseName(File);
        session.SetCreateIfMissing(true);
        session.Open();
        for (const char* text : statements)
            ASSERT_EQ(session.Execute(text), 0) << session.LastError();
    }

    // output: where standard output goes instead of the pipe read here.
    TRun Run(const std::vector<std::string>& args, const std::string& output = "") {
        std::string command = Quoted(Program.string());
        for (const std::string& arg : args)
            command += " " + Quoted(arg);
        const fs::path err = Folder / "stderr.txt";
        command += " 2>" + Quoted(err.string());
        if (!output.empty()) command += " >" + Quoted(output);
        TRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            ADD_FAILURE() << "cannot run " << command;
            return run;
        }
        std::array<char, 4096> buffer;
        size_t n;
        while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            run.Out.append(buffer.data(), n);
        const int status = pclose(pipe);
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.Err = ReadFile(err);
        return run;
    }

    // The rows of items as csv, to see that a command left the file alone.
    std::string Items() {
        return Run({"query", File, "select * from items order by id", "--format", "csv"}).Out;
    }

    fs::path Program;
    fs::path Folder;
    std::string File;
};

} // namespace

TEST_F(LmrProgram, TableAlignsColumnsRightAlignsNumbersAndShowsNullAndControlCharacters) {
    const TRun run = Run({"query", File, "select id, name, note, price from items order by id"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    EXPECT_EQ(run.Out, "id  name         note                price\n"
                       "--  -----------  ------------------  -----\n"
                       " 1  plain        NULL                  2.5\n"
                       " 2  a, \"quoted\"  line one\\nline two  NULL\n"
                       " 3               tab\\there           0.001\n"
                       "(3 rows)\n");
}

TEST_F(LmrProgram, CsvQuotesCommasQuotesAndLineBreaksAndTellsNullFromEmptyText) {
    const TRun run =
        Run({"query", File, "select id, name, note, price, qty from items order by id", "--format=csv"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "id,name,note,price,qty\r\n"
                       "1,plain,,2.5,3\r\n"
                       "2,\"a, \"\"quoted\"\"\",\"line one\nline two\",,-7\r\n"
                       "3,\"\",tab\there,0.001,\r\n");
}

TEST_F(LmrProgram, JsonWritesNumbersAsNumbersNullAsNullAndEscapesText) {
    const TRun run = Run({"query", File,
                          "select id, name, note, price, qty, id * 2 as twice, 'x\\y' as raw"
                          " from items order by id",
                          "--format", "json"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(
        run.Out,
        "[\n"
        "  {\"id\": 1, \"name\": \"plain\", \"note\": null, \"price\": 2.5, \"qty\": 3, \"twice\": 2, "
        "\"raw\": \"x\\\\y\"},\n"
        "  {\"id\": 2, \"name\": \"a, \\\"quoted\\\"\", \"note\": \"line one\\nline two\", \"price\": null, "
        "\"qty\": -7, \"twice\": 4, \"raw\": \"x\\\\y\"},\n"
        "  {\"id\": 3, \"name\": \"\", \"note\": \"tab\\there\", \"price\": 0.001, \"qty\": null, \"twice\": "
        "6, "
        "\"raw\": \"x\\\\y\"}\n"
        "]\n");
    EXPECT_EQ(Run({"query", File, "select * from items where id > 9", "--format", "json"}).Out, "[]\n");
}

TEST_F(LmrProgram, ParametersBindByNameIntegersAsNumbersAndEverythingElseAsText) {
    // -p names ignore case as the dataset's parameters do; "007" stays text.
    TRun run = Run({"query", File,
                    "select name, :code as code, :one + 0 as n from items where id = :low or id = :high",
                    "-p", "ONE=1", "-p", "low=1", "-p", "high=2", "--format", "json", "-p", "code=007"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "[\n"
                       "  {\"name\": \"plain\", \"code\": \"007\", \"n\": 1},\n"
                       "  {\"name\": \"a, \\\"quoted\\\"\", \"code\": \"007\", \"n\": 1}\n"
                       "]\n");
    run = Run({"query", File, "select id from items where name = :name", "-p", "name=a, \"quoted\"",
               "--format", "csv"});
    EXPECT_EQ(run.Out, "id\r\n2\r\n");
}

TEST_F(LmrProgram, ExecPrintsTheRowsAffectedAndKeepsTheChange) {
    TRun run =
        Run({"exec", File, "update items set qty = :qty where id < :below", "-p", "qty=10", "-p", "below=3"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "2 rows affected\n");
    EXPECT_EQ(Run({"query", File, "select sum(qty) as total from items", "--format", "csv"}).Out,
              "total\r\n20\r\n");
    run = Run({"exec", File, "delete from items where id = 99"});
    EXPECT_EQ(run.Out, "0 rows affected\n");
}

TEST_F(LmrProgram, ErrorsPrintOneLineExitNonZeroAndLeaveTheFileAlone) {
    struct TCase {
        std::vector<std::string> Args;
        int Status;
        std::string Message;
    };
    const std::string missing = (Folder / "missing.db").string();
    const std::vector<TCase> cases = {
        {{"query", missing, "select 1"}, 1, "lmr: no such database file: " + missing},
        {{"exec", missing, "create table t (a)"}, 1, "lmr: no such database file: " + missing},
        {{"query", File, "select * from nope"}, 1, "no such table: nope"},
        {{"exec", File, "update nope set a = 1"}, 1, "no such table: nope"},
        {{"exec", File, "insert into items (id) values (4), (1)"}, 1, "UNIQUE constraint failed: items.id"},
        {{"query", File, "select * from items where id = :id"}, 1, "lmr: parameter :id has no value"},
        {{"exec", File, "delete from items where id = :id"}, 1, "lmr: parameter :id has no value"},
        {{"query", File, "select 1", "-p", "id=1"}, 1, "lmr: parameter 'id' does not appear in the SQL"},
        {{"query", File, "select :a", "-p", "a"},
         2,
         "lmr: -p needs NAME=VALUE, NAME:TYPE=VALUE or NAME:null, not 'a' (usage: lmr query DB SQL"},
        {{"query", File, "select :a", "-p", "a:int=12x"},
         2,
         "lmr: -p a:int needs a 64-bit decimal integer, not '12x' (usage: lmr query DB SQL"},
        {{"query", File, "select :a", "-p", "a:int=9223372036854775808"},
         2,
         "needs a 64-bit decimal integer"},
        {{"query", File, "select :a", "-p", "a:real=nan"},
         2,
         "lmr: -p a:real needs a real number, not 'nan'"},
        {{"query", File, "select :a", "-p", "a:real="}, 2, "lmr: -p a:real needs a real number, not ''"},
        {{"exec", File, "delete from items where id = :a", "-p", "a:null=1"},
         2,
         "lmr: -p a:null takes no value, not 'a:null=1'"},
        {{"exec", File, "select * from items"},
         1,
         "lmr: the statement returns rows, so exec did not run it (lmr query runs it and shows them)"},
        {{"exec", File, "delete from items returning id"},
         1,
         "lmr: the statement returns rows, so exec did not run it"},
        {{"query", File, "insert into items (id) values (4)"},
         1,
         "lmr: the statement returns no rows, so query did not run it (lmr exec runs it)"},
        {{"query", File, "delete from items"}, 1, "lmr: the statement returns no rows"},
        {{"query", File, "select 1", "--fast"}, 2, "lmr: unknown option '--fast' (usage: lmr query DB SQL"},
        {{"exec", File, "select 1", "--format", "csv"},
         2,
         "lmr: unknown option '--format' (usage: lmr exec DB SQL"},
        {{"query", File, "select 1", "--format", "xml"}, 2, "lmr: unknown format 'xml'"},
        {{"query", File}, 2, "lmr: missing SQL (usage: lmr query DB SQL"},
        {{"exec", File, "delete from items", "extra"}, 2, "lmr: unexpected argument 'extra'"},
        {{"frobnicate"}, 2, "lmr: unknown command 'frobnicate' (see lmr --help)"},
        {{}, 2, "usage: lmr demo [FILE]"},
    };
    const std::string before = Items();
    ASSERT_NE(before, "");
    for (const TCase& c : cases) {
        std::string line;
        for (const std::string& arg : c.Args)
            line += arg + " ";
        SCOPED_TRACE(line);
        const TRun run = Run(c.Args);
        EXPECT_EQ(run.Status, c.Status) << run.Err;
        EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
        if (c.Status == 1) {
            EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << "one line: " << run.Err;
        }
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_EQ(Items(), before);
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(LmrProgram, QueryRunsAStatementThatReturnsRowsAsWrittenAndKeepsWhatItChanges) {
    TRun run = Run({"query", File, "delete from items where id = 3 returning id", "--format", "csv"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "id\r\n3\r\n");
    EXPECT_EQ(Run({"query", File, "select count(*) as n from items", "--format", "csv"}).Out, "n\r\n2\r\n");
}

TEST_F(LmrProgram, PragmaVacuumAndJournalModeRunWithoutATransactionOfLmr) {
    // Statements the engine refuses inside a transaction: lmr must not have opened one.
    TRun run = Run({"query", File, "pragma journal_mode = wal", "--format", "csv"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "journal_mode\r\nwal\r\n");
    EXPECT_EQ(Run({"query", File, "pragma journal_mode", "--format", "csv"}).Out, "journal_mode\r\nwal\r\n");
    run = Run({"exec", File, "pragma user_version = 7"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "0 rows affected\n");
    EXPECT_EQ(Run({"query", File, "pragma user_version", "--format", "csv"}).Out, "user_version\r\n7\r\n");
    run = Run({"query", File, "select name, type, pk from pragma_table_info('items') where pk = 1",
               "--format", "csv"});
    EXPECT_EQ(run.Out, "name,type,pk\r\nid,INTEGER,1\r\n") << run.Err;
    run = Run({"query", File, "pragma table_info(items)", "--format", "csv"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("\r\n1,name,varchar(20),0,,0\r\n"), std::string::npos) << run.Out;
}

TEST_F(LmrProgram, ExecRunsVacuumOutsideAnyTransaction) {
    TRun run = Run({"exec", File, "vacuum"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "0 rows affected\n");
    EXPECT_EQ(Items().substr(0, 24), "id,name,note,price,qty\r\n");
}

TEST_F(LmrProgram, QueryShowsEveryStoredValueWhateverItsColumnDeclares) {
    // Values the engine keeps whatever the declared type: each one reads as stored, as the engine's shell
    // shows it.
    Sql({"create table loose (id integer primary key, code varchar(3), n integer, flag boolean, day date,"
         " amount numeric(10,2))",
         "insert into loose values (1, 'longer than three', 'text in an integer', 'yes', 1700000000, 'n/a')",
         "insert into loose values (2, 'ab', 5000000000, 1, '2024-02-29', 2.5)",
         "insert into loose values (3, x'00ff', 1.25, 2, 'not a date', null)"});
    TRun run = Run({"query", File, "select * from loose order by id", "--format", "csv"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "id,code,n,flag,day,amount\r\n"
                       "1,longer than three,text in an integer,yes,1700000000,n/a\r\n"
                       "2,ab,5000000000,1,2024-02-29,2.5\r\n"
                       "3,00ff,1.25,2,not a date,\r\n");
    run = Run({"query", File, "select code, n, day from loose where id = 1", "--format", "json"});
    EXPECT_EQ(
        run.Out,
        "[\n  {\"code\": \"longer than three\", \"n\": \"text in an integer\", \"day\": 1700000000}\n]\n")
        << run.Err;
    run = Run({"query", File, "select id, code from loose order by id"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find(" 1  longer than three\n"), std::string::npos) << run.Out;
}

struct TParamCase {
    std::string Assignment;
    std::string Shown; // csv of "select typeof(:v), :v"
};

class LmrParameterForms : public LmrProgram, public ::testing::WithParamInterface<TParamCase> {};

TEST_P(LmrParameterForms, BindWithTheTypeTheyAskFor) {
    const TRun run = Run(
        {"query", File, "select typeof(:v) as t, :v as v", "-p", GetParam().Assignment, "--format", "csv"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "t,v\r\n" + GetParam().Shown + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Forms, LmrParameterForms,
                         ::testing::ValuesIn(std::vector<TParamCase>{
                             {"v=5000000000", "integer,5000000000"},
                             {"v=-9223372036854775808", "integer,-9223372036854775808"},
                             {"v=9223372036854775808", "text,9223372036854775808"},
                             {"v=007", "text,007"},
                             {"v=1.5", "text,1.5"},
                             {"v:int=0042", "integer,42"},
                             {"v:int=+7", "integer,7"},
                             {"v:real=1.5", "real,1.5"},
                             {"v:real=-2e-3", "real,-0.002"},
                             {"V:REAL=3", "real,3.0"},
                             {"v:text=007", "text,007"},
                             {"v:text=", "text,\"\""},
                             {"v:null", "null,"},
                             {"v=a=b", "text,a=b"},
                         }));

TEST_F(LmrProgram, IntegersBeyond32BitsMatchStoredIntegers) {
    Sql({"create table big (n integer)", "insert into big values (5000000000), (5)"});
    TRun run =
        Run({"query", File, "select n from big where n = :v", "-p", "v=5000000000", "--format", "csv"});
    EXPECT_EQ(run.Out, "n\r\n5000000000\r\n") << run.Err;
    run = Run({"exec", File, "update big set n = :n where n = :old", "-p", "n:null", "-p", "old=5000000000"});
    EXPECT_EQ(run.Out, "1 row affected\n") << run.Err;
    EXPECT_EQ(Run({"query", File, "select count(*) as c from big where n is null", "--format", "csv"}).Out,
              "c\r\n1\r\n");
}

TEST_F(LmrProgram, OutputThatCannotBeWrittenEndsWithAMessageAndStatusOne) {
    const std::vector<std::vector<std::string>> commands = {
        {"query", File, "select * from items"},
        {"query", File, "select * from items", "--format", "csv"},
        {"query", File, "select * from items", "--format", "json"},
        {"exec", File, "update items set qty = qty"},
        {"--help"},
    };
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0] + " " + args.back());
        const TRun run = Run(args, "/dev/full");
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Err, "lmr: cannot write the output: No space left on device\n");
    }
}

// Runs lmr with standard output on a pipe read here, sends SIGINT after the
// first `after` bytes and returns what it wrote and its exit status.
TRun InterruptedRun(const fs::path& program, const std::vector<std::string>& args, size_t after) {
    TRun run;
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) {
        ADD_FAILURE() << "pipe: " << errno;
        return run;
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]), close(out[1]), close(err[0]), close(err[1]);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    std::array<char, 4096> buffer;
    bool sent = false;
    ssize_t n;
    while ((n = read(out[0], buffer.data(), buffer.size())) > 0) {
        run.Out.append(buffer.data(), static_cast<size_t>(n));
        if (!sent && run.Out.size() >= after) {
            kill(child, SIGINT);
            sent = true;
        }
    }
    while ((n = read(err[0], buffer.data(), buffer.size())) > 0)
        run.Err.append(buffer.data(), static_cast<size_t>(n));
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST_F(LmrProgram, CtrlCEndsWithAMessageAndOnlyWholeRows) {
    const std::string endless = "with recursive n(i) as (select 1 union all select i + 1 from n)"
                                " select i, 'row ' || i as text, i * 2 as twice from n";
    for (const std::string format : {"csv", "table", "json"}) {
        SCOPED_TRACE(format);
        const TRun run = InterruptedRun(Program, {"query", File, endless, "--format", format}, 200000);
        EXPECT_EQ(run.Status, 130) << run.Err;
        EXPECT_TRUE(std::regex_match(run.Err, std::regex("lmr: interrupted after [0-9]+ rows\n"))) << run.Err;
        ASSERT_FALSE(run.Out.empty());
        EXPECT_EQ(run.Out.back(), '\n');
        // Every row is whole: its number, its text and its double agree.
        std::istringstream lines(run.Out);
        std::string line;
        int64_t rows = 0;
        const std::regex row(format == "csv" ? "([0-9]+),row ([0-9]+),([0-9]+)\r"
                             : format == "table"
                                 ? " *([0-9]+)  row ([0-9]+) +([0-9]+)"
                                 : " *\\{\"i\": ([0-9]+), \"text\": \"row ([0-9]+)\", \"twice\": "
                                   "([0-9]+)\\},?");
        while (std::getline(lines, line)) {
            std::smatch m;
            if (!std::regex_match(line, m, row)) continue;
            ++rows;
            EXPECT_EQ(m[1], m[2]) << line;
            EXPECT_EQ(std::stoll(m[3]), 2 * std::stoll(m[1])) << line;
        }
        const size_t header = format == "table" ? 2 : 1;
        EXPECT_EQ(static_cast<size_t>(std::count(run.Out.begin(), run.Out.end(), '\n')),
                  static_cast<size_t>(rows) + header);
        EXPECT_NE(run.Err.find("after " + std::to_string(rows) + " rows"), std::string::npos) << run.Err;
    }
}

TEST_F(LmrProgram, AForwardListingKeepsItsMemoryWhateverTheNumberOfRows) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer keeps freed memory in quarantine, so the peak says nothing here";
#endif
    // 400,000 rows of 200 bytes: keeping them would take some 80 MB.
    const std::string rows =
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 400000)"
        " select i, printf('%200d', i) as wide from n";
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execl(Program.c_str(), Program.c_str(), "query", File.c_str(), rows.c_str(), "--format", "csv",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    ASSERT_EQ(wait4(child, &status, 0, &usage), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_LT(usage.ru_maxrss, 30 * 1024) << "peak resident kilobytes";
}

TEST_F(LmrProgram, RowsAreWrittenAsTheyAreFetchedBeforeALaterRowFails) {
    // Row 60 overflows while it is computed: the rows before it are already out.
    const TRun run =
        Run({"query", File,
             "with recursive n(i) as (select 1 union all select i + 1 from n where i < 80)"
             " select i, case when i = 60 then abs(-9223372036854775807 - 1) else i end as v from n",
             "--format", "csv"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("integer overflow"), std::string::npos) << run.Err;
    EXPECT_NE(run.Out.find("\r\n59,59\r\n"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Out.find("\r\n60,"), std::string::npos) << run.Out;
    // The table holds its first screenful back to size the columns; a failure still shows what was read.
    const TRun table = Run({"query", File,
                            "select id, case when id = 3 then abs(-9223372036854775807 - 1) end as v"
                            " from items"});
    EXPECT_EQ(table.Status, 1);
    EXPECT_EQ(table.Out, "id  v\n--  ----\n 1  NULL\n 2  NULL\n") << table.Err;
}

TEST_F(LmrProgram, TableNeverCutsAValueWiderThanItsColumn) {
    // The first screenful sizes the note column; the long note comes later and is written whole.
    std::string script = "with recursive n(i) as (select 1 union all select i + 1 from n where i < 30)"
                         " select i, case when i = 30 then '" +
                         std::string(60, 'w') +
                         "' else 'short' end as note,"
                         " 'end' as tail from n";
    const TRun run = Run({"query", File, script});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("\n 1  short  end\n"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("\n30  " + std::string(60, 'w') + "  end\n"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("(30 rows)\n"), std::string::npos);
}

TEST_F(LmrProgram, HelpPrintsUsageAndDemoRunsTwiceOnItsOwnFile) {
    TRun run = Run({"--help"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Out.find("lmr query DB SQL [-p NAME=VALUE]... [--format table|csv|json]"),
              std::string::npos);
    const std::string demo = (Folder / "demo.db").string();
    run = Run({"demo", demo});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("Created the sample database"), std::string::npos);
    const TRun again = Run({"demo", demo});
    EXPECT_EQ(again.Status, 0) << again.Err;
    EXPECT_EQ(again.Out.find("Created"), std::string::npos);
    // The demo's ExecSQL is rolled back, so a second run shows the same data.
    EXPECT_EQ(again.Out, run.Out.substr(run.Out.find("LumraDB")));
    EXPECT_NE(again.Out.find("2 rows affected"), std::string::npos);
}

TEST_F(LmrProgram, JsonWritesStoredValuesBytesAsHexAndStaysValidUtf8) {
    Sql({"create table kinds (b boolean, d date, bin binary(4), bl blob, u varchar(10), m text)",
         "insert into kinds values (1, '2024-02-29', x'0102', x'ff00', 'h\xc3\xa9llo', cast(x'ff41' as "
         "text))"});
    const TRun run = Run({"query", File, "select * from kinds", "--format", "json"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    // A byte that is not UTF-8 is read as Latin-1 rather than written raw.
    // A Boolean column holds the integer it stores, as the engine shows it.
    EXPECT_EQ(run.Out, "[\n  {\"b\": 1, \"d\": \"2024-02-29\", \"bin\": \"0102\", \"bl\": \"ff00\", "
                       "\"u\": \"h\xc3\xa9llo\", "
                       "\"m\": \"\\u00ffA\"}\n]\n");
}
