// The data writer: the byte layouts the fixtures of every other test rely on, Directory.xml texts
// read back through the library's XML reader, and the atomic replacement of files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "directory/xml_reader.h"
#include "support/test_support.h"
#include "writer/data_writer.h"

namespace tessary::writer {
namespace {

using testing::Entries;
using testing::ReadFileBytes;
using testing::TempDir;

std::uint32_t U32(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(offset + i))) << (8 * i);
    return v;
}

TEST(WriteFileAtomically, LeavesOnlyTheTargetBehind) {
    const TempDir dir;
    for (const char* bytes : {"first", "second, longer", ""}) {
        WriteFileAtomically(dir / "sub/file", bytes);
        EXPECT_EQ(ReadFileBytes(dir / "sub/file"), bytes);
        EXPECT_EQ(Entries(dir / "sub"), std::vector<std::string>{"file"});
    }
}

TEST(WriteFileAtomically, FailureLeavesNoTemporaryFile) {
    const TempDir dir;
    std::filesystem::create_directories(dir / "target");  // a directory where the file should go
    EXPECT_THROW(WriteFileAtomically(dir / "target", "bytes"), std::runtime_error);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"target"});
}

TEST(WriteDataDirectory, WritesEveryFile) {
    const TempDir dir;
    WriteDataDirectory(dir.path(), testing::SmallDirectory());
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"Directory.xml", "SymTbl"}));
    EXPECT_EQ(Entries(dir / "SymTbl"), (std::vector<std::string>{"1_Light", "2_Light", "3_Light", "Group"}));
}

TEST(RenderLightTable, WritesHeaderAndRecordFieldsAtTheirOffsets) {
    LightTable table;
    table.HeaderValue[0] = 0x11223344;
    table.HeaderValue[1] = 0x55667788;
    const LightRecord r{"C", "N", "A", 0x01020304, -2, "1", "2", "3", "4", "k", "K"};
    table.Records = {r, LightRecord{}};
    const std::string bytes = RenderLightTable(table);
    ASSERT_EQ(bytes.size(), 16u + 2 * 353u);
    EXPECT_EQ(U32(bytes, 0), 207u);
    EXPECT_EQ(U32(bytes, 4), 0x11223344u);
    EXPECT_EQ(U32(bytes, 8), 0x55667788u);
    EXPECT_EQ(U32(bytes, 12), 2u);

    // Each text at its offset, padded with NUL to the next field.
    struct Field {
        std::size_t Offset, Width;
        char Text;
    };
    for (const Field f : {Field{0, 17, 'C'}, Field{17, 49, 'N'}, Field{66, 17, 'A'}, Field{91, 65, '1'},
                          Field{156, 65, '2'}, Field{221, 49, '3'}, Field{270, 49, '4'}, Field{319, 17, 'k'},
                          Field{336, 17, 'K'}}) {
        EXPECT_EQ(bytes.substr(16 + f.Offset, f.Width), f.Text + std::string(f.Width - 1, '\0')) << f.Offset;
    }
    EXPECT_EQ(U32(bytes, 16 + 83), 0x01020304u);
    EXPECT_EQ(U32(bytes, 16 + 87), 0xFFFFFFFEu);
    EXPECT_EQ(bytes.substr(16 + 353), std::string(353, '\0'));
}

TEST(RenderGroupTable, OverriddenLengthsAreWrittenAsGiven) {
    const std::string bytes =
        RenderGroupTable({111, {Group{7, {0, 0}, {SubGroup{"S", "N", {0, 0}, {}, 5u, 77u, {}}}, 999u}}});
    EXPECT_EQ(U32(bytes, 4), 999u);           // Length1
    EXPECT_EQ(U32(bytes, 4 + 4 + 10), 5u);    // Length2
    EXPECT_EQ(U32(bytes, 4 + 4 + 10 + 4), 77u);  // CodeLength
}

// What the library's XML reader gives back for the Name of the one Type in `xml`, read in the
// process character set `locale`.
std::string NameReadBack(const std::string& xml, const char* locale) {
    const testing::ScopedLocale scoped(locale);
    if (!scoped.ok()) return "(no locale " + std::string(locale) + ")";
    const TempDir dir;
    testing::WriteFileBytes(dir / "Directory.xml", xml);
    XmlLoadError error;
    const std::unique_ptr<XmlDocument> document = LoadXmlDocument(dir / "Directory.xml", &error);
    if (!document) return "(not loaded: " + error.Message + ")";
    std::vector<std::unique_ptr<XmlElement>> types;
    std::string name = "(no Name)";
    if (document->SelectNodes("//Type", types) && types.size() == 1) (void)types[0]->Attribute("Name", name);
    return name;
}

// A tab in a name once came back as a blank: XML turns raw whitespace in attributes into blanks.
TEST(RenderDirectoryXml, EveryStorableTextComesBackByteForByte) {
    struct Case {
        const char* Encoding;
        std::string Text;      // UTF-8, as given to the writer
        std::string Expected;  // as read back in a process whose character set is the file's
    };
    const std::string gbkShanghai = "\xC9\xCF\xBA\xA3";
    const Case cases[] = {
        {"UTF-8", "tab\there", "tab\there"},
        {"UTF-8", "cr\rlf\ncrlf\r\nend", "cr\rlf\ncrlf\r\nend"},
        {"UTF-8", "\"quoted\" 'single'", "\"quoted\" 'single'"},
        {"UTF-8", "a<b&c>d ]]> &amp; &#9;", "a<b&c>d ]]> &amp; &#9;"},
        {"UTF-8", "  two  blanks  ", "  two  blanks  "},
        {"UTF-8", "\xE4\xB8\xAD Z\xC3\xBCrich \x7F", "\xE4\xB8\xAD Z\xC3\xBCrich \x7F"},
        {"GBK", "\xE4\xB8\x8A\xE6\xB5\xB7\t<&>\"]]>\r\n", gbkShanghai + "\t<&>\"]]>\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        DirectoryDescription d;
        d.Encoding = c.Encoding;
        d.Types = {ExchangeType(1, "SH", c.Text)};
        const bool gbk = std::string(c.Encoding) == "GBK";
        EXPECT_EQ(NameReadBack(RenderDirectoryXml(d), gbk ? testing::kGbkLocale : "C.UTF-8"), c.Expected);
    }
}

TEST(RenderDirectoryXml, RefusesWhatItCannotStoreAndNamesTheAttribute) {
    struct Case {
        const char* Encoding;
        std::string Text;
        const char* Problem;
    };
    const Case cases[] = {
        {"UTF-8", std::string("a\0b", 3), "holds a NUL byte"},
        {"UTF-8", "bell\x07", "holds the character U+0007, which XML cannot hold"},
        {"UTF-8", "\x1F", "U+001F"},
        {"UTF-8", "\xEF\xBF\xBF", "U+FFFF"},
        {"UTF-8", "\xFF", "is not valid UTF-8 at byte 0"},
        {"UTF-8", "ab\xE4\xB8", "is not valid UTF-8 at byte 2"},
        {"UTF-8", "\xC0\xAF", "is not valid UTF-8"},      // overlong '/'
        {"UTF-8", "\xED\xA0\x80", "is not valid UTF-8"},  // a surrogate
        {"GBK", "\xF0\x9F\x98\x80", "cannot be written in GBK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Problem);
        DirectoryDescription d;
        d.Encoding = c.Encoding;
        d.Types = {ExchangeType(1, "SH", "fine"), ExchangeType(2, "SZ", c.Text)};
        try {
            (void)RenderDirectoryXml(d);
            ADD_FAILURE() << "written";
        } catch (const std::runtime_error& e) {
            EXPECT_THAT(e.what(), ::testing::HasSubstr("the Name attribute of Type 2 "));
            EXPECT_THAT(e.what(), ::testing::HasSubstr(c.Problem));
        }
        d.Types = {};
        d.Expires = c.Text;
        EXPECT_THROW((void)RenderDirectoryXml(d), std::runtime_error);
    }
}

TEST(RenderDirectoryXml, LeavesOutAnExpiresNotGiven) {
    DirectoryDescription d;
    EXPECT_NE(RenderDirectoryXml(d).find("Expires=\"20991231 235959\""), std::string::npos);
    d.Expires = std::nullopt;
    EXPECT_EQ(RenderDirectoryXml(d).find("Expires"), std::string::npos);
}

}  // namespace
}  // namespace tessary::writer
