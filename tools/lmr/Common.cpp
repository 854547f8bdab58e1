// What the lmr commands share: the usage texts, opening an existing
// database, binding -p assignments to the host variables of the SQL text and
// reading a query's columns and the active record's cells.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "drivers/sqlite/SqliteDataset.h"
#include "drivers/sqlite/SqliteSession.h"
#include "drivers/sqlite/SqliteStatement.h"
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
    "  query   run SQL that returns rows (SELECT, PRAGMA, ... RETURNING) on the\n"
    "          SQLite database DB and print the rows as they are read: an aligned\n"
    "          table (default), CSV or JSON. Every value is shown as stored,\n"
    "          whatever its column declares. SQL runs as written: what it\n"
    "          changes stays changed.\n"
    "  exec    run SQL that returns no rows (INSERT, UPDATE, DELETE, CREATE,\n"
    "          VACUUM, PRAGMA name = value, ...) on DB and print \"N rows\n"
    "          affected\"\n"
    "\n"
    "  A statement given to the other command is not run: lmr says which command\n"
    "  runs it and exits with status 1.\n"
    "\n"
    "  -p NAME=VALUE       value of the host variable :NAME in SQL; every host\n"
    "                      variable needs one. A plain decimal integer (64-bit)\n"
    "                      binds as an integer, anything else as text.\n"
    "  -p NAME:int=VALUE   a 64-bit integer (leading zeros allowed)\n"
    "  -p NAME:real=VALUE  a real number (1.5, -2e-3, inf)\n"
    "  -p NAME:text=VALUE  text, even when it looks like a number (007)\n"
    "  -p NAME:null        NULL\n"
    "\n"
    "DB must exist. Exit status: 0 success, 1 an error while running, 2 a command\n"
    "line that cannot be understood, 130 interrupted by Ctrl-C (the rows written\n"
    "so far are whole lines).\n";

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

// A plain decimal integer: optional minus, no leading zeros, fits 64 bits.
bool AsPlainInteger(const std::string& text, int64_t& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    const char* digits = first + (first != last && *first == '-' ? 1 : 0);
    if (digits == last || (*digits == '0' && last - digits > 1) || (*digits == '0' && digits != first))
        return false;
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last;
}

// An integer a type word asks for: optional sign, decimal digits only.
bool AsInteger(const std::string& text, int64_t& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    if (first == last || (*first == '-' && last - first == 1)) return false;
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last;
}

// A real number; NaN is refused, since the engine would store it as NULL.
bool AsReal(const std::string& text, double& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    if (first == last) return false;
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last && !std::isnan(value);
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// One -p assignment: the host variable's name and its value.
struct TAssignment {
    std::string Name;
    Variant Value;
};

TAssignment ParseAssignment(const std::string& assignment, const std::string& synopsis) {
    const size_t equals = assignment.find('=');
    const std::string left = assignment.substr(0, equals);
    const std::string value = equals == std::string::npos ? std::string() : assignment.substr(equals + 1);
    const size_t colon = left.rfind(':');
    const std::string type = colon == std::string::npos ? std::string() : Lower(left.substr(colon + 1));
    const bool typed = type == "int" || type == "real" || type == "text" || type == "null";
    const std::string name = typed ? left.substr(0, colon) : left;
    if (name.empty() || (equals == std::string::npos && type != "null"))
        throw ELmrUsage("-p needs NAME=VALUE, NAME:TYPE=VALUE or NAME:null, not '" + assignment + "'",
                        synopsis);
    if (type == "null") {
        if (equals != std::string::npos)
            throw ELmrUsage("-p " + name + ":null takes no value, not '" + assignment + "'", synopsis);
        return {name, Variant::Null()};
    }
    if (type == "int") {
        int64_t number = 0;
        if (!AsInteger(value, number))
            throw ELmrUsage("-p " + name + ":int needs a 64-bit decimal integer, not '" + value + "'",
                            synopsis);
        return {name, Variant(number)};
    }
    if (type == "real") {
        double number = 0;
        if (!AsReal(value, number))
            throw ELmrUsage("-p " + name + ":real needs a real number, not '" + value + "'", synopsis);
        return {name, Variant(number)};
    }
    int64_t number = 0;
    if (type.empty() && AsPlainInteger(value, number)) return {name, Variant(number)};
    return {name, Variant(value)};
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

// A value as the engine stores it: an integer, a real, text or bytes.
void StoredCell(const Variant& value, TCell& cell) {
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

// A memo or blob value of a dataset's field as the statement keeps it: a
// column without a declared type holds an integer, a real, text or bytes row
// by row.
void ReadStoredValue(TSqliteQuery& query, const host::TField* field, TCell& cell) {
    query.UpdateCursorPos();
    StoredCell(query.SqliteStatement()->GetFieldValue(Variant(field->FieldNo() - 1)), cell);
}

} // namespace

std::vector<Variant> LmrParamValues(std::string& sql, const std::vector<std::string>& assignments,
                                    const std::string& synopsis) {
    TLumraParams params(nullptr);
    TLumraDataset::CreateParams(&params, sql);
    std::vector<TAssignment> given;
    for (const std::string& assignment : assignments)
        given.push_back(ParseAssignment(assignment, synopsis));
    std::vector<Variant> values(static_cast<size_t>(params.Count()));
    std::vector<bool> bound(values.size(), false);
    for (const TAssignment& assignment : given) {
        bool found = false;
        // Every occurrence of a repeated name is the same variable, so all get the value.
        for (int32_t i = 0; i < params.Count(); ++i) {
            if (!SameName(params.RawItem(i)->Name(), assignment.Name)) continue;
            found = true;
            values[static_cast<size_t>(i)] = assignment.Value;
            bound[static_cast<size_t>(i)] = true;
        }
        if (!found)
            throw host::Exception("parameter '" + assignment.Name +
                                  "' does not appear in the SQL as :" + assignment.Name);
    }
    for (int32_t i = 0; i < params.Count(); ++i)
        if (!bound[static_cast<size_t>(i)])
            throw host::Exception("parameter :" + params.RawItem(i)->Name() + " has no value (give -p " +
                                  params.RawItem(i)->Name() + "=VALUE)");
    return values;
}

void LmrCheckOutput(std::FILE* out) {
    if (!std::ferror(out)) return;
    const int error = errno;
    throw host::Exception(std::string("cannot write the output: ") +
                          (error != 0 ? std::strerror(error) : "write error"));
}

TLmrStatementReader::TLmrStatementReader(TSqliteSQL& statement) : FStatement(statement) {
    TLumraFieldDefs* columns = statement.FieldDefs();
    for (int32_t i = 0; i < columns->GetCount(); ++i) {
        const TLumraFieldDef* column = columns->GetItem(i);
        if (column->KeyIndicator() == kiHiddenKeyField) continue;
        FSources.push_back(i);
        FColumns.push_back({column->Name(), TCellKind::Text, 0});
    }
}

void TLmrStatementReader::Read(std::vector<TCell>& cells) {
    cells.resize(FSources.size());
    for (size_t i = 0; i < FSources.size(); ++i) {
        TCell& cell = cells[i];
        cell.Null = false;
        cell.Text.clear();
        StoredCell(FStatement.GetFieldValue(Variant(FSources[i])), cell);
    }
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
