// The blob manager's ownership of its streams and its lookups by column
// name, without a statement behind it.
#include <gtest/gtest.h>

#include <memory>

#include "LmrBase/LmrErrors.h"
#include "host/Exceptions.h"
#include "tests/descriptions/test_blob_stream.h"

TEST(BlobManager, StreamCreatedWithAManagerRegistersAndDeletingItUnregisters) {
    TLumraBlobManager manager(nullptr);
    auto* a = new TTestBlobStream(&manager, "A");
    auto* b = new TTestBlobStream(&manager, "B");
    EXPECT_EQ(manager.Count(), 2);
    EXPECT_EQ(a->BlobManager(), &manager);

    delete a;

    EXPECT_EQ(manager.Count(), 1);
    EXPECT_EQ(manager.GetBlob(0), b);
}

TEST(BlobManager, ClearDeletesEveryStream) {
    TLumraBlobManager manager(nullptr);
    for (const char* name : {"A", "B", "C"})
        new TTestBlobStream(&manager, name);
    manager.Clear();
    EXPECT_EQ(manager.Count(), 0);
    // The streams die with the manager as well; the sanitizer build checks
    // that nothing is freed twice or left behind.
    new TTestBlobStream(&manager, "D");
}

TEST(BlobManager, RemoveBlobHandsTheStreamBackWithoutDeletingIt) {
    TLumraBlobManager manager(nullptr);
    auto* a = new TTestBlobStream(&manager, "A");
    manager.RemoveBlob(a);
    std::unique_ptr<TTestBlobStream> owned(a);

    EXPECT_EQ(manager.Count(), 0);
    EXPECT_EQ(a->BlobManager(), nullptr);
    EXPECT_EQ(a->GetFieldNo(), -1);
    manager.RemoveBlob(a); // no longer registered: nothing happens
}

TEST(BlobManager, AddingAStreamOfAnotherManagerMovesIt) {
    TLumraBlobManager first(nullptr);
    TLumraBlobManager second(nullptr);
    auto* a = new TTestBlobStream(&first, "A");

    second.AddBlob(a);
    second.AddBlob(a); // already here: not listed twice

    EXPECT_EQ(first.Count(), 0);
    EXPECT_EQ(second.Count(), 1);
    EXPECT_EQ(a->BlobManager(), &second);
}

TEST(BlobManager, ClearBlobsEmptiesTheStreamsAndKeepsThemRegistered) {
    TLumraBlobManager manager(nullptr);
    auto* a = new TTestBlobStream(&manager, "A");
    auto* b = new TTestBlobStream(&manager, "B");
    a->Write("abc", 3);
    b->Truncate();

    manager.ClearBlobs();

    EXPECT_EQ(manager.Count(), 2);
    for (TTestBlobStream* s : {a, b}) {
        EXPECT_FALSE(s->Modified());
        EXPECT_TRUE(s->Empty());
        EXPECT_EQ(s->BufferedSize(), 0);
    }
}

TEST(BlobManager, BlobByNameIgnoresCaseAndTheFirstMatchWins) {
    TLumraBlobManager manager(nullptr);
    new TTestBlobStream(&manager, "NOTES");
    auto* photo = new TTestBlobStream(&manager, "PHOTO");
    new TTestBlobStream(&manager, "photo");

    EXPECT_EQ(manager.BlobByName("Photo"), photo);
    EXPECT_EQ(manager.BlobByName("photo"), photo);
}

TEST(BlobManager, GetBlobOfANamesakeYieldsTheFirstStreamOfThatName) {
    TLumraBlobManager manager(nullptr);
    auto* first = new TTestBlobStream(&manager, "Photo");
    auto* other = new TTestBlobStream(&manager, "Notes");
    new TTestBlobStream(&manager, "PHOTO");

    EXPECT_EQ(manager.GetBlob(0), first);
    EXPECT_EQ(manager.GetBlob(1), other);
    EXPECT_EQ(manager.GetBlob(2), first);
}

TEST(BlobManager, GetBlobAtOrBeyondCountRaisesAListError) {
    TLumraBlobManager manager(nullptr);
    EXPECT_THROW(manager.GetBlob(0), host::EListError);
    new TTestBlobStream(&manager, "A");
    EXPECT_THROW(manager.GetBlob(1), host::EListError);
    EXPECT_THROW(manager.GetBlob(65535), host::EListError);
}

TEST(BlobManager, UnknownNameWithoutAStatementStillRaisesTheBlobMessage) {
    TLumraBlobManager manager(nullptr);
    new TTestBlobStream(&manager, "PHOTO");
    try {
        manager.BlobByName("Name");
        FAIL() << "no exception";
    } catch (const ELumraException& e) {
        EXPECT_STREQ(e.what(), "Field \"Name\" is not a blob");
        EXPECT_EQ(e.ErrorCode(), 0);
    }
}
