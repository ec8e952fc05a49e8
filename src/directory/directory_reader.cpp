// Reads Directory.xml into the exchange map.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/data_file.h"
#include "common/decimal.h"
#include "common/text.h"
#include "directory/expires.h"
#include "directory/xml_reader.h"
#include "frame/symbol_database.h"

namespace tessary {
namespace {

constexpr const char* kDirectoryFile = "Directory.xml";

// Reads attribute `name` into `text`. Returns 1 when it exists and is not empty; a missing
// attribute leaves `text` as it was and gives 0.
int ReadAttribute(const char* name, std::string& text, const XmlElement& element) {
    std::string value;
    if (!element.Attribute(name, value)) return 0;
    text = std::move(value);
    return text.empty() ? 0 : 1;
}

// Reads attribute `name` as a decimal integer into `number`; a missing or empty attribute leaves
// `number` as it was and gives 0.
int ReadIntAttribute(const char* name, std::int32_t& number, const XmlElement& element) {
    std::string text;
    if (ReadAttribute(name, text, element) == 0) return 0;
    number = ParseDecimal(text);
    return 1;
}

bool HasLowerCase(const char* text) {
    for (; *text != '\0'; ++text)
        if (*text >= 'a' && *text <= 'z') return true;
    return false;
}

}  // namespace

ExchangeEntry* SymbolDatabase::FindOrCreateExchange(std::string_view key, int create) {
    try {
        return FindOrCreateRecord(Exchanges, key, create != 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void SymbolDatabase::ClearExchanges() {
    Exchanges.clear();
    tableByExchangeCode_.clear();
}

int SymbolDatabase::LoadDirectory() {
    const FileReport report(Diagnostics, kDirectoryFile);

    XmlLoadError loadError;
    const std::unique_ptr<XmlDocument> document =
        LoadXmlDocument(JoinDataPath(BasePath, kDirectoryFile), &loadError);
    if (!document) return report.Error(-1, loadError.Line, "the file " + loadError.Message);

    const std::unique_ptr<XmlElement> result = document->SelectSingleNode("//Result");
    if (!result) return report.Error(-1, 0, "there is no Result element");
    std::string text;
    if (ReadAttribute("Expires", text, *result) == 0)
        return report.Error(-1, result->Line(), "the Result element has no Expires date");
    if (!ParseExpires(text, ExpiryTime))
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
        if (ReadIntAttribute("ID", number, *type) == 0) {
            report.Warning(-1, line, "a Type element without an ID is skipped");
            continue;
        }
        char key[16];
        std::snprintf(key, sizeof key, "%d", number);
        if (report.Active() && FindRecord(Exchanges, key) != nullptr)
            report.Warning(-1, line, std::string("exchange ID ") + key + " appears again; the later element replaces the earlier one");
        ExchangeEntry* entry = FindOrCreateExchange(key, 1);
        if (entry == nullptr) continue;
        entry->Id = static_cast<std::uint16_t>(number);

        // Missing texts give empty fields and missing numbers 0.
        text.clear();
        if (ReadAttribute("Code", text, *type) == 0) report.Warning(-1, line, std::string("exchange ") + key + " has no Code");
        if (text.size() > 2) report.Warning(-1, line, "Code '" + text + "' is longer than 2 characters and is cut");
        std::memset(entry->Code, 0, sizeof entry->Code);
        text::CopyField(entry->Code, sizeof entry->Code, text);
        if (HasLowerCase(entry->Code))
            report.Warning(-1, line, std::string("Code '") + entry->Code + "' has lower-case letters: no symbol of this exchange can be looked up or found by a search");

        text.clear();
        (void)ReadAttribute("Name", text, *type);
        if (text.size() > 50) report.Warning(-1, line, "Name of exchange " + std::string(key) + " is longer than 50 bytes and is cut");
        std::memset(entry->Name, 0, sizeof entry->Name);
        text::CopyField(entry->Name, sizeof entry->Name, text);

        std::int32_t flag = 0;
        (void)ReadIntAttribute("Alert", flag, *type);
        entry->Alert = flag == 1 ? 1 : 0;
        flag = 0;
        (void)ReadIntAttribute("Trade", flag, *type);
        entry->Trade = flag == 1 ? 1 : 0;
        flag = 0;
        (void)ReadIntAttribute("Quote", flag, *type);
        entry->Quote = flag == 1 ? 1 : 0;

        entry->Serial = serial++;
    }

    if (report.Active()) {
        // Two exchanges with one Code: symbol texts reach only one of them.
        for (auto a = Exchanges.begin(); a != Exchanges.end(); ++a)
            for (auto b = std::next(a); b != Exchanges.end(); ++b)
                if (std::strcmp(a->second->Code, b->second->Code) == 0)
                    report.Warning(-1, 0, "exchanges " + a->first + " and " + b->first + " share the Code '" +
                                a->second->Code + "'; symbol texts with it reach only exchange " + b->first);
    }
    return 1;
}

}  // namespace tessary
