// Reading memo and blob fields of the query dataset on a real SQLite file:
// the read stream serves the stored bytes of the active record whole (embedded
// zero bytes, large values, numbers stored in an untyped column), positions
// and refuses to write like a host stream, and every record gives its own
// value whichever way the cursor travels.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "host/Exceptions.h"
#include "host/Fields.h"
#include "host/Streams.h"

using namespace host;

namespace {

class SqliteMemoRead : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmr-memo-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Folder = pattern;
        Session = std::make_unique<TSqliteSession>();
        Session->SetDatabaseName((Folder / "memo.db").string());
        Session->SetCreateIfMissing(true);
        Session->Open();
        ASSERT_EQ(Session->Execute("create table docs (id integer primary key, body text, data blob, loose)"),
                  0)
            << Session->LastError();
    }
    void TearDown() override {
        Query.reset();
        Session.reset();
        std::filesystem::remove_all(Folder);
    }

    // Values are SQL literals: blobs as hex, so zero bytes and sizes survive.
    void Insert(int64_t id, const std::string& body, const std::string& data, const std::string& loose) {
        ASSERT_EQ(Session->Execute("insert into docs values (" + std::to_string(id) + ", " + body + ", " +
                                   data + ", " + loose + ")"),
                  0)
            << Session->LastError();
    }

    static std::string Hex(const std::string& bytes) {
        static const char digits[] = "0123456789abcdef";
        std::string out = "x'";
        for (const char c : bytes) {
            out += digits[(static_cast<unsigned char>(c) >> 4) & 15];
            out += digits[static_cast<unsigned char>(c) & 15];
        }
        return out + "'";
    }

    TSqliteQuery& Open(const std::string& sql = "select id, body, data, loose from docs order by id") {
        Query = std::make_unique<TSqliteQuery>();
        Query->SetSession(Session.get());
        Query->SQL()->SetText(sql);
        Query->Open();
        return *Query;
    }

    static std::string Pattern(size_t size) {
        std::string s(size, '\0');
        for (size_t i = 0; i < size; ++i)
            s[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
        return s;
    }

    std::filesystem::path Folder;
    std::unique_ptr<TSqliteSession> Session;
    std::unique_ptr<TSqliteQuery> Query;
};

std::string ReadAll(TStream& stream) {
    std::string out(static_cast<size_t>(stream.Size()), '\0');
    stream.SetPosition(0);
    if (!out.empty()) stream.ReadBuffer(out.data(), static_cast<int32_t>(out.size()));
    return out;
}

} // namespace

TEST_F(SqliteMemoRead, EveryRecordReadsItsOwnStoredValueForwardAndBackward) {
    const std::string big = Pattern(300 * 1024);
    struct Row {
        std::string Body, Data, Loose; // as SQL
        std::string BodyText, DataText, LooseText;
        bool BodyNull, LooseNull;
    };
    const std::vector<Row> rows = {
        {"'first memo'", Hex(std::string("a\0b\0c", 5)), "-42", "first memo", std::string("a\0b\0c", 5),
         "-42", false, false},
        {"null", Hex(big), "2.5", "", big, "2.5", true, false},
        {"''", "null", "null", "", "", "", false, true},
        {"cast(" + Hex(std::string("x\0y", 3)) + " as text)", Hex("\xff"), "'text'", std::string("x\0y", 3),
         "\xff", "text", false, false},
        {"'" + std::string(70000, 'x') + "'", Hex(""), "x'0001'", std::string(70000, 'x'), "",
         std::string("\0\1", 2), false, false},
    };
    for (size_t i = 0; i < rows.size(); ++i)
        Insert(static_cast<int64_t>(i + 1), rows[i].Body, rows[i].Data, rows[i].Loose);

    TSqliteQuery& q = Open();
    TField* body = q.FieldByName("body");
    TField* data = q.FieldByName("data");
    TField* loose = q.FieldByName("loose");
    auto check = [&](size_t i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        EXPECT_EQ(q.FieldByName("id")->AsLargeInt(), static_cast<int64_t>(i + 1));
        EXPECT_EQ(body->AsString(), rows[i].BodyText);
        EXPECT_EQ(body->IsNull(), rows[i].BodyNull);
        EXPECT_EQ(data->AsString(), rows[i].DataText);
        EXPECT_EQ(static_cast<TBlobField*>(data)->BlobSize(), static_cast<int32_t>(rows[i].DataText.size()));
        EXPECT_EQ(loose->IsNull(), rows[i].LooseNull);
        EXPECT_EQ(loose->AsString(), rows[i].LooseText) << "a number in an untyped column reads as its text";
    };
    size_t i = 0;
    for (; !q.Eof(); q.Next())
        check(i++);
    EXPECT_EQ(i, rows.size());
    q.Last();
    for (i = rows.size(); !q.Bof(); q.Prior())
        check(--i);
    EXPECT_EQ(i, 0u);
}

TEST_F(SqliteMemoRead, ReadStreamPositionsLikeAHostStreamAndRefusesToWrite) {
    Insert(1, "'0123456789'", "null", "null");
    TSqliteQuery& q = Open();
    TField* body = q.FieldByName("body");

    std::unique_ptr<TStream> stream = q.CreateBlobStream(body, bmRead);
    EXPECT_EQ(stream->Size(), 10);
    EXPECT_EQ(stream->Position(), 0);
    char part[4] = {};
    EXPECT_EQ(stream->Read(part, 4), 4);
    EXPECT_EQ(std::string(part, 4), "0123");
    EXPECT_EQ(stream->Seek(-3, soFromEnd), 7);
    EXPECT_EQ(stream->Read(part, 4), 3) << "a read stops at the end of the value";
    EXPECT_EQ(std::string(part, 3), "789");
    EXPECT_EQ(stream->Read(part, 4), 0);
    EXPECT_EQ(stream->Seek(20, soFromBeginning), 20) << "seeking past the end is allowed";
    EXPECT_EQ(stream->Read(part, 4), 0);
    EXPECT_EQ(stream->Seek(-18, soFromCurrent), 2);
    EXPECT_THROW(stream->Seek(-1, soFromBeginning), EStreamError);
    EXPECT_EQ(stream->Position(), 2) << "a refused seek leaves the position";

    EXPECT_EQ(stream->Write("ab", 2), 0);
    EXPECT_THROW(stream->WriteBuffer("ab", 2), EWriteError);
    EXPECT_EQ(ReadAll(*stream), "0123456789") << "the stored value is untouched";
    EXPECT_EQ(body->AsString(), "0123456789");

    EXPECT_THROW(q.CreateBlobStream(body, bmWrite), EDatabaseError);
    EXPECT_THROW(q.CreateBlobStream(body, bmReadWrite), EDatabaseError);
}

TEST_F(SqliteMemoRead, NullValuesAndAnEmptyResultGiveEmptyStreams) {
    Insert(1, "null", "null", "null");
    TSqliteQuery& q = Open();
    for (const char* name : {"body", "data", "loose"}) {
        SCOPED_TRACE(name);
        std::unique_ptr<TStream> stream = q.CreateBlobStream(q.FieldByName(name), bmRead);
        EXPECT_EQ(stream->Size(), 0);
        EXPECT_TRUE(q.FieldByName(name)->IsNull());
        EXPECT_EQ(q.FieldByName(name)->AsString(), "");
    }

    TSqliteQuery& none = Open("select id, body, data, loose from docs where id < 0");
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_EQ(none.CreateBlobStream(none.FieldByName("body"), bmRead)->Size(), 0);
    EXPECT_EQ(none.FieldByName("data")->AsString(), "");
}
