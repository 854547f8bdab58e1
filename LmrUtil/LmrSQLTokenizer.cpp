// The SQL tokenizer: one token per call, classified by a keyword table and the
// caller's clause state. All reads go through CharAt so that the text may hold
// any bytes, NULs included, and no position can run past its end.
#include "LmrUtil/LmrSQLTokenizer.h"

#include "host/SysUtils.h"

namespace {

// The byte at Pos, or NUL past the end: the end of the std::string and an
// embedded NUL both read as the end of the text.
inline char CharAt(const std::string& SQL, std::size_t Pos) noexcept {
    return Pos < SQL.size() ? SQL[Pos] : '\0';
}

inline bool IsSkippedDelimiter(char C) noexcept {
    return C == ' ' || C == ',' || C == '\n' || C == '\r';
}

inline bool IsPredicateChar(char C) noexcept {
    return C == '<' || C == '=' || C == '>';
}

inline bool IsDigit(char C) noexcept {
    return C >= '0' && C <= '9';
}

inline bool SameWord(const std::string& Token, const char* Word) {
    return host::AnsiCompareText(Token, Word) == 0;
}

TLumraSQLToken NextToken(const std::string& SQL, std::size_t& Pos, std::string& Token,
                         TLumraSQLToken CurSection, bool LookAhead);

// Peeks at the token after Pos; when its text is Word, moves Pos past it and
// appends " " and that text to Token. The peek never looks further ahead
// itself: only its text is compared, and no two-word keyword's text can equal
// one of the partner words, so the answer is the same while the recursion
// stays one level deep whatever the input.
bool NextTokenIs(const std::string& SQL, std::size_t& Pos, std::string& Token, TLumraSQLToken CurSection,
                 const char* Word) {
    std::size_t Peek = Pos;
    std::string Next;
    NextToken(SQL, Peek, Next, CurSection, false);
    if (!SameWord(Next, Word)) return false;
    Pos = Peek;
    Token += ' ';
    Token += Next;
    return true;
}

// Classifies a token that a delimiter ended; may consume following words.
TLumraSQLToken Classify(const std::string& SQL, std::size_t& Pos, std::string& Token,
                        TLumraSQLToken CurSection, bool DotFlag, bool LookAhead) {
    if (Token.empty()) return skEnd;
    if (CurSection == skSelect && Token == "*") return skAllFields;
    if (DotFlag) return skFieldName;
    if (CurSection == skSelect && SameWord(Token, "DISTINCT")) return skDistinct;
    if (SameWord(Token, "ASC") || SameWord(Token, "ASCENDING")) return skAscending;
    if (SameWord(Token, "DESC") || SameWord(Token, "DESCENDING")) return skDescending;
    if (SameWord(Token, "SELECT")) return skSelect;
    if (SameWord(Token, "AND")) return skAnd;
    if (SameWord(Token, "OR")) return skOr;
    if (SameWord(Token, "LIKE")) return skLike;
    if (SameWord(Token, "IS")) {
        if (!LookAhead) return skValue;
        if (NextTokenIs(SQL, Pos, Token, CurSection, "NULL")) return skIsNull;
        const std::size_t AfterIs = Pos;
        const std::string IsText = Token;
        if (NextTokenIs(SQL, Pos, Token, CurSection, "NOT") &&
            NextTokenIs(SQL, Pos, Token, CurSection, "NULL"))
            return skIsNotNull;
        Pos = AfterIs;
        Token = IsText;
        return skValue;
    }
    if (SameWord(Token, "FROM")) return skFrom;
    if (SameWord(Token, "WHERE")) return skWhere;
    if (LookAhead && SameWord(Token, "GROUP") && NextTokenIs(SQL, Pos, Token, CurSection, "BY"))
        return skGroupBy;
    if (SameWord(Token, "HAVING")) return skHaving;
    if (SameWord(Token, "UNION")) return skUnion;
    if (SameWord(Token, "PLAN")) return skPlan;
    if (LookAhead && SameWord(Token, "FOR") && NextTokenIs(SQL, Pos, Token, CurSection, "UPDATE"))
        return skForUpdate;
    if (LookAhead && SameWord(Token, "ORDER") && NextTokenIs(SQL, Pos, Token, CurSection, "BY"))
        return skOrderBy;
    if (SameWord(Token, "NULL")) return skValue;
    return CurSection == skFrom ? skTableName : skFieldName;
}

TLumraSQLToken NextToken(const std::string& SQL, std::size_t& Pos, std::string& Token,
                         TLumraSQLToken CurSection, bool LookAhead) {
    constexpr std::size_t Unset = std::string::npos;
    std::size_t Start = Unset;
    bool DotFlag = false;
    if (Pos > SQL.size()) Pos = SQL.size();

    auto TextFromStart = [&] { return SQL.substr(Start, Pos - Start); };

    for (;;) {
        const char C = CharAt(SQL, Pos);
        switch (C) {
        case '\0':
        case ' ':
        case ',':
        case '\n':
        case '\r':
            if (Start != Unset) {
                Token = TextFromStart();
                return Classify(SQL, Pos, Token, CurSection, DotFlag, LookAhead);
            }
            if (C == '\0') {
                Token.clear();
                return skEnd;
            }
            while (IsSkippedDelimiter(CharAt(SQL, Pos)))
                ++Pos;
            break;

        case '"':
        case '\'':
        case '`': {
            const std::size_t Opening = Pos;
            if (Start == Unset) Start = Pos;
            ++Pos;
            while (CharAt(SQL, Pos) != C && CharAt(SQL, Pos) != '\0')
                ++Pos;
            if (CharAt(SQL, Pos) == '\0') {
                // An unbalanced quote is an ordinary character of the token.
                Pos = Opening + 1;
                break;
            }
            ++Pos;
            {
                const std::string Quoted = TextFromStart();
                const char* Src = Quoted.c_str();
                Token = host::AnsiExtractQuotedStr(Src, C);
            }
            if (DotFlag) return skFieldName;
            if (CharAt(SQL, Pos) == '.') return skTableName;
            return skValue;
        }

        case '/':
            if (Start == Unset) Start = Pos;
            ++Pos;
            if (CharAt(SQL, Pos) == '*') {
                ++Pos;
                while (CharAt(SQL, Pos) != '\0' && !(CharAt(SQL, Pos) == '*' && CharAt(SQL, Pos + 1) == '/'))
                    ++Pos;
                Token = TextFromStart();
                // The closing "*/" is not part of the comment's text, but it is
                // consumed: left behind it would read as a name, and after FROM
                // or in ORDER BY that name would be taken for a table or column.
                if (CharAt(SQL, Pos) == '*') Pos += 2;
                return skComment;
            }
            if (CharAt(SQL, Pos) == '/') {
                while (CharAt(SQL, Pos) != '\0' && CharAt(SQL, Pos) != '\n' && CharAt(SQL, Pos) != '\r')
                    ++Pos;
                Token = TextFromStart();
                return skComment;
            }
            break;

        case '.':
            if (Start != Unset) {
                Token = TextFromStart();
                return skTableName;
            }
            DotFlag = true;
            ++Pos;
            break;

        case '<':
        case '=':
        case '>':
            if (Start == Unset) {
                Start = Pos;
                while (IsPredicateChar(CharAt(SQL, Pos)))
                    ++Pos;
                Token = TextFromStart();
                return skPredicate;
            }
            ++Pos;
            break;

        case ':':
            if (Start == Unset) Start = Pos;
            ++Pos;
            if (CharAt(SQL, Pos) == '=') {
                ++Pos;
                Token = TextFromStart();
                return skAssign;
            }
            break;

        default:
            if (IsDigit(C) && Start == Unset) {
                Start = Pos;
                while (IsDigit(CharAt(SQL, Pos)) || CharAt(SQL, Pos) == '.')
                    ++Pos;
                Token = TextFromStart();
                return skNumber;
            }
            if (Start == Unset) Start = Pos;
            ++Pos;
            break;
        }
    }
}

} // namespace

TLumraSQLToken LmrNextSQLToken(const std::string& SQL, std::size_t& Pos, std::string& Token,
                               TLumraSQLToken CurSection) {
    return NextToken(SQL, Pos, Token, CurSection, true);
}
