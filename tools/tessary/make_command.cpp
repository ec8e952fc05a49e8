// tessary make DIR --from FILE: writes a complete data directory from a JSON description of its
// exchanges, their symbols and the group tree.
//
// The description is checked whole before anything is written: every field must have its type
// and fit the width its file gives it, so that the directory made is the one described. Errors
// name the field by its JSON pointer, e.g. "/exchanges/0/symbols/3/code".

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>

#include "cli_output.h"
#include "commands.h"
#include "directory_install.h"

namespace tessary::cli {
namespace {

using nlohmann::json;

// A JSON value and where it stands in the description, for error messages.
class Node {
public:
    Node(const json& value, std::string file, std::string pointer)
        : value_(value), file_(std::move(file)), pointer_(std::move(pointer)) {}

    [[noreturn]] void Fail(const std::string& what) const {
        throw CommandError(file_ + ": " + (pointer_.empty() ? "/" : pointer_) + ": " + what);
    }

    // Fails on any member not in `known`: a misspelt field should not pass unnoticed.
    void ExpectObject(std::initializer_list<const char*> known) const {
        if (!value_.is_object()) Fail("expected an object, found " + TypeName());
        for (const auto& [key, member] : value_.items()) {
            bool ok = false;
            for (const char* name : known) ok = ok || key == name;
            if (!ok) At(key).Fail("unknown field");
        }
    }

    [[nodiscard]] bool Has(const char* key) const { return value_.contains(key); }
    [[nodiscard]] Node At(const std::string& key) const {
        return Node(value_.contains(key) ? value_.at(key) : Null(), file_, pointer_ + "/" + key);
    }
    [[nodiscard]] Node Required(const char* key) const {
        if (!value_.contains(key)) Node(Null(), file_, pointer_ + "/" + key).Fail("missing");
        return At(key);
    }

    [[nodiscard]] std::vector<Node> Array(std::size_t maxItems = SIZE_MAX) const {
        if (!value_.is_array()) Fail("expected an array, found " + TypeName());
        if (value_.size() > maxItems)
            Fail("holds " + std::to_string(value_.size()) + " items, at most " + std::to_string(maxItems) +
                 " are allowed");
        std::vector<Node> items;
        for (std::size_t i = 0; i < value_.size(); ++i)
            items.emplace_back(value_[i], file_, pointer_ + "/" + std::to_string(i));
        return items;
    }

    [[nodiscard]] std::string String() const {
        if (!value_.is_string()) Fail("expected a string, found " + TypeName());
        return value_.get<std::string>();
    }

    [[nodiscard]] std::int64_t Integer(std::int64_t min, std::int64_t max) const {
        if (!value_.is_number_integer()) Fail("expected a whole number, found " + TypeName());
        const bool tooBig =
            value_.is_number_unsigned() && value_.get<std::uint64_t>() > static_cast<std::uint64_t>(max);
        const std::int64_t v = tooBig ? max : value_.get<std::int64_t>();
        if (tooBig || v < min || v > max)
            Fail(value_.dump() + " is out of range " + std::to_string(min) + " to " + std::to_string(max));
        return v;
    }

    [[nodiscard]] bool Boolean() const {
        if (!value_.is_boolean()) Fail("expected true or false, found " + TypeName());
        return value_.get<bool>();
    }

private:
    static const json& Null() {
        static const json null;
        return null;
    }
    [[nodiscard]] std::string TypeName() const {
        if (value_.is_number_integer()) return "a whole number";
        if (value_.is_number()) return "a number";
        if (value_.is_string()) return "a string";
        if (value_.is_boolean()) return "true/false";
        if (value_.is_array()) return "an array";
        if (value_.is_object()) return "an object";
        return "null";
    }

    const json& value_;
    std::string file_;
    std::string pointer_;
};

// Converts the description's UTF-8 texts into the character set the data files are written in.
class Encoder {
public:
    explicit Encoder(std::string encoding) : encoding_(std::move(encoding)) {}

    [[nodiscard]] bool Known() const {
        try {
            (void)writer::ConvertFromUtf8("", encoding_);
            return true;
        } catch (const std::runtime_error&) {
            return false;
        }
    }
    [[nodiscard]] const std::string& Name() const { return encoding_; }

    // The text of `node` in the files' encoding, at most `maxBytes` bytes long. The binary
    // files end their texts at a NUL byte, so a text holding one would come back cut.
    [[nodiscard]] std::string Text(const Node& node, std::size_t maxBytes) const {
        const std::string utf8 = node.String();
        if (utf8.find('\0') != std::string::npos) node.Fail("holds a NUL byte, which cannot be stored");
        std::string out;
        try {
            out = writer::ConvertFromUtf8(utf8, encoding_);
        } catch (const std::runtime_error&) {
            node.Fail("'" + utf8 + "' cannot be written in " + encoding_);
        }
        if (out.size() > maxBytes)
            node.Fail("'" + utf8 + "' is " + std::to_string(out.size()) + " bytes long, at most " +
                      std::to_string(maxBytes) + " fit");
        return out;
    }

    // As Text, for the texts of Directory.xml, which cannot hold most control characters.
    [[nodiscard]] std::string XmlText(const Node& node, std::size_t maxBytes) const {
        const std::string problem = writer::XmlTextProblem(node.String());
        if (!problem.empty()) node.Fail(problem);
        return Text(node, maxBytes);
    }

private:
    std::string encoding_;
};

// Widths of the texts as the files hold them, less the terminator where the readers want one.
constexpr std::size_t kExchangeCodeBytes = 2;
constexpr std::size_t kExchangeNameBytes = 50;
constexpr std::size_t kSymbolCodeBytes = 17;
constexpr std::size_t kSymbolNameBytes = 48;
constexpr std::size_t kAuxCodeBytes = 16;
constexpr std::size_t kSearchTextBytes[] = {64, 64, 48, 48};
constexpr std::size_t kSearchKeyBytes = 16;
constexpr std::size_t kGroupCodeBytes = 16;
constexpr std::size_t kGroupNameBytes = 48;

// Two unsigned 32-bit words that the files store but no query reads ("header" of a Light
// table, "extra" of a group or subgroup): written as given, so that `dump` output makes the
// same files again.
void ReadWords(const Node& node, std::uint32_t (&words)[2]) {
    const std::vector<Node> items = node.Array(2);
    for (std::size_t i = 0; i < items.size(); ++i)
        words[i] = static_cast<std::uint32_t>(items[i].Integer(0, UINT32_MAX));
}

writer::LightRecord ReadSymbol(const Node& node, Encoder& encoder) {
    node.ExpectObject({"code", "name", "type", "auxCode", "auxValue", "searchTexts", "searchKeys"});
    writer::LightRecord record;
    record.Code = encoder.Text(node.Required("code"), kSymbolCodeBytes);
    if (record.Code.empty()) node.At("code").Fail("a symbol code must not be empty");
    if (node.Has("name")) record.Name = encoder.Text(node.At("name"), kSymbolNameBytes);
    if (node.Has("type"))
        record.Type = static_cast<std::int32_t>(node.At("type").Integer(INT32_MIN, INT32_MAX));
    if (node.Has("auxCode")) record.AuxCode = encoder.Text(node.At("auxCode"), kAuxCodeBytes);
    if (node.Has("auxValue"))
        record.AuxValue = static_cast<std::int32_t>(node.At("auxValue").Integer(INT32_MIN, INT32_MAX));
    if (node.Has("searchTexts")) {
        std::string* texts[] = {&record.SearchText1, &record.SearchText2, &record.SearchText3,
                                &record.SearchText4};
        const std::vector<Node> items = node.At("searchTexts").Array(4);
        for (std::size_t i = 0; i < items.size(); ++i)
            *texts[i] = encoder.Text(items[i], kSearchTextBytes[i]);
    }
    if (node.Has("searchKeys")) {
        std::string* keys[] = {&record.SearchKey1, &record.SearchKey2};
        const std::vector<Node> items = node.At("searchKeys").Array(2);
        for (std::size_t i = 0; i < items.size(); ++i) *keys[i] = encoder.Text(items[i], kSearchKeyBytes);
    }
    return record;
}

void ReadExchange(const Node& node, Encoder& encoder, writer::DataDirectory& data,
                  std::set<std::int64_t>& ids) {
    node.ExpectObject({"id", "code", "name", "alert", "trade", "quote", "header", "symbols"});
    const std::int64_t id = node.Required("id").Integer(0, 65535);
    if (!ids.insert(id).second) node.At("id").Fail("exchange " + std::to_string(id) + " is described twice");
    // Directory.xml is converted by the writer itself, from the UTF-8 texts; here they are only
    // measured in the files' encoding.
    (void)encoder.XmlText(node.Required("code"), kExchangeCodeBytes);
    const std::string name = node.Has("name") ? node.At("name").String() : std::string();
    if (node.Has("name")) (void)encoder.XmlText(node.At("name"), kExchangeNameBytes);
    auto flag = [&node](const char* key) { return node.Has(key) ? (node.At(key).Boolean() ? 1 : 0) : 1; };
    data.Directory.Types.push_back(writer::ExchangeType(static_cast<int>(id), node.At("code").String(), name,
                                                        flag("alert"), flag("trade"), flag("quote")));
    writer::LightTable& table = data.LightTables[std::to_string(id)];
    if (node.Has("header")) ReadWords(node.At("header"), table.HeaderValue);
    if (node.Has("symbols"))
        for (const Node& symbol : node.At("symbols").Array())
            table.Records.push_back(ReadSymbol(symbol, encoder));
}

writer::LeafGroup ReadLeafGroup(const Node& node, Encoder& encoder) {
    node.ExpectObject({"code", "name", "symbols"});
    writer::LeafGroup leaf;
    leaf.Code = encoder.Text(node.Required("code"), kGroupCodeBytes);
    if (node.Has("name")) leaf.Name = encoder.Text(node.At("name"), kGroupNameBytes);
    if (node.Has("symbols")) {
        for (const Node& symbol : node.At("symbols").Array()) {
            const std::string text = encoder.Text(symbol, SIZE_MAX);
            if (text.find(',') != std::string::npos) symbol.Fail("a member must not hold a comma");
            if (!leaf.SymbolList.empty()) leaf.SymbolList += ',';
            leaf.SymbolList += text;
        }
    }
    return leaf;
}

writer::Group ReadGroup(const Node& node, Encoder& encoder) {
    node.ExpectObject({"id", "extra", "subgroups"});
    writer::Group group;
    group.Id = static_cast<std::uint16_t>(node.Required("id").Integer(0, 65535));
    if (node.Has("extra")) ReadWords(node.At("extra"), group.Extra);
    if (!node.Has("subgroups")) return group;
    for (const Node& subNode : node.At("subgroups").Array()) {
        subNode.ExpectObject({"code", "name", "extra", "leaves"});
        writer::SubGroup sub;
        sub.Code = encoder.Text(subNode.Required("code"), kGroupCodeBytes);
        if (subNode.Has("extra")) ReadWords(subNode.At("extra"), sub.Extra);
        if (subNode.Has("name")) sub.Name = encoder.Text(subNode.At("name"), kGroupNameBytes);
        if (subNode.Has("leaves"))
            for (const Node& leaf : subNode.At("leaves").Array())
                sub.Leaves.push_back(ReadLeafGroup(leaf, encoder));
        group.SubGroups.push_back(std::move(sub));
    }
    return group;
}

writer::DataDirectory ReadDescription(const json& root, const std::string& file) {
    const Node node(root, file, "");
    node.ExpectObject({"expires", "encoding", "exchanges", "groups"});
    writer::DataDirectory data;
    Encoder encoder(node.Has("encoding") ? node.At("encoding").String() : "UTF-8");
    if (!encoder.Known()) node.At("encoding").Fail("unknown character set '" + encoder.Name() + "'");
    if (node.Has("expires")) {
        data.Directory.Expires = node.At("expires").String();
        (void)encoder.XmlText(node.At("expires"), SIZE_MAX);
    }
    data.Directory.Encoding = encoder.Name();

    std::set<std::int64_t> ids;
    for (const Node& exchange : node.Required("exchanges").Array())
        ReadExchange(exchange, encoder, data, ids);
    if (node.Has("groups"))
        for (const Node& group : node.At("groups").Array())
            data.Groups.Groups.push_back(ReadGroup(group, encoder));
    return data;
}

std::string ReadDescriptionFile(const std::string& file) {
    if (file == "-") return std::string(std::istreambuf_iterator<char>(std::cin), {});
    std::ifstream in(file, std::ios::binary);
    if (!in) throw CommandError("cannot read '" + file + "': " + std::strerror(errno));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) throw CommandError("cannot read '" + file + "': " + std::strerror(errno));
    return bytes.str();
}

int RunMake(const Arguments& args) {
    ExpectPositionals(args, {"DIR"}, 1);
    const std::optional<std::string> from = args.Value("--from");
    if (!from) throw UsageError("--from FILE is required");

    json root;
    try {
        root = json::parse(ReadDescriptionFile(*from));
    } catch (const json::parse_error& e) {
        // "[json.exception.parse_error.101] parse error at line 3, column 5: ..." without the tag.
        std::string what = e.what();
        const std::size_t tag = what.find("] ");
        if (tag != std::string::npos) what.erase(0, tag + 2);
        throw CommandError(*from + ": not valid JSON: " + what);
    }
    const writer::DataDirectory data = ReadDescription(root, *from);

    Progress progress;
    InstallDataDirectory(args.Positional[0], data, progress);
    progress.Done();

    PrintWritten(args.Positional[0], data, args.Json);
    return kExitOk;
}

}  // namespace

const Command kMakeCommand{
    "make",
    "write a data directory from a JSON description",
    "usage: tessary make DIR --from FILE [--json]\n"
    "\n"
    "Writes the data directory DIR (Directory.xml, SymTbl/<ID>_Light per exchange,\n"
    "SymTbl/Group) from the JSON description in FILE ('-' reads standard input):\n"
    "\n"
    "  {\n"
    "    \"expires\": \"20301231 153000\",            optional\n"
    "    \"encoding\": \"UTF-8\",                     optional: the files' character set\n"
    "    \"exchanges\": [\n"
    "      {\"id\": 1, \"code\": \"SH\", \"name\": \"Shanghai Stock Exchange\",\n"
    "       \"alert\": true, \"trade\": true, \"quote\": true,   optional, default true\n"
    "       \"symbols\": [\n"
    "         {\"code\": \"600000\", \"name\": \"Pudong Bank\", \"type\": 1,\n"
    "          \"searchTexts\": [\"PUDONG BANK\", \"PDYH\"], \"searchKeys\": [\"PDYH\", \"600\"],\n"
    "          \"auxCode\": \"SH600000\", \"auxValue\": 0}]}],\n"
    "    \"groups\": [\n"
    "      {\"id\": 1, \"subgroups\": [\n"
    "         {\"code\": \"G00010\", \"name\": \"Mainland\", \"leaves\": [\n"
    "            {\"code\": \"G10010030\", \"name\": \"Banks\", \"symbols\": [\"600000.SH\"]}]}]}]\n"
    "  }\n"
    "\n"
    "Required: exchanges; each exchange's id and code; each group's id; each symbol's,\n"
    "subgroup's and leaf group's code. Everything else may be left out; unknown fields are\n"
    "errors. Every text must fit its field and hold no NUL byte; the texts of Directory.xml\n"
    "(expires, exchange codes and names) no control character but tab, CR and LF. Optional\n"
    "pairs of numbers the files keep but no query reads: an exchange's \"header\" (its Light\n"
    "table's header words) and a group's or subgroup's \"extra\"; 'tessary dump' writes\n"
    "them when they are not zero. The files are\n"
    "written into a temporary directory beside DIR, which then replaces DIR; an existing DIR is\n"
    "replaced only when it is empty or a data directory.\n",
    {"--from"},
    {},
    RunMake};

}  // namespace tessary::cli
