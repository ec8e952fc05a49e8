// LoadDirectory: Directory.xml into the exchange map, through a database made per test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "frame/symbol_database.h"
#include "support/test_support.h"
#include "writer/data_writer.h"

namespace tessary {
namespace {

using testing::kGbkLocale;
using testing::ScopedLocale;
using testing::TempDir;
using testing::WriteFileBytes;
using writer::ExchangeType;
using writer::XmlAttribute;

class DirectoryReader : public ::testing::Test {
protected:
    DirectoryReader() { db.BasePath = dir.path(); }

    int Load(const writer::DirectoryDescription& directory) {
        WriteFileBytes(dir / "Directory.xml", writer::RenderDirectoryXml(directory));
        return db.LoadDirectory();
    }
    int LoadTypes(std::vector<std::vector<XmlAttribute>> types) {
        writer::DirectoryDescription d;
        d.Types = std::move(types);
        return Load(d);
    }
    int LoadExpires(std::optional<std::string> expires) {
        writer::DirectoryDescription d;
        d.Expires = std::move(expires);
        d.Types = {ExchangeType(1, "SH", "Shanghai")};
        return Load(d);
    }
    int LoadXml(const std::string& xml) {
        WriteFileBytes(dir / "Directory.xml", xml);
        return db.LoadDirectory();
    }
    const ExchangeEntry* Entry(const char* key) const { return FindRecord(db.Exchanges, key); }

    TempDir dir;
    SymbolDatabase db;
};

// Local calendar time, as the reader must compute it.
std::int64_t Local(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

// Sets the time zone for the object's lifetime.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        else hadNone_ = true;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (hadNone_) ::unsetenv("TZ");
        else ::setenv("TZ", previous_.c_str(), 1);
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::string previous_;
    bool hadNone_ = false;
};

// ---- Files that do not load ----

TEST_F(DirectoryReader, MissingFileFails) { EXPECT_EQ(db.LoadDirectory(), 0); }

TEST_F(DirectoryReader, FileThatIsNotXmlFails) {
    EXPECT_EQ(LoadXml(""), 0);
    EXPECT_EQ(LoadXml("Result Expires=20991231"), 0);
    EXPECT_EQ(LoadXml("<Result Expires=\"20991231 235959\"><Exchange>"), 0);
    EXPECT_EQ(LoadXml(std::string("\0\0\0\0", 4)), 0);
    EXPECT_TRUE(db.Exchanges.empty());
}

TEST_F(DirectoryReader, DoctypeIsRefusedWithOrWithoutInternalSubset) {
    const std::string body =
        "<Result Expires=\"20991231 235959\"><Exchange>"
        "<Type ID=\"1\" Code=\"SH\" Name=\"Shanghai\" Alert=\"1\" Trade=\"1\" Quote=\"1\"/>"
        "</Exchange></Result>";
    DiagnosticSink sink;
    db.Diagnostics = &sink;
    EXPECT_EQ(LoadXml("<?xml version=\"1.0\"?><!DOCTYPE Result>" + body), 0);
    EXPECT_EQ(LoadXml("<?xml version=\"1.0\"?><!DOCTYPE Result SYSTEM \"Result.dtd\">" + body), 0);
    EXPECT_EQ(LoadXml("<?xml version=\"1.0\"?><!DOCTYPE Result [<!ELEMENT Result ANY>]>" + body), 0);
    EXPECT_TRUE(db.Exchanges.empty());
    ASSERT_EQ(sink.Items.size(), 3u);
    for (const Diagnostic& d : sink.Items) EXPECT_NE(d.Message.find("DOCTYPE"), std::string::npos) << d.Message;
    // The same document without its DOCTYPE loads.
    EXPECT_EQ(LoadXml("<?xml version=\"1.0\"?>" + body), 1);
}

TEST_F(DirectoryReader, ExternalEntityIsNeverRead) {
    WriteFileBytes(dir / "secret.txt", "TOPSECRET");
    const std::string xml =
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE Result [\n"
        "  <!ENTITY secret SYSTEM \"" + dir.path() + "/secret.txt\">\n"
        "  <!ENTITY name \"Named\">\n"
        "]>\n"
        "<Result Expires=\"20991231 235959\"><Exchange>"
        "<Type ID=\"1\" Code=\"SH\" Name=\"&name;\" Alert=\"1\" Trade=\"1\" Quote=\"1\"/>"
        "<Note>&secret;</Note></Exchange></Result>";
    DiagnosticSink sink;
    db.Diagnostics = &sink;
    EXPECT_EQ(LoadXml(xml), 0);
    EXPECT_TRUE(db.Exchanges.empty());
    for (const Diagnostic& d : sink.Items) EXPECT_EQ(d.Message.find("TOPSECRET"), std::string::npos);
}

TEST_F(DirectoryReader, DeeplyNestedFileFailsWithoutCrashing) {
    // About 50 MB of nested elements: the parser must give up on the depth, not exhaust the
    // stack or the memory.
    constexpr std::size_t kBytes = 50u << 20;
    {
        std::ofstream out(dir / "Directory.xml", std::ios::binary);
        out << "<Result Expires=\"20991231 235959\">";
        std::string open;
        for (int i = 0; i < (1 << 20) / 3; ++i) open += "<a>";
        for (std::size_t written = 0; written < kBytes; written += open.size()) out << open;
    }
    ASSERT_GE(std::filesystem::file_size(dir / "Directory.xml"), kBytes);
    DiagnosticSink sink;
    db.Diagnostics = &sink;
    EXPECT_EQ(db.LoadDirectory(), 0);
    ASSERT_EQ(sink.Items.size(), 1u);
    EXPECT_NE(sink.Items[0].Message.find("not well-formed"), std::string::npos) << sink.Items[0].Message;
}

TEST_F(DirectoryReader, MissingResultFails) {
    EXPECT_EQ(LoadXml("<Directory Expires=\"20991231 235959\"><Exchange>"
                      "<Type ID=\"1\" Code=\"SH\" Name=\"S\" Alert=\"1\" Trade=\"1\" Quote=\"1\"/>"
                      "</Exchange></Directory>"),
              0);
    EXPECT_EQ(LoadXml("<result Expires=\"20991231 235959\"/>"), 0);
}

// ---- Expires ----

TEST_F(DirectoryReader, MissingOrEmptyExpiresFails) {
    EXPECT_EQ(LoadExpires(std::nullopt), 0);
    EXPECT_EQ(LoadExpires(""), 0);
    EXPECT_EQ(LoadXml("<Result expires=\"20991231 235959\"/>"), 0);
}

TEST_F(DirectoryReader, ExpiresIsReadByFixedPositions) {
    ASSERT_EQ(LoadExpires("20240418 153000"), 1);
    EXPECT_EQ(db.ExpiryTime, Local(2024, 4, 18, 15, 30, 0));
    // Position 9 may hold anything.
    db.ExpiryTime = 0;
    ASSERT_EQ(LoadExpires("20240418T153000"), 1);
    EXPECT_EQ(db.ExpiryTime, Local(2024, 4, 18, 15, 30, 0));
    // Pieces beyond the end of the text read as 0.
    ASSERT_EQ(LoadExpires("20240418"), 1);
    EXPECT_EQ(db.ExpiryTime, Local(2024, 4, 18, 0, 0, 0));
    ASSERT_EQ(LoadExpires("20240418 15"), 1);
    EXPECT_EQ(db.ExpiryTime, Local(2024, 4, 18, 15, 0, 0));
    // Colons shift the pieces: the minute reads ":3" and the second "0:", both 0.
    ASSERT_EQ(LoadExpires("20240418 15:30:00"), 1);
    EXPECT_EQ(db.ExpiryTime, Local(2024, 4, 18, 15, 0, 0));
}

TEST_F(DirectoryReader, DayBeyondTheMonthRollsOver) {
    ASSERT_EQ(LoadExpires("20240431 120000"), 1);
    EXPECT_EQ(db.ExpiryTime, Local(2024, 5, 1, 12, 0, 0));
}

TEST_F(DirectoryReader, InvalidExpiresFails) {
    for (const char* text : {"2024-04-18 15:30:00",  // the month reads as "-0"
                             "2024", "20241318 153000", "20240018 153000", "20240400 153000",
                             "20240432 153000", "20240418 240000", "20240418 236000",
                             "20240418 235960", "18991231 120000", "YYYYMMDD hh:mm:ss",
                             "19690101 120000", "30010101 120000", "99991231 235959"}) {
        EXPECT_EQ(LoadExpires(text), 0) << text;
    }
}

TEST_F(DirectoryReader, ExpiresLimitsAreTheStartOf1970AndTheEndOf3000InUtc) {
    {
        const ScopedTimeZone utc("UTC0");
        ASSERT_EQ(LoadExpires("19700101 000000"), 1);
        EXPECT_EQ(db.ExpiryTime, 0);
        ASSERT_EQ(LoadExpires("30001231 235959"), 1);
        EXPECT_EQ(db.ExpiryTime, INT64_C(32535215999));
        EXPECT_EQ(LoadExpires("19691231 235959"), 0);
        EXPECT_EQ(LoadExpires("30010101 000000"), 0);
    }
    {
        // Eight hours east of UTC: local midnight of 1 January 1970 is still 1969 in UTC.
        const ScopedTimeZone east("XST-8");
        EXPECT_EQ(LoadExpires("19700101 000000"), 0);
        ASSERT_EQ(LoadExpires("19700101 080000"), 1);
        EXPECT_EQ(db.ExpiryTime, 0);
    }
}

// ---- Which Type elements are read ----

TEST_F(DirectoryReader, ResultWithoutTypesGivesAnEmptyMap) {
    EXPECT_EQ(LoadTypes({}), 1);
    EXPECT_TRUE(db.Exchanges.empty());
    EXPECT_EQ(LoadXml("<Result Expires=\"20991231 235959\"/>"), 1);
    EXPECT_TRUE(db.Exchanges.empty());
}

TEST_F(DirectoryReader, OnlyTypesBelowAnExchangeBelowAResultAreRead) {
    const std::string type = " Code=\"C\" Name=\"N\" Alert=\"1\" Trade=\"1\" Quote=\"1\"/>";
    ASSERT_EQ(LoadXml("<Root><Type ID=\"1\"" + type +
                      "<Result Expires=\"20991231 235959\">"
                      "<Type ID=\"2\"" + type +                           // directly under Result
                      "<Exchange><Group><Type ID=\"3\"" + type +          // deeper is fine
                      "</Group><Exchange><Type ID=\"4\"" + type +         // nested Exchange: once
                      "</Exchange></Exchange></Result>"
                      "<Exchange><Type ID=\"5\"" + type + "</Exchange>"   // no Result above
                      "</Root>"),
              1);
    ASSERT_EQ(db.Exchanges.size(), 2u);
    ASSERT_NE(Entry("3"), nullptr);
    ASSERT_NE(Entry("4"), nullptr);
    EXPECT_EQ(Entry("3")->Serial, 1);
    EXPECT_EQ(Entry("4")->Serial, 2);
}

TEST_F(DirectoryReader, TheFirstResultInDocumentOrderGivesExpires) {
    ASSERT_EQ(LoadXml("<Root><Result Expires=\"20240418 153000\"/>"
                      "<Result Expires=\"bad\"><Exchange>"
                      "<Type ID=\"1\" Code=\"C\" Name=\"N\" Alert=\"1\" Trade=\"1\" Quote=\"1\"/>"
                      "</Exchange></Result></Root>"),
              1);
    EXPECT_EQ(db.ExpiryTime, Local(2024, 4, 18, 15, 30, 0));
    EXPECT_NE(Entry("1"), nullptr);
}

// ---- Entries ----

TEST_F(DirectoryReader, FieldsOfAnEntry) {
    ASSERT_EQ(LoadTypes({ExchangeType(3, "HK", "Hong Kong", 1, 0, 1)}), 1);
    const ExchangeEntry* e = Entry("3");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Id, 3);
    EXPECT_STREQ(e->Code, "HK");
    EXPECT_STREQ(e->Name, "Hong Kong");
    EXPECT_EQ(e->Alert, 1);
    EXPECT_EQ(e->Trade, 0);
    EXPECT_EQ(e->Quote, 1);
    EXPECT_EQ(e->Serial, 1);
}

TEST_F(DirectoryReader, RepeatedIdKeepsOneEntryWithTheLaterValues) {
    ASSERT_EQ(LoadTypes({ExchangeType(3, "AA", "First", 1, 1, 1), ExchangeType(3, "BB", "Second", 0, 0, 0),
                         ExchangeType(4, "CC", "Third")}),
              1);
    ASSERT_EQ(db.Exchanges.size(), 2u);
    EXPECT_STREQ(Entry("3")->Code, "BB");
    EXPECT_STREQ(Entry("3")->Name, "Second");
    EXPECT_EQ(Entry("3")->Alert, 0);
    EXPECT_EQ(Entry("3")->Serial, 2);
    EXPECT_EQ(Entry("4")->Serial, 3);
}

TEST_F(DirectoryReader, ShorterLaterTextsLeaveNothingOfTheEarlierOnes) {
    ASSERT_EQ(LoadTypes({ExchangeType(3, "AB", "A long first name"), ExchangeType(3, "C", "Short")}), 1);
    const ExchangeEntry* e = Entry("3");
    EXPECT_EQ(std::string(e->Code, sizeof e->Code), std::string("C\0\0", 3));
    EXPECT_EQ(std::string(e->Name, sizeof e->Name), "Short" + std::string(46, '\0'));
}

struct FlagCase {
    const char* Text;
    std::int32_t Flag;
};
class DirectoryFlags : public DirectoryReader, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(DirectoryFlags, FlagIsSetOnlyForTheNumberOne) {
    const std::string text = GetParam().Text;
    ASSERT_EQ(LoadTypes({{{"ID", "1"}, {"Code", "A"}, {"Name", "N"}, {"Alert", text}, {"Trade", "0"}, {"Quote", "0"}},
                         {{"ID", "2"}, {"Code", "B"}, {"Name", "N"}, {"Alert", "0"}, {"Trade", text}, {"Quote", "0"}},
                         {{"ID", "3"}, {"Code", "C"}, {"Name", "N"}, {"Alert", "0"}, {"Trade", "0"}, {"Quote", text}}}),
              1);
    EXPECT_EQ(Entry("1")->Alert, GetParam().Flag);
    EXPECT_EQ(Entry("2")->Trade, GetParam().Flag);
    EXPECT_EQ(Entry("3")->Quote, GetParam().Flag);
    EXPECT_EQ(Entry("1")->Trade + Entry("1")->Quote + Entry("2")->Alert + Entry("3")->Alert, 0);
}

INSTANTIATE_TEST_SUITE_P(Values, DirectoryFlags,
                         ::testing::Values(FlagCase{"1", 1}, FlagCase{" 1", 1}, FlagCase{"01", 1},
                                           FlagCase{"+1", 1}, FlagCase{"1x", 1}, FlagCase{"2", 0},
                                           FlagCase{"0", 0}, FlagCase{"yes", 0}, FlagCase{"-1", 0},
                                           FlagCase{"4294967297", 0}, FlagCase{"", 0}));

TEST_F(DirectoryReader, KeyIsTheNumberInDecimalAndIdItsLow16Bits) {
    ASSERT_EQ(LoadTypes({ExchangeType(0, "A", "N"), {{"ID", "007"}, {"Code", "B"}, {"Name", "N"}, {"Alert", "1"}, {"Trade", "1"}, {"Quote", "1"}},
                         ExchangeType(70000, "C", "N"), ExchangeType(-1, "D", "N"),
                         {{"ID", " +12abc"}, {"Code", "E"}, {"Name", "N"}, {"Alert", "1"}, {"Trade", "1"}, {"Quote", "1"}}}),
              1);
    EXPECT_EQ(db.Exchanges.size(), 5u);
    ASSERT_NE(Entry("0"), nullptr);
    ASSERT_NE(Entry("7"), nullptr);
    EXPECT_EQ(Entry("007"), nullptr);
    EXPECT_EQ(Entry("7")->Id, 7);
    ASSERT_NE(Entry("70000"), nullptr);
    EXPECT_EQ(Entry("70000")->Id, 4464);
    ASSERT_NE(Entry("-1"), nullptr);
    EXPECT_EQ(Entry("-1")->Id, 65535);
    ASSERT_NE(Entry("12"), nullptr);
    EXPECT_STREQ(Entry("12")->Code, "E");
}

// A Type element without an ID (or with an empty one) has no key: it is skipped and takes no
// place in the order; missing texts give empty fields and missing numbers 0, whatever the
// element before it held.
TEST_F(DirectoryReader, MissingAttributes) {
    ASSERT_EQ(LoadTypes({ExchangeType(1, "AA", "Full", 1, 1, 1),
                         {{"Code", "NO"}, {"Name", "No ID"}, {"Alert", "1"}, {"Trade", "1"}, {"Quote", "1"}},
                         {{"ID", ""}, {"Code", "EM"}, {"Name", "Empty ID"}, {"Alert", "1"}, {"Trade", "1"}, {"Quote", "1"}},
                         {{"ID", "2"}},
                         {{"ID", "3"}, {"Code", ""}, {"Name", ""}, {"Alert", ""}, {"Trade", ""}, {"Quote", ""}}}),
              1);
    ASSERT_EQ(db.Exchanges.size(), 3u);
    const ExchangeEntry* bare = Entry("2");
    EXPECT_EQ(std::string(bare->Code, sizeof bare->Code), std::string(3, '\0'));
    EXPECT_EQ(std::string(bare->Name, sizeof bare->Name), std::string(51, '\0'));
    EXPECT_EQ(bare->Alert + bare->Trade + bare->Quote, 0);
    EXPECT_EQ(bare->Serial, 2);
    EXPECT_STREQ(Entry("3")->Code, "");
    EXPECT_STREQ(Entry("3")->Name, "");
    EXPECT_EQ(Entry("3")->Alert + Entry("3")->Trade + Entry("3")->Quote, 0);
    EXPECT_EQ(Entry("3")->Serial, 3);
}

TEST_F(DirectoryReader, OverlongTextsAreCutToTheirFields) {
    const std::string longName(60, 'N');
    const std::string hugeName(10000, 'H');
    ASSERT_EQ(LoadTypes({ExchangeType(1, "ABCD", longName), ExchangeType(2, "XY", hugeName)}), 1);
    EXPECT_EQ(std::string(Entry("1")->Code, 3), std::string("AB\0", 3));
    EXPECT_EQ(std::string(Entry("1")->Name, 51), std::string(50, 'N') + '\0');
    EXPECT_EQ(std::string(Entry("2")->Name, 51), std::string(50, 'H') + '\0');
    // The fields behind Name were not overrun.
    EXPECT_EQ(Entry("2")->Alert, 1);
    EXPECT_EQ(Entry("2")->Serial, 2);
}

// ---- Character sets ----

// U+4E2D U+6587 in UTF-8 and in GBK.
const std::string kZhongWenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kZhongWenGbk = "\xD6\xD0\xCE\xC4";

TEST_F(DirectoryReader, GbkCutNeverSplitsACharacter) {
    const ScopedLocale gbk(kGbkLocale);
    ASSERT_TRUE(gbk.ok());
    // 49 ASCII bytes and one double-byte character: 51 bytes, cut to 49, not 50.
    ASSERT_EQ(LoadTypes({ExchangeType(1, "A" + kZhongWenUtf8, std::string(49, 'n') + kZhongWenUtf8)}), 1);
    EXPECT_EQ(std::string(Entry("1")->Code, 3), std::string("A\0\0", 3));
    EXPECT_EQ(std::string(Entry("1")->Name, 51), std::string(49, 'n') + std::string(2, '\0'));
}

TEST_F(DirectoryReader, GbkFileReadInTheGbkLocaleGivesGbkBytes) {
    writer::DirectoryDescription d;
    d.Encoding = "GBK";
    d.Types = {ExchangeType(1, "SH", kZhongWenUtf8)};
    {
        const ScopedLocale gbk(kGbkLocale);
        ASSERT_TRUE(gbk.ok());
        ASSERT_EQ(Load(d), 1);
        EXPECT_EQ(std::string(Entry("1")->Name), kZhongWenGbk);
    }
    {
        const ScopedLocale c("C");
        ASSERT_EQ(Load(d), 1);
        EXPECT_EQ(std::string(Entry("1")->Name), "??");
    }
    {
        const ScopedLocale utf8("C.UTF-8");
        ASSERT_TRUE(utf8.ok());
        ASSERT_EQ(Load(d), 1);
        EXPECT_EQ(std::string(Entry("1")->Name), kZhongWenUtf8);
    }
}

TEST_F(DirectoryReader, Utf8FileReadInTheCLocaleKeepsAscii) {
    const ScopedLocale c("C");
    ASSERT_EQ(LoadTypes({ExchangeType(1, "SH", "A" + kZhongWenUtf8 + "B\xC3\xA9")}), 1);
    EXPECT_EQ(std::string(Entry("1")->Name), "A??B?");
}

TEST_F(DirectoryReader, EscapedAttributeValuesAreUnescaped) {
    ASSERT_EQ(LoadTypes({ExchangeType(1, "S&", "<Bonds & \"Notes\">")}), 1);
    EXPECT_STREQ(Entry("1")->Code, "S&");
    EXPECT_STREQ(Entry("1")->Name, "<Bonds & \"Notes\">");
}

}  // namespace
}  // namespace tessary
