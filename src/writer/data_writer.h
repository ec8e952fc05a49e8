// The data writer: makes Tessary data directories (Directory.xml, SymTbl/<ID>_Light,
// SymTbl/Group) from plain descriptions. Tests build their fixtures with it, the tessary command
// makes sample and custom directories with it. Every length and field can be overridden so that
// damaged files are as easy to make as good ones. Not part of the library.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::writer {

// UTF-8 text converted to `encoding` (an iconv name such as "GBK"). Throws std::runtime_error
// when the encoding is unknown, the text is not valid UTF-8 or the encoding cannot hold it.
[[nodiscard]] std::string ConvertFromUtf8(const std::string& utf8, const std::string& encoding);

// The inverse: `bytes` in `encoding` as UTF-8. Throws std::runtime_error when the encoding is
// unknown or the bytes are not valid in it.
[[nodiscard]] std::string ConvertToUtf8(const std::string& bytes, const std::string& encoding);

// Why the UTF-8 `text` cannot be an attribute of Directory.xml ("holds a NUL byte", "is not
// valid UTF-8 at byte 3", ...), or an empty string when it can. XML 1.0 has no way to write NUL
// and most other control characters, not even as character references; tab, CR and LF are
// written as references and come back unchanged.
[[nodiscard]] std::string XmlTextProblem(std::string_view text);

// ---- Directory.xml ----

struct XmlAttribute {
    std::string Name;
    std::string Value;  // UTF-8; written escaped, every character as it is
};

struct DirectoryDescription {
    std::optional<std::string> Expires = "20991231 235959";  // nullopt: no Expires attribute
    std::vector<std::vector<XmlAttribute>> Types;  // one Type element per entry, attributes in order
    std::string Encoding = "UTF-8";                // declared, and the bytes are converted into it
};

// The attributes of a well-formed exchange.
[[nodiscard]] std::vector<XmlAttribute> ExchangeType(int id, std::string code, std::string name,
                                                     int alert = 1, int trade = 1, int quote = 1);

// The file's bytes: Result > Exchange > Type elements. Throws std::runtime_error, naming the
// attribute, when a text cannot be stored (XmlTextProblem) or converted to the encoding.
[[nodiscard]] std::string RenderDirectoryXml(const DirectoryDescription& directory);

// ---- Light symbol tables ----

struct LightRecord {
    // Each text fills its field from the start and is padded with NUL bytes; a text as long as
    // its field has no terminator, a longer one is cut.
    std::string Code, Name, AuxCode;
    std::int32_t Type = 0;
    std::int32_t AuxValue = 0;
    std::string SearchText1, SearchText2, SearchText3, SearchText4;
    std::string SearchKey1, SearchKey2;
};

// A record with only a code, a name and a type; the other fields stay empty.
[[nodiscard]] LightRecord MakeLightRecord(std::string code, std::string name = "", std::int32_t type = 0);

struct LightTable {
    std::int32_t Magic = 207;
    std::uint32_t HeaderValue[2] = {0, 0};
    std::optional<std::uint32_t> RecordCount;  // default: the number of records
    std::vector<LightRecord> Records;
};

inline constexpr std::size_t kLightHeaderSize = 16;
inline constexpr std::size_t kLightRecordSize = 353;

[[nodiscard]] std::string RenderLightTable(const LightTable& table);

// ---- SymTbl/Group ----

// Lengths left unset are computed so that the file is consistent.
struct LeafGroup {
    std::string Code, Name, SymbolList;
    std::optional<std::uint32_t> Length, CodeLength, NameLength, ListLength;
};

struct SubGroup {
    std::string Code, Name;
    std::uint32_t Extra[2] = {0, 0};
    std::vector<LeafGroup> Leaves;
    std::optional<std::uint32_t> Length, CodeLength, NameLength;
};

struct Group {
    std::uint16_t Id = 0;
    std::uint32_t Extra[2] = {0, 0};
    std::vector<SubGroup> SubGroups;
    std::optional<std::uint32_t> Length;
};

struct GroupTable {
    std::int32_t Magic = 111;
    std::vector<Group> Groups;
};

[[nodiscard]] std::string RenderGroupTable(const GroupTable& table);

// ---- Whole directories ----

struct DataDirectory {
    DirectoryDescription Directory;
    std::map<std::string, LightTable> LightTables;  // by exchange key, e.g. "3"
    GroupTable Groups;
};

// Writes Directory.xml, every Light table and SymTbl/Group below `root`, making the folders.
// Throws std::runtime_error when a file cannot be written.
void WriteDataDirectory(const std::string& root, const DataDirectory& directory);

// Writes `bytes` to `path` (making its folder) so that a reader never sees half a file: into a
// temporary file beside it, then renamed into place while an exclusive lock is held on the
// temporary. Throws std::runtime_error on failure.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Damage hooks for tests: overwrite a little-endian word, or cut the bytes.
void PutU32(std::string& bytes, std::size_t offset, std::uint32_t value);
void PutU16(std::string& bytes, std::size_t offset, std::uint16_t value);

// ---- Sample data ----

// A realistic, deterministic data directory: several exchanges with two-letter codes, about
// `symbols` symbols spread over them, names, search texts and keys in the style of real
// markets, and a group tree whose leaf groups list symbols of the tables.
[[nodiscard]] DataDirectory MakeSampleDirectory(std::size_t symbols, std::uint32_t seed);

}  // namespace tessary::writer
