// A recording double of a driver: a session and a statement subclass that log
// which driver operations the base classes called, in which order and with
// which arguments, and answer as each test scripts them. It exists only to
// test the base classes' own contracts; it knows no engine.
#pragma once

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "LmrBase/LmrBase.h"
#include "host/Strings.h"

namespace recording {

using Log = std::vector<std::string>;

inline std::string Join(const Log& log) {
    std::string out;
    for (const std::string& entry : log)
        out += (out.empty() ? "" : " ") + entry;
    return out;
}

class RecordingSession : public TLumraSession {
public:
    // The driver's single library count, shared by all its sessions.
    static inline int32_t LibraryRefCount = 0;

    explicit RecordingSession(Log* log, host::TComponent* owner = nullptr)
        : TLumraSession(owner), FLog(log) {}
    ~RecordingSession() override { DestroySession(); }

    // Script.
    void* NextHandle = reinterpret_cast<void*>(0x1000);
    bool FailConnect = false;
    bool FailInit = false;
    std::string LibraryPath = "/nonexistent/";

    int32_t GetLibraryRefCount() override { return LibraryRefCount; }
    void SetLibraryRefCount(int32_t value) override { LibraryRefCount = value; }
    void GetLibraryPath(std::string& path) override { path = LibraryPath; }
    void InternalLoadLibrary() override { Add("LoadLibrary"); }
    void InternalFreeLibrary() override { Add("FreeLibrary"); }
    void InternalInitLibrary() override {
        Add("InitLibrary");
        if (FailInit) RaiseLastError(host::LoadResString(LUMRA_ERR_LIB_INIT_FAILED), -7);
    }
    void InternalConnect(void*& handle) override {
        Add("Connect");
        if (FailConnect) RaiseLastError(host::LoadResString(LUMRA_ERR_LIB_LOAD_FAILED), -1);
        handle = NextHandle;
    }
    void InternalDisconnect() override { Add("Disconnect"); }
    void InternalSetHandle(void* handle) override {
        Add(handle == nullptr ? "SetHandle(null)"
                              : "SetHandle(" + std::to_string(reinterpret_cast<uintptr_t>(handle)) + ")");
    }
    bool InternalCheck(void*, int32_t value1, int32_t value2, bool flag) override {
        Add("Check(" + std::to_string(value1) + "," + std::to_string(value2) + "," +
            (flag ? "true" : "false") + ")");
        return value1 == value2;
    }
    void InternalCommit(bool automatic) override { Add(automatic ? "Commit(auto)" : "Commit"); }
    void InternalRollback() override { Add("Rollback"); }

    void Add(const std::string& entry) { FLog->push_back(entry); }

private:
    Log* FLog;
};

// Stands in for the driver's blob stream: the stored value is always empty.
class RecordingBlobStream : public TLumraBlobStream {
public:
    using TLumraBlobStream::TLumraBlobStream;
    int32_t Read(void*, int32_t) override { return 0; }
};

struct Column {
    std::string Name;
    TLumraFieldTypes FieldType = ntInteger;
    int32_t Size = 4;
    TLumraKeyIndicator Key = kiRegularField;
};

class RecordingSQL : public TLumraSQL {
public:
    explicit RecordingSQL(Log* log, host::TComponent* owner = nullptr) : TLumraSQL(owner), FLog(log) {}
    ~RecordingSQL() override {
        // The base destructor reaches only the base bodies; release here.
        Unprepare();
    }

    // Script.
    std::vector<Column> Columns; // described by every prepare of a cursor
    int32_t Rows = 3;            // rows the cursor delivers
    bool PrepareResult = true;
    bool BindResult = true;
    bool BindSetsBound = true;
    bool OpenResult = true;
    bool ExecuteResult = true;
    int32_t FetchErrorCode = 0;  // a non-zero code makes fetches fail with it
    std::vector<Column> Outputs; // output variables built by every execution
    host::TStrings* BindList = nullptr;
    host::TStrings* ExecuteList = nullptr;

    bool InternalPrepare(const std::string& sql) override {
        Add("Prepare(" + sql + ")");
        return PrepareResult;
    }
    bool InternalPrepareOpen(const std::string& sql) override {
        Add("PrepareOpen(" + sql + ")");
        if (!PrepareResult) return false;
        for (const Column& c : Columns) {
            TLumraFieldDef* def =
                InternalAddFieldDef(FieldDefs(), c.Name, c.FieldType, 7, c.Size, c.Size, 0, true, c.Key);
            if (c.FieldType == ntMemo || c.FieldType == ntBlob)
                new RecordingBlobStream(BlobManager(), def->Name());
        }
        SetRecordSize(FieldDefs()->Size());
        SetIndicatorSize(FieldDefs()->GetCount());
        SetFetchCount(1);
        InternalAllocOpenBuffer();
        return TLumraSQL::InternalPrepareOpen(sql);
    }
    bool InternalBindOpen(void* arg) override {
        Add(arg == nullptr ? "BindOpen(null)" : "BindOpen(arg)");
        if (BindResult && BindSetsBound) CursorVariables()->SetBound(true);
        return BindResult;
    }
    bool InternalOpen(bool readOnly) override {
        Add(readOnly ? "Open(ro)" : "Open(rw)");
        return OpenResult && TLumraSQL::InternalOpen(readOnly);
    }
    void InternalClose() override {
        Add("Close");
        const bool wasOpen = CursorOpen();
        TLumraSQL::InternalClose();
        // As a driver does: tell the owner (normally a dataset) the cursor closed.
        if (wasOpen && OnAfterClose()) OnAfterClose()(this);
    }
    void InternalUnprepareOpen() override {
        Add("UnprepareOpen");
        TLumraSQL::InternalUnprepareOpen();
    }
    bool InternalPrepareExecute(const std::string& sql) override {
        Add("PrepareExecute(" + sql + ")");
        return PrepareResult && TLumraSQL::InternalPrepareExecute(sql);
    }
    bool InternalBindExecute(host::TStrings* list) override {
        Add("BindExecute");
        BindList = list;
        if (BindResult && BindSetsBound) ExecuteVariables()->SetBound(true);
        return BindResult;
    }
    bool InternalExecute(host::TStrings* list) override {
        Add("Execute");
        ExecuteList = list;
        if (OutputVariables()->GetCount() == 0 && !Outputs.empty()) {
            for (const Column& c : Outputs)
                InternalAddFieldDef(OutputVariables(), c.Name, c.FieldType, 7, c.Size, 0, 0, false, c.Key);
            OutputVariables()->SetBufSize(OutputVariables()->Size());
        }
        // Outputs hold the first input plus 100, so tests see where values came from.
        for (int32_t i = 0; i < OutputVariables()->GetCount(); ++i) {
            int32_t value = 100;
            if (ExecuteVariables()->GetCount() > 0)
                std::memcpy(&value, ExecuteVariables()->Buffer(), 4), value += 100;
            std::memcpy(OutputVariables()->Buffer() + OutputVariables()->GetItem(i)->Offset(), &value, 4);
        }
        SetRowsProcessed(1);
        return ExecuteResult;
    }
    void InternalUnprepareExecute() override {
        Add("UnprepareExecute");
        TLumraSQL::InternalUnprepareExecute();
    }
    int32_t InternalGetVariableLength(TLumraFieldTypes fieldType) override {
        switch (fieldType) {
        case ntInteger:
            return 4;
        case ntFloat:
        case ntCurrency:
        case ntDateTime:
            return 8;
        case ntString:
        case ntBinary:
            return 255;
        case ntBoolean:
            return 2;
        default:
            return 0;
        }
    }
    int32_t InternalGetVariableExtType(TLumraFieldTypes fieldType) override { return 100 + fieldType; }
    bool FetchFirst() override {
        Add("FetchFirst");
        return FetchTo(0);
    }
    bool FetchFirstForward() override {
        Add("FetchFirstForward");
        return FetchTo(0);
    }
    void InternalGetValue(char* buffer, int32_t position, int32_t size, TLumraFieldTypes fieldType,
                          TLumraBlobStream* stream, host::Variant& value) override {
        if (stream != nullptr || buffer == nullptr) return;
        if (fieldType == ntInteger && size >= 4) {
            int32_t n = 0;
            std::memcpy(&n, buffer + position, 4);
            value = host::Variant(n);
        } else if (fieldType == ntString) {
            value = host::Variant(std::string(buffer + position, strnlen(buffer + position, size)));
        }
    }
    void InternalSetValue(char* buffer, int32_t position, int32_t size, TLumraFieldTypes fieldType,
                          const host::Variant& value, TLumraBlobStream*) override {
        Add("SetValue(" + std::to_string(position) + "," + std::to_string(size) + "," + Text(value) + ")");
        if (buffer == nullptr) return;
        if (fieldType == ntInteger && size >= 4) {
            int32_t n = value.AsInteger();
            std::memcpy(buffer + position, &n, 4);
        } else if (fieldType == ntString) {
            std::string text = value.AsString();
            std::memcpy(buffer + position, text.data(), std::min<size_t>(text.size(), size));
        }
    }
    bool FetchNext() override {
        Add("FetchNext");
        return FetchTo(RecNo() + 1);
    }
    bool FetchCurrent() override { return FetchTo(RecNo()); }
    bool FetchPrior() override {
        Add("FetchPrior");
        return FetchTo(RecNo() - 1);
    }
    bool UpdateRow() override { return true; }
    bool InsertRow() override { return true; }
    bool DeleteRow() override { return true; }
    bool IsNull(char* indicators, int32_t column) override {
        return indicators != nullptr && indicators[column] != 0;
    }
    void SetNull(char* indicators, int32_t column, bool value) override {
        if (indicators != nullptr) indicators[column] = value ? 1 : 0;
    }

    void Add(const std::string& entry) { FLog->push_back(entry); }

private:
    static std::string Text(const host::Variant& value) {
        return value.IsArray() ? std::string("<array>") : host::VarToStr(value);
    }

    bool FetchTo(int32_t row) {
        if (FetchErrorCode != 0) {
            GetSession()->SetLastError("fetch failed", FetchErrorCode);
            return false;
        }
        if (row >= Rows) {
            SetEof(true);
            return false;
        }
        if (row < 0) {
            SetBof(true);
            return false;
        }
        SetRecNo(row);
        SetBof(false);
        SetEof(false);
        // The row as fetched: every integer column holds the row number.
        for (int32_t i = 0; i < FieldDefs()->GetCount(); ++i) {
            TLumraFieldDef* def = FieldDefs()->GetItem(i);
            if (def->FieldType() == ntInteger && RowBuffer() != nullptr) {
                std::memcpy(RowBuffer() + def->Offset(), &row, 4);
                std::memcpy(OldRowBuffer() + def->Offset(), &row, 4);
            }
        }
        if (IndicatorBuffer() != nullptr) {
            std::memset(IndicatorBuffer(), 0, IndicatorSize());
            std::memset(OldIndicatorBuffer(), 0, IndicatorSize());
        }
        return true;
    }

    Log* FLog;
};

} // namespace recording
