// Shared fixture of the SQLite driver tests: a temporary folder with a fresh
// database file per test, one connected session and statement on it, and
// helpers to run SQL and read single values through a second statement.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "drivers/sqlite/SqliteSession.h"
#include "drivers/sqlite/SqliteStatement.h"
#include "host/Variant.h"

class SqliteTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmr-sqlite-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        File = (Folder / "test.db").string();
        Session = NewSession(true);
        Sql = NewStatement(Session.get());
    }
    void TearDown() override {
        Sql.reset();
        Session.reset();
        std::filesystem::remove_all(Folder);
    }

    std::unique_ptr<TSqliteSession> NewSession(bool create = false) {
        auto session = std::make_unique<TSqliteSession>();
        session->SetDatabaseName(File);
        session->SetCreateIfMissing(create);
        session->Open();
        return session;
    }
    static std::unique_ptr<TSqliteSQL> NewStatement(TLumraSession* session) {
        auto sql = std::make_unique<TSqliteSQL>();
        sql->SetSession(session);
        return sql;
    }
    // Runs SQL text on the session; fails the test on an engine error.
    void Run(const std::string& text, TSqliteSession* session = nullptr) {
        TSqliteSession* s = session != nullptr ? session : Session.get();
        ASSERT_EQ(s->Execute(text), 0) << s->LastError();
    }
    // The first column of the first row of a query, through a fresh
    // statement; an empty Variant when the query gives no row. A query that
    // fails throws with the engine's message: an answer read from a failed
    // query would let the calling test pass over the fault it looks for.
    host::Variant Scalar(const std::string& text, TSqliteSession* session = nullptr) {
        TSqliteSession* s = session != nullptr ? session : Session.get();
        auto sql = NewStatement(s);
        s->SetLastError("", 0);
        if (!sql->OpenRead(text)) {
            if (s->LastErrorCode() != 0 || !sql->Eof())
                throw std::runtime_error("query \"" + text + "\" failed: " + s->LastError() + " (" +
                                         std::to_string(s->LastErrorCode()) + ")");
            return host::Variant();
        }
        return sql->GetFieldValue(host::Variant(int32_t{0}));
    }
    // Throws like Scalar when the count cannot be read.
    int64_t Count(const std::string& table, TSqliteSession* session = nullptr) {
        const host::Variant n = Scalar("select count(*) from " + table, session);
        if (n.IsEmpty() || n.IsNull()) throw std::runtime_error("no count of " + table);
        return n.AsInt64();
    }

    std::filesystem::path Folder;
    std::string File;
    std::unique_ptr<TSqliteSession> Session;
    std::unique_ptr<TSqliteSQL> Sql;
};
