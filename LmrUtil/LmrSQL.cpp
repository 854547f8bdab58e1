// The SQL analysis functions of LmrUtil: each walks the tokens of the text,
// following the clause state, and picks out one kind of name.
#include "LmrUtil/LmrSQLTokenizer.h"
#include "LmrUtil/LmrUtil.h"

namespace {

// Reads tokens, following the clause state, until one of kind Wanted or the
// end of the text; returns the kind that stopped it.
TLumraSQLToken SkipTo(const std::string& SQL, std::size_t& Pos, TLumraSQLToken& Section,
                      TLumraSQLToken Wanted) {
    std::string Token;
    for (;;) {
        const TLumraSQLToken Kind = LmrNextSQLToken(SQL, Pos, Token, Section);
        if (LmrIsClauseToken(Kind)) Section = Kind;
        if (Kind == Wanted || Kind == skEnd) return Kind;
    }
}

} // namespace

std::string LmrGetTableNameFromSQL(const std::string& SQL) {
    std::size_t Pos = 0;
    TLumraSQLToken Section = skUnknown;
    if (SkipTo(SQL, Pos, Section, skFrom) != skFrom) return {};

    std::string Token;
    while (Section == skFrom) {
        const TLumraSQLToken Kind = LmrNextSQLToken(SQL, Pos, Token, Section);
        if (Kind == skEnd) break;
        if (Kind == skTableName || Kind == skValue) {
            std::string Next;
            if (LmrNextSQLToken(SQL, Pos, Next, Section) == skFieldName) return Next;
            return Token;
        }
        if (LmrIsClauseToken(Kind)) Section = Kind;
    }
    return {};
}

std::string LmrGetOrderByFromSQL(const std::string& SQL, std::string& Directions) {
    Directions.clear();
    std::size_t Pos = 0;
    TLumraSQLToken Section = skUnknown;
    if (SkipTo(SQL, Pos, Section, skOrderBy) != skOrderBy) return {};

    std::string Columns;
    std::string Token;
    bool Pending = false; // a column was read whose direction is not yet known
    while (Section == skOrderBy) {
        const TLumraSQLToken Kind = LmrNextSQLToken(SQL, Pos, Token, Section);
        if (Kind == skEnd) break;
        if ((Kind == skFieldName || Kind == skNumber) && Token.empty()) {
            // An empty quoted name (t."") is no column: it ends the pending
            // column's direction, and a DESC behind it belongs to nobody.
            if (Pending) LmrConcateEmptyField(Directions, ";", "ASC");
            Pending = false;
        } else if (Kind == skFieldName || Kind == skNumber) {
            if (Pending) LmrConcateEmptyField(Directions, ";", "ASC");
            LmrConcateEmptyField(Columns, ";", Token);
            Pending = true;
        } else if (Kind == skDescending) {
            // A DESC with no column of its own (after a skipped quoted name,
            // or a second DESC) would shift every later direction onto the
            // wrong column, so only the pending column takes it.
            if (Pending) LmrConcateEmptyField(Directions, ";", "DESC");
            Pending = false;
        } else if (LmrIsClauseToken(Kind)) {
            Section = Kind;
        }
    }
    if (Pending) LmrConcateEmptyField(Directions, ";", "ASC");
    return Columns;
}

std::string LmrGetParamsFromSQL(const std::string& SQL) {
    std::string Result;
    std::size_t Pos = 0;
    TLumraSQLToken Section = skUnknown;
    std::string Token;
    for (;;) {
        const TLumraSQLToken Kind = LmrNextSQLToken(SQL, Pos, Token, Section);
        if (Kind == skEnd) break;
        if (LmrIsClauseToken(Kind)) Section = Kind;
        if (Kind != skFieldName) continue;
        const std::size_t Colon = Token.find(':');
        if (Colon == std::string::npos || Colon + 1 == Token.size()) continue;
        const std::size_t End = Token.find_first_of(" ),", Colon);
        const std::size_t NameEnd = End == std::string::npos ? Token.size() : End;
        LmrConcateEmptyField(Result, ";", Token.substr(Colon + 1, NameEnd - Colon - 1));
    }
    return Result;
}
