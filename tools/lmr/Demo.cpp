// lmr demo: makes a small sample database of customers and their orders
// when the file does not exist yet (through the SQLite driver's statements
// with host variables), then shows the main paths through the library: what
// a statement reads, a parameterised query dataset, a master with its
// details and an ExecSQL with its row count.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "drivers/sqlite/SqliteStatement.h"
#include "host/DataLinks.h"
#include "host/DateTime.h"
#include "host/Variant.h"
#include "tools/lmr/Lmr.h"
#include "tools/lmr/Output.h"

namespace {

using host::Variant;

void Check(bool ok, TLumraSession& session, const char* what) {
    if (!ok)
        throw ELumraException(std::string(what) + ": " + session.LastError(), session.LastErrorCode(), 0);
}

void CreateSample(TSqliteSession& session) {
    TSqliteSQL sql;
    sql.SetSession(&session);
    session.StartTransaction();
    Check(sql.Execute("create table customers (id integer primary key, name varchar(40) not null,"
                      " city varchar(30))"),
          session, "create customers");
    Check(sql.Execute("create table orders (id integer primary key,"
                      " customer_id integer not null references customers(id),"
                      " ordered date not null, amount decimal(10,2) not null)"),
          session, "create orders");
    const char* customers[][2] = {{"Ada Lovelace", "London"},
                                  {"Grace Hopper", "New York"},
                                  {"Edsger Dijkstra", "Nuenen"},
                                  {"Barbara Liskov", "Boston"}};
    for (const auto& c : customers)
        Check(sql.Execute("insert into customers (name, city) values (?, ?)", {Variant(c[0]), Variant(c[1])}),
              session, "insert customer");
    struct Order {
        int32_t customer;
        int32_t y, m, d;
        double amount;
    };
    const Order orders[] = {{1, 2024, 3, 1, 120.50}, {1, 2024, 4, 12, 35.00}, {2, 2024, 3, 5, 999.99},
                            {3, 2024, 5, 20, 12.75}, {4, 2024, 6, 2, 250.00}, {2, 2024, 6, 30, 48.10}};
    for (const Order& o : orders)
        Check(sql.Execute("insert into orders (customer_id, ordered, amount) values (?, ?, ?)",
                          {Variant(o.customer), Variant::FromDate(host::EncodeDate(o.y, o.m, o.d)),
                           Variant(o.amount)}),
              session, "insert order");
    session.Commit();
}

std::string Cell(TLumraSQL& sql, int32_t column) {
    const Variant id(column);
    if (sql.IsFieldNull(id)) return "";
    const Variant value = sql.GetFieldValue(id);
    switch (sql.GetFieldType(id)) {
    case ntDate:
        return host::DateToStr(value.AsDouble());
    case ntTime:
        return host::TimeToStr(value.AsDouble());
    case ntDateTime:
        return host::DateTimeToStr(value.AsDouble());
    case ntFloat: {
        char text[64];
        const int32_t decimals = sql.GetFieldDecimals(id);
        if (decimals > 0)
            std::snprintf(text, sizeof text, "%.*f", decimals, value.AsDouble());
        else
            std::snprintf(text, sizeof text, "%.17g", value.AsDouble());
        return text;
    }
    default:
        return host::VarToStr(value);
    }
}

void PrintTable(TSqliteSession& session, const std::string& text) {
    TSqliteSQL sql;
    sql.SetSession(&session);
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> numeric;
    bool more = sql.OpenRead(text);
    if (!more && session.LastErrorCode() < 0) Check(false, session, "query");
    std::vector<std::string> header;
    for (int32_t c = 0; c < sql.GetFieldCount(); ++c) {
        if (sql.GetField(Variant(c))->KeyIndicator() == kiHiddenKeyField) continue;
        header.push_back(sql.GetFieldName(c));
        const TLumraFieldTypes t = sql.GetFieldType(Variant(c));
        numeric.push_back(t == ntInteger || t == ntFloat || t == ntCurrency);
    }
    rows.push_back(header);
    for (; more; more = sql.FetchNext()) {
        std::vector<std::string> row;
        for (int32_t c = 0; c < sql.GetFieldCount(); ++c)
            if (sql.GetField(Variant(c))->KeyIndicator() != kiHiddenKeyField) row.push_back(Cell(sql, c));
        rows.push_back(row);
    }
    if (!sql.Eof()) Check(false, session, "fetch");
    std::vector<size_t> width(header.size(), 0);
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c)
            width[c] = std::max(width[c], row[c].size());
    for (size_t r = 0; r < rows.size(); ++r) {
        std::string line;
        for (size_t c = 0; c < rows[r].size(); ++c) {
            const std::string pad(width[c] - rows[r][c].size(), ' ');
            line += (c > 0 ? "  " : "") + (numeric[c] && r > 0 ? pad + rows[r][c] : rows[r][c] + pad);
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::printf("%s\n", line.c_str());
        if (r == 0) {
            std::string rule;
            for (size_t c = 0; c < width.size(); ++c)
                rule += (c > 0 ? "  " : "") + std::string(width[c], '-');
            std::printf("%s\n", rule.c_str());
        }
    }
    std::printf("(%d rows)\n", sql.RecordCount());
}

// Writes the rows of an open query dataset through the table writer, from
// its current position on.
void PrintDataset(TSqliteQuery& query) {
    const std::unique_ptr<TRowWriter> writer = MakeRowWriter("table", stdout);
    TLmrRowReader reader(query);
    writer->Begin(reader.Columns());
    std::vector<TCell> cells;
    for (query.First(); !query.Eof(); query.Next()) {
        reader.Read(cells);
        writer->Row(cells);
    }
    writer->End();
}

void ShowParameterisedQuery(TSqliteSession& session) {
    std::printf("\nA query dataset with a host variable, :city = 'London':\n\n");
    TSqliteQuery query;
    query.SetSession(&session);
    query.SQL()->SetText("select name, city from customers where city = :city order by name");
    query.ParamByName("city")->SetText("London");
    query.Open();
    PrintDataset(query);
}

void ShowMasterDetail(TSqliteSession& session) {
    std::printf("\nA master with its details: the orders' :id follows the customer's ID:\n");
    TSqliteQuery customers;
    customers.SetSession(&session);
    customers.SQL()->SetText("select id, name, city from customers order by id");
    host::TDataSource link(nullptr);
    link.SetDataSet(&customers);
    TSqliteQuery orders;
    orders.SetSession(&session);
    orders.SQL()->SetText("select id, ordered, amount from orders where customer_id = :id order by ordered");
    orders.SetDataSource(&link);
    customers.Open();
    orders.Open();
    for (customers.First(); !customers.Eof(); customers.Next()) {
        std::printf("\n%s (%s)\n", customers.FieldByName("NAME")->AsString().c_str(),
                    customers.FieldByName("CITY")->AsString().c_str());
        PrintDataset(orders);
    }
}

void ShowExecSQL(TSqliteSession& session) {
    std::printf("\nExecSQL, inside a transaction that is rolled back so that the demo stays the same:\n\n");
    TSqliteQuery update;
    update.SetSession(&session);
    update.SQL()->SetText("update orders set amount = amount * 1.1 where customer_id = :customer");
    update.ParamByName("customer")->SetAsInteger(2);
    session.StartTransaction();
    try {
        update.ExecSQL();
        std::printf("update orders of customer 2: %d rows affected\n", update.GetRowsAffected());
    } catch (...) {
        session.Rollback();
        throw;
    }
    session.Rollback();
}

} // namespace

int LmrDemo(const std::vector<std::string>& args) {
    if (args.size() > 1) throw ELmrUsage("unexpected argument '" + args[1] + "'", LmrDemoSynopsis);
    const std::string file = args.empty() ? "lmr-demo.db" : args[0];
    TSqliteSession session;
    session.SetDatabaseName(file);
    const bool fresh = !std::filesystem::exists(file);
    session.SetCreateIfMissing(fresh);
    session.Open();
    if (fresh) {
        CreateSample(session);
        std::printf("Created the sample database %s\n\n", file.c_str());
    }
    std::printf("LumraDB %s, database %s\n\n", szLumraDBVersion, file.c_str());
    PrintTable(session, "select c.name as customer, c.city, o.ordered, o.amount from orders o"
                        " join customers c on c.id = o.customer_id order by o.ordered, o.id");
    std::printf("\n");
    PrintTable(session,
               "select c.name as customer, count(o.id) as orders, sum(o.amount) as total from customers c"
               " left join orders o on o.customer_id = c.id group by c.id order by c.name");
    ShowParameterisedQuery(session);
    ShowMasterDetail(session);
    ShowExecSQL(session);
    return 0;
}
