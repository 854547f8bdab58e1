// The SQL analysis functions as tables: the table after FROM, the ORDER BY
// columns with their directions, and the :name host variables.
#include "LmrUtil/LmrUtil.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

struct TableNameCase {
    std::string SQL;
    std::string Expected;
};
std::ostream& operator<<(std::ostream& os, const TableNameCase& c) {
    return os << c.SQL;
}

const std::vector<TableNameCase> kTableNameCases = {
    {"SELECT a.id, b.name FROM master a, detail b ORDER BY a.id DESC, 2", "master"},
    {"SELECT * FROM t WHERE x = 'a:b' AND y = :y", "t"},
    {"SELECT * FROM \"My Orders\" WHERE x = 1", "My Orders"},
    {"SELECT * FROM owner.orders", "orders"},
    {"SELECT * FROM \"owner\".\"order lines\"", "order lines"},
    {"select * from a, b", "a"},
    {"DELETE FROM t WHERE id = :id", "t"},
    {"SELECT * FROM /* the master */ t", "t"},
    {"SELECT * FROM // owner\r\n t", "t"},
    {"SELECT * FROM\n\tt", "\tt"},
    {"SELECT 1", ""},
    {"UPDATE t SET x = 1", ""},
    {"SELECT * FROM", ""},
    {"SELECT * FROM WHERE x = 1", ""},
    {"", ""},
    {std::string("SELECT * FROM\0t", 15), ""},
};

class TableNameFromSQL : public ::testing::TestWithParam<TableNameCase> {};
TEST_P(TableNameFromSQL, IsTheFirstTableAfterFrom) {
    EXPECT_EQ(LmrGetTableNameFromSQL(GetParam().SQL), GetParam().Expected);
}
INSTANTIATE_TEST_SUITE_P(Texts, TableNameFromSQL, ::testing::ValuesIn(kTableNameCases));

struct OrderByCase {
    std::string SQL;
    std::string Columns;
    std::string Directions;
};
std::ostream& operator<<(std::ostream& os, const OrderByCase& c) {
    return os << c.SQL;
}

const std::vector<OrderByCase> kOrderByCases = {
    {"SELECT a.id, b.name FROM master a, detail b ORDER BY a.id DESC, 2", "id;2", "DESC;ASC"},
    {"SELECT * FROM t ORDER BY x ASC, y", "x;y", "ASC;ASC"},
    {"SELECT * FROM t ORDER BY a DESC, b DESCENDING", "a;b", "DESC;DESC"},
    {"SELECT * FROM t ORDER BY \"quoted name\", c", "c", "ASC"},
    {"SELECT * FROM t ORDER BY \"quoted name\" DESC, c", "c", "ASC"},
    {"SELECT * FROM t ORDER BY a DESC DESC, b", "a;b", "DESC;ASC"},
    {"SELECT * FROM t ORDER BY a FOR UPDATE", "a", "ASC"},
    {"SELECT * FROM t ORDER BY a UNION SELECT * FROM u", "a", "ASC"},
    {"SELECT * FROM t order\nby a /* then */, b", "a;b", "ASC;ASC"},
    {"SELECT * FROM t ORDER BY 1, 2 DESC, 3", "1;2;3", "ASC;DESC;ASC"},
    {"SELECT * FROM t", "", ""},
    {"SELECT * FROM t ORDER BY", "", ""},
    {"", "", ""},
};

class OrderByFromSQL : public ::testing::TestWithParam<OrderByCase> {};
TEST_P(OrderByFromSQL, GivesColumnsAndOneDirectionEach) {
    std::string Directions = "stale;value";
    EXPECT_EQ(LmrGetOrderByFromSQL(GetParam().SQL, Directions), GetParam().Columns);
    EXPECT_EQ(Directions, GetParam().Directions);
}
INSTANTIATE_TEST_SUITE_P(Texts, OrderByFromSQL, ::testing::ValuesIn(kOrderByCases));

struct ParamsCase {
    std::string SQL;
    std::string Expected;
};
std::ostream& operator<<(std::ostream& os, const ParamsCase& c) {
    return os << c.SQL;
}

const std::vector<ParamsCase> kParamsCases = {
    {"SELECT * FROM t WHERE x = 'a:b' AND y = :y", "y"},
    {"SELECT * FROM t WHERE id IN (:a,:b) AND z IS NOT NULL", "a;b"},
    {"SELECT * FROM t WHERE x=:p", "p"},
    {"x := :v + 1", "v"},
    {"x := :v;", "v;"},
    {"SELECT x::y", ":y"},
    {"SELECT :a, :b, :a", "a;b;a"},
    {"SELECT f(:p) FROM t", "p"},
    {"/* :c */ // :d\n SELECT \":e\", `:f`, :g", "g"},
    {"SELECT * FROM :t", ""},
    {"SELECT * FROM t WHERE x = :", ""},
    {"SELECT * FROM t", ""},
    {"", ""},
    {std::string("SELECT :a\0:b", 12), "a"},
};

class ParamsFromSQL : public ::testing::TestWithParam<ParamsCase> {};
TEST_P(ParamsFromSQL, ListsHostVariablesInOrder) {
    EXPECT_EQ(LmrGetParamsFromSQL(GetParam().SQL), GetParam().Expected);
}
INSTANTIATE_TEST_SUITE_P(Texts, ParamsFromSQL, ::testing::ValuesIn(kParamsCases));

} // namespace
