// What the lmr commands share: the usage texts, opening an existing
// database, binding -p assignments to the host variables of the SQL text and
// reading a query's columns and the active record's cells.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "host/Fields.h"
#include "host/Variant.h"
#include "tools/lmr/Lmr.h"
#include "tools/lmr/Output.h"

using host::Variant;

const char* const LmrQuerySynopsis = "lmr query DB SQL [-p NAME=VALUE]... [--format table|csv|json]";
const char* const LmrExecSynopsis = "lmr exec DB SQL [-p NAME=VALUE]...";
const char* const LmrDemoSynopsis = "lmr demo [FILE]";

const char* const LmrUsageText =
    "usage: lmr demo [FILE]\n"
    "       lmr query DB SQL [-p NAME=VALUE]... [--format table|csv|json]\n"
    "       lmr exec DB SQL [-p NAME=VALUE]...\n"
    "       lmr --help\n"
    "\n"
    "  demo    make a sample database of customers and orders in FILE (default\n"
    "          lmr-demo.db) when it does not exist, then show queries on it\n"
    "  query   run SQL on the SQLite database DB and print its rows as they are\n"
    "          fetched: an aligned table (default), CSV or JSON\n"
    "  exec    run SQL that returns no rows on DB and print \"N rows affected\"\n"
    "\n"
    "  -p NAME=VALUE   value of the host variable :NAME in SQL; every host variable\n"
    "                  needs one. A plain decimal integer binds as an integer,\n"
    "                  anything else as text.\n"
    "\n"
    "DB must exist. Exit status: 0 success, 1 an error while running, 2 a command\n"
    "line that cannot be understood.\n";

void LmrOpenDatabase(TSqliteSession& session, const std::string& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        throw host::Exception("no such database file: " + file);
    session.SetDatabaseName(file);
    session.SetCreateIfMissing(false);
    session.Open();
}

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A plain decimal integer: optional minus, no leading zeros, fits 32 bits.
bool AsPlainInteger(const std::string& text, int32_t& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    const char* digits = first + (first != last && *first == '-' ? 1 : 0);
    if (digits == last || (*digits == '0' && last - digits > 1) || (*digits == '0' && digits != first))
        return false;
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string ArrayBytes(Variant value) {
    const int32_t count = host::VarArrayHighBound(value) - host::VarArrayLowBound(value) + 1;
    if (count <= 0) return {};
    const char* data = static_cast<const char*>(host::VarArrayLock(value));
    std::string bytes(data, static_cast<size_t>(count));
    host::VarArrayUnlock(value);
    return bytes;
}

TCellKind KindOf(host::TFieldType type) {
    switch (type) {
    case host::ftSmallint:
    case host::ftInteger:
    case host::ftWord:
    case host::ftAutoInc:
    case host::ftLargeint:
        return TCellKind::Integer;
    case host::ftFloat:
    case host::ftCurrency:
    case host::ftBCD:
        return TCellKind::Real;
    case host::ftBoolean:
        return TCellKind::Boolean;
    case host::ftBytes:
    case host::ftVarBytes:
    case host::ftBlob:
    case host::ftGraphic:
    case host::ftTypedBinary:
        return TCellKind::Binary;
    default:
        return TCellKind::Text;
    }
}

int32_t DeclaredWidth(const host::TField* field) {
    switch (field->DataType()) {
    case host::ftString:
    case host::ftFixedChar:
    case host::ftWideString:
        return field->Size();
    case host::ftDate:
        return 10;
    case host::ftTime:
        return 8;
    case host::ftDateTime:
        return 19;
    case host::ftBytes:
    case host::ftVarBytes:
        return 2 * field->Size();
    default:
        break;
    }
    switch (KindOf(field->DataType())) {
    case TCellKind::Integer:
        return 6;
    case TCellKind::Real:
        return 10;
    case TCellKind::Boolean:
        return 5;
    default:
        return 0; // memo and blob: only the rows tell
    }
}

// A memo or blob value as the statement keeps it: a column without a
// declared type holds an integer, a real, text or bytes row by row.
void ReadStoredValue(TSqliteQuery& query, const host::TField* field, TCell& cell) {
    query.UpdateCursorPos();
    const Variant value = query.SqliteStatement()->GetFieldValue(Variant(field->FieldNo() - 1));
    const host::TVarType type = value.VarType();
    if (type == host::varNull || type == host::varEmpty) {
        cell.Null = true;
    } else if (type == host::varInt64 || type == host::varInteger || type == host::varSmallint) {
        cell.Kind = TCellKind::Integer;
        cell.Text = value.AsString();
    } else if (type == host::varDouble) {
        cell.Kind = TCellKind::Real;
        cell.Text = FormatReal(value.AsDouble());
    } else if (type == (host::varArray | host::varByte)) {
        cell.Kind = TCellKind::Binary;
        cell.Text = Hex(ArrayBytes(value));
    } else {
        cell.Kind = TCellKind::Text;
        cell.Text = value.AsString();
    }
}

} // namespace

void LmrBindParams(TSqliteQuery& query, const std::vector<std::string>& assignments,
                   const std::string& synopsis) {
    TLumraParams* params = query.Params();
    for (const std::string& assignment : assignments) {
        const size_t equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0)
            throw ELmrUsage("-p needs NAME=VALUE, not '" + assignment + "'", synopsis);
        const std::string name = assignment.substr(0, equals);
        const std::string value = assignment.substr(equals + 1);
        bool found = false;
        // Every position of a repeated name is the same parameter, so all get the value.
        for (int32_t i = 0; i < params->Count(); ++i) {
            TLumraParam* param = params->RawItem(i);
            if (!SameName(param->Name(), name)) continue;
            found = true;
            int32_t number = 0;
            if (AsPlainInteger(value, number))
                param->SetAsInteger(number);
            else
                param->SetAsString(value);
        }
        if (!found) throw host::Exception("parameter '" + name + "' does not appear in the SQL as :" + name);
    }
    for (int32_t i = 0; i < params->Count(); ++i)
        if (!params->RawItem(i)->Bound())
            throw host::Exception("parameter :" + params->RawItem(i)->Name() + " has no value (give -p " +
                                  params->RawItem(i)->Name() + "=VALUE)");
}

TLmrRowReader::TLmrRowReader(TSqliteQuery& query) : FQuery(query) {
    TLumraFieldDefs* columns = query.Statement()->FieldDefs();
    for (int32_t i = 0; i < query.Fields()->Count(); ++i) {
        host::TField* field = query.Fields()->Fields(i);
        const TLumraFieldDef* column =
            field->FieldNo() > 0 ? columns->GetItem(field->FieldNo() - 1) : nullptr;
        if (column != nullptr && column->KeyIndicator() == kiHiddenKeyField) continue;
        FSources.push_back({field, column != nullptr ? column->Decimals() : 0});
        FColumns.push_back({field->FieldName(), KindOf(field->DataType()), DeclaredWidth(field)});
    }
}

void TLmrRowReader::Read(std::vector<TCell>& cells) {
    cells.assign(FSources.size(), TCell{});
    for (size_t i = 0; i < FSources.size(); ++i) {
        host::TField* field = FSources[i].Field;
        TCell& cell = cells[i];
        cell.Kind = FColumns[i].Kind;
        if (field->IsBlob()) {
            ReadStoredValue(FQuery, field, cell);
            continue;
        }
        if (field->IsNull()) {
            cell.Null = true;
            continue;
        }
        switch (cell.Kind) {
        case TCellKind::Real:
            cell.Text = FormatReal(field->AsFloat(), FSources[i].Decimals);
            break;
        case TCellKind::Boolean:
            cell.Text = field->AsBoolean() ? "true" : "false";
            break;
        case TCellKind::Binary:
            cell.Text = Hex(field->AsString());
            break;
        default:
            cell.Text = field->AsString();
            break;
        }
    }
}
