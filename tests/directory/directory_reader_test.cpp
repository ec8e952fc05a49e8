// LoadDirectory: Directory.xml into the exchange map and the expiry date.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libxml/xmlerror.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "directory/directory_reader.h"
#include "support/test_support.h"
#include "writer/data_writer.h"

namespace tessary {
namespace {

using testing::Bytes;
using testing::kGbkLocale;
using testing::Nul;
using testing::ReadFileBytes;
using testing::ScopedLocale;
using testing::TempDir;
using testing::WriteFileBytes;
using writer::ExchangeType;
using writer::XmlAttribute;

class DirectoryReader : public ::testing::Test {
protected:
    // Reads the directory's Directory.xml afresh.
    int Reload() {
        out = ExchangeDirectory{};
        return LoadDirectory(dir.path(), diagnostics, out) ? 1 : 0;
    }
    int Load(const writer::DirectoryDescription& directory) {
        WriteFileBytes(dir / "Directory.xml", writer::RenderDirectoryXml(directory));
        return Reload();
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
        return Reload();
    }
    const ExchangeEntry* Entry(const char* key) const { return FindRecord(out.Exchanges, key); }
    // A Type element with the given ID and then Code, Name, Alert, Trade, Quote as far as given.
    static std::vector<XmlAttribute> Type(const char* id, std::vector<std::string> values) {
        std::vector<XmlAttribute> type = ExchangeType(0, "", "");
        type[0].Value = id;
        for (std::size_t i = 0; i < values.size(); ++i) type[i + 1].Value = values[i];
        return type;
    }

    TempDir dir;
    DiagnosticSink* diagnostics = nullptr;
    ExchangeDirectory out;
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
        Set(zone);
    }
    ~ScopedTimeZone() { Set(previous_ ? previous_->c_str() : nullptr); }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    static void Set(const char* zone) {
        if (zone != nullptr) ::setenv("TZ", zone, 1);
        else ::unsetenv("TZ");
        ::tzset();
    }
    std::optional<std::string> previous_;
};

// ---- Files that do not load ----

// No file, files that are not XML or hold no Result element: nothing loads. A Result without
// Type elements loads an empty map.
TEST_F(DirectoryReader, FilesWithoutAResultFailAndAResultWithoutTypesIsEmpty) {
    EXPECT_EQ(Reload(), 0);
    const std::pair<std::string, int> cases[] = {
        {"", 0}, {"Result Expires=20991231", 0}, {std::string("\0\0\0\0", 4), 0},
        {"<Result Expires=\"20991231 235959\"><Exchange>", 0},
        {"<Directory Expires=\"20991231 235959\"><Exchange>"
         "<Type ID=\"1\" Code=\"SH\" Name=\"S\" Alert=\"1\" Trade=\"1\" Quote=\"1\"/></Exchange></Directory>", 0},
        {"<result Expires=\"20991231 235959\"/>", 0},
        {"<Result expires=\"20991231 235959\"/>", 0},
        {"<Result Expires=\"20991231 235959\"/>", 1},
    };
    for (const auto& [xml, loads] : cases) {
        EXPECT_EQ(LoadXml(xml), loads) << xml;
        EXPECT_TRUE(out.Exchanges.empty()) << xml;
    }
    EXPECT_EQ(LoadTypes({}), 1);
    EXPECT_TRUE(out.Exchanges.empty());
}


// Any DOCTYPE is refused, so no entity, and no external file behind one, is ever read.
TEST_F(DirectoryReader, DoctypeIsRefusedAndNoEntityIsRead) {
    WriteFileBytes(dir / "secret.txt", "TOPSECRET");
    const std::string body =
        "<Result Expires=\"20991231 235959\"><Exchange>"
        "<Type ID=\"1\" Code=\"SH\" Name=\"Shanghai\" Alert=\"1\" Trade=\"1\" Quote=\"1\"/>"
        "</Exchange></Result>";
    DiagnosticSink sink;
    diagnostics = &sink;
    for (const std::string doctype :
         {"<!DOCTYPE Result>", "<!DOCTYPE Result SYSTEM \"Result.dtd\">",
          "<!DOCTYPE Result [<!ELEMENT Result ANY>]>"}) {
        EXPECT_EQ(LoadXml("<?xml version=\"1.0\"?>" + doctype + body), 0) << doctype;
        EXPECT_TRUE(out.Exchanges.empty());
    }
    EXPECT_EQ(LoadXml("<?xml version=\"1.0\"?>\n<!DOCTYPE Result [\n  <!ENTITY secret SYSTEM \"" + dir.path() +
                      "/secret.txt\">\n  <!ENTITY name \"Named\">\n]>\n<Result Expires=\"20991231 235959\"><Exchange>"
                      "<Type ID=\"1\" Code=\"SH\" Name=\"&name;\" Alert=\"1\" Trade=\"1\" Quote=\"1\"/>"
                      "<Note>&secret;</Note></Exchange></Result>"),
              0);
    ASSERT_EQ(sink.Items.size(), 4u);
    for (const Diagnostic& d : sink.Items) {
        EXPECT_NE(d.Message.find("DOCTYPE"), std::string::npos) << d.Message;
        EXPECT_EQ(d.Message.find("TOPSECRET"), std::string::npos);
    }
    // The same document without its DOCTYPE loads.
    EXPECT_EQ(LoadXml("<?xml version=\"1.0\"?>" + body), 1);
}

// ---- Expires ----

// Read in the local time zone; the limits are the start of 1970 and the end of 3000 in UTC.
TEST_F(DirectoryReader, ExpiresIsReadByFixedPositionsWithinLimits) {
    constexpr std::int64_t kFails = -1;
    const char* const kLocal = nullptr;
    const std::tuple<const char*, const char*, std::int64_t> cases[] = {
        {kLocal, "20240418 153000", Local(2024, 4, 18, 15, 30, 0)},
        {kLocal, "20240418T153000", Local(2024, 4, 18, 15, 30, 0)},  // position 9 may hold anything
        {kLocal, "20240418", Local(2024, 4, 18, 0, 0, 0)},           // pieces beyond the end read as 0
        {kLocal, "20240418 15", Local(2024, 4, 18, 15, 0, 0)},
        // Colons shift the pieces: the minute reads ":3" and the second "0:", both 0.
        {kLocal, "20240418 15:30:00", Local(2024, 4, 18, 15, 0, 0)},
        {kLocal, "20240431 120000", Local(2024, 5, 1, 12, 0, 0)},  // a day beyond the month rolls over
        {kLocal, "", kFails}, {kLocal, "2024-04-18 15:30:00", kFails},  // the month reads as "-0"
        {kLocal, "2024", kFails}, {kLocal, "20241318 153000", kFails}, {kLocal, "20240018 153000", kFails},
        {kLocal, "20240400 153000", kFails}, {kLocal, "20240432 153000", kFails},
        {kLocal, "20240418 240000", kFails}, {kLocal, "20240418 236000", kFails},
        {kLocal, "20240418 235960", kFails}, {kLocal, "18991231 120000", kFails},
        {kLocal, "YYYYMMDD hh:mm:ss", kFails}, {kLocal, "19690101 120000", kFails},
        {kLocal, "30010101 120000", kFails}, {kLocal, "99991231 235959", kFails},
        {"UTC0", "19700101 000000", 0}, {"UTC0", "30001231 235959", INT64_C(32535215999)},
        {"UTC0", "19691231 235959", kFails}, {"UTC0", "30010101 000000", kFails},
        // Eight hours east of UTC: local midnight of 1 January 1970 is still 1969 in UTC.
        {"XST-8", "19700101 000000", kFails}, {"XST-8", "19700101 080000", 0},
    };
    for (const auto& [zone, text, time] : cases) {
        SCOPED_TRACE(std::string(zone ? zone : "local") + " " + text);
        std::optional<ScopedTimeZone> scoped;
        if (zone != kLocal) scoped.emplace(zone);
        out.ExpiryTime = 0;
        ASSERT_EQ(LoadExpires(text), time == kFails ? 0 : 1);
        if (time != kFails) {
            EXPECT_EQ(out.ExpiryTime, time);
        }
    }
    EXPECT_EQ(LoadExpires(std::nullopt), 0);
}

// ---- Which Type elements are read ----

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
    ASSERT_EQ(out.Exchanges.size(), 2u);
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
    EXPECT_EQ(out.ExpiryTime, Local(2024, 4, 18, 15, 30, 0));
    EXPECT_NE(Entry("1"), nullptr);
}

// ---- Entries ----

TEST_F(DirectoryReader, RepeatedIdKeepsOneEntryWithTheLaterValuesAndPlace) {
    ASSERT_EQ(LoadTypes({ExchangeType(3, "AB", "A long first name", 1, 1, 1),
                         ExchangeType(3, "C", "Short", 0, 0, 0), ExchangeType(4, "CC", "Third")}),
              1);
    ASSERT_EQ(out.Exchanges.size(), 2u);
    const ExchangeEntry* e = Entry("3");
    // The shorter later texts leave nothing of the earlier ones.
    EXPECT_EQ(Bytes(e->Code, sizeof e->Code), std::string("C\0\0", 3));
    EXPECT_EQ(Bytes(e->Name, sizeof e->Name), "Short" + Nul(46));
    EXPECT_EQ(e->Alert + e->Trade + e->Quote, 0);
    EXPECT_EQ(e->Serial, 2);
    EXPECT_EQ(Entry("4")->Serial, 3);
}

TEST_F(DirectoryReader, FlagIsSetOnlyForTheNumberOne) {
    const std::pair<const char*, std::int32_t> cases[] = {{"1", 1},   {" 1", 1},  {"01", 1},  {"+1", 1},
                                                          {"1x", 1},  {"2", 0},   {"0", 0},   {"yes", 0},
                                                          {"-1", 0},  {"4294967297", 0}, {"", 0}};
    for (const auto& [text, flag] : cases) {
        SCOPED_TRACE(text);
        ASSERT_EQ(LoadTypes({Type("1", {"A", "N", text, "0", "0"}), Type("2", {"B", "N", "0", text, "0"}),
                             Type("3", {"C", "N", "0", "0", text})}),
                  1);
        EXPECT_EQ(Entry("1")->Alert, flag);
        EXPECT_EQ(Entry("2")->Trade, flag);
        EXPECT_EQ(Entry("3")->Quote, flag);
        EXPECT_EQ(Entry("1")->Trade + Entry("1")->Quote + Entry("2")->Alert + Entry("3")->Alert, 0);
    }
}

TEST_F(DirectoryReader, KeyIsTheNumberInDecimalAndIdItsLow16Bits) {
    ASSERT_EQ(LoadTypes({ExchangeType(0, "A", "N"), Type("007", {"B"}), ExchangeType(70000, "C", "N"),
                         ExchangeType(-1, "D", "N"), Type(" +12abc", {"E"})}),
              1);
    EXPECT_EQ(out.Exchanges.size(), 5u);
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
TEST_F(DirectoryReader, TypeWithoutAnIdIsSkippedAndMissingValuesAreEmpty) {
    std::vector<XmlAttribute> noId = ExchangeType(0, "NO", "No ID");
    noId.erase(noId.begin());
    ASSERT_EQ(LoadTypes({ExchangeType(1, "AA", "Full", 1, 1, 1),
                         noId, Type("", {"EM", "Empty ID"}), {{"ID", "2"}}, Type("3", {"", "", "", "", ""})}),
              1);
    ASSERT_EQ(out.Exchanges.size(), 3u);
    const ExchangeEntry* bare = Entry("2");
    EXPECT_EQ(Bytes(bare->Code, sizeof bare->Code), Nul(3));
    EXPECT_EQ(Bytes(bare->Name, sizeof bare->Name), Nul(51));
    EXPECT_EQ(bare->Alert + bare->Trade + bare->Quote, 0);
    EXPECT_EQ(bare->Serial, 2);
    EXPECT_STREQ(Entry("3")->Code, "");
    EXPECT_STREQ(Entry("3")->Name, "");
    EXPECT_EQ(Entry("3")->Alert + Entry("3")->Trade + Entry("3")->Quote, 0);
    EXPECT_EQ(Entry("3")->Serial, 3);
}

// U+4E2D U+6587 in UTF-8 and in GBK.
const std::string kZhongWenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kZhongWenGbk = "\xD6\xD0\xCE\xC4";

// Code and Name as stored: cut to their fields, converted to the locale's character set.
TEST_F(DirectoryReader, TextsAreCutToTheirFieldsInTheLocaleCharacterSet) {
    const struct {
        const char* locale;
        std::string code, name, storedCode, storedName;
    } cases[] = {
        {"C", "ABCD", std::string(60, 'N'), "AB", std::string(50, 'N')},
        {"C", "XY", std::string(10000, 'H'), "XY", std::string(50, 'H')},
        // 49 ASCII bytes and one double-byte character: 51 bytes, cut to 49, not 50.
        {kGbkLocale, "A" + kZhongWenUtf8, std::string(49, 'n') + kZhongWenUtf8, "A", std::string(49, 'n')},
        {"C", "SH", "A" + kZhongWenUtf8 + "B\xC3\xA9", "SH", "A??B?"},
        {"C", "S&", "<Bonds & \"Notes\">", "S&", "<Bonds & \"Notes\">"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 60));
        const ScopedLocale locale(c.locale);
        ASSERT_TRUE(locale.ok());
        ASSERT_EQ(LoadTypes({ExchangeType(1, c.code, c.name)}), 1);
        EXPECT_EQ(Bytes(Entry("1")->Code, 3), c.storedCode + Nul(3 - c.storedCode.size()));
        EXPECT_EQ(Bytes(Entry("1")->Name, 51), c.storedName + Nul(51 - c.storedName.size()));
        // The fields behind Name were not overrun.
        EXPECT_EQ(Entry("1")->Alert, 1);
        EXPECT_EQ(Entry("1")->Serial, 1);
    }
}

TEST_F(DirectoryReader, GbkFileReadInTheGbkLocaleGivesGbkBytes) {
    writer::DirectoryDescription d;
    d.Encoding = "GBK";
    d.Types = {ExchangeType(1, "SH", kZhongWenUtf8)};
    for (const auto& [locale, name] : {std::pair{kGbkLocale, kZhongWenGbk}, std::pair{"C", std::string("??")},
                                       std::pair{"C.UTF-8", kZhongWenUtf8}}) {
        const ScopedLocale scoped(locale);
        ASSERT_TRUE(scoped.ok()) << locale;
        ASSERT_EQ(Load(d), 1);
        EXPECT_EQ(std::string(Entry("1")->Name), name) << locale;
    }
}

// ---- Quiet ----

// A file that declares GBK but holds bytes that are not GBK once made libxml2 print "encoding
// error" lines on the host's standard error. The message belongs in the diagnostics; a host's
// own libxml2 error handler hears nothing of the library's parse and stays installed.
TEST_F(DirectoryReader, ParserErrorsGoToTheDiagnosticsNeverToStandardError) {
    WriteFileBytes(dir / "Directory.xml",
                   "<?xml version=\"1.0\" encoding=\"GBK\"?><Result Expires=\"20991231 235959\"><Exchange>"
                   "<Type ID=\"1\" Code=\"SH\" Name=\"\x80\xFF\xFF\x81\"/></Exchange></Result>");
    DiagnosticSink sink;
    diagnostics = &sink;
    const std::string captured = dir / "stderr";
    std::fflush(stderr);
    const int saved = ::dup(2);
    const int capture = ::open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(capture, 0);
    ::dup2(capture, 2);
    const int result = Reload();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(capture);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFileBytes(captured), "");
    ASSERT_EQ(sink.Items.size(), 1u);
    EXPECT_NE(sink.Items[0].Message.find("input conversion failed"), std::string::npos) << sink.Items[0].Message;

    static int hostCalls = 0;
    const xmlStructuredErrorFunc host = [](void*, auto) { ++hostCalls; };
    xmlSetStructuredErrorFunc(nullptr, host);
    EXPECT_EQ(Reload(), 0);
    EXPECT_EQ(hostCalls, 0);
    EXPECT_EQ(xmlStructuredError, host);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
}

}  // namespace
}  // namespace tessary
