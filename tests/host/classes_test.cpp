// Component ownership, notifications, loading, Assign errors, the pointer
// list's bounds and the filer's binary-property round trip.
#include "host/Classes.h"
#include "host/Exceptions.h"
#include "host/Lists.h"
#include "host/Streams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace host;

namespace {

// Records what it is told, and clears its reference like real components do.
class TRecorder : public TComponent {
public:
    explicit TRecorder(TComponent* owner, std::vector<std::string>* log = nullptr)
        : TComponent(owner), FLog(log) {}
    ~TRecorder() override {
        if (FLog) FLog->push_back("destroy " + Name());
    }
    void Notification(TComponent* component, TOperation operation) override {
        if (FLog) FLog->push_back(Name() + (operation == opInsert ? " +" : " -") + component->Name());
        if (operation == opRemove && component == Peer) Peer = nullptr;
        TComponent::Notification(component, operation);
    }
    void Loaded() override {
        TComponent::Loaded();
        LoadedCalls++;
        WasReadingInLoaded = ComponentState().Contains(csReading);
    }
    TComponent* Peer = nullptr;
    int LoadedCalls = 0;
    bool WasReadingInLoaded = true;

private:
    std::vector<std::string>* FLog;
};

// Forgets to call the base Notification: the registration must still not dangle.
class TCarelessListener : public TComponent {
public:
    using TComponent::TComponent;
    void Notification(TComponent*, TOperation) override { Calls++; }
    int Calls = 0;
};

} // namespace

TEST(Component, OwnerDestroysChildrenLastInsertedFirst) {
    std::vector<std::string> log;
    auto* form = new TRecorder(nullptr, &log);
    form->SetName("Form");
    for (const char* n : {"A", "B", "C"})
        (new TRecorder(form, &log))->SetName(n);
    log.clear();
    delete form;
    EXPECT_EQ(log, (std::vector<std::string>{"destroy Form", "A -C", "B -C", "destroy C", "A -B", "destroy B",
                                             "destroy A"}));
}

TEST(Component, DeletingAChildFirstRemovesItFromItsOwnerAndTellsTheSiblings) {
    TRecorder form(nullptr);
    auto* a = new TRecorder(&form);
    auto* b = new TRecorder(&form);
    a->Peer = b;
    ASSERT_EQ(form.ComponentCount(), 2);
    EXPECT_EQ(b->ComponentIndex(), 1);
    delete b;
    EXPECT_EQ(form.ComponentCount(), 1);
    EXPECT_EQ(form.Components(0), a);
    EXPECT_EQ(a->Peer, nullptr);
    EXPECT_THROW(form.Components(1), EListError);
}

TEST(Component, FreeNotificationWorksInEitherDestructionOrder) {
    for (bool sessionFirst : {true, false}) {
        auto* formA = new TComponent(nullptr);
        auto* formB = new TComponent(nullptr);
        auto* dataset = new TRecorder(formA);
        auto* session = new TRecorder(formB);
        dataset->Peer = session;
        session->Peer = dataset;
        dataset->FreeNotification(session);
        if (sessionFirst) {
            delete formB;
            EXPECT_EQ(dataset->Peer, nullptr);
            delete formA;
        } else {
            delete formA;
            EXPECT_EQ(session->Peer, nullptr);
            delete formB;
        }
    }
}

TEST(Component, RegistrationDoesNotDangleWhenAListenerSkipsTheBaseNotification) {
    auto* listener = new TCarelessListener(nullptr);
    auto* source = new TComponent(nullptr);
    listener->FreeNotification(source);
    delete source; // the listener's list must lose the pointer anyway
    EXPECT_EQ(listener->Calls, 1);
    delete listener; // would touch freed memory under the sanitizers otherwise
}

TEST(Component, NamesAreUniqueAmongSiblingsIgnoringCase) {
    TComponent form(nullptr);
    auto* a = new TComponent(&form);
    a->SetName("Query1");
    auto* b = new TComponent(&form);
    EXPECT_THROW(b->SetName("QUERY1"), EComponentError);
    EXPECT_THROW(b->SetName("1abc"), EComponentError);
    EXPECT_EQ(form.FindComponent("query1"), a);
    EXPECT_EQ(form.FindComponent(""), nullptr);
    EXPECT_EQ(a->GetNamePath(), "Query1");
}

TEST(Component, InsertAndRemoveNotifyOwnerAndOwnedComponents) {
    std::vector<std::string> log;
    TRecorder form(nullptr, &log);
    form.SetName("F");
    TRecorder existing(nullptr, &log);
    existing.SetName("E");
    form.InsertComponent(&existing);
    TRecorder other(nullptr, &log);
    other.SetName("O");
    log.clear();
    form.InsertComponent(&other);
    form.RemoveComponent(&other);
    form.RemoveComponent(&existing);
    EXPECT_EQ(log,
              (std::vector<std::string>{"F +O", "E +O", "O +O", "F -O", "E -O", "O -O", "F -E", "E -E"}));
    EXPECT_EQ(form.ComponentCount(), 0);
}

TEST(Component, AComponentCannotOwnItsOwnOwner) {
    TComponent parent(nullptr);
    auto* kid = new TComponent(&parent);
    EXPECT_THROW(kid->InsertComponent(&parent), EComponentError);
    EXPECT_EQ(parent.Owner(), nullptr);
}

TEST(Component, DesigningPropagatesToOwnedAndInsertedComponents) {
    TComponent form(nullptr);
    auto* a = new TComponent(&form);
    form.SetDesigning(true);
    EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
    auto* b = new TComponent(&form);
    EXPECT_TRUE(b->ComponentState().Contains(csDesigning));
    form.SetDesigning(false);
    EXPECT_FALSE(a->ComponentState().Contains(csDesigning));
}

TEST(Component, EndLoadingClearsReadingThenCallsLoadedOnEveryComponent) {
    TRecorder form(nullptr);
    auto* child = new TRecorder(&form);
    auto* grandchild = new TRecorder(child);
    form.BeginLoading();
    for (TComponent* c : std::initializer_list<TComponent*>{&form, child, grandchild})
        EXPECT_EQ(c->ComponentState(), (TComponentState{csLoading, csReading}));
    form.EndLoading();
    for (TRecorder* c : {&form, child, grandchild}) {
        EXPECT_EQ(c->LoadedCalls, 1);
        EXPECT_FALSE(c->WasReadingInLoaded);
        EXPECT_TRUE(c->ComponentState().Empty());
    }
}

TEST(Persistent, AssignErrorsNameBothClasses) {
    TStringStream unrelated;
    TComponent a(nullptr);
    TComponent b(nullptr);
    try {
        a.Assign(&b);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TComponent to a TComponent");
    }
    try {
        a.Assign(nullptr);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a nil to a TComponent");
    }
    EXPECT_EQ(unrelated.ClassName(), "TStringStream");
}

TEST(Exceptions, DatabaseErrorPrefixesTheComponentName) {
    TComponent c(nullptr);
    try {
        DatabaseError("Dataset not in edit mode", &c);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Dataset not in edit mode");
    }
    c.SetName("Query1");
    try {
        DatabaseError("Dataset not in edit mode", &c);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Query1: Dataset not in edit mode");
    }
    EXPECT_THROW(Abort(), EAbort);
}

TEST(List, OperationsAndBoundsChecks) {
    int v[4] = {};
    TList list;
    list.Add(&v[0]);
    list.Add(nullptr);
    list.Add(&v[2]);
    list.Insert(0, &v[3]);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.First(), &v[3]);
    EXPECT_EQ(list.Remove(&v[0]), 1);
    EXPECT_EQ(list.Remove(&v[0]), -1);
    list.Pack();
    EXPECT_EQ(list.Count(), 2);
    list.Move(0, 1);
    EXPECT_EQ(list.Last(), &v[3]);
    EXPECT_EQ(list.Extract(&v[2]), &v[2]);
    EXPECT_THROW(list.SetCapacity(0), EListError);
    for (int32_t bad : {-1, 1, 100}) {
        try {
            list.Items(bad);
            FAIL();
        } catch (const EListError& e) {
            EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(bad) + ")");
        }
    }
    EXPECT_THROW(list.Insert(2, nullptr), EListError);
    list.Clear();
    EXPECT_THROW(list.First(), EListError);
}

TEST(List, SortOrdersByTheComparison) {
    int v[3] = {3, 1, 2};
    TList list;
    for (int& x : v)
        list.Add(&x);
    list.Sort([](void* a, void* b) { return *static_cast<int*>(a) - *static_cast<int*>(b); });
    EXPECT_EQ(*static_cast<int*>(list.Items(0)), 1);
    EXPECT_EQ(*static_cast<int*>(list.Items(2)), 3);
}

namespace {

// A collection that persists its bytes as the binary property "Data", and a
// count as "Count" through the typed writer.
class TBlobHolder : public TPersistent {
public:
    std::string Bytes;
    int32_t Number = 0;
    void DefineProperties(TFiler* filer) override {
        filer->DefineBinaryProperty(
            "Data",
            [this](TStream& s) {
                Bytes.assign(static_cast<size_t>(s.Size()), '\0');
                s.ReadBuffer(Bytes.data(), static_cast<int32_t>(Bytes.size()));
            },
            [this](TStream& s) { s.WriteBuffer(Bytes.data(), static_cast<int32_t>(Bytes.size())); },
            !Bytes.empty());
        filer->DefineProperty(
            "Count", [this](TReader& r) { Number = r.ReadInteger(); },
            [this](TWriter& w) { w.WriteInteger(Number); }, Number != 0);
    }
};

} // namespace

TEST(Filer, BinaryPropertiesRoundTripThroughWriterAndReader) {
    TBlobHolder source;
    source.Bytes = std::string("a\0b\xff", 4);
    source.Number = 7;
    TMemoryStream stream;
    TWriter(stream).WriteProperties(&source);
    stream.SetPosition(0);
    TBlobHolder copy;
    TReader(stream).ReadProperties(&copy);
    EXPECT_EQ(copy.Bytes, source.Bytes);
    EXPECT_EQ(copy.Number, 7);
    EXPECT_EQ(stream.Position(), stream.Size());

    TBlobHolder empty; // has no data: only the end marker is written
    TMemoryStream emptyStream;
    TWriter(emptyStream).WriteProperties(&empty);
    EXPECT_EQ(emptyStream.Size(), 4);

    // Truncated data raises instead of reading past the end.
    stream.SetSize(stream.Size() - 6);
    stream.SetPosition(0);
    TBlobHolder broken;
    EXPECT_THROW(TReader(stream).ReadProperties(&broken), EReadError);

    // A property the object does not declare is an error.
    TMemoryStream foreign;
    TWriter(foreign).WriteProperties(&source);
    foreign.SetPosition(0);
    TPersistent plain;
    EXPECT_THROW(TReader(foreign).ReadProperties(&plain), EReadError);
}
