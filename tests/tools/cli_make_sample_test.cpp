// tessary make and tessary sample: the directories they write, the errors in a description, and
// that a failure never leaves a half-written directory behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/test_support.h"
#include "tools/cli_runner.h"

namespace tessary::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class Make : public ::testing::Test {
protected:
    CliResult MakeFrom(const std::string& description) {
        WriteFileBytes(temp / "description.json", description);
        return RunCli({"make", target, "--from", temp / "description.json"});
    }
    TempDir temp;
    const std::string target = temp / "data";
};

// The bundled example makes the directory it describes, one without a single remark.
TEST_F(Make, WritesTheDirectoryDescribed) {
    const CliResult r = RunCli({"make", target, "--from", TESSARY_EXAMPLE_JSON});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out, "wrote " + target + ": 2 exchanges, 5 symbols, 1 group\n");
    const CliResult check = RunCli({"check", target});
    EXPECT_EQ(check.ExitCode, 0);
    EXPECT_NE(check.Out.find("(0 errors, 0 warnings)"), std::string::npos) << check.Out;

    const json exchanges = RunJson({"exchanges", target, "--json"});
    ASSERT_EQ(exchanges.size(), 2u);
    EXPECT_EQ(exchanges[1]["alert"], false);
    EXPECT_EQ(exchanges[1]["quote"], true);
    EXPECT_EQ(exchanges[1]["code"], "HK");

    const json info = RunJson({"info", target, "600000.SH,000001.SH", "--json"});
    EXPECT_EQ(info[0]["name"], "Pudong Development Bank");
    EXPECT_EQ(info[1]["type"], 2);
    const json members = RunJson({"groups", target, "1", "G00010", "G10010030", "--json"});
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[1]["symbol"], "600036.SH");

    // The record's bytes are where the Light layout puts them, search keys included.
    const std::string light = ReadFileBytes(target + "/SymTbl/1_Light");
    ASSERT_EQ(light.size(), 16u + 3 * 353);
    EXPECT_EQ(light.substr(16 + 319, 5), std::string("PFYH\0", 5));
    EXPECT_EQ(light.substr(16 + 336, 4), std::string("600\0", 4));
}

TEST_F(Make, DescriptionErrorsSayWhatAndWhere) {
    struct Case {
        std::string Description;
        std::string Message;
    };
    const std::vector<Case> cases = {
        {"{\"exchanges\": [}", "description.json: not valid JSON: parse error at line 1, column 16"},
        {"[]", "description.json: /: expected an object, found an array"},
        {"{}", "description.json: /exchanges: missing"},
        {R"({"exchanges": {}})", "/exchanges: expected an array, found an object"},
        {R"({"exchanges": [{"code": "SH"}]})", "/exchanges/0/id: missing"},
        {R"({"exchanges": [{"id": "1", "code": "SH"}]})",
         "/exchanges/0/id: expected a whole number, found a string"},
        {R"({"exchanges": [{"id": 70000, "code": "SH"}]})",
         "/exchanges/0/id: 70000 is out of range 0 to 65535"},
        {R"({"exchanges": [{"id": 1, "code": "SH", "colour": 1}]})", "/exchanges/0/colour: unknown field"},
        {R"({"exchanges": [{"id": 1, "code": "SH"}, {"id": 1, "code": "SZ"}]})",
         "/exchanges/1/id: exchange 1 is described twice"},
        {R"({"exchanges": [{"id": 1, "code": "SH", "symbols": [{"name": "x"}]}]})",
         "/exchanges/0/symbols/0/code: missing"},
        {R"({"exchanges": [{"id": 1, "code": "SH", "symbols": [{"code": "A", "searchTexts": ["1","2","3","4","5"]}]}]})",
         "/exchanges/0/symbols/0/searchTexts: holds 5 items, at most 4"},
        {R"({"exchanges": [{"id": 1, "code": "SH", "symbols": [{"code": "A", "type": 1.5}]}]})",
         "/exchanges/0/symbols/0/type: expected a whole number, found a number"},
        {R"({"exchanges": [], "groups": [{"id": 1, "subgroups": [{"code": "G1", "leaves": [{"code": "L", "symbols": ["A.SH,B.SH"]}]}]}]})",
         "/groups/0/subgroups/0/leaves/0/symbols/0: a member must not hold a comma"},
        {R"({"exchanges": [], "encoding": "NO-SUCH-SET"})", "/encoding: unknown character set 'NO-SUCH-SET'"},
        // Texts the files cannot hold.
        {R"({"exchanges": [{"id": 1, "code": "SH", "name": "a\u0001b"}]})",
         "/exchanges/0/name: holds the character U+0001, which XML cannot hold"},
        {R"({"exchanges": [{"id": 1, "code": "SH", "symbols": [{"code": "A", "name": "a\u0000b"}]}]})",
         "/exchanges/0/symbols/0/name: holds a NUL byte, which cannot be stored"},
        {R"({"expires": "20301231\u0000", "exchanges": []})", "/expires: holds a NUL byte"},
        {R"({"encoding": "GBK", "exchanges": [{"id": 1, "code": "SH", "name": "\ud83d\ude00"}]})",
         "/exchanges/0/name: '\xF0\x9F\x98\x80' cannot be written in GBK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Description);
        ExpectFailure(MakeFrom(c.Description), 1, c.Message);
        EXPECT_FALSE(fs::exists(target));
    }
    EXPECT_EQ(Entries(temp.path()), std::vector<std::string>{"description.json"});
}

TEST_F(Make, ReplacesOnlyAnEmptyOrADataDirectory) {
    const std::string from = TESSARY_EXAMPLE_JSON;
    ASSERT_EQ(RunCli({"make", target, "--from", from}).ExitCode, 0);
    // A data directory is replaced whole: nothing of the old one stays.
    WriteFileBytes(target + "/SymTbl/9_Light", "old");
    ASSERT_EQ(RunCli({"make", target, "--from", from}).ExitCode, 0);
    EXPECT_FALSE(fs::exists(target + "/SymTbl/9_Light"));
    EXPECT_EQ(Entries(temp.path()), std::vector<std::string>{"data"});

    const std::string other = temp / "other";
    WriteFileBytes(other + "/notes.txt", "keep me");
    ExpectFailure(RunCli({"make", other, "--from", from}), 1, "is not a data directory");
    EXPECT_EQ(ReadFileBytes(other + "/notes.txt"), "keep me");
    ExpectFailure(RunCli({"make", other + "/notes.txt", "--from", from}), 1, "is a file");
    ExpectFailure(RunCli({"make", other + "/notes.txt/data", "--from", from}), 1, "");
    ExpectFailure(RunCli({"make", target, "--from", temp / "missing.json"}), 1, "cannot read");
}

TEST_F(Make, WritesTextsInTheChosenEncoding) {
    const CliResult r = MakeFrom(R"({"encoding": "GBK", "exchanges": [{"id": 1, "code": "SH", "name": "上海",
        "symbols": [{"code": "600000", "name": "浦发银行"}]}]})");
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFileBytes(target + "/SymTbl/1_Light").substr(16 + 17, 9),
              "\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0" + std::string(1, '\0'));
    EXPECT_NE(ReadFileBytes(target + "/Directory.xml").find("\xC9\xCF\xBA\xA3"), std::string::npos);  // 上海

    ExpectFailure(MakeFrom(R"({"encoding": "GBK", "exchanges": [{"id": 1, "code": "SH",
        "symbols": [{"code": "600000", "name": "一二三四五六七八九十一二三四五六七八九十一二三四五"}]}]})"),
                  1, "is 50 bytes long, at most 48 fit");
}

// ---- dump ----

std::vector<std::string> DataFiles(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), dir).string());
    std::sort(files.begin(), files.end());
    return files;
}

// make -> dump -> make gives the same files, byte for byte, with every character the files can
// hold.
TEST_F(Make, DumpDescribesTheDirectorySoThatMakeWritesItAgain) {
    const std::string awkward = R"(tab\there, CR\rLF\nCRLF\r\n \"quoted\" 'single' <&> ]]> &amp; &#9;)";
    const std::string description = R"({"expires": "20301231 153000", "encoding": "ENCODING", "exchanges": [
        {"id": 1, "code": "SH", "name": "上海 )" + awkward.substr(0, 30) + R"(", "alert": false,
         "symbols": [{"code": "600000", "name": "浦发\t银行", "type": 1, "auxCode": "<&>",
                      "searchTexts": ["", "PF\r\nYH"], "searchKeys": ["", "]]>"]},
                     {"code": "A\"B", "type": -3, "auxValue": -7}]},
        {"id": 65535, "code": "HK", "name": "", "header": [1, 4294967295], "symbols": []}],
      "groups": [{"id": 2, "extra": [7, 0], "subgroups": [
        {"code": "G\t1", "name": ")" + awkward.substr(0, 40) + R"(", "extra": [0, 9], "leaves": [
          {"code": "L1", "name": "叶", "symbols": ["600000.SH", "", "A\"B.SH"]}, {"code": "L2"}]}]}]})";
    for (const char* encoding : {"UTF-8", "GBK"}) {
        SCOPED_TRACE(encoding);
        std::string text = description;
        text.replace(text.find("ENCODING"), 8, encoding);
        ASSERT_EQ(MakeFrom(text).ExitCode, 0) << MakeFrom(text).Err;
        const CliResult dump = RunCli({"dump", target});
        ASSERT_EQ(dump.ExitCode, 0) << dump.Err;
        WriteFileBytes(temp / "dumped.json", dump.Out);
        const std::string again = temp / "again";
        ASSERT_EQ(RunCli({"make", again, "--from", temp / "dumped.json"}).ExitCode, 0);
        ASSERT_EQ(DataFiles(again), DataFiles(target));
        for (const std::string& file : DataFiles(target))
            EXPECT_EQ(ReadFileBytes(again + "/" + file), ReadFileBytes(target + "/" + file)) << file;
        fs::remove_all(again);
    }
}

// ---- sample ----

TEST(Sample, IsDeterministic) {
    const TempDir temp;
    const CliResult first = RunCli({"sample", temp / "a", "--symbols", "600", "--seed", "7"});
    ASSERT_EQ(first.ExitCode, 0) << first.Err;
    EXPECT_EQ(first.Err, "");  // no progress when the output is not a terminal
    ASSERT_EQ(RunCli({"sample", temp / "b", "--symbols", "600", "--seed", "7"}).ExitCode, 0);
    ASSERT_EQ(RunCli({"sample", temp / "c", "--symbols", "600", "--seed", "8"}).ExitCode, 0);
    for (const char* file : {"Directory.xml", "SymTbl/1_Light", "SymTbl/6_Light", "SymTbl/Group"})
        EXPECT_EQ(ReadFileBytes(temp / "a/" + file), ReadFileBytes(temp / "b/" + file)) << file;
    EXPECT_NE(ReadFileBytes(temp / "a/SymTbl/1_Light"), ReadFileBytes(temp / "c/SymTbl/1_Light"));
}

}  // namespace
}  // namespace tessary::testing
