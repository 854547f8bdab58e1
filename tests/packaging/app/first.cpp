// The first program of docs/embedding.md, built outside the source tree
// against an installed LumraDB: opens (creates) a database, inserts two rows
// in a transaction through a parameterised statement, reads them back
// through a query with a host variable, and shows an engine error with its
// code. Exits 0 only when every step gave what it should.
#include <cstdio>
#include <string>

#include "LumraDB.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DATABASE\n", argv[0]);
        return 2;
    }
    try {
        TSqliteSession session;
        session.SetDatabaseName(argv[1]);
        session.SetCreateIfMissing(true);
        session.Open();

        TSqliteQuery query;
        query.SetSession(&session);
        query.SQL()->SetText(
            "create table people (id integer primary key, name varchar(40) not null unique)");
        query.ExecSQL();

        // Both rows or neither.
        query.SQL()->SetText("insert into people (name) values (:name)");
        session.StartTransaction();
        try {
            for (const char* name : {"Ada", "Grace"}) {
                query.ParamByName("name")->SetAsString(name);
                query.ExecSQL();
            }
            session.Commit();
        } catch (...) {
            session.Rollback();
            throw;
        }

        query.SQL()->SetText("select id, name from people where name like :pattern order by id");
        query.ParamByName("pattern")->SetAsString("%a%");
        query.Open();
        std::string seen;
        for (query.First(); !query.Eof(); query.Next())
            seen += std::to_string(query.FieldByName("id")->AsInteger()) + " " +
                    query.FieldByName("name")->AsString() + "\n";
        query.Close();
        std::printf("%s", seen.c_str());
        if (seen != "1 Ada\n2 Grace\n") {
            std::fprintf(stderr, "unexpected rows\n");
            return 1;
        }

        // A second Ada breaks the unique constraint: the engine's code comes
        // with the error.
        query.SQL()->SetText("insert into people (name) values (:name)");
        query.ParamByName("name")->SetAsString("Ada");
        try {
            query.ExecSQL();
            std::fprintf(stderr, "the duplicate insert succeeded\n");
            return 1;
        } catch (const host::Exception& e) {
            std::printf("error %d: %s\n", LmrErrorCode(e), e.what());
            if (LmrErrorCode(e) != -2067) return 1;
        }
    } catch (const host::Exception& e) {
        std::fprintf(stderr, "error %d: %s\n", LmrErrorCode(e), e.what());
        return 1;
    }
    return 0;
}
