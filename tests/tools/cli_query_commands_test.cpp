// The query subcommands of the tessary command: what they print for what the library answers,
// their exit codes, and their answers to wrong usage and unusable directories.
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

#include "support/test_support.h"
#include "tools/cli_runner.h"

namespace tessary::testing {
namespace {

using nlohmann::json;

class QueryCommands : public ::testing::Test {
protected:
    void Write(const writer::DataDirectory& d) { writer::WriteDataDirectory(data, d); }
    void SetUp() override { Write(SmallDirectory()); }

    TempDir temp;
    const std::string data = temp / "data";
};

std::vector<std::string> Symbols(const json& records) {
    std::vector<std::string> out;
    for (const json& r : records) out.push_back(r.at("symbol").get<std::string>());
    return out;
}

TEST_F(QueryCommands, ExchangesInDirectoryOrderWithTheirFlags) {
    const json list = RunJson({"exchanges", data, "--json"});
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(
        list[0],
        json({{"id", 1}, {"code", "SH"}, {"name", "Shanghai"}, {"alert", true}, {"trade", true}, {"quote", true}}));
    EXPECT_EQ(list[1]["code"], "SZ");
    EXPECT_EQ(list[1]["alert"], false);
    EXPECT_EQ(list[1]["trade"], true);
    EXPECT_EQ(list[2]["name"], "Hong Kong");

    const CliResult table = RunCli({"exchanges", data});
    ASSERT_EQ(table.ExitCode, 0);
    EXPECT_NE(table.Out.find("ID  Code  Name       Alert  Trade  Quote\n"), std::string::npos) << table.Out;
    EXPECT_NE(table.Out.find(" 3  HK    Hong Kong      1      0      1\n"), std::string::npos) << table.Out;
}

TEST_F(QueryCommands, GroupNumbersAreFoundAtBothEndsOfTheRange) {
    writer::DataDirectory d = SmallDirectory();
    d.Groups.Groups.push_back({0, {0, 0}, {}, std::nullopt});
    d.Groups.Groups.push_back({65535, {0, 0}, {}, std::nullopt});
    Write(d);
    EXPECT_EQ(RunJson({"groups", data, "--json"}),
              json::parse(R"([{"group":0,"subgroups":0},{"group":1,"subgroups":2},
                                        {"group":65535,"subgroups":0}])"));
}

TEST_F(QueryCommands, GroupWalkGoesDownOneLevelAtATime) {
    const json s = RunJson({"groups", data, "1", "--json"});
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0]["code"], "G00010");
    EXPECT_EQ(s[0]["isBranch"], true);
    EXPECT_EQ(s[0]["leafGroups"], 2);
    EXPECT_EQ(s[1]["code"], "G00020");

    // Codes in any letter case, as the library takes them.
    const json l = RunJson({"groups", data, "1", "g00010", "--json"});
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0]["code"], "G10010030");
    EXPECT_EQ(l[0]["isBranch"], false);
    EXPECT_EQ(l[0]["symbols"], 3);
    EXPECT_EQ(l[1]["symbols"], 1);  // NOPE.SZ is in no table

    EXPECT_EQ(Symbols(RunJson({"groups", data, "1", "G00010", "g10010030", "--json"})),
              (std::vector<std::string>{"600000.SH", "000001.SZ", "600036.SH"}));
}

TEST_F(QueryCommands, GroupWalkRefusesWhatTheLibraryDoesNotKnow) {
    ExpectFailure(RunCli({"groups", data, "7"}), 1, "no group 7");
    EXPECT_EQ(RunCli({"groups", data, "1", "G99999"}).ExitCode, 1);
    // A leaf group under a subgroup that does not exist is refused, though the library would
    // find the leaf group anywhere in the group.
    EXPECT_EQ(RunCli({"groups", data, "1", "G99999", "G10010030"}).ExitCode, 1);
    // A leaf group the group lacks is an empty answer, not a failure.
    EXPECT_EQ(RunJson({"groups", data, "1", "G00010", "G77777777", "--json"}), json::array());
    EXPECT_EQ(RunCli({"groups", data, "one"}).ExitCode, 2);
}

TEST_F(QueryCommands, InfoMarksTheTextsItCannotResolve) {
    const json list = RunJson({"info", data, "nope.sh,600000.sh,00700.HK", "--json"});
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], json({{"exchangeId", 1},
                             {"symbol", "600000.SH"},
                             {"name", "Pudong Bank"},
                             {"type", 1},
                             {"resolved", true}}));
    EXPECT_EQ(list[1]["symbol"], "00700.HK");
    EXPECT_EQ(list[2]["symbol"], "NOPE.SH");
    EXPECT_EQ(list[2]["resolved"], false);

    const CliResult table = RunCli({"info", data, "600000.SH,NOPE.SH"});
    EXPECT_NE(table.Out.find("NOPE.SH"), std::string::npos);
    EXPECT_NE(table.Out.find("NOT FOUND"), std::string::npos);
}

// A symbol of exchange 0 with type 0 and no name looks exactly like the library's record for a
// text it could not resolve; it must still be reported as found.
TEST_F(QueryCommands, InfoTellsABlankLookingSymbolFromAMissingOne) {
    writer::DataDirectory d = SmallDirectory();
    d.Directory.Types.push_back(writer::ExchangeType(0, "ZZ", "Zero"));
    writer::LightRecord blank;
    blank.Code = "X";
    d.LightTables["0"].Records = {blank};
    Write(d);
    const json list = RunJson({"info", data, "X.ZZ,Y.ZZ", "--json"});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["symbol"], "X.ZZ");
    EXPECT_EQ(list[0]["resolved"], true);
    EXPECT_EQ(list[1]["resolved"], false);
}

TEST_F(QueryCommands, ListFiltersByTypeAndRefusesAnExchangeWithoutTable) {
    EXPECT_EQ(Symbols(RunJson({"list", data, "1", "--json"})),
              (std::vector<std::string>{"000060.SH", "600000.SH", "600036.SH"}));
    EXPECT_EQ(Symbols(RunJson({"list", data, "1", "--type", "2", "--json"})),
              (std::vector<std::string>{"000060.SH"}));
    const CliResult none = RunCli({"list", data, "1", "--type=9"});
    EXPECT_EQ(none.ExitCode, 0);
    EXPECT_NE(none.Out.find("(no symbols of this type)"), std::string::npos);
    ExpectFailure(RunCli({"list", data, "9"}), 1, "exchange 9 has no symbol table");
    EXPECT_EQ(RunCli({"list", data, "1", "--type"}).ExitCode, 2);
    EXPECT_EQ(RunCli({"list", data, "1", "--type", "x"}).ExitCode, 2);

    // --limit keeps the first N of the library's order and says how many there were.
    EXPECT_EQ(Symbols(RunJson({"list", data, "1", "--limit", "2", "--json"})),
              (std::vector<std::string>{"000060.SH", "600000.SH"}));
    const CliResult cut = RunCli({"list", data, "1", "--limit=1"});
    EXPECT_NE(cut.Out.find("(1 of 3 symbols)\n"), std::string::npos) << cut.Out;
    EXPECT_EQ(RunCli({"list", data, "1", "--limit", "3"}).Out.find(" of "), std::string::npos);
}

TEST_F(QueryCommands, SearchPrintsTheLibraryOrderAsItIs) {
    const json list = RunJson({"search", data, "60", "--json"});
    ASSERT_GE(list.size(), 3u);
    std::vector<std::string> symbols;
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i]["position"], i + 1);
        EXPECT_FALSE(list[i].contains("rank"));  // the command computes nothing of its own
        symbols.push_back(list[i]["symbol"].get<std::string>());
    }
    // 60 starts 600000 and stands at 4 in 000060, which the library therefore puts behind it.
    const auto at = [&](const char* s) { return std::find(symbols.begin(), symbols.end(), s) - symbols.begin(); };
    EXPECT_LT(at("600000.SH"), at("000060.SH"));
    EXPECT_LT(at("000060.SH"), static_cast<std::ptrdiff_t>(symbols.size()));
    const CliResult table = RunCli({"search", data, "60"});
    EXPECT_NE(table.Out.find("#  Symbol"), std::string::npos) << table.Out;

    // --limit: the first of the same order, and the total under the table or in the JSON.
    const json top = RunJson({"search", data, "60", "--limit", "2", "--json"});
    EXPECT_EQ(top["total"], list.size());
    ASSERT_EQ(top["results"].size(), 2u);
    EXPECT_EQ(top["results"][1], list[1]);
    const CliResult limited = RunCli({"search", data, "60", "--limit", "2"});
    EXPECT_NE(limited.Out.find("(2 of " + std::to_string(list.size()) + " symbols)\n"), std::string::npos) << limited.Out;
    EXPECT_EQ(RunCli({"search", data, "60", "--limit", "0"}).ExitCode, 2);
}

TEST_F(QueryCommands, SearchByKeyAndInOneExchange) {
    writer::DataDirectory d = SmallDirectory();
    writer::LightRecord keyed;
    keyed.Code = "00388";
    keyed.Name = "Exchanges Holdings";
    keyed.SearchKey2 = "QQ";  // in no text of the symbol
    d.LightTables["3"].Records.push_back(keyed);
    Write(d);
    EXPECT_EQ(RunJson({"search", data, "qq", "--json"}), json::array());
    EXPECT_EQ(Symbols(RunJson({"search", data, "qq", "--keys", "--json"})),
              std::vector<std::string>{"00388.HK"});
    EXPECT_EQ(Symbols(RunJson({"search", data, "qq", "--keys", "--exchange", "3", "--json"})),
              std::vector<std::string>{"00388.HK"});
    EXPECT_EQ(RunJson({"search", data, "qq", "--keys", "--exchange", "1", "--json"}), json::array());
    ExpectFailure(RunCli({"search", data, "qq", "--exchange", "9"}), 1, "'9'");
}

// The library cannot resolve a hit in an exchange whose Code has lower-case letters and
// answers 0; the command says so instead of printing an empty list.
TEST_F(QueryCommands, SearchFailsLoudlyWhenTheLibraryAnswersZero) {
    writer::DataDirectory d = SmallDirectory();
    d.Directory.Types[2] = writer::ExchangeType(3, "hk", "Hong Kong");
    Write(d);
    ExpectFailure(RunCli({"search", data, "TENCENT"}), 1, "lower-case");
}

TEST_F(QueryCommands, NonUtf8TextBecomesOneCharacterPerByteInJson) {
    writer::DataDirectory d = SmallDirectory();
    d.LightTables["1"].Records[0].Name = "Caf\xE9 \xC3\xA9";  // a stray byte, then a real "é"
    Write(d);
    EXPECT_EQ(RunJson({"info", data, "600000.SH", "--json"})[0]["name"], "Caf\u00E9 \u00E9");
    // Tables pass the bytes through unchanged.
    EXPECT_NE(RunCli({"info", data, "600000.SH"}).Out.find("Caf\xE9 \xC3\xA9"), std::string::npos);
}

TEST_F(QueryCommands, JsonIsConvertedFromADoubleByteLocale) {
    if (EnsureGbkLocale().empty()) GTEST_SKIP() << "no zh_CN.GBK locale";
    writer::DataDirectory d = SmallDirectory();
    d.LightTables["1"].Records[0].Name = "\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0";  // 浦发银行 in GBK
    Write(d);
    EXPECT_EQ(RunJson({"info", data, "600000.SH", "--json"}, kGbkLocale)[0]["name"],
              "\u6D66\u53D1\u94F6\u884C");
}

// ---- usage and unusable directories ----

TEST(CommandLine, EverySubcommandHasHelp) {
    for (const char* name : {"exchanges", "groups", "info", "list", "search", "check", "make", "dump", "sample"}) {
        const CliResult r = RunCli({name, "--help"});
        EXPECT_EQ(r.ExitCode, 0) << name;
        EXPECT_EQ(r.Out.rfind(std::string("usage: tessary ") + name, 0), 0u) << r.Out;
    }
    const CliResult overview = RunCli({"--help"});
    EXPECT_EQ(overview.ExitCode, 0);
    EXPECT_NE(overview.Out.find("sample"), std::string::npos);
}

TEST_F(QueryCommands, GlobalOptionsGoBeforeOrAfterTheCommand) {
    EXPECT_EQ(RunJson({"--json", "exchanges", data}), RunJson({"exchanges", data, "--json"}));
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--version"}, {"--json", "--version"},
                                                 {"list", "--version"}}) {
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.ExitCode, 0);
        EXPECT_EQ(r.Out, "tessary " TESSARY_VERSION "\n");
    }
    EXPECT_EQ(RunCli({"--help", "list"}).Out.rfind("usage: tessary list", 0), 0u);
}

TEST(CommandLine, WrongUsageExitsWithTwoAndOneLine) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"exchanges"},
        {"exchanges", "a", "b"},
        {"info", "dir"},
        {"search", "dir", "x", "--exchange"},
        {"list", "dir", "1", "--colour"},
        {"groups", "dir", "1", "A", "B", "C"},
        {"groups", "dir", "99999999999"},
        {"make", "dir"},
        {"sample", "dir", "--symbols", "0"},
        {"sample", "dir", "--seed", "-1"},
        {"list", "dir", "1", "--type", "1", "--type=2"},  // once silently the last one won
        {"list", "dir", "1", "--limit", "0"},
        {"--limit", "3", "list", "dir", "1"},  // only the global options go first
    };
    for (const auto& args : cases) {
        const CliResult r = RunCli(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(r.ExitCode, 2) << joined;
        EXPECT_TRUE(r.Out.empty()) << joined;
        if (!args.empty()) {
            EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << joined << r.Err;
        }
    }
}

TEST(CommandLine, UnusableDirectoriesGiveOneLineAndExitOne) {
    const TempDir temp;
    WriteFileBytes(temp / "file", "not a directory");
    ::mkdir((temp / "empty").c_str(), 0755);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {temp / "missing", "does not exist"},
        {temp / "file", "is a file"},
        {temp / "empty", "does not load: Directory.xml: the file cannot be opened: it does not exist"},
    };
    for (const auto& [dir, message] : cases) {
        for (const std::string command : {"exchanges", "groups", "check"}) {
            SCOPED_TRACE(command + " " + dir);
            const CliResult r = RunCli({command, dir});
            if (command == "check" && message.starts_with("does not load")) {
                EXPECT_EQ(r.ExitCode, 1);  // check explains at length
            } else {
                ExpectFailure(r, 1, message);
            }
        }
    }
}

}  // namespace
}  // namespace tessary::testing
