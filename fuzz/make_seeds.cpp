// Writes the seed corpora of the fuzz targets with the data writer: small valid files, and the
// damaged kinds the reader tests build, one file per case under corpus/<target>/seed-<case>.
// Run as `fuzz_make_seeds FUZZ_FOLDER`; the output is deterministic and committed.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "writer/data_writer.h"

namespace w = tessary::writer;
namespace fs = std::filesystem;

namespace {

using Seeds = std::vector<std::pair<std::string, std::string>>;  // case name, bytes

const std::string kSeparator = "\n#TSY#\n";  // fuzz_support.h: kPieceSeparator

w::LeafGroup Leaf(std::string code, std::string list, std::string name = "leaf") {
    return {std::move(code), std::move(name), std::move(list), {}, {}, {}, {}};
}
w::SubGroup Sub(std::string code, std::vector<w::LeafGroup> leaves, std::string name = "sub") {
    return {std::move(code), std::move(name), {1, 2}, std::move(leaves), {}, {}, {}};
}
w::LightRecord Record(std::string code, std::string name, std::int32_t type, std::string text, std::string key = "") {
    w::LightRecord r = w::MakeLightRecord(std::move(code), std::move(name), type);
    r.SearchText1 = std::move(text);
    r.SearchKey1 = std::move(key);
    r.AuxCode = "AUX";
    return r;
}

// Three exchanges with a few symbols each and a group tree over them.
w::DataDirectory Small() {
    w::DataDirectory d;
    d.Directory.Types = {w::ExchangeType(1, "SH", "Shanghai"), w::ExchangeType(2, "SZ", "Shenzhen", 0, 1, 0),
                         w::ExchangeType(3, "HK", "Hong Kong", 1, 0, 1)};
    d.LightTables["1"].Records = {Record("600000", "Pudong Bank", 1, "PFYH", "PF"),
                                  Record("600036", "Merchants Bank", 1, "ZSYH"), Record("000060", "Index 60", 2, "ZS60")};
    d.LightTables["2"].Records = {Record("000001", "Ping An Bank", 1, "PAYH", "PA"),
                                  Record("300750", "Battery Tech", 1, "NDSD")};
    d.LightTables["3"].Records = {Record("00700", "Tencent", 1, "TENCENT", "TX")};
    d.Groups.Groups.push_back(
        {1, {7, 8}, {Sub("G00010", {Leaf("G10010030", "600000.SH,000001.sz,600036.SH"), Leaf("G10010040", "300750.SZ,NOPE.SZ")}),
                     Sub("G00020", {Leaf("G10020010", "00700.HK")})}, {}});
    d.Groups.Groups.push_back({2, {0, 0}, {Sub("SH", {Leaf("EQA", "600000.SH")}), Sub("SZ", {Leaf("EQA", "000001.SZ")})}, {}});
    return d;
}

std::string Xml(const w::DirectoryDescription& d) { return w::RenderDirectoryXml(d); }

Seeds DirectorySeeds() {
    const w::DirectoryDescription small = Small().Directory;
    const std::string body = "<Result Expires=\"20991231 235959\"><Exchange><Type ID=\"1\" Code=\"SH\" Name=\"S\" "
                             "Alert=\"1\" Trade=\"1\" Quote=\"1\"/></Exchange></Result>";
    Seeds seeds = {{"valid", Xml(small)}, {"empty", ""}, {"no-result", "<Directory/>"}, {"truncated", Xml(small).substr(0, 90)}};
    w::DirectoryDescription d = small;
    d.Encoding = "GBK";
    d.Types.push_back(w::ExchangeType(4, "TW", "\xE4\xB8\xAD\xE6\x96\x87"));
    seeds.emplace_back("gbk", Xml(d));
    // Declared GBK, but bytes that are no GBK: the parser's encoding error must stay quiet.
    seeds.emplace_back("gbk-broken", "<?xml version=\"1.0\" encoding=\"GBK\"?><Result Expires=\"20991231 235959\">"
                                     "<Exchange><Type ID=\"1\" Code=\"SH\" Name=\"\x80\xFF\xFF\x81\" Alert=\"1\"/>"
                                     "</Exchange></Result>");
    d = small;
    d.Types = {w::ExchangeType(3, "AB", "First"), w::ExchangeType(3, "C", "Again"), w::ExchangeType(4, "sh", "Lower"),
               w::ExchangeType(5, "SZ", "Same code"), w::ExchangeType(6, "SZ", "Same code"),
               w::ExchangeType(70000, "ABCD", std::string(60, 'N')), {{"ID", ""}, {"Code", "X"}}, {{"ID", "7"}}};
    seeds.emplace_back("repeats-and-odd-values", Xml(d));
    for (const char* expires : {"20240418T153000", "2024-04-18 15:30:00", "20240431 120000", "18991231 120000", ""}) {
        d = small;
        d.Expires = expires;
        std::string name = std::string("expires-") + (*expires ? expires : "empty");
        for (char& c : name)
            if (c == ' ' || c == ':') c = '_';
        seeds.emplace_back(name, Xml(d));
    }
    seeds.emplace_back("no-expires", "<Result><Exchange/></Result>");
    seeds.emplace_back("type-outside-exchange",
                       "<Root><Result Expires=\"20991231 235959\"><Type ID=\"2\" Code=\"C\"/><Exchange><Group>"
                       "<Type ID=\"3\" Code=\"D\"/></Group></Exchange></Result></Root>");
    seeds.emplace_back("doctype", "<?xml version=\"1.0\"?><!DOCTYPE Result [<!ELEMENT Result ANY>]>" + body);
    seeds.emplace_back("external-entity", "<?xml version=\"1.0\"?><!DOCTYPE Result [<!ENTITY s SYSTEM "
                                          "\"file:///etc/passwd\">]><Result Expires=\"20991231 235959\">&s;</Result>");
    seeds.emplace_back("entity-expansion",
                       "<!DOCTYPE Result [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
                       "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]><Result Expires=\"&c;\"/>");
    std::string nested = "<Result Expires=\"20991231 235959\">";
    for (int i = 0; i < 300; ++i) nested += "<a>";
    seeds.emplace_back("nested", nested);
    seeds.emplace_back("escapes", "<Result Expires=\"20991231 235959\"><Exchange><Type ID=\" +12abc\" Code=\"S&amp;\" "
                                  "Name=\"&lt;&#x4E2D;&#0;\" Alert=\" 1\" Trade=\"01\" Quote=\"yes\"/></Exchange></Result>");
    return seeds;
}

Seeds GroupSeeds() {
    const w::GroupTable small = Small().Groups;
    const std::string good = w::RenderGroupTable(small);
    Seeds seeds = {{"valid", good}, {"magic-only", w::RenderGroupTable({})}, {"short", good.substr(0, 3)},
                   {"truncated", good.substr(0, good.size() - 5)}};
    w::GroupTable t = small;
    t.Magic = 207;
    seeds.emplace_back("wrong-magic", w::RenderGroupTable(t));
    t = small;
    t.Groups[0].Length = 0xFFFFFFF0u;
    seeds.emplace_back("group-length-huge", w::RenderGroupTable(t));
    t = small;
    t.Groups[0].Length = 6;
    seeds.emplace_back("group-length-short", w::RenderGroupTable(t));
    t = small;
    t.Groups[0].SubGroups[0].CodeLength = 17;
    seeds.emplace_back("code-length-17", w::RenderGroupTable(t));
    t = small;
    t.Groups[0].SubGroups[0].NameLength = 0x7FFFFFFFu;
    seeds.emplace_back("name-length-huge", w::RenderGroupTable(t));
    t = small;
    t.Groups[0].SubGroups[0].Leaves[0].ListLength = 0xFFFFFFFFu;
    seeds.emplace_back("list-length-huge", w::RenderGroupTable(t));
    t = small;
    t.Groups[0].SubGroups[0].Leaves[0].Length = 400;
    seeds.emplace_back("leaf-length-disagrees", w::RenderGroupTable(t));
    t = small;
    t.Groups.push_back({1, {9, 9}, {Sub("g00010", {Leaf("", "")}), Sub("", {}), Sub("G00010", {Leaf("G10010030", "A.SH")})}, {}});
    t.Groups.push_back({0xFFFF, {0, 0}, {}, {}});
    seeds.emplace_back("repeats-lower-case-and-empty", w::RenderGroupTable(t));
    return seeds;
}

Seeds LightSeeds() {
    const w::LightTable small = Small().LightTables["1"];
    const std::string good = w::RenderLightTable(small);
    Seeds seeds = {{"valid", good}, {"header-only", w::RenderLightTable({})}, {"magic-only", good.substr(0, 4)},
                   {"short", good.substr(0, 3)}, {"partial-record", good.substr(0, good.size() - 100)}};
    w::LightTable t = small;
    t.Magic = 206;
    seeds.emplace_back("wrong-magic", w::RenderLightTable(t));
    t = small;
    t.RecordCount = 0xFFFFFFFFu;
    t.Records.push_back(Record("600000", "Again", 3, "AGAIN"));
    t.Records.push_back(Record("  ", "Blank", 0, ""));
    t.Records.push_back(Record("ABCDEFGHIJKLMNOPQ", std::string(49, 'N'), -1, std::string(65, 'S'), std::string(17, 'K')));
    t.Records.push_back(Record("abc", "\xD6\xD0\xCE\xC4 GBK", 7, "\xD6\xD0\xCE\xC4", "\xD6\xD0"));
    seeds.emplace_back("repeats-blanks-and-full-fields", w::RenderLightTable(t));
    return seeds;
}

std::string Joined(const w::DataDirectory& d) {
    std::string input = w::RenderDirectoryXml(d.Directory) + kSeparator + w::RenderGroupTable(d.Groups);
    for (const auto& [key, table] : d.LightTables) input += kSeparator + w::RenderLightTable(table);
    return input;
}

Seeds DataDirectorySeeds() {
    Seeds seeds = {{"small", Joined(Small())}, {"sample", Joined(w::MakeSampleDirectory(60, 1))}};
    w::DataDirectory d = Small();
    d.Directory.Types[1] = w::ExchangeType(2, "sh", "Lower-case code");
    seeds.emplace_back("lower-case-code", Joined(d));
    d = Small();
    d.Directory.Types[2] = w::ExchangeType(3, "SH", "Same code");
    seeds.emplace_back("shared-code", Joined(d));
    d = Small();
    d.LightTables["2"].Records.push_back(Record("   ", "Blank code", 1, "PA"));
    seeds.emplace_back("blank-code", Joined(d));
    d = Small();
    d.LightTables.erase("3");
    seeds.emplace_back("missing-table", Joined(d));
    return seeds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_make_seeds FUZZ_FOLDER\n";
        return 2;
    }
    const std::map<std::string, Seeds> corpora = {{"directory_reader", DirectorySeeds()},
                                                   {"group_table_reader", GroupSeeds()},
                                                   {"light_table_reader", LightSeeds()},
                                                   {"data_directory", DataDirectorySeeds()}};
    for (const auto& [target, seeds] : corpora) {
        const fs::path folder = fs::path(argv[1]) / "corpus" / target;
        fs::create_directories(folder);
        for (const auto& [name, bytes] : seeds) {
            std::ofstream file(folder / ("seed-" + name), std::ios::binary | std::ios::trunc);
            file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            if (!file) {
                std::cerr << "cannot write " << (folder / name).string() << '\n';
                return 1;
            }
        }
    }
    return 0;
}
