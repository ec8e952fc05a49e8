// Tables, JSON and progress lines: how the tessary command prints.
#include "cli_output.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iostream>

namespace tessary::cli {
namespace {

void AppendCodePoint(std::string& out, unsigned value) {
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

// Length of the well-formed UTF-8 sequence at the start of `s`, or 0.
std::size_t Utf8SequenceLength(std::string_view s) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) return 1;
    std::size_t n = 0;
    unsigned min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4, min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < n) return 0;
    unsigned value = b0 & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80) return 0;
        value = (value << 6) | (b & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return n;
}

std::string Utf8OrBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const std::size_t n = Utf8SequenceLength(bytes);
        if (n == 0) {
            AppendCodePoint(out, static_cast<unsigned char>(bytes[0]));
            bytes.remove_prefix(1);
        } else {
            out.append(bytes.substr(0, n));
            bytes.remove_prefix(n);
        }
    }
    return out;
}

bool LocaleIsUtf8OrAscii() {
    const char* codeset = ::nl_langinfo(CODESET);
    return codeset == nullptr || std::strcmp(codeset, "UTF-8") == 0 ||
           std::strcmp(codeset, "ANSI_X3.4-1968") == 0;
}

// Converts from the locale's character set with iconv; a byte iconv cannot take is kept as
// U+00XX and the conversion goes on behind it.
std::string ConvertFromLocale(std::string_view bytes) {
    const iconv_t cd = ::iconv_open("UTF-8", ::nl_langinfo(CODESET));
    if (cd == reinterpret_cast<iconv_t>(-1)) return Utf8OrBytes(bytes);
    std::string out;
    char buffer[256];
    while (!bytes.empty()) {
        char* in = const_cast<char*>(bytes.data());
        std::size_t inLeft = bytes.size();
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t r = ::iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, sizeof buffer - dstLeft);
        bytes.remove_prefix(bytes.size() - inLeft);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG && !bytes.empty()) {
            AppendCodePoint(out, static_cast<unsigned char>(bytes[0]));
            bytes.remove_prefix(1);
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    ::iconv_close(cd);
    return out;
}

// Screen columns of `text` in the locale: wide characters take two, a byte that is not a
// character one.
std::size_t DisplayWidth(const std::string& text) {
    std::mbstate_t state{};
    std::size_t width = 0;
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        wchar_t wc = 0;
        const std::size_t n = std::mbrtowc(&wc, p, left, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) || n == 0) {
            state = std::mbstate_t{};
            ++width;
            ++p;
            --left;
            continue;
        }
        const int w = ::wcwidth(wc);
        width += w < 0 ? 1 : static_cast<std::size_t>(w);
        p += n;
        left -= n;
    }
    return width;
}

}  // namespace

std::string FieldText(const char* field, std::size_t width) {
    const void* nul = std::memchr(field, '\0', width);
    return std::string(field, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : width);
}

std::string JsonText(std::string_view bytes) {
    return LocaleIsUtf8OrAscii() ? Utf8OrBytes(bytes) : ConvertFromLocale(bytes);
}

std::string Counted(std::size_t n, const std::string& noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

void PrintJson(const Json& value) { std::cout << value.dump(2) << '\n'; }

Json SymbolJson(const SymbolInfo& info) {
    return {{"exchangeId", info.ExchangeId},
            {"symbol", JsonText(FieldText(info.Symbol, sizeof info.Symbol))},
            {"name", JsonText(FieldText(info.Name, sizeof info.Name))},
            {"type", info.Type}};
}

void Table::AddRow(std::vector<std::string> cells) {
    cells.resize(columns_.size());
    rows_.push_back(std::move(cells));
}

void Table::Print(const char* empty) const {
    std::vector<std::size_t> widths(columns_.size());
    for (std::size_t c = 0; c < columns_.size(); ++c) widths[c] = DisplayWidth(columns_[c].Header);
    for (const auto& row : rows_)
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));

    auto printRow = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::size_t pad = widths[c] - DisplayWidth(cells[c]);
            const bool last = c + 1 == cells.size();
            if (columns_[c].Alignment == Align::Right) line.append(pad, ' ');
            line += cells[c];
            if (columns_[c].Alignment == Align::Left && !last) line.append(pad, ' ');
            if (!last) line += "  ";
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::cout << line << '\n';
    };

    std::vector<std::string> header;
    std::vector<std::string> rule;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        header.push_back(columns_[c].Header);
        rule.emplace_back(widths[c], '-');
    }
    printRow(header);
    printRow(rule);
    for (const auto& row : rows_) printRow(row);
    if (rows_.empty()) std::cout << empty << '\n';
}

std::vector<Table::Column> SymbolColumns() {
    return {{"Symbol", Table::Align::Left},
            {"Name", Table::Align::Left},
            {"Exchange", Table::Align::Right},
            {"Type", Table::Align::Right}};
}

std::vector<std::string> SymbolCells(const SymbolInfo& info) {
    return {FieldText(info.Symbol, sizeof info.Symbol), FieldText(info.Name, sizeof info.Name),
            std::to_string(info.ExchangeId), std::to_string(info.Type)};
}

}  // namespace tessary::cli
