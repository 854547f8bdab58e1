// Unit LmrUtil: SQL text analysis (the table after FROM, the ORDER BY columns,
// the :name host variables) and small string, file-name and version helpers.
// The session, the statement, the dataset and the database enumeration use
// them; drivers and applications may call them directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---- SQL text analysis -----------------------------------------------------
// None of these raises for malformed SQL: unbalanced quotes read as ordinary
// characters, an unterminated /* comment runs to the end, and a missing clause
// gives empty results. A NUL byte ends the text.

// The first table named after FROM, without quotes; for owner.table the part
// after the dot. Empty when the text has no FROM clause.
std::string LmrGetTableNameFromSQL(const std::string& SQL);

// The ORDER BY columns separated by ";". Directions receives one "ASC" or
// "DESC" per column, separated by ";". A qualified column t.col gives col; a
// column number gives its digits; quoted column names are skipped, and so is
// a DESC that follows no column of its own, so that the two lists always pair
// up one to one. Both
// results are empty when there is no ORDER BY clause.
std::string LmrGetOrderByFromSQL(const std::string& SQL, std::string& Directions);

// The names of the :name host variables, separated by ";", in order of
// appearance, duplicates kept. Colons in quoted strings, comments, ":="
// assignments and the FROM clause do not count. A name ends at a space, ")"
// or ",", or at the end of its token.
std::string LmrGetParamsFromSQL(const std::string& SQL);

// The parameters a dataset makes of its SQL text, and the text it sends to
// the engine. Scans SQL up to its first NUL:
//   - string literals ('...' and "..." with doubled quotes inside), `quoted`
//     and [bracketed] names, and comments (-- to the end of the line, /* */)
//     hold no parameters, and a quote inside a comment opens no literal;
//   - "::" outside them is an escaped colon: Rewritten holds one ":" there;
//   - ":" followed by a name starts a parameter. The name runs over letters,
//     digits, "_", "$", bytes from 128 up and "::" pairs, and may end in a
//     "(...)" suffix without blanks, as SQLite reads a host variable; any
//     other character ends it (+ - * / = < > | . and the like). A ':'
//     followed by "=", a blank, another character that starts no name, or
//     the end starts no parameter;
//   - a quote directly after the colon makes a quoted name: it runs to the
//     closing quote of its kind and loses one pair of single, then one pair
//     of double quotes (":"my name"" is the parameter my name).
// Returns the names in order of appearance, repeated names included.
// Rewritten receives SQL with every escaped colon halved (text after a NUL
// is kept as it is). Linear in the length of SQL.
std::vector<std::string> LmrScanParams(const std::string& SQL, std::string& Rewritten);

// ---- Lists -----------------------------------------------------------------

// Appends Separator when Text is not empty, then Value; an empty Value still
// adds the separator ("a;b" + "" gives "a;b;").
void LmrConcateField(std::string& Text, const std::string& Separator, const std::string& Value);

// Appends Separator only when both Text and Value are not empty, then Value;
// an empty Value leaves Text unchanged.
void LmrConcateEmptyField(std::string& Text, const std::string& Separator, const std::string& Value);

// ---- File names and texts ----------------------------------------------------

// FileName without its extension: the text before the last ".", provided no
// "\" or ":" comes after that dot; otherwise FileName unchanged.
std::string LmrExtractFilePrefix(const std::string& FileName);

// Removes, in place, every trailing byte with a code from 1 to 32 from the
// zero-terminated Text by moving its terminator; bytes from 128 up are kept.
// Returns Text (a null Text is returned as is).
char* LmrTrimTrailBlanks(char* Text);

// ---- Versions --------------------------------------------------------------

// Reads the product version of FileName's version resource into Major, Minor,
// Release and Build. The fixed block's product version is used when its major
// part is not 0; otherwise the "ProductVersion" text of the first translation
// is parsed as dotted numbers, and parts it does not give keep the fixed
// block's values. Returns false, leaving the outputs untouched, when the file
// or its version resource cannot be read; returns false with the fixed
// block's values stored when the textual version is missing. A textual part
// that is not a number from 0 to 65535 raises host::EConvertError.
bool LmrGetProductVersion(const std::string& FileName, uint16_t& Major, uint16_t& Minor, uint16_t& Release,
                          uint16_t& Build);
