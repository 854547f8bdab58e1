// Binding client-library entry points: a found entry point wins over the
// fallback, and the fallbacks are called through the entry point's own type,
// one raising LUMRA_ERR_LIB_WRONG, the other returning a zero value.
#include "LmrBase/LmrErrors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <dlfcn.h>

namespace {

// Entry points of the shapes a client library exports.
extern "C" int FakeConnect(const char*, void**) {
    return 42;
}

struct TApi {
    int (*Connect)(const char*, void**) = nullptr;
    void* (*Alloc)(std::size_t) = nullptr;
    double (*Ratio)(void*, int) = nullptr;
    int64_t (*RowCount)(void*) = nullptr;
    void (*Trace)(void*, const char*, int) = nullptr;
    void (*Reset)() = nullptr;
    int32_t (*Version)() = nullptr;
};

template <class Fn, class... Args> void ExpectLibWrong(Fn* F, Args... A) {
    try {
        F(A...);
        ADD_FAILURE() << "the fallback returned";
    } catch (const ELumraException& e) {
        EXPECT_EQ(e.Message(), "Function not supported by this version of the Database Interface library");
        EXPECT_EQ(e.ErrorCode(), 0);
    }
}

TEST(AssignProcAddress, FoundEntryPointWinsOverTheFallback) {
    int (*Connect)(const char*, void**) = nullptr;
    LmrAssignProcAddress(Connect, reinterpret_cast<void*>(&FakeConnect), LmrDummyProc);
    ASSERT_EQ(Connect, &FakeConnect);
    EXPECT_EQ(Connect("db", nullptr), 42);
}

TEST(AssignProcAddress, EntryPointFoundWithDlsymIsCallable) {
    void* Self = dlopen(nullptr, RTLD_NOW);
    ASSERT_NE(Self, nullptr);
    std::size_t (*Len)(const char*) = nullptr;
    LmrAssignProcAddress(Len, dlsym(Self, "strlen"), LmrDummyProc);
    EXPECT_EQ(Len("abcd"), 4u);
    int (*Missing)(int) = nullptr;
    LmrAssignProcAddress(Missing, dlsym(Self, "lmr_no_such_entry_point"), LmrDummyProcNoExcept);
    EXPECT_EQ(Missing(1), 0);
    dlclose(Self);
}

TEST(AssignProcAddress, MissingEntryPointsBoundToLmrDummyProcRaiseLibWrong) {
    TApi Api;
    LmrAssignProcAddress(Api.Connect, nullptr, LmrDummyProc);
    LmrAssignProcAddress(Api.Alloc, nullptr, LmrDummyProc<void*(std::size_t)>);
    LmrAssignProcAddress(Api.Ratio, nullptr, LmrDummyProc<double, void*, int>);
    LmrAssignProcAddress(Api.RowCount, nullptr, LmrDummyProc);
    LmrAssignProcAddress(Api.Trace, nullptr, LmrDummyProc<void(void*, const char*, int)>);
    LmrAssignProcAddress(Api.Reset, nullptr, LmrDummyProc);
    ExpectLibWrong(Api.Connect, "db", static_cast<void**>(nullptr));
    ExpectLibWrong(Api.Alloc, std::size_t{16});
    ExpectLibWrong(Api.Ratio, static_cast<void*>(nullptr), 3);
    ExpectLibWrong(Api.RowCount, static_cast<void*>(nullptr));
    ExpectLibWrong(Api.Trace, static_cast<void*>(nullptr), "x", 1);
    ExpectLibWrong(Api.Reset);
    EXPECT_EQ(Api.Reset, &static_cast<void (&)()>(LmrDummyProc));
}

TEST(AssignProcAddress, MissingEntryPointsBoundToLmrDummyProcNoExceptReturnZero) {
    TApi Api;
    LmrAssignProcAddress(Api.Connect, nullptr, LmrDummyProcNoExcept);
    LmrAssignProcAddress(Api.Alloc, nullptr, LmrDummyProcNoExcept<void*(std::size_t)>);
    LmrAssignProcAddress(Api.Ratio, nullptr, LmrDummyProcNoExcept<double, void*, int>);
    LmrAssignProcAddress(Api.RowCount, nullptr, LmrDummyProcNoExcept);
    LmrAssignProcAddress(Api.Trace, nullptr, LmrDummyProcNoExcept);
    LmrAssignProcAddress(Api.Version, nullptr, LmrDummyProcNoExcept);
    void* Handle = &Api;
    EXPECT_EQ(Api.Connect("db", &Handle), 0);
    EXPECT_EQ(Handle, &Api) << "the fallback must not touch its arguments";
    EXPECT_EQ(Api.Alloc(16), nullptr);
    EXPECT_EQ(Api.Ratio(Handle, 3), 0.0);
    EXPECT_EQ(Api.RowCount(Handle), 0);
    EXPECT_NO_THROW(Api.Trace(Handle, "x", 1));
    EXPECT_EQ(Api.Version(), 0);
    EXPECT_EQ(Api.Version, &static_cast<int32_t (&)()>(LmrDummyProcNoExcept));
}

TEST(DummyProcs, ParameterlessFallbacksCanBeCalledDirectly) {
    EXPECT_EQ(LmrDummyProcNoExcept(), 0);
    ExpectLibWrong(&static_cast<void (&)()>(LmrDummyProc));
}

} // namespace
