// How the tessary command prints what the library answers: an aligned table for people, JSON
// (--json) for programs. Text from the data files is printed unchanged in tables; in JSON it is
// converted to UTF-8 from the character set of the LC_CTYPE locale.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "tessary.h"

namespace tessary::cli {

// JSON objects keep their members in the order written, which reads better than sorted.
using Json = nlohmann::ordered_json;

// The text of a fixed-width record field: its bytes up to the first NUL, or all of them.
[[nodiscard]] std::string FieldText(const char* field, std::size_t width);

// `bytes`, in the locale's character set, as UTF-8 for a JSON string. Valid text is converted
// (passed through when the locale is UTF-8 or ASCII); a byte that does not start a character
// becomes the character U+00XX of that byte's value, so nothing is lost or rejected.
[[nodiscard]] std::string JsonText(std::string_view bytes);

// "1 group", "3 groups".
[[nodiscard]] std::string Counted(std::size_t n, const std::string& noun);

// Writes `value` to standard output, indented, with a final newline.
void PrintJson(const Json& value);

// One SymbolInfo as JSON: exchangeId, symbol, name, type.
[[nodiscard]] Json SymbolJson(const SymbolInfo& info);

// A table whose columns line up in a terminal. Column widths follow the widest cell, measured
// in screen columns of the locale's characters; numbers may be aligned to the right.
class Table {
public:
    enum class Align { Left, Right };
    struct Column {
        std::string Header;
        Align Alignment = Align::Left;
    };

    explicit Table(std::vector<Column> columns) : columns_(std::move(columns)) {}
    void AddRow(std::vector<std::string> cells);
    [[nodiscard]] std::size_t Rows() const { return rows_.size(); }

    // Prints the header, a rule and the rows; with no rows, `empty` below the header instead.
    void Print(const char* empty = "(none)") const;

private:
    std::vector<Column> columns_;
    std::vector<std::vector<std::string>> rows_;
};

// The columns of a symbol listing and the cells of one SymbolInfo in them.
[[nodiscard]] std::vector<Table::Column> SymbolColumns();
[[nodiscard]] std::vector<std::string> SymbolCells(const SymbolInfo& info);

// Owns an array that a query handed out and gives it back with TSYFree.
template <class Record>
class ResultArray {
public:
    ResultArray() = default;
    ~ResultArray() { TSYFree(records_); }
    ResultArray(const ResultArray&) = delete;
    ResultArray& operator=(const ResultArray&) = delete;

    Record** Out() { return &records_; }
    std::int32_t* Count() { return &count_; }
    [[nodiscard]] const Record* begin() const { return records_; }
    [[nodiscard]] const Record* end() const { return records_ + (count_ > 0 ? count_ : 0); }
    [[nodiscard]] std::size_t size() const { return count_ > 0 ? static_cast<std::size_t>(count_) : 0; }
    [[nodiscard]] const Record& operator[](std::size_t i) const { return records_[i]; }

private:
    Record* records_ = nullptr;
    std::int32_t count_ = 0;
};

// Prints a plain symbol listing, as a table (`empty` when there are none) or as a JSON array.
template <class Records>
void PrintSymbols(const Records& symbols, bool json, const char* empty) {
    if (json) {
        Json out = Json::array();
        for (const SymbolInfo& info : symbols) out.push_back(SymbolJson(info));
        PrintJson(out);
        return;
    }
    Table table(SymbolColumns());
    for (const SymbolInfo& info : symbols) table.AddRow(SymbolCells(info));
    table.Print(empty);
}

}  // namespace tessary::cli
