// The dataset's parameter scan on its own: which colons start parameters,
// where names end, and the text that goes to the engine; and the ORDER BY
// pairing of columns and directions around empty quoted names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LmrUtil/LmrUtil.h"

namespace {

struct ScanRow {
    std::string sql;
    std::vector<std::string> names;
    std::string rewritten; // empty: the text unchanged
};

void PrintTo(const ScanRow& r, std::ostream* os) {
    *os << r.sql;
}

class ParamScan : public ::testing::TestWithParam<ScanRow> {};

TEST_P(ParamScan, FindsExactlyTheParametersTheEngineWouldSee) {
    const ScanRow& r = GetParam();
    std::string rewritten;
    EXPECT_EQ(LmrScanParams(r.sql, rewritten), r.names) << r.sql;
    EXPECT_EQ(rewritten, r.rewritten.empty() ? r.sql : r.rewritten) << r.sql;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParamScan,
    ::testing::Values(ScanRow{"select * from t where id = :id", {"id"}, ""},
                      ScanRow{"select 1 -- don't forget\nfrom t where id = :id", {"id"}, ""},
                      ScanRow{"select 1 /* it's :x */ from t where id = :id", {"id"}, ""},
                      ScanRow{"select 1 -- TODO: check\n, :a", {"a"}, ""},
                      ScanRow{"select 1 -- at 10:30\n", {}, ""},
                      ScanRow{"select :x+1, :y-2, :z*3, :w/4, :v||'s', :u=1, :t<2, :s>3",
                              {"x", "y", "z", "w", "v", "u", "t", "s"},
                              ""},
                      ScanRow{"x := 1; y :=2; z : 3; end:", {}, ""},
                      ScanRow{"where a = ':b' and c = \"d:e\" and `f:g` = [h:i] and j = :k", {"k"}, ""},
                      ScanRow{"where a = 'it''s :no' and b = :yes", {"yes"}, ""},
                      ScanRow{"where a = 'x\"y' and b = :p", {"p"}, ""},
                      ScanRow{"select a::text, '::' , :p", {"p"}, "select a:text, '::' , :p"},
                      ScanRow{"select :a, :a, :A", {"a", "a", "A"}, ""},
                      ScanRow{"where id in (:a,:b) and x=:c;", {"a", "b", "c"}, ""},
                      ScanRow{"where x = :\"my name\" and y = :'other one'", {"my name", "other one"}, ""},
                      ScanRow{"where x = :a::b and y = :t(1) and z = :u(2", {"a::b", "t(1)"}, ""},
                      ScanRow{"where x = :n1 and y = :1", {"n1", "1"}, ""},
                      ScanRow{"where x = :p.q", {"p"}, ""}, ScanRow{"unterminated 'literal :x", {}, ""},
                      ScanRow{"unterminated /* comment :x", {}, ""},
                      ScanRow{std::string("a = :x\0 b = :y", 14), {"x"}, ""},
                      ScanRow{std::string("a::b\0::c", 8), {}, std::string("a:b\0::c", 7)}));

TEST(ParamScan, TheEscapeRewriteStaysLinearOnLongTexts) {
    // Every escape halves in one pass over the text, wherever it stands.
    std::string sql;
    for (int i = 0; i < 200000; ++i)
        sql += "::";
    std::string rewritten;
    EXPECT_TRUE(LmrScanParams(sql, rewritten).empty());
    EXPECT_EQ(rewritten, std::string(200000, ':'));
}

struct OrderRow {
    const char* sql;
    const char* columns;
    const char* directions;
};

class OrderByPairs : public ::testing::TestWithParam<OrderRow> {};

TEST_P(OrderByPairs, ColumnsAndDirectionsStayPaired) {
    std::string directions;
    EXPECT_EQ(LmrGetOrderByFromSQL(GetParam().sql, directions), GetParam().columns) << GetParam().sql;
    EXPECT_EQ(directions, GetParam().directions) << GetParam().sql;
}

INSTANTIATE_TEST_SUITE_P(
    EmptyQuotedNames, OrderByPairs,
    ::testing::Values(OrderRow{"select * from t order by t.\"\" desc, x", "x", "ASC"},
                      OrderRow{"select * from t order by a, t.\"\" desc, x desc", "a;x", "ASC;DESC"},
                      OrderRow{"select * from t order by a desc, t.\"\", b", "a;b", "DESC;ASC"},
                      OrderRow{"select * from t order by t.a desc, 2", "a;2", "DESC;ASC"}));

} // namespace
