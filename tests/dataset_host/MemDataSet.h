// A driver-less dataset over a vector of rows, serving the host dataset's
// record-buffer protocol the way a concrete descendant does. It records the
// protocol calls it receives so tests can check their order.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "host/DBConsts.h"
#include "host/DataLinks.h"
#include "host/DataSet.h"
#include "host/SysUtils.h"

namespace memds {

using namespace host;

struct ColumnSpec {
    std::string Name;
    TFieldType Type;
    int32_t Size = 0;
};

// Row bytes: per column one null flag (1 = has a value) and the field buffer.
class TMemDataSet : public TDataSet {
public:
    struct Row {
        int32_t Key; // stable identity for bookmarks
        std::string Data;
    };

    TMemDataSet(TComponent* owner, std::vector<ColumnSpec> columns)
        : TDataSet(owner), FColumns(std::move(columns)) {
        int32_t ofs = 0;
        for (const auto& c : FColumns) {
            FOffsets.push_back(ofs);
            ofs += 1 + ColumnDataSize(c);
        }
        FRecordSize = ofs;
    }
    ~TMemDataSet() override {
        Destroying();
        Close();
    }

    static int32_t ColumnDataSize(const ColumnSpec& c) {
        switch (c.Type) {
        case ftString:
            return c.Size + 1;
        case ftInteger:
            return 4;
        case ftSmallint:
        case ftBoolean:
            return 2;
        default:
            return 8;
        }
    }

    // Appends a row given as Variants in column order (Null for null).
    void AddRow(std::initializer_list<Variant> values) {
        Row row{FNextKey++, std::string(static_cast<size_t>(FRecordSize), '\0')};
        size_t i = 0;
        for (const Variant& v : values) {
            const ColumnSpec& c = FColumns[i];
            char* p = row.Data.data() + FOffsets[i];
            ++i;
            if (v.IsNull()) continue;
            p[0] = 1;
            switch (c.Type) {
            case ftString: {
                const std::string s = v.AsString();
                std::memcpy(p + 1, s.data(), std::min<size_t>(s.size(), static_cast<size_t>(c.Size)));
                break;
            }
            case ftInteger: {
                const int32_t x = v.AsInteger();
                std::memcpy(p + 1, &x, 4);
                break;
            }
            default: {
                const double d = v.AsDouble();
                std::memcpy(p + 1, &d, 8);
                break;
            }
            }
        }
        FRows.push_back(std::move(row));
    }

    std::vector<Row> FRows;
    std::vector<std::string> Log;
    int32_t FetchCount = 0;
    int32_t FailPosts = 0; // InternalPost raises EDatabaseError this many times
    bool ReadOnlyData = false;
    TDataSource* MasterSource = nullptr; // for IsLinkedTo

    int32_t Cursor() const { return FCursor; }
    std::string Text(int32_t row, int32_t col) const {
        return std::string(FRows[static_cast<size_t>(row)].Data.data() + FOffsets[static_cast<size_t>(col)] +
                           1);
    }

    // The record buffer standing for the current record in this state.
    TRecordBuffer CurrentBuffer() {
        switch (State()) {
        case dsBrowse:
            return IsEmpty() ? nullptr : ActiveBuffer();
        case dsEdit:
        case dsInsert:
            return ActiveBuffer();
        case dsCalcFields:
            return CalcBuffer();
        default:
            return nullptr;
        }
    }

    TDataSource* GetDataSource() override { return MasterSource; }
    bool GetCanModify() override { return !ReadOnlyData; }
    int32_t GetRecordCount() override { return static_cast<int32_t>(FRows.size()); }
    int32_t GetRecNo() override {
        TRecordBuffer b = ActiveBuffer();
        if (!b || GetBookmarkFlag(b) != bfCurrent) return -1;
        int32_t key;
        std::memcpy(&key, b + BookmarkOfs(), 4);
        return IndexOfKey(key) + 1;
    }

    Variant Lookup(const std::string& keyFields, const Variant& keyValues,
                   const std::string& resultFields) override {
        const int32_t keyCol = ColumnIndex(keyFields), resCol = ColumnIndex(resultFields);
        for (const Row& r : FRows) {
            const Variant v = ReadCell(r.Data, keyCol);
            if (!v.IsNull() && VarCompareValue(v, keyValues) == vrEqual) return ReadCell(r.Data, resCol);
        }
        return Variant::Null();
    }

protected:
    int32_t BookmarkOfs() const { return FRecordSize + CalcFieldsSize(); }
    int32_t ColumnIndex(const std::string& name) const {
        for (size_t i = 0; i < FColumns.size(); ++i)
            if (AnsiSameText(FColumns[i].Name, name)) return static_cast<int32_t>(i);
        return -1;
    }
    Variant ReadCell(const std::string& data, int32_t col) const {
        const char* p = data.data() + FOffsets[static_cast<size_t>(col)];
        if (!p[0]) return Variant::Null();
        switch (FColumns[static_cast<size_t>(col)].Type) {
        case ftString:
            return Variant(std::string(p + 1));
        case ftInteger: {
            int32_t x;
            std::memcpy(&x, p + 1, 4);
            return Variant(x);
        }
        default: {
            double d;
            std::memcpy(&d, p + 1, 8);
            return Variant(d);
        }
        }
    }
    int32_t IndexOfKey(int32_t key) const {
        for (size_t i = 0; i < FRows.size(); ++i)
            if (FRows[i].Key == key) return static_cast<int32_t>(i);
        return -1;
    }

    TRecordBuffer AllocRecordBuffer() override { return new char[static_cast<size_t>(BookmarkOfs() + 5)](); }
    void FreeRecordBuffer(TRecordBuffer& buffer) override {
        delete[] buffer;
        buffer = nullptr;
    }
    void GetBookmarkData(TRecordBuffer buffer, void* data) override {
        std::memcpy(data, buffer + BookmarkOfs(), 4);
    }
    void SetBookmarkData(TRecordBuffer buffer, void* data) override {
        std::memcpy(buffer + BookmarkOfs(), data, 4);
    }
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) override {
        return static_cast<TBookmarkFlag>(buffer[BookmarkOfs() + 4]);
    }
    void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) override {
        buffer[BookmarkOfs() + 4] = static_cast<char>(value);
    }
    TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool) override {
        const auto n = static_cast<int32_t>(FRows.size());
        if (mode == gmNext) {
            if (FCursor < n) ++FCursor;
            if (FCursor >= n) return grEOF;
        } else if (mode == gmPrior) {
            if (FCursor >= 0) --FCursor;
            if (FCursor < 0) return grBOF;
        } else {
            if (FCursor < 0) return grBOF;
            if (FCursor >= n) return grEOF;
        }
        ++FetchCount;
        const Row& r = FRows[static_cast<size_t>(FCursor)];
        std::memcpy(buffer, r.Data.data(), static_cast<size_t>(FRecordSize));
        std::memcpy(buffer + BookmarkOfs(), &r.Key, 4);
        buffer[BookmarkOfs() + 4] = bfCurrent;
        GetCalcFields(buffer);
        return grOK;
    }
    int32_t GetRecordSize() override { return FRecordSize; }
    // A new record carries a bookmark of its own that names no row (key 0).
    void InitRecord(TRecordBuffer buffer) override {
        TDataSet::InitRecord(buffer);
        const int32_t none = 0;
        std::memcpy(buffer + BookmarkOfs(), &none, 4);
    }
    void InternalAddRecord(void* buffer, bool append) override {
        Log.push_back(std::string("InternalAddRecord:") + (append ? "append" : "insert"));
        StoreNew(static_cast<TRecordBuffer>(buffer), append);
    }
    void InternalClose() override {
        Log.push_back("InternalClose");
        BindFields(false);
        if (DefaultFields()) DestroyFields();
        FOpen = false;
    }
    void InternalDelete() override {
        Log.push_back("InternalDelete");
        FRows.erase(FRows.begin() + FCursor);
    }
    void InternalFirst() override { FCursor = -1; }
    void InternalLast() override { FCursor = static_cast<int32_t>(FRows.size()); }
    // Like a driver that walks to a row number: a bookmark of no row leaves
    // the cursor before the first row.
    void InternalGotoBookmark(void* bookmark) override {
        int32_t key;
        std::memcpy(&key, bookmark, 4);
        FCursor = IndexOfKey(key);
    }
    void InternalHandleException() override {}
    void InternalInitFieldDefs() override {
        FieldDefs()->Clear();
        for (const auto& c : FColumns)
            FieldDefs()->Add(c.Name, c.Type, c.Type == ftString ? c.Size : 0);
    }
    void InternalInitRecord(TRecordBuffer buffer) override {
        std::memset(buffer, 0, static_cast<size_t>(FRecordSize));
    }
    void InternalOpen() override {
        Log.push_back("InternalOpen");
        FieldDefs()->SetUpdated(false);
        FieldDefs()->Update();
        if (DefaultFields()) CreateFields();
        BindFields(true);
        SetBookmarkSize(4);
        FCursor = -1;
        FOpen = true;
    }
    void InternalEdit() override { Log.push_back("InternalEdit:" + StateName()); }
    void InternalInsert() override { Log.push_back("InternalInsert:" + StateName()); }
    void InternalCancel() override { Log.push_back("InternalCancel:" + StateName()); }
    void InternalPost() override {
        Log.push_back("InternalPost:" + StateName());
        if (FailPosts > 0) {
            --FailPosts;
            DatabaseError("post refused", this);
        }
        TDataSet::InternalPost();
        TRecordBuffer b = ActiveBuffer();
        if (State() == dsEdit)
            std::memcpy(FRows[static_cast<size_t>(FCursor)].Data.data(), b, static_cast<size_t>(FRecordSize));
        else
            StoreNew(b, GetBookmarkFlag(b) == bfEOF);
    }
    void InternalSetToRecord(TRecordBuffer buffer) override { InternalGotoBookmark(buffer + BookmarkOfs()); }
    bool IsCursorOpen() override { return FOpen; }
    void ClearCalcFields(TRecordBuffer buffer) override {
        std::memset(buffer + FRecordSize, 0, static_cast<size_t>(CalcFieldsSize()));
    }
    bool GetFieldData(TField* field, void* buffer) override {
        TRecordBuffer rec = CurrentBuffer();
        if (!rec) return false;
        const char* p = field->FieldNo() > 0 ? rec + FOffsets[static_cast<size_t>(field->FieldNo() - 1)]
                                             : rec + FRecordSize + field->Offset();
        if (!p[0]) return false;
        if (buffer) std::memcpy(buffer, p + 1, static_cast<size_t>(field->DataSize()));
        return true;
    }
    void SetFieldData(TField* field, const void* buffer) override {
        const TDataSetState s = State();
        if (s != dsEdit && s != dsInsert && s != dsCalcFields)
            DatabaseError(LoadResString(SNotEditing), this);
        TRecordBuffer rec = CurrentBuffer();
        if (field->FieldNo() > 0) {
            if (s == dsCalcFields) DatabaseError(LoadResString(SNotEditing), this);
            if (field->ReadOnly())
                DatabaseError(Format(LoadResString(SFieldReadOnly), {field->DisplayName()}), this);
            field->Validate(buffer);
        }
        char* p = field->FieldNo() > 0 ? rec + FOffsets[static_cast<size_t>(field->FieldNo() - 1)]
                                       : rec + FRecordSize + field->Offset();
        p[0] = buffer ? 1 : 0;
        if (buffer) std::memcpy(p + 1, buffer, static_cast<size_t>(field->DataSize()));
        if (s != dsCalcFields) DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
    }

public:
    int32_t CompareBookmarks(TBookmark a, TBookmark b) override {
        if (!a || !b) return TDataSet::CompareBookmarks(a, b);
        int32_t ka, kb;
        std::memcpy(&ka, a, 4);
        std::memcpy(&kb, b, 4);
        const int32_t ia = IndexOfKey(ka), ib = IndexOfKey(kb);
        return ia < ib ? -1 : ia > ib ? 1 : 0;
    }
    bool BookmarkValid(TBookmark b) override {
        if (!b) return false;
        int32_t k;
        std::memcpy(&k, b, 4);
        return IndexOfKey(k) >= 0;
    }

protected:
    std::string StateName() const {
        static const char* names[] = {"Inactive", "Browse",     "Edit",      "Insert",
                                      "SetKey",   "CalcFields", "Filter",    "NewValue",
                                      "OldValue", "CurValue",   "BlockRead", "InternalCalc"};
        return names[State()];
    }

private:
    void StoreNew(TRecordBuffer b, bool append) {
        Row row{FNextKey++, std::string(b, static_cast<size_t>(FRecordSize))};
        if (append || FCursor >= static_cast<int32_t>(FRows.size())) {
            FRows.push_back(std::move(row));
            FCursor = static_cast<int32_t>(FRows.size()) - 1;
        } else {
            const int32_t at = std::max(FCursor, 0);
            FRows.insert(FRows.begin() + at, std::move(row));
            FCursor = at;
        }
    }

    std::vector<ColumnSpec> FColumns;
    std::vector<int32_t> FOffsets;
    int32_t FRecordSize = 0;
    int32_t FCursor = -1;
    int32_t FNextKey = 1;
    bool FOpen = false;
};

} // namespace memds
