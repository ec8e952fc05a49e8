// tessary dump DIR: writes the JSON description that `make` reads, so that
// `tessary dump A | tessary make B --from -` gives B the same files as A.
//
// The files are read with the library's readers, as `check` reads them, so the description is
// what the library loads. Directory.xml's texts are taken from the document in UTF-8; the binary
// files' texts are converted from the character set Directory.xml declares, the one `make`
// writes them in.
#include <algorithm>
#include <clocale>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli_output.h"
#include "commands.h"
#include "common/data_file.h"
#include "common/decimal.h"
#include "directory/directory_reader.h"
#include "directory/xml_reader.h"
#include "groups/group_table_reader.h"
#include "symbols/light_table_reader.h"
#include "writer/data_writer.h"

namespace tessary::cli {
namespace {

constexpr const char* kDirectoryFile = "Directory.xml";

// LC_CTYPE for the object's lifetime: the XML reader hands out attributes in that character set.
class ScopedCharacterSet {
public:
    explicit ScopedCharacterSet(const char* name) : previous_(std::setlocale(LC_CTYPE, nullptr)) {
        if (std::setlocale(LC_CTYPE, name) == nullptr)
            throw CommandError(std::string("the locale ") + name + " is not available");
    }
    ~ScopedCharacterSet() { std::setlocale(LC_CTYPE, previous_.c_str()); }
    ScopedCharacterSet(const ScopedCharacterSet&) = delete;
    ScopedCharacterSet& operator=(const ScopedCharacterSet&) = delete;

private:
    std::string previous_;
};

// What the description needs from Directory.xml beyond the exchange records: the declared
// character set, the Expires text, and each exchange's Code and Name exactly as written (the
// records hold them cut to their fields).
struct DirectoryTexts {
    std::string Encoding = "UTF-8";
    std::string Expires;
    std::map<std::string, std::pair<std::string, std::string>> CodeAndName;  // by exchange key
};

DirectoryTexts ReadDirectoryTexts(const std::string& dir) {
    DirectoryTexts texts;
    std::string bytes;
    if (!ReadWholeFile(JoinDataPath(dir, kDirectoryFile), bytes))
        throw CommandError("cannot read " + JoinDataPath(dir, kDirectoryFile));
    if (bytes.rfind("<?xml", 0) == 0) {
        // encoding = "NAME" or 'NAME', blanks allowed around the '='.
        const std::string declaration = bytes.substr(0, bytes.find("?>"));
        std::size_t at = declaration.find("encoding");
        if (at != std::string::npos) at = declaration.find_first_not_of(" \t\r\n", at + 8);
        if (at != std::string::npos && declaration[at] == '=')
            at = declaration.find_first_not_of(" \t\r\n", at + 1);
        if (at != std::string::npos && (declaration[at] == '"' || declaration[at] == '\'')) {
            const std::size_t end = declaration.find(declaration[at], at + 1);
            if (end != std::string::npos) texts.Encoding = declaration.substr(at + 1, end - at - 1);
        }
    }

    const ScopedCharacterSet utf8("C.UTF-8");
    const std::unique_ptr<XmlDocument> document = LoadXmlDocument(JoinDataPath(dir, kDirectoryFile));
    std::vector<std::unique_ptr<XmlElement>> types;
    if (!document || !document->SelectNodes("//Result//Exchange//Type", types)) return texts;
    if (const auto result = document->SelectSingleNode("//Result"))
        (void)result->Attribute("Expires", texts.Expires);
    // The same elements, under the same keys, as the directory reader takes: the last one wins.
    for (const auto& type : types) {
        std::string id, code, name;
        if (!type->Attribute("ID", id) || id.empty()) continue;
        (void)type->Attribute("Code", code);
        (void)type->Attribute("Name", name);
        texts.CodeAndName[DecimalKey(ParseDecimal(id))] = {code, name};
    }
    return texts;
}

// Converts the files' texts for JSON; what `make` could not have written is an error.
class TextDecoder {
public:
    explicit TextDecoder(std::string encoding) : encoding_(std::move(encoding)) {}
    [[nodiscard]] std::string operator()(std::string_view bytes, const std::string& where) const {
        try {
            return writer::ConvertToUtf8(std::string(bytes), encoding_);
        } catch (const std::runtime_error&) {
            throw CommandError(where + " is not valid " + encoding_ +
                               " text, which a description cannot hold");
        }
    }

private:
    std::string encoding_;
};

// The texts of `fields` without the empty ones at the end, or nothing when all are empty.
std::optional<Json> TextList(std::initializer_list<std::string_view> fields, const TextDecoder& decode,
                             const std::string& where) {
    std::vector<std::string_view> texts(fields);
    while (!texts.empty() && texts.back().empty()) texts.pop_back();
    if (texts.empty()) return std::nullopt;
    Json list = Json::array();
    for (const std::string_view text : texts) list.push_back(decode(text, where));
    return list;
}

Json SymbolsJson(const ExchangeSymbolTable& table, const TextDecoder& decode, const std::string& file) {
    Json symbols = Json::array();
    for (std::size_t i = 0; i < table.Symbols.size(); ++i) {
        const SymbolEntry& entry = table.Symbols[i];
        const std::string where = file + " symbol '" + std::string(table.Symbols.CodeAt(i)) + "'";
        Json symbol = {{"code", decode(entry.Code(), where)},
                       {"name", decode(entry.Name(), where)},
                       {"type", entry.Type}};
        if (!entry.Field(SymbolField::AuxCode).empty())
            symbol["auxCode"] = decode(entry.Field(SymbolField::AuxCode), where);
        if (entry.AuxValue != 0) symbol["auxValue"] = entry.AuxValue;
        if (auto texts =
                TextList({entry.Field(SymbolField::SearchText1), entry.Field(SymbolField::SearchText2),
                          entry.Field(SymbolField::SearchText3), entry.Field(SymbolField::SearchText4)},
                         decode, where))
            symbol["searchTexts"] = std::move(*texts);
        if (auto keys = TextList({entry.Field(SymbolField::SearchKey1), entry.Field(SymbolField::SearchKey2)},
                                 decode, where))
            symbol["searchKeys"] = std::move(*keys);
        symbols.push_back(std::move(symbol));
    }
    return symbols;
}

Json ExchangesJson(const std::string& dir, const DirectoryTexts& texts, const TextDecoder& decode) {
    ExchangeDirectory directory;
    if (!LoadDirectory(dir, nullptr, directory))
        throw CommandError(std::string(kDirectoryFile) + " does not load; 'tessary check " + dir +
                           "' says why");
    std::vector<std::pair<std::string, const ExchangeEntry*>> ordered;
    for (const auto& [key, entry] : directory.Exchanges) ordered.emplace_back(key, entry.get());
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.second->Serial < b.second->Serial; });

    Json exchanges = Json::array();
    for (const auto& [key, entry] : ordered) {
        const std::string file = "SymTbl/" + key + "_Light";
        ExchangeSymbolTable table;
        if (!LoadSymbolTable(dir, key, *entry, nullptr, table))
            throw CommandError(file + " does not load; 'tessary check " + dir + "' says why");
        const auto& [code, name] = texts.CodeAndName.at(key);
        Json exchange = {{"id", std::stoll(key)}, {"code", code},          {"name", name},
                         {"alert", entry->Alert}, {"trade", entry->Trade}, {"quote", entry->Quote}};
        if (table.HeaderValue[0] != 0 || table.HeaderValue[1] != 0)
            exchange["header"] = {table.HeaderValue[0], table.HeaderValue[1]};
        exchange["symbols"] = SymbolsJson(table, decode, file);
        exchanges.push_back(std::move(exchange));
    }
    return exchanges;
}

// A leaf group's members: its list cut at every comma, empty pieces kept, so that `make` joins
// them into the same bytes.
Json MembersJson(const std::string& list, const TextDecoder& decode, const std::string& where) {
    Json members = Json::array();
    if (list.empty()) return members;
    std::size_t begin = 0;
    for (std::size_t comma; (comma = list.find(',', begin)) != std::string::npos; begin = comma + 1)
        members.push_back(decode(std::string_view(list).substr(begin, comma - begin), where));
    members.push_back(decode(std::string_view(list).substr(begin), where));
    return members;
}

Json GroupsJson(const std::string& dir, const TextDecoder& decode) {
    GroupTree tree;
    if (!LoadGroupTable(dir, nullptr, tree))
        throw CommandError("SymTbl/Group does not load; 'tessary check " + dir + "' says why");
    std::vector<const GroupEntry*> ordered;
    for (const auto& [key, group] : tree) ordered.push_back(group.get());
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto* a, const auto* b) { return a->Id < b->Id; });

    Json groups = Json::array();
    for (const GroupEntry* group : ordered) {
        Json groupJson = {{"id", group->Id}};
        if (group->Extra[0] != 0 || group->Extra[1] != 0)
            groupJson["extra"] = {group->Extra[0], group->Extra[1]};
        Json subgroups = Json::array();
        for (const SubGroupEntry* sub : InSerialOrder(group->Children)) {
            const std::string where = "group " + std::to_string(group->Id) + " subgroup '" + sub->Code + "'";
            Json subJson = {{"code", decode(sub->Code, where)}, {"name", decode(sub->Name, where)}};
            if (sub->Extra[0] != 0 || sub->Extra[1] != 0) subJson["extra"] = {sub->Extra[0], sub->Extra[1]};
            Json leaves = Json::array();
            for (const LeafGroupEntry* leaf : InSerialOrder(sub->Children)) {
                const std::string leafWhere = where + " leaf group '" + leaf->Code + "'";
                leaves.push_back({{"code", decode(leaf->Code, leafWhere)},
                                  {"name", decode(leaf->Name, leafWhere)},
                                  {"symbols", MembersJson(leaf->SymbolList, decode, leafWhere)}});
            }
            subJson["leaves"] = std::move(leaves);
            subgroups.push_back(std::move(subJson));
        }
        groupJson["subgroups"] = std::move(subgroups);
        groups.push_back(std::move(groupJson));
    }
    return groups;
}

// True when `value` holds objects: it is then laid out over lines, anything else on one line.
bool HoldsRecords(const Json& value) {
    if (value.is_array()) return !value.empty() && value.front().is_object();
    if (value.is_object())
        for (const auto& member : value)
            if (HoldsRecords(member)) return true;
    return false;
}

// The description with one symbol or leaf group per line, so that a directory of thousands of
// symbols reads, and diffs, a record at a time.
void PrintDescription(const Json& value, std::ostream& out, int indent = 0) {
    if (!HoldsRecords(value)) {
        out << value.dump();
        return;
    }
    const std::string inner(static_cast<std::size_t>(indent + 2), ' ');
    const bool isObject = value.is_object();
    out << (isObject ? '{' : '[') << '\n';
    std::size_t i = 0;
    for (auto it = value.begin(); it != value.end(); ++it, ++i) {
        out << inner;
        if (isObject) out << Json(it.key()).dump() << ": ";
        PrintDescription(*it, out, indent + 2);
        out << (i + 1 < value.size() ? ",\n" : "\n");
    }
    out << std::string(static_cast<std::size_t>(indent), ' ') << (isObject ? '}' : ']');
}

int RunDump(const Arguments& args) {
    ExpectPositionals(args, {"DIR"}, 1);
    const std::string& dir = args.Positional[0];
    RequireDirectory(dir);
    const DirectoryTexts texts = ReadDirectoryTexts(dir);
    const TextDecoder decode(texts.Encoding);

    Json description = {{"expires", texts.Expires}};
    if (texts.Encoding != "UTF-8") description["encoding"] = texts.Encoding;
    description["exchanges"] = ExchangesJson(dir, texts, decode);
    description["groups"] = GroupsJson(dir, decode);
    PrintDescription(description, std::cout);
    std::cout << '\n';
    return kExitOk;
}

}  // namespace

const Command kDumpCommand{
    "dump",
    "write the JSON description of a data directory that 'make' reads",
    "usage: tessary dump DIR\n"
    "\n"
    "Reads the data directory DIR with the library's readers and writes, to standard output,\n"
    "the JSON description that 'tessary make' reads (see 'tessary make --help'), so that\n"
    "\n"
    "  tessary dump A | tessary make B --from -\n"
    "\n"
    "makes B with the same files as A. Texts are written as UTF-8, converted from the\n"
    "character set Directory.xml declares, which the description names. The description\n"
    "holds what the library loads: a symbol code that a table repeats appears once, with the\n"
    "last record's fields; groups are listed by number. DIR must load ('tessary check').\n",
    {},
    {},
    RunDump};

}  // namespace tessary::cli
