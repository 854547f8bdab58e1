// The lmr program end to end: each command is run as a child process on a
// database file in a temporary folder, and its standard output, standard
// error and exit status are checked.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

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
        if (!fs::exists(Program))
            GTEST_SKIP() << "lmr program not built at " << Program << " (build target lmr)";
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

    TRun Run(const std::vector<std::string>& args) {
        std::string command = Quoted(Program.string());
        for (const std::string& arg : args)
            command += " " + Quoted(arg);
        const fs::path err = Folder / "stderr.txt";
        command += " 2>" + Quoted(err.string());
        TRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return run;
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
         "lmr: -p needs NAME=VALUE, not 'a' (usage: lmr query DB SQL"},
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

TEST_F(LmrProgram, QueryNeverChangesTheDatabase) {
    const std::string before = Items();
    const TRun run = Run({"query", File, "delete from items returning id"});
    EXPECT_EQ(Items(), before) << run.Out << run.Err;
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

TEST_F(LmrProgram, JsonWritesBooleansDatesAndBytesAndStaysValidUtf8) {
    Sql({"create table kinds (b boolean, d date, bin binary(4), bl blob, u varchar(10), m text)",
         "insert into kinds values (1, '2024-02-29', x'0102', x'ff00', 'h\xc3\xa9llo', cast(x'ff41' as "
         "text))"});
    const TRun run = Run({"query", File, "select * from kinds", "--format", "json"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    // A byte that is not UTF-8 is read as Latin-1 rather than written raw.
    EXPECT_EQ(run.Out, "[\n  {\"b\": true, \"d\": \"2024-02-29\", \"bin\": \"0102\", \"bl\": \"ff00\", "
                       "\"u\": \"h\xc3\xa9llo\", "
                       "\"m\": \"\\u00ffA\"}\n]\n");
}
