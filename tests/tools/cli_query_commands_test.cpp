// The query subcommands of the tessary command: what they print for what the library answers,
// their exit codes, and their answers to wrong usage and unusable directories.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
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

// The command line `COMMAND DATA ARGS...` for the query {COMMAND, ARGS...}.
std::vector<std::string> On(const std::string& data, const std::vector<std::string>& query) {
    std::vector<std::string> args{query[0], data};
    args.insert(args.end(), query.begin() + 1, query.end());
    return args;
}

// The tables the query commands print for the small directory, byte for byte.
TEST_F(QueryCommands, TablesShowTheLibraryAnswers) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"exchanges"},
         "ID  Code  Name       Alert  Trade  Quote\n--  ----  ---------  -----  -----  -----\n"
         " 1  SH    Shanghai       1      1      1\n 2  SZ    Shenzhen       0      1      0\n"
         " 3  HK    Hong Kong      1      0      1\n"},
        {{"info", "600000.SH,NOPE.SH"},
         "Symbol     Name         Exchange  Type  Status\n---------  -----------  --------  ----  ---------\n"
         "600000.SH  Pudong Bank         1     1  found\nNOPE.SH                                 NOT FOUND\n"},
        {{"list", "1", "--type=9"},
         "Symbol  Name  Exchange  Type\n------  ----  --------  ----\n(no symbols of this type)\n"},
        // --limit keeps the first N of the library's order and says how many there were.
        {{"list", "1", "--limit=1"},
         "Symbol     Name      Exchange  Type\n---------  --------  --------  ----\n"
         "000060.SH  Index 60         1     2\n(1 of 3 symbols)\n"},
        {{"list", "1", "--limit", "3"},
         "Symbol     Name            Exchange  Type\n---------  --------------  --------  ----\n"
         "000060.SH  Index 60               1     2\n600000.SH  Pudong Bank            1     1\n"
         "600036.SH  Merchants Bank         1     1\n"},
        // 60 starts 600000 and stands at 4 in 000060, which the library therefore puts behind it.
        {{"search", "60"},
         "#  Symbol     Name            Exchange  Type\n-  ---------  --------------  --------  ----\n"
         "1  600000.SH  Pudong Bank            1     1\n2  600036.SH  Merchants Bank         1     1\n"
         "3  000060.SH  Index 60               1     2\n"},
        {{"search", "60", "--limit", "2"},
         "#  Symbol     Name            Exchange  Type\n-  ---------  --------------  --------  ----\n"
         "1  600000.SH  Pudong Bank            1     1\n2  600036.SH  Merchants Bank         1     1\n"
         "(2 of 3 symbols)\n"},
    };
    for (const auto& [query, table] : cases) {
        const CliResult r = RunCli(On(data, query));
        EXPECT_EQ(r.ExitCode, 0) << query[0];
        EXPECT_EQ(r.Out, table);
    }
}

// The same answers in JSON: flags as booleans, whether a text resolved, search positions (the
// command computes no rank of its own) and the total behind a limited search.
TEST_F(QueryCommands, JsonShowsTheLibraryAnswers) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"exchanges"}, R"([{"id":1,"code":"SH","name":"Shanghai","alert":true,"trade":true,"quote":true},
            {"id":2,"code":"SZ","name":"Shenzhen","alert":false,"trade":true,"quote":false},
            {"id":3,"code":"HK","name":"Hong Kong","alert":true,"trade":false,"quote":true}])"},
        {{"groups", "1"}, R"([{"groupId":1,"code":"G00010","name":"Mainland","isBranch":true,"leafGroups":2},
            {"groupId":1,"code":"G00020","name":"Hong Kong","isBranch":true,"leafGroups":1}])"},
        // Codes in any letter case, as the library takes them; NOPE.SZ is in no table.
        {{"groups", "1", "g00010"}, R"([{"groupId":1,"code":"G10010030","name":"Banks","isBranch":false,"symbols":3},
            {"groupId":1,"code":"G10010040","name":"Tech","isBranch":false,"symbols":1}])"},
        {{"groups", "1", "G00010", "g10010030"}, R"([{"exchangeId":1,"symbol":"600000.SH","name":"Pudong Bank","type":1},
            {"exchangeId":2,"symbol":"000001.SZ","name":"Ping An Bank","type":1},
            {"exchangeId":1,"symbol":"600036.SH","name":"Merchants Bank","type":1}])"},
        // A leaf group the group lacks is an empty answer, not a failure.
        {{"groups", "1", "G00010", "G77777777"}, "[]"},
        {{"info", "nope.sh,600000.sh,00700.HK"},
         R"([{"exchangeId":1,"symbol":"600000.SH","name":"Pudong Bank","type":1,"resolved":true},
            {"exchangeId":3,"symbol":"00700.HK","name":"Tencent","type":1,"resolved":true},
            {"exchangeId":0,"symbol":"NOPE.SH","name":"","type":0,"resolved":false}])"},
        {{"list", "1", "--type", "2"}, R"([{"exchangeId":1,"symbol":"000060.SH","name":"Index 60","type":2}])"},
        {{"list", "1", "--limit", "2"}, R"([{"exchangeId":1,"symbol":"000060.SH","name":"Index 60","type":2},
            {"exchangeId":1,"symbol":"600000.SH","name":"Pudong Bank","type":1}])"},
        {{"search", "60", "--limit", "2"}, R"({"total":3, "results":[
            {"exchangeId":1,"symbol":"600000.SH","name":"Pudong Bank","type":1,"position":1},
            {"exchangeId":1,"symbol":"600036.SH","name":"Merchants Bank","type":1,"position":2}]})"},
    };
    for (const auto& [query, expected] : cases) {
        std::vector<std::string> args = On(data, query);
        args.push_back("--json");
        EXPECT_EQ(RunJson(args), json::parse(expected)) << query[0];
    }
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

// What the library does not know, the command refuses with one line saying what.
TEST_F(QueryCommands, RefusesWhatTheLibraryDoesNotKnow) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"groups", "7"}, "no group 7"},
        {{"groups", "1", "G99999"}, "has no subgroup 'G99999'"},
        // A leaf group under a subgroup that does not exist is refused, though the library would
        // find the leaf group anywhere in the group.
        {{"groups", "1", "G99999", "G10010030"}, "with a subgroup 'G99999'"},
        {{"list", "9"}, "exchange 9 has no symbol table"},
        {{"search", "qq", "--exchange", "9"}, "'9'"},
    };
    for (const auto& [query, message] : cases) ExpectFailure(RunCli(On(data, query)), 1, message);
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
}

// The library cannot resolve a hit in an exchange whose Code has lower-case letters and
// answers 0; the command says so instead of printing an empty list.
TEST_F(QueryCommands, SearchFailsLoudlyWhenTheLibraryAnswersZero) {
    writer::DataDirectory d = SmallDirectory();
    d.Directory.Types[2] = writer::ExchangeType(3, "hk", "Hong Kong");
    Write(d);
    ExpectFailure(RunCli({"search", data, "TENCENT"}), 1, "lower-case");
}

// JSON is converted from the locale's character set, a byte that forms no character becoming
// the character of its value; tables pass the bytes through unchanged.
TEST_F(QueryCommands, JsonTextIsConvertedFromTheLocaleTablesKeepTheBytes) {
    ASSERT_FALSE(EnsureGbkLocale().empty()) << "no zh_CN.GBK locale";
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"C", "Caf\xE9 \xC3\xA9", "Caf\u00E9 \u00E9"},  // a stray byte, then a real "é"
        {kGbkLocale, "\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0", "\u6D66\u53D1\u94F6\u884C"},  // 浦发银行
    };
    for (const auto& [locale, name, utf8] : cases) {
        writer::DataDirectory d = SmallDirectory();
        d.LightTables["1"].Records[0].Name = name;
        Write(d);
        EXPECT_EQ(RunJson({"info", data, "600000.SH", "--json"}, locale)[0]["name"], utf8);
        EXPECT_NE(RunCli({"info", data, "600000.SH"}, locale).Out.find(name), std::string::npos) << locale;
    }
}

// ---- usage and unusable directories ----

// Every subcommand has help; the global options go before or after the command.
TEST(CommandLine, HelpAndVersion) {
    for (const char* name : {"exchanges", "groups", "info", "list", "search", "check", "make", "dump", "sample"}) {
        const CliResult r = RunCli({name, "--help"});
        EXPECT_EQ(r.ExitCode, 0) << name;
        EXPECT_EQ(r.Out.rfind(std::string("usage: tessary ") + name, 0), 0u) << r.Out;
    }
    const CliResult overview = RunCli({"--help"});
    EXPECT_EQ(overview.ExitCode, 0);
    EXPECT_NE(overview.Out.find("sample"), std::string::npos);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--json", "--version"}, {"list", "--version"}}) {
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
        {"groups", "dir", "one"},
        {"make", "dir"},
        {"sample", "dir", "--symbols", "0"},
        {"sample", "dir", "--seed", "-1"},
        {"list", "dir", "1", "--type", "1", "--type=2"},  // once silently the last one won
        {"list", "dir", "1", "--limit", "0"},
        {"search", "dir", "60", "--limit", "0"},
        {"list", "dir", "1", "--type"},
        {"list", "dir", "1", "--type", "x"},
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
