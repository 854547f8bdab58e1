// The three result formats of lmr (see Output.h for what each promises).
#include "tools/lmr/Output.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

bool IsNumeric(TCellKind kind) {
    return kind == TCellKind::Integer || kind == TCellKind::Real;
}

// Characters a terminal shows for text: UTF-8 continuation bytes take no
// column of their own.
size_t DisplayWidth(const std::string& text) {
    size_t width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++width;
    return width;
}

std::string Printable(const TCell& cell) {
    if (cell.Null) return "NULL";
    std::string out;
    out.reserve(cell.Text.size());
    for (unsigned char c : cell.Text) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

// A cell as the table shows it; numbers are right-aligned.
struct TText {
    std::string Text;
    bool Right;
};

class TTableWriter : public TRowWriter {
public:
    explicit TTableWriter(std::FILE* out) : FOut(out) {}

    void Begin(const std::vector<TColumn>& columns) override { FColumns = columns; }

    void Row(const std::vector<TCell>& cells) override {
        std::vector<TText> texts;
        texts.reserve(cells.size());
        for (const TCell& cell : cells)
            texts.push_back({Printable(cell), !cell.Null && IsNumeric(cell.Kind)});
        ++FRows;
        if (FWidths.empty() && !FColumns.empty()) {
            FHeld.push_back(std::move(texts));
            if (FHeld.size() == ScreenRows) Release(true);
            return;
        }
        PrintRow(texts);
    }

    void End() override {
        if (FWidths.empty()) Release(false);
        std::fprintf(FOut, "(%lld %s)\n", static_cast<long long>(FRows), FRows == 1 ? "row" : "rows");
        std::fflush(FOut);
    }

    void Abandon() override {
        if (FWidths.empty()) Release(false);
    }

private:
    // Sizes the columns, prints the header and the rows held back. more is
    // true when rows may follow that were not seen: then the declared widths
    // count too, so that later values are likely to fit.
    void Release(bool more) {
        FWidths.assign(FColumns.size(), 0);
        for (size_t c = 0; c < FColumns.size(); ++c) {
            size_t width = 0;
            for (const auto& row : FHeld)
                width = std::max(width, DisplayWidth(row[c].Text));
            if (more) width = std::max(width, static_cast<size_t>(std::max(FColumns[c].DeclaredWidth, 0)));
            width = std::min(width, static_cast<size_t>(MaxColumnWidth));
            FWidths[c] = std::max(width, DisplayWidth(FColumns[c].Name));
        }
        std::vector<TText> header;
        std::string rule;
        for (size_t c = 0; c < FColumns.size(); ++c) {
            header.push_back({FColumns[c].Name, false});
            rule += (c > 0 ? "  " : "") + std::string(FWidths[c], '-');
        }
        PrintLine(header);
        std::fprintf(FOut, "%s\n", rule.c_str());
        for (const auto& row : FHeld)
            PrintRow(row);
        FHeld.clear();
        std::fflush(FOut);
    }

    void PrintRow(const std::vector<TText>& texts) { PrintLine(texts); }

    void PrintLine(const std::vector<TText>& texts) {
        std::string line;
        for (size_t c = 0; c < texts.size(); ++c) {
            const size_t width = DisplayWidth(texts[c].Text);
            const std::string pad(width < FWidths[c] ? FWidths[c] - width : 0, ' ');
            if (c > 0) line += "  ";
            if (texts[c].Right)
                line += pad + texts[c].Text;
            else
                line += texts[c].Text + pad;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::fprintf(FOut, "%s\n", line.c_str());
    }

    std::FILE* FOut;
    std::vector<TColumn> FColumns;
    std::vector<size_t> FWidths; // empty while the first screenful is held
    std::vector<std::vector<TText>> FHeld;
    int64_t FRows = 0;
};

class TCsvWriter : public TRowWriter {
public:
    explicit TCsvWriter(std::FILE* out) : FOut(out) {}

    void Begin(const std::vector<TColumn>& columns) override {
        std::string line;
        for (size_t c = 0; c < columns.size(); ++c)
            line += (c > 0 ? "," : "") + Quote(columns[c].Name, false);
        std::fprintf(FOut, "%s\r\n", line.c_str());
    }

    void Row(const std::vector<TCell>& cells) override {
        std::string line;
        for (size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) line += ',';
            if (!cells[c].Null) line += Quote(cells[c].Text, true);
        }
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), FOut);
    }

    void End() override { std::fflush(FOut); }
    void Abandon() override { std::fflush(FOut); }

private:
    // Empty text is quoted when it must differ from NULL.
    static std::string Quote(const std::string& text, bool quoteEmpty) {
        if (text.find_first_of(",\"\r\n") == std::string::npos && !(quoteEmpty && text.empty())) return text;
        std::string out = "\"";
        for (char c : text) {
            if (c == '"') out += '"';
            out += c;
        }
        return out + '"';
    }

    std::FILE* FOut;
};

class TJsonWriter : public TRowWriter {
public:
    explicit TJsonWriter(std::FILE* out) : FOut(out) {}

    void Begin(const std::vector<TColumn>& columns) override {
        FKeys.clear();
        for (const TColumn& column : columns)
            FKeys.push_back(Escape(column.Name));
        std::fputs("[", FOut);
    }

    void Row(const std::vector<TCell>& cells) override {
        std::string line = FRows++ > 0 ? ",\n  {" : "\n  {";
        for (size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) line += ", ";
            line += FKeys[c] + ": " + Value(cells[c]);
        }
        line += '}';
        std::fwrite(line.data(), 1, line.size(), FOut);
    }

    void End() override {
        std::fputs(FRows > 0 ? "\n]\n" : "]\n", FOut);
        std::fflush(FOut);
    }
    // Ends the last line but not the array: output cut short by an error or
    // Ctrl-C must not read as a complete document.
    void Abandon() override {
        std::fputs("\n", FOut);
        std::fflush(FOut);
    }

private:
    static std::string Value(const TCell& cell) {
        if (cell.Null) return "null";
        switch (cell.Kind) {
        case TCellKind::Integer:
            return cell.Text;
        // Infinity has no JSON number; its text keeps it readable.
        case TCellKind::Real:
            return cell.Text.find_first_of("in") == std::string::npos ? cell.Text : Escape(cell.Text);
        case TCellKind::Boolean:
            return cell.Text;
        default:
            return Escape(cell.Text);
        }
    }

    // Length of the valid UTF-8 sequence at text[i], 0 when there is none.
    static size_t Utf8Length(const std::string& text, size_t i) {
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = byte(i);
        size_t length = 0;
        uint32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF)
            length = 2, code = lead & 0x1F;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3, code = lead & 0x0F;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4, code = lead & 0x07;
        else
            return 0;
        if (i + length > text.size()) return 0;
        for (size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) return 0;
            code = (code << 6) | (byte(i + k) & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
        return length;
    }

    static std::string Escape(const std::string& text) {
        std::string out = "\"";
        for (size_t i = 0; i < text.size();) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            char hex[8];
            if (c >= 0x80) {
                if (const size_t length = Utf8Length(text, i)) {
                    out.append(text, i, length);
                    i += length;
                } else {
                    std::snprintf(hex, sizeof hex, "\\u%04x", c);
                    out += hex;
                    ++i;
                }
                continue;
            }
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (c < 0x20) {
                    std::snprintf(hex, sizeof hex, "\\u%04x", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
            }
            ++i;
        }
        return out + '"';
    }

    std::FILE* FOut;
    std::vector<std::string> FKeys;
    int64_t FRows = 0;
};

} // namespace

std::unique_ptr<TRowWriter> MakeRowWriter(const std::string& format, std::FILE* out) {
    if (format == "table") return std::make_unique<TTableWriter>(out);
    if (format == "csv") return std::make_unique<TCsvWriter>(out);
    if (format == "json") return std::make_unique<TJsonWriter>(out);
    return nullptr;
}

std::string FormatReal(double value, int32_t decimals) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[64];
    if (decimals > 0 && decimals < 30) {
        const auto fixed = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
        double back = 0;
        if (fixed.ec == std::errc() && std::from_chars(text, fixed.ptr, back).ec == std::errc() &&
            back == value)
            return std::string(text, fixed.ptr);
    }
    const auto result = std::to_chars(text, text + sizeof text, value);
    std::string out(text, result.ptr);
    // Keep a real recognisable as one in a table and in JSON ("3" would read as an integer).
    if (out.find_first_of(".e") == std::string::npos) out += ".0";
    return out;
}
