// tessary check on every kind of damage the readers know: each problem named with its file and
// place, the exit code agreeing with whether the library loads the directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "support/test_support.h"
#include "tools/cli_runner.h"

namespace tessary::testing {
namespace {

using writer::DataDirectory;

// SmallDirectory without its one group member that no table holds: a directory that checks
// without a single remark.
DataDirectory CleanDirectory() {
    DataDirectory d = SmallDirectory();
    d.Groups.Groups[0].SubGroups[0].Leaves[1].SymbolList = "300750.SZ";
    return d;
}

using Change = std::function<void(DataDirectory&)>;
using FileChange = std::function<void(const std::string& dir)>;

struct Damage {
    const char* Name;
    Change Describe;       // before writing
    FileChange Afterwards;  // on the written directory
    bool Loads;
    std::vector<std::string> Expected;  // each must stand in the output
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.Name; }

FileChange Remove(std::string file) {
    return [file](const std::string& dir) { std::filesystem::remove(dir + "/" + file); };
}
FileChange Replace(std::string file, std::string bytes) {
    return [file, bytes](const std::string& dir) { WriteFileBytes(dir + "/" + file, bytes); };
}
// `bytes` added at the end of the file, or with `cut`, that many bytes taken off its end.
FileChange Append(std::string file, std::string bytes, std::size_t cut = 0) {
    return [file, bytes, cut](const std::string& dir) {
        const std::string content = ReadFileBytes(dir + "/" + file);
        WriteFileBytes(dir + "/" + file, content.substr(0, content.size() - cut) + bytes);
    };
}

const std::vector<Damage>& Damages() {
    // clang-format off
    static const std::vector<Damage> damages = {
        // ---- what keeps a directory from loading ----
        {"DirectoryXmlMissing", nullptr, Remove("Directory.xml"), false, {"error: Directory.xml"}},
        {"DirectoryXmlNotXml", nullptr, Replace("Directory.xml", "<Result Expires=\"x\">\n<Exchange>\n"),
         false, {"error: Directory.xml"}},
        {"ExpiresInvalid", [](DataDirectory& d) { d.Directory.Expires = "20241399 15:30:00"; }, nullptr,
         false, {"error: Directory.xml line 2: Expires '20241399 15:30:00' is not a valid date"}},
        {"ExpiresMissing", [](DataDirectory& d) { d.Directory.Expires.reset(); }, nullptr, false,
         {"error: Directory.xml line 2:", "Expires"}},
        {"NoResultElement", nullptr, Replace("Directory.xml", "<?xml version=\"1.0\"?>\n<Other/>\n"), false,
         {"error: Directory.xml: there is no Result element"}},
        {"DoctypeRefused", nullptr,
         [](const std::string& dir) {
             std::string xml = ReadFileBytes(dir + "/Directory.xml");
             xml.insert(xml.find('\n') + 1, "<!DOCTYPE Result SYSTEM \"Result.dtd\">\n");
             WriteFileBytes(dir + "/Directory.xml", xml);
         },
         false, {"error: Directory.xml", "DOCTYPE"}},
        {"LightEmpty", nullptr, Replace("SymTbl/3_Light", ""), false,
         {"error: SymTbl/3_Light offset 0: is 0 bytes long"}},
        {"LightMissing", nullptr, Remove("SymTbl/2_Light"), false,
         {"error: SymTbl/2_Light: cannot be opened"}},
        {"LightTooShort", nullptr, Replace("SymTbl/1_Light", std::string("\xCF\0\0", 3)), false,
         {"error: SymTbl/1_Light offset 0: is 3 bytes long"}},
        {"GroupMissing", nullptr, Remove("SymTbl/Group"), false, {"error: SymTbl/Group: cannot be opened"}},
        {"GroupMagic", [](DataDirectory& d) { d.Groups.Magic = 112; }, nullptr, false,
         {"error: SymTbl/Group offset 0: magic is 112, expected 111"}},
        {"GroupTooShort", nullptr, Replace("SymTbl/Group", std::string("o\0", 2)), false,
         {"error: SymTbl/Group offset 0: is 2 bytes long"}},
        {"SubgroupRunsPastItsGroup", [](DataDirectory& d) { d.Groups.Groups[0].SubGroups[0].Length = 900; },
         nullptr, false, {"error: SymTbl/Group offset ", "runs past the end of group 1"}},
        {"GroupFileCutShort", nullptr, Append("SymTbl/Group", "", 5), false,
         {"error: SymTbl/Group offset ", "runs past the end"}},
        // Four bytes more than the leaf group's fields take.
        {"LeafLengthDisagrees",
         [](DataDirectory& d) { d.Groups.Groups[0].SubGroups[1].Leaves[0].Length = 12 + 9 + 10 + 17 + 4; },
         nullptr, false, {"error: SymTbl/Group offset "}},
        {"GroupCodeTooLong",
         [](DataDirectory& d) { d.Groups.Groups[0].SubGroups[0].Code = std::string(17, 'G'); }, nullptr,
         false, {"error: SymTbl/Group offset ", "above 16"}},
        {"GroupTrailingBytes", nullptr, Append("SymTbl/Group", std::string(3, '\0')), false,
         {"error: SymTbl/Group offset "}},
        {"GroupLengthTooShort", [](DataDirectory& d) { d.Groups.Groups[0].Length = 5; }, nullptr, false,
         {"error: SymTbl/Group offset 4: group length 5 is too short"}},
        // Without a directory file the group file is still read.
        {"DirectoryAndGroupDamaged",
         [](DataDirectory& d) {
             d.Directory.Expires = "garbage";
             d.Groups.Magic = 0;
         },
         nullptr, false,
         {"error: Directory.xml line 2: Expires 'garbage'", "error: SymTbl/Group offset 0: magic is 0, expected 111",
          "note: the symbol tables are not checked"}},

        // ---- what loads but is probably wrong ----
        {"LowerCaseExchangeCode",
         [](DataDirectory& d) { d.Directory.Types[2] = writer::ExchangeType(3, "hk", "Hong Kong"); }, nullptr,
         true, {"warning: Directory.xml line 6: Code 'hk' has lower-case letters"}},
        // One warning for the Code, not one per pair of exchanges (20,000 once took minutes).
        {"ExchangesShareACode",
         [](DataDirectory& d) {
             d.Directory.Types[1] = writer::ExchangeType(2, "SH", "Shenzhen");
             d.Directory.Types[2] = writer::ExchangeType(3, "SH", "Hong Kong");
         },
         nullptr, true,
         {"warning: Directory.xml: 3 exchanges share the Code 'SH' (1, 2, 3); symbol texts with it reach only "
          "exchange 3\nwarning: SymTbl/Group"}},
        {"ExchangeIdRepeated",
         [](DataDirectory& d) { d.Directory.Types.push_back(writer::ExchangeType(3, "HK", "Hong Kong again")); },
         nullptr, true, {"warning: Directory.xml line 7: exchange ID 3 appears again"}},
        {"SymbolCodeRepeated",
         [](DataDirectory& d) { d.LightTables["2"].Records.push_back(d.LightTables["2"].Records[0]); },
         nullptr, true, {"warning: SymTbl/2_Light: 1 records repeat an earlier code"}},
        {"BlankSymbolCode", [](DataDirectory& d) { d.LightTables["2"].Records[1].Code = "   "; }, nullptr,
         true, {"warning: SymTbl/2_Light: 1 records have a blank code"}},
        {"HeaderCountDisagrees", [](DataDirectory& d) { d.LightTables["1"].RecordCount = 9; }, nullptr,
         true, {"warning: SymTbl/1_Light offset 12: the header counts 9 records, the file holds 3"}},
        {"TrailingPartialRecord", nullptr, Append("SymTbl/2_Light", std::string(10, 'x')), true,
         {"warning: SymTbl/2_Light offset 722: the last 10 bytes are not a whole record"}},
        {"LightEndsAfterTheMagic", nullptr, Replace("SymTbl/1_Light", std::string("\xCF\0\0\0", 4)), true,
         {"warning: SymTbl/1_Light offset 4: the file ends inside the 16-byte header"}},
        // A directory built by exchange, whose leaves EQA and IDX are under both SH and SZ: SH's
        // EQA listed SZ's symbols, and nothing said so.
        {"LeafCodeUnderTwoSubgroups",
         [](DataDirectory& d) {
             d.Groups.Groups.push_back(MakeGroup(2, {Sub("SH", {Leaf("EQA"), Leaf("IDX")}),
                                                     Sub("SZ", {Leaf("EQA"), Leaf("IDX")})}));
         },
         nullptr, true,
         {"warning: SymTbl/Group: leaf group EQA of group 2 is under 2 subgroups (SH, SZ); its symbols are "
          "always those of SZ", "leaf group IDX of group 2"}},
        {"GroupCodeInLowerCase", [](DataDirectory& d) { d.Groups.Groups[0].SubGroups[1].Code = "g00020"; },
         nullptr, true, {"warning: SymTbl/Group offset ", "g00020"}},
        {"GroupMemberInNoTable",
         [](DataDirectory& d) { d.Groups.Groups[0].SubGroups[0].Leaves[1].SymbolList = "300750.SZ,NOPE.SZ"; },
         nullptr, true, {"warning: SymTbl/Group: ", "NOPE.SZ, which no symbol table holds"}},
    };
    // clang-format on
    return damages;
}

class CheckDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(CheckDamage, NamesTheProblemAndAgreesWithTheLibrary) {
    const Damage& damage = GetParam();
    const TempDir temp;
    const std::string dir = temp / "data";
    DataDirectory d = CleanDirectory();
    if (damage.Describe) damage.Describe(d);
    writer::WriteDataDirectory(dir, d);
    if (damage.Afterwards) damage.Afterwards(dir);

    const CliResult r = RunCli({"check", dir});
    EXPECT_EQ(r.ExitCode, damage.Loads ? 0 : 1) << r.Out << r.Err;
    for (const std::string& expected : damage.Expected)
        EXPECT_NE(r.Out.find(expected), std::string::npos) << "expected '" << expected << "' in:\n" << r.Out;
    EXPECT_NE(r.Out.find(damage.Loads ? ": loads (0 errors" : ": does NOT load ("), std::string::npos)
        << r.Out;

    // TSYInit, through a query subcommand, gives the same verdict.
    EXPECT_EQ(RunCli({"exchanges", dir}).ExitCode, damage.Loads ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, CheckDamage, ::testing::ValuesIn(Damages()),
                         [](const ::testing::TestParamInfo<Damage>& param) { return param.param.Name; });

// A writer holding its lock on a file makes the load fail, and check says so.
TEST(Check, AFileLockedByAWriterDoesNotLoad) {
    const TempDir temp;
    writer::WriteDataDirectory(temp / "data", CleanDirectory());
    const int fd = ::open((temp / "data/SymTbl/2_Light").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const CliResult r = RunCli({"check", temp / "data"});
    ::close(fd);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Out.find("error: SymTbl/2_Light: cannot be opened"), std::string::npos) << r.Out;
}

// Init stops at the first file that does not load; check goes on and names the later ones too.
TEST(Check, ReportsEveryDamagedFileNotOnlyTheFirst) {
    const TempDir temp;
    DataDirectory d = CleanDirectory();
    d.LightTables["1"].Magic = 1;
    d.LightTables["3"].Magic = 3;
    d.Groups.Magic = 7;
    d.LightTables["2"].RecordCount = 5;
    writer::WriteDataDirectory(temp / "data", d);
    const CliResult r = RunCli({"check", temp / "data", "--json"});
    EXPECT_EQ(r.ExitCode, 1);
    const nlohmann::json report = r.Json();
    EXPECT_EQ(report["loads"], false);
    EXPECT_EQ(report["errors"], 3);
    EXPECT_EQ(report["warnings"], 1);
    std::vector<std::string> files;
    for (const auto& item : report["diagnostics"])
        files.push_back(item["file"].get<std::string>() + " " + item["level"].get<std::string>());
    EXPECT_EQ(files, (std::vector<std::string>{"SymTbl/1_Light error", "SymTbl/2_Light warning",
                                               "SymTbl/3_Light error", "SymTbl/Group error"}));
    EXPECT_EQ(report["diagnostics"][0]["offset"], 0);
    EXPECT_EQ(report["diagnostics"][0]["message"], "magic is 1, expected 207");
}

}  // namespace
}  // namespace tessary::testing
