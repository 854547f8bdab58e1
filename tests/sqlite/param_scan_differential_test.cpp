// The dataset's parameters and the driver's host variables, tested against
// each other on generated SQL: comments of both kinds with quotes and colons
// inside, literals, quoted names, escaped colons, assignments and operators
// right behind names. Every text must give the same names in the same order
// to both scans; the texts SQLite accepts must also run as a dataset whose
// parameters carry the values.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "LmrBasDS/LmrBasDS.h"
#include "LmrUtil/LmrUtil.h"
#include "drivers/sqlite/SqliteCursor.h"
#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "host/SysUtils.h"

namespace {

const char* const Names[] = {"a", "b1", "x_y", "Id", "n$", "\xc3\xa9t\xc3\xa9"};
const char* const After[] = {"", " + 1", "+1", "-1", "*2", "/2", "=1", "<2", ">0", "||'s'", "<>3", " ", ")"};

struct TGenerated {
    std::string Sql;
    bool Valid; // SQLite accepts it as a select
};

// One select list of random items; `valid` restricts it to what the engine prepares.
TGenerated Generate(std::mt19937& random, bool valid) {
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::string sql = "select ";
    const int items = 1 + pick(6);
    for (int k = 0; k < items; ++k) {
        if (k > 0) sql += pick(2) ? ", " : ",";
        switch (pick(valid ? 7 : 11)) {
        case 0:
        case 1: {
            const char* after = After[pick(static_cast<int>(std::size(After)))];
            const bool paren = std::string(after) == ")";
            sql += paren ? "(:" : ":";
            sql += Names[pick(static_cast<int>(std::size(Names)))];
            sql += after;
            break;
        }
        case 2:
            sql += "'it''s :q -- \"x\" /* y'";
            break;
        case 3:
            sql += "1 -- don't: :c or 10:30\n";
            break;
        case 4:
            sql += "2 /* it's :d; TODO: check */";
            break;
        case 5:
            sql += "'a:b' || :a";
            break;
        case 6:
            sql += "3 --\n";
            break;
        // Only the scans: the engine would refuse these.
        case 7:
            sql += "x := :b1";
            break;
        case 8:
            sql += "a:: b";
            break;
        case 9:
            sql += "[w:x] = `y:z`";
            break;
        default:
            sql += "y := 1 : ";
            break;
        }
    }
    if (pick(3) == 0) sql += " -- trailing: note";
    return {sql, valid};
}

// The driver's ":name" host variables, without their colon.
std::vector<std::string> DriverNames(const std::string& sql) {
    std::vector<std::string> names;
    for (const std::string& text : SqliteHostVariableTexts(sql)) {
        EXPECT_EQ(text[0], ':') << "only colon variables are generated: " << sql;
        names.push_back(text.substr(1));
    }
    return names;
}

class ParamScanDifferential : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmr-scan-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        Session = std::make_unique<TSqliteSession>();
        Session->SetDatabaseName((Folder / "scan.db").string());
        Session->SetCreateIfMissing(true);
        Session->Open();
    }
    void TearDown() override {
        Session.reset();
        std::filesystem::remove_all(Folder);
    }
    std::filesystem::path Folder;
    std::unique_ptr<TSqliteSession> Session;
};

TEST_F(ParamScanDifferential, DatasetParametersAndDriverHostVariablesMatchOneToOne) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 3000; ++round) {
        const TGenerated g = Generate(random, round % 2 == 0);
        std::string sent;
        const std::vector<std::string> params = LmrScanParams(g.Sql, sent);
        ASSERT_EQ(params, DriverNames(sent)) << "text: " << g.Sql;
    }
}

TEST_F(ParamScanDifferential, EveryGeneratedSelectRunsWithItsParameters) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        const TGenerated g = Generate(random, true);
        TSqliteQuery q;
        q.SetSession(Session.get());
        q.SQL()->SetText(g.Sql);
        // Repeated names carry one value; names differing in case are one variable.
        for (int32_t i = 0; i < q.Params()->Count(); ++i) {
            TLumraParam* p = q.Params()->GetParam(static_cast<uint16_t>(i));
            p->SetAsInteger(static_cast<int32_t>(host::AnsiUpperCase(p->Name()).size()));
        }
        try {
            q.Open();
        } catch (const host::Exception& e) {
            FAIL() << g.Sql << ": " << e.Message();
        }
        EXPECT_TRUE(q.Active()) << g.Sql;
        q.Close();
    }
}

} // namespace
