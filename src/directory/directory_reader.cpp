// Reads Directory.xml into the exchange map.
#include "directory/directory_reader.h"

#include <cctype>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

#include "common/data_file.h"
#include "common/decimal.h"
#include "common/text.h"
#include "directory/expires.h"
#include "directory/xml_reader.h"

namespace tessary {
namespace {

constexpr const char* kDirectoryFile = "Directory.xml";

// Reads attribute `name` into `text`. True when it exists and is not empty; a missing
// attribute leaves `text` as it was.
bool ReadAttribute(const char* name, std::string& text, const XmlElement& element) {
    std::string value;
    if (!element.Attribute(name, value)) return false;
    text = std::move(value);
    return !text.empty();
}

// Reads attribute `name` as a decimal integer into `number`; a missing or empty attribute leaves
// `number` as it was and gives false.
bool ReadIntAttribute(const char* name, std::int32_t& number, const XmlElement& element) {
    std::string text;
    if (!ReadAttribute(name, text, element)) return false;
    number = ParseDecimal(text);
    return true;
}

// A flag attribute: set only when it reads as the number 1.
bool ReadFlag(const char* name, const XmlElement& element) {
    std::int32_t flag = 0;
    (void)ReadIntAttribute(name, flag, element);
    return flag == 1;
}

bool HasLowerCase(const char* text) {
    for (; *text != '\0'; ++text)
        if (*text >= 'a' && *text <= 'z') return true;
    return false;
}

}  // namespace

bool LoadDirectory(const std::string& dataDirectory, DiagnosticSink* diagnostics, ExchangeDirectory& out) {
    DataRoot root(dataDirectory);
    return LoadDirectory(root, diagnostics, out);
}

bool LoadDirectory(DataRoot& dataDirectory, DiagnosticSink* diagnostics, ExchangeDirectory& out) {
    const FileReport report(diagnostics, kDirectoryFile);
    ExchangeMap& exchanges = out.Exchanges;

    XmlLoadError loadError;
    const std::unique_ptr<XmlDocument> document =
        LoadXmlDocument(dataDirectory, kDirectoryFile, &loadError);
    if (!document) return report.Error(-1, loadError.Line, "the file " + loadError.Message);

    const std::unique_ptr<XmlElement> result = document->SelectSingleNode("//Result");
    if (!result) return report.Error(-1, 0, "there is no Result element");
    std::string text;
    if (!ReadAttribute("Expires", text, *result))
        return report.Error(-1, result->Line(), "the Result element has no Expires date");
    if (!ParseExpires(text, out.ExpiryTime))
        return report.Error(-1, result->Line(), "Expires '" + text + "' is not a valid date (expected YYYYMMDD hhmmss between 1970 and 3000)");

    std::vector<std::unique_ptr<XmlElement>> types;
    if (!document->SelectNodes("//Result//Exchange//Type", types))
        return report.Error(-1, 0, "the Type elements cannot be selected");

    std::int32_t serial = 1;
    for (const std::unique_ptr<XmlElement>& type : types) {
        const int line = type->Line();
        // An element without a number has no key: it is skipped rather than filed under the
        // number of whatever element came before it.
        std::int32_t number = 0;
        if (!ReadIntAttribute("ID", number, *type)) {
            report.Warning(-1, line, "a Type element without an ID is skipped");
            continue;
        }
        const std::string key = DecimalKey(number);
        if (report.Active() && FindRecord(exchanges, key) != nullptr)
            report.Warning(-1, line, "exchange ID " + key + " appears again; the later element replaces the earlier one");
        ExchangeEntry* entry = FindOrCreateRecord(exchanges, key);
        if (entry == nullptr) continue;
        entry->Id = static_cast<std::uint16_t>(number);

        // Missing texts give empty fields and missing numbers 0.
        text.clear();
        if (!ReadAttribute("Code", text, *type)) report.Warning(-1, line, "exchange " + key + " has no Code");
        if (text.size() > 2) report.Warning(-1, line, "Code '" + text + "' is longer than 2 characters and is cut");
        std::memset(entry->Code, 0, sizeof entry->Code);
        text::CopyField(entry->Code, sizeof entry->Code, text);
        if (HasLowerCase(entry->Code))
            report.Warning(-1, line, std::string("Code '") + entry->Code + "' has lower-case letters: no symbol of this exchange can be looked up or found by a search");

        text.clear();
        (void)ReadAttribute("Name", text, *type);
        if (text.size() > 50) report.Warning(-1, line, "Name of exchange " + key + " is longer than 50 bytes and is cut");
        std::memset(entry->Name, 0, sizeof entry->Name);
        text::CopyField(entry->Name, sizeof entry->Name, text);

        entry->Alert = ReadFlag("Alert", *type);
        entry->Trade = ReadFlag("Trade", *type);
        entry->Quote = ReadFlag("Quote", *type);

        entry->Serial = serial++;
    }

    if (report.Active()) {
        // Exchanges that share a Code: symbol texts with it reach only the last in key order. One
        // warning per Code, however many exchanges share it.
        std::map<std::string_view, std::vector<std::string_view>> keysByCode;
        for (const auto& [key, entry] : exchanges) keysByCode[entry->Code].push_back(key);
        for (const auto& [code, keys] : keysByCode) {
            if (keys.size() < 2) continue;
            std::string names;
            for (const std::string_view key : keys) {
                if (!names.empty()) names += ", ";
                names += key;
            }
            report.Warning(-1, 0, std::to_string(keys.size()) + " exchanges share the Code '" + std::string(code) +
                                      "' (" + names + "); symbol texts with it reach only exchange " +
                                      std::string(keys.back()));
        }
    }
    return true;
}

}  // namespace tessary
