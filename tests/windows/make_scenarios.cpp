// Writes the data directories that the scenario host replays on Linux and under Wine, with a
// file of extra calls beside each. Every directory is made with the data writer; the damaged
// ones are good ones with one thing broken.
//
//   make_scenarios ROOT     writes ROOT/<scenario>/ and ROOT/<scenario>.queries

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "writer/data_writer.h"

namespace fs = std::filesystem;
using namespace tessary::writer;

namespace {

// UTF-8 text in GBK bytes, for the Light tables and the queries of the double-byte scenario.
std::string Gbk(const std::string& utf8) { return ConvertFromUtf8(utf8, "GBK"); }

LightRecord Record(std::string code, std::string name, std::int32_t type, std::string text1 = "",
                   std::string key1 = "", std::string key2 = "") {
    LightRecord r;
    r.Code = std::move(code);
    r.Name = std::move(name);
    r.Type = type;
    r.SearchText1 = std::move(text1);
    r.SearchText2 = r.Code;
    r.SearchKey1 = std::move(key1);
    r.SearchKey2 = std::move(key2);
    return r;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Replaces the first `from` in `file` with `to`.
void Edit(const fs::path& file, const std::string& from, const std::string& to) {
    std::ifstream in(file, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("no '" + from + "' to replace");
    WriteBytes(file, text.replace(at, from.size(), to));
}

// A small market, the base of the damaged directories.
DataDirectory Small() {
    DataDirectory d;
    d.Directory.Types = {ExchangeType(1, "SH", "Shanghai"), ExchangeType(2, "SZ", "Shenzhen", 0, 1, 0)};
    d.LightTables["1"].Records = {
        Record("600000", "Pudong Development Bank", 1, "PUDONG DEVELOPMENT BANK", "PDDB", "000"),
        Record("600036", "China Merchants Bank", 1, "CHINA MERCHANTS BANK", "CMB", "036")};
    d.LightTables["2"].Records = {Record("000001", "Ping An Bank", 1, "PING AN BANK", "PAB", "001"),
                                  Record("000002", "Vanke A", 2, "VANKE A", "VK", "002")};
    SubGroup banks{"B01", "Banks", {0, 0}, {}, std::nullopt, std::nullopt, std::nullopt};
    banks.Leaves.push_back({"B0101", "Big banks", "600000.SH,600036.SH,000001.SZ,NOPE.SH", {}, {}, {}, {}});
    d.Groups.Groups.push_back({7, {0, 0}, {banks}, std::nullopt});
    return d;
}

template <class Change>
DataDirectory SmallWith(const Change& change) {
    DataDirectory d = Small();
    change(d);
    return d;
}

// Directory.xml edge cases: repeated and oversized IDs, flags, long texts, an element in the
// wrong place, an exchange without symbols.
DataDirectory Edges() {
    DataDirectory d;
    d.Directory.Types = {
        ExchangeType(3, "SH", "First"),
        {{"ID", "3"}, {"Code", "SH"}, {"Name", "Second"}, {"Alert", " 1"}, {"Trade", "2"}, {"Quote", "yes"}},
        {{"ID", "007"},
         {"Code", "SZ"},
         {"Name", "Seven & <Co> \"quoted\""},
         {"Alert", "0"},
         {"Trade", "1"},
         {"Quote", "1"}},
        {{"ID", "70000"},
         {"Code", "HKX"},
         {"Name", std::string(60, 'N')},
         {"Alert", "1"},
         {"Trade", "1"},
         {"Quote", "1"}},
        {{"ID", "5"}, {"Code", "TW"}, {"Alert", "1"}, {"Trade", "1"}, {"Quote", "1"}},
        ExchangeType(6, "us", "Lower-case code"),
        ExchangeType(8, "EM", "Empty table"),
    };
    d.LightTables["3"].Records = {Record("600000", "Pudong", 1, "PUDONG", "PD", "000"),
                                  Record("A.B", "Dotted code", 2, "DOTTED", "AB", "A.B"),
                                  Record("abc", "Lower code", 1, "LOWER"),
                                  Record("ABC", "Upper code", 65537, "UPPER ABC", "ABC", "ab"),
                                  Record("  XYZ  ", "Padded code", 3, "PADDED")};
    d.LightTables["7"].Records = {Record("000001", "Ping An", 1, "PING AN")};
    d.LightTables["70000"].Records = {Record("00700", "Tencent", 1, "TENCENT")};
    d.LightTables["5"].Records = {Record("2330", std::string(49, 'T'), 1, "TSMC")};
    d.LightTables["6"].Records = {Record("AAPL", "Apple", 1, "APPLE")};
    d.LightTables["8"].Records = {};
    return d;
}

DataDirectory DoubleByte() {
    DataDirectory d;
    d.Directory.Encoding = "GBK";
    d.Directory.Types = {ExchangeType(1, "SH", "上海证券交易所"), ExchangeType(2, "SZ", "深圳证券交易所")};
    // 乤 is 81 61 and 丂 is 81 41 in GBK: their trail bytes are the letters a and A.
    d.LightTables["1"].Records = {Record("600000", Gbk("浦发银行"), 1, Gbk("浦发银行"), "PFYH", "000"),
                                  Record("600001", Gbk("乤a公司"), 1, Gbk("乤A公司"), Gbk("乤A"), "001"),
                                  Record("600002", Gbk("平安银行"), 2, Gbk("平安银行 PAYH"), "PAYH", "002"),
                                  Record("600003", Gbk("丂x"), 1, Gbk("丂X")),
                                  Record(Gbk("银行"), Gbk("代码是汉字"), 1, Gbk("汉字代码"))};
    d.LightTables["2"].Records = {Record("000001", Gbk("深发展Ａ"), 1, Gbk("深发展Ａ")),
                                  Record("000002", Gbk("万科ａ"), 1, Gbk("万科ａ"))};
    SubGroup sub{Gbk("板块"), Gbk("银行板块"), {0, 0}, {}, std::nullopt, std::nullopt, std::nullopt};
    sub.Leaves.push_back(
        {Gbk("银行a"), Gbk("银行"), "600000.SH,600002.sh," + Gbk("银行") + ".SH", {}, {}, {}, {}});
    d.Groups.Groups.push_back({1, {0, 0}, {sub}, std::nullopt});
    return d;
}

std::string DoubleByteQueries() {
    std::string q;
    for (const char* text : {"浦发", "发银", "乤a", "乤A", "ａ", "Ａ", "银行", "汉字", "a", "x", "X"})
        q += "find " + Gbk(text) + "\n";
    q += "find \xD6\xB7\n";  // the trail byte of 浦 and the lead byte of 发: no character
    q += "find \x61\x81\n";
    q += "info 600000.sh\n";
    q += "info " + Gbk("银行") + ".sh\n";
    q += "info " + Gbk("乤a") + ".SH\n";
    q += "infos 600000.sh," + Gbk("银行") + ".sh," + Gbk("乤a") + ".SH\n";
    return q;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_scenarios ROOT\n");
        return 2;
    }
    try {
        const fs::path root = argv[1];
        fs::create_directories(root);
        const auto write = [&](const std::string& name, const DataDirectory& data,
                               const std::string& queries = "") {
            const fs::path dir = root / name;
            fs::remove_all(dir);
            WriteDataDirectory(dir.string(), data);
            WriteBytes(root / (name + ".queries"), queries);
            return dir;
        };

        write("sample", MakeSampleDirectory(120, 11), "find PUDONG\nfind pd\ninfos 600000.sh,,x,\n");

        const fs::path edges = write("edges", Edges(),
                                     "find a.b.sh\nfind ab\ninfo A.B.SH\ninfo abc.SH\ninfo AAPL.us\n"
                                     "infos ABC.SH,,NOPE.SH,abc.sh\ninfos SH\ninfos  ABC.SH\n");
        // A Type directly below Result, with no Exchange between them, is not read.
        Edit(edges / "Directory.xml", "<Exchange>",
             "<Type ID=\"99\" Code=\"ZZ\" Name=\"Stray\" Alert=\"1\" Trade=\"1\" Quote=\"1\"/>\n"
             "  <Exchange>");

        write("gbk", DoubleByte(), DoubleByteQueries());
        // UTF-8 on disk, read in the double-byte code page; a character the code page lacks turns
        // into '?'.
        write("utf8-names", SmallWith([](DataDirectory& d) {
                  d.Directory.Types = {ExchangeType(1, "SH", "上海 Zürich ह end"), ExchangeType(2, "SZ", "深圳")};
              }));
        write("no-exchanges", SmallWith([](DataDirectory& d) {
                  d.Directory.Types.clear();
                  d.LightTables.clear();
              }));

        // Damaged: each of these makes TSYInit fail.
        fs::remove(write("no-directory", Small()) / "Directory.xml");
        const fs::path malformed = write("malformed-xml", Small()) / "Directory.xml";
        fs::resize_file(malformed, fs::file_size(malformed) / 2);
        Edit(write("doctype", Small()) / "Directory.xml", "?>\n",
             "?>\n<!DOCTYPE Result [<!ENTITY name \"Shanghai\">]>\n");
        const fs::path noResult = write("no-result", Small()) / "Directory.xml";
        Edit(noResult, "<Result", "<Results");
        Edit(noResult, "</Result>", "</Results>");
        write("no-expires", SmallWith([](DataDirectory& d) { d.Directory.Expires = std::nullopt; }));
        write("hyphen-expires",
              SmallWith([](DataDirectory& d) { d.Directory.Expires = "2024-04-18 153000"; }));
        // Rolls over into May: valid.
        write("rollover-expires",
              SmallWith([](DataDirectory& d) { d.Directory.Expires = "20240431T120000"; }));
        fs::remove(write("missing-light", Small()) / "SymTbl" / "2_Light");
        write("bad-light-magic", SmallWith([](DataDirectory& d) { d.LightTables["2"].Magic = 0; }));
        // More records than the file holds.
        write("short-light", SmallWith([](DataDirectory& d) { d.LightTables["1"].RecordCount = 100; }));
        fs::remove(write("missing-group", Small()) / "SymTbl" / "Group");
        write("bad-group-magic", SmallWith([](DataDirectory& d) { d.Groups.Magic = 0; }));
        // A member list beyond the file's end.
        write("short-group", SmallWith([](DataDirectory& d) {
                  d.Groups.Groups[0].SubGroups[0].Leaves[0].ListLength = 100000;
              }));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_scenarios: %s\n", e.what());
        return 1;
    }
    return 0;
}
