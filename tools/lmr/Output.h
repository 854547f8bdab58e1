// Result output for lmr: an aligned table, CSV (RFC 4180) and JSON, each
// written row by row as the rows are fetched.
//
// Table: columns are sized from the field definitions (declared sizes
// capped at MaxColumnWidth) and from the first screenful of rows, which is
// held back until it is complete or the result ends. A value wider than its
// column is never cut: it is printed whole and pushes the rest of its row to
// the right. Control characters show as \n, \r, \t or \xHH so that a row
// stays on one line; NULL shows as NULL. Numbers are right-aligned.
//
// CSV: a header line, then one record per row, CRLF line ends; fields that
// hold a comma, quote, CR or LF are quoted with inner quotes doubled. NULL is
// an empty unquoted field, the empty string "".
//
// JSON: an array of objects, one per row, keys in column order (output cut
// short by an error ends its last line but leaves the array open). Integers,
// finite reals and Booleans are JSON numbers and true/false, NULL is null,
// everything else a string with ", \ and control characters escaped; bytes
// that are not UTF-8 are read as Latin-1 (\u00XX) so the output stays valid.
//
// Binary values are written as lowercase hexadecimal text in every format.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

enum class TCellKind : uint8_t { Text, Integer, Real, Boolean, Binary };

struct TColumn {
    std::string Name;
    TCellKind Kind = TCellKind::Text;
    // Display width the column's definition suggests (0: nothing known).
    int32_t DeclaredWidth = 0;
};

struct TCell {
    bool Null = false;
    // Real and Boolean cells carry their text form ("2.5", "true"); binary
    // cells their hexadecimal form.
    std::string Text;
    // Usually the column's kind; a column without a declared type holds
    // whatever each row stores.
    TCellKind Kind = TCellKind::Text;
};

class TRowWriter {
public:
    virtual ~TRowWriter() = default;
    virtual void Begin(const std::vector<TColumn>& columns) = 0;
    virtual void Row(const std::vector<TCell>& cells) = 0;
    // After the last row (also when no row came).
    virtual void End() = 0;
    // When fetching failed after Begin: writes what is still held back, so
    // that the rows read before the failure are not lost.
    virtual void Abandon() {}
};

inline constexpr int32_t MaxColumnWidth = 40;
inline constexpr size_t ScreenRows = 24;

// format is "table", "csv" or "json"; null for anything else.
std::unique_ptr<TRowWriter> MakeRowWriter(const std::string& format, std::FILE* out);

// The text form of a double: with decimals digits after the point when that
// text reads back as the same value (a declared scale), otherwise the
// shortest text that does.
std::string FormatReal(double value, int32_t decimals = 0);
