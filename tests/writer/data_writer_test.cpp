// The data writer: the byte layouts the fixtures of every other test rely on, and the atomic
// replacement of files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "writer/data_writer.h"

namespace tessary::writer {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;

std::uint32_t U32(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(offset + i))) << (8 * i);
    return v;
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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

TEST(RenderDirectoryXml, EscapesTextsAndConvertsThemToTheEncoding) {
    DirectoryDescription d;
    d.Types = {ExchangeType(1, "A&", "<\"x\">")};
    const std::string xml = RenderDirectoryXml(d);
    EXPECT_NE(xml.find("Code=\"A&amp;\""), std::string::npos);
    EXPECT_NE(xml.find("Name=\"&lt;&quot;x&quot;&gt;\""), std::string::npos);
    EXPECT_NE(xml.find("Expires=\"20991231 235959\""), std::string::npos);

    d.Encoding = "GBK";
    d.Types = {ExchangeType(1, "SH", "\xE4\xB8\xAD")};  // U+4E2D
    EXPECT_NE(RenderDirectoryXml(d).find("Name=\"\xD6\xD0\""), std::string::npos);
    d.Types = {ExchangeType(1, "SH", "\xF0\x9F\x98\x80")};  // no GBK equivalent
    EXPECT_THROW((void)RenderDirectoryXml(d), std::runtime_error);

    d.Expires = std::nullopt;
    d.Types = {};
    EXPECT_EQ(RenderDirectoryXml(d).find("Expires"), std::string::npos);
}

}  // namespace
}  // namespace tessary::writer
