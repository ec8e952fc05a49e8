// Writing data directories (Directory.xml, Light files, the group file) for fixtures and samples.
#include "writer/data_writer.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace tessary::writer {
namespace {

void AppendU32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i));
}

void AppendField(std::string& out, std::string_view text, std::size_t width) {
    const std::size_t n = text.size() < width ? text.size() : width;
    out.append(text.data(), n);
    out.append(width - n, '\0');
}

// The code point that starts at text[i], moving `i` past it; -1 for bytes that are not UTF-8,
// overlong forms and surrogates included, since iconv and XML parsers disagree about those.
long DecodeUtf8(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    // Lead bytes 110xxxxx, 1110xxxx and 11110xxx start 2, 3 and 4 byte forms.
    const std::size_t length = lead >= 0xF8 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0) return -1;
    constexpr unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    unsigned long cp = lead & (0x7Fu >> length);
    if (length > text.size() - i) return -1;
    for (std::size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0u) != 0x80u) return -1;
        cp = cp << 6 | (c & 0x3Fu);
    }
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    i += length;
    return static_cast<long>(cp);
}

// `text` from the character set `from` into `to`, all or nothing. Throws for an unknown set.
bool Recode(const std::string& text, const std::string& from, const std::string& to, std::string& out) {
    const iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("unknown encoding " + (from == "UTF-8" ? to : from));
    out.assign(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    const std::size_t r = iconv(cd, &in, &inLeft, &dst, &dstLeft);
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return r != static_cast<std::size_t>(-1);
}

// Attribute values keep tab, CR and LF only as character references: a parser turns each of
// them, written raw, into a blank (attribute value normalisation), and CR LF into one blank.
std::string EscapeXml(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\t': out += "&#9;"; break;
            case '\n': out += "&#10;"; break;
            case '\r': out += "&#13;"; break;
            default: out += c;
        }
    }
    return out;
}

// The attribute's value escaped, still in UTF-8; an error naming the attribute when the value
// cannot be stored in a file written in `encoding`.
std::string AttributeText(const std::string& element, const XmlAttribute& attribute,
                          const std::string& encoding) {
    std::string problem = XmlTextProblem(attribute.Value);
    if (problem.empty()) {
        try {
            (void)ConvertFromUtf8(attribute.Value, encoding);
        } catch (const std::runtime_error&) {
            problem = "cannot be written in " + encoding;
        }
    }
    if (!problem.empty())
        throw std::runtime_error("Directory.xml: the " + attribute.Name + " attribute of " + element + " " +
                                 problem);
    return EscapeXml(attribute.Value);
}

}  // namespace

std::string XmlTextProblem(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t at = i;
        const long cp = DecodeUtf8(text, i);
        if (cp < 0) return "is not valid UTF-8 at byte " + std::to_string(at);
        if (cp == 0) return "holds a NUL byte, which cannot be stored";
        if ((cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || cp == 0xFFFE || cp == 0xFFFF) {
            char name[24];
            std::snprintf(name, sizeof name, "U+%04lX", static_cast<unsigned long>(cp));
            return std::string("holds the character ") + name + ", which XML cannot hold";
        }
    }
    return {};
}

std::string ConvertFromUtf8(const std::string& utf8, const std::string& encoding) {
    for (std::size_t i = 0; i < utf8.size();)
        if (DecodeUtf8(utf8, i) < 0)
            throw std::runtime_error("text is not valid UTF-8 at byte " + std::to_string(i));
    if (encoding == "UTF-8" || encoding == "utf-8") return utf8;
    std::string out;
    if (!Recode(utf8, "UTF-8", encoding, out))
        throw std::runtime_error("text cannot be written in " + encoding);
    return out;
}

std::string ConvertToUtf8(const std::string& bytes, const std::string& encoding) {
    if (encoding == "UTF-8" || encoding == "utf-8") {
        for (std::size_t i = 0; i < bytes.size();)
            if (DecodeUtf8(bytes, i) < 0)
                throw std::runtime_error("text is not valid UTF-8 at byte " + std::to_string(i));
        return bytes;
    }
    std::string out;
    if (!Recode(bytes, encoding, "UTF-8", out)) throw std::runtime_error("text is not valid " + encoding);
    return out;
}

std::vector<XmlAttribute> ExchangeType(int id, std::string code, std::string name, int alert, int trade,
                                       int quote) {
    return {{"ID", std::to_string(id)},       {"Code", std::move(code)},
            {"Name", std::move(name)},        {"Alert", std::to_string(alert)},
            {"Trade", std::to_string(trade)}, {"Quote", std::to_string(quote)}};
}

std::string RenderDirectoryXml(const DirectoryDescription& directory) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"" + directory.Encoding + "\"?>\n<Result";
    if (directory.Expires)
        xml += " Expires=\"" + AttributeText("Result", {"Expires", *directory.Expires}, directory.Encoding) +
               "\"";
    xml += ">\n  <Exchange>\n";
    for (std::size_t i = 0; i < directory.Types.size(); ++i) {
        xml += "    <Type";
        for (const XmlAttribute& attribute : directory.Types[i])
            xml += " " + attribute.Name + "=\"" +
                   AttributeText("Type " + std::to_string(i + 1), attribute, directory.Encoding) + "\"";
        xml += "/>\n";
    }
    xml += "  </Exchange>\n</Result>\n";
    return ConvertFromUtf8(xml, directory.Encoding);
}

LightRecord MakeLightRecord(std::string code, std::string name, std::int32_t type) {
    LightRecord r;
    r.Code = std::move(code);
    r.Name = std::move(name);
    r.Type = type;
    return r;
}

std::string RenderLightTable(const LightTable& table) {
    std::string out;
    out.reserve(kLightHeaderSize + table.Records.size() * kLightRecordSize);
    AppendU32(out, static_cast<std::uint32_t>(table.Magic));
    AppendU32(out, table.HeaderValue[0]);
    AppendU32(out, table.HeaderValue[1]);
    AppendU32(out, table.RecordCount.value_or(static_cast<std::uint32_t>(table.Records.size())));
    for (const LightRecord& r : table.Records) {
        AppendField(out, r.Code, 17);
        AppendField(out, r.Name, 49);
        AppendField(out, r.AuxCode, 17);
        AppendU32(out, static_cast<std::uint32_t>(r.Type));
        AppendU32(out, static_cast<std::uint32_t>(r.AuxValue));
        AppendField(out, r.SearchText1, 65);
        AppendField(out, r.SearchText2, 65);
        AppendField(out, r.SearchText3, 49);
        AppendField(out, r.SearchText4, 49);
        AppendField(out, r.SearchKey1, 17);
        AppendField(out, r.SearchKey2, 17);
    }
    return out;
}

std::string RenderGroupTable(const GroupTable& table) {
    std::string out;
    AppendU32(out, static_cast<std::uint32_t>(table.Magic));
    for (const Group& group : table.Groups) {
        std::string body;
        body += static_cast<char>(group.Id & 0xFF);
        body += static_cast<char>(group.Id >> 8);
        AppendU32(body, group.Extra[0]);
        AppendU32(body, group.Extra[1]);
        for (const SubGroup& sub : group.SubGroups) {
            std::string subBody;
            AppendU32(subBody, sub.CodeLength.value_or(static_cast<std::uint32_t>(sub.Code.size())));
            subBody += sub.Code;
            AppendU32(subBody, sub.NameLength.value_or(static_cast<std::uint32_t>(sub.Name.size())));
            subBody += sub.Name;
            AppendU32(subBody, sub.Extra[0]);
            AppendU32(subBody, sub.Extra[1]);
            for (const LeafGroup& leaf : sub.Leaves) {
                std::string leafBody;
                AppendU32(leafBody, leaf.CodeLength.value_or(static_cast<std::uint32_t>(leaf.Code.size())));
                leafBody += leaf.Code;
                AppendU32(leafBody, leaf.NameLength.value_or(static_cast<std::uint32_t>(leaf.Name.size())));
                leafBody += leaf.Name;
                AppendU32(leafBody, leaf.ListLength.value_or(static_cast<std::uint32_t>(leaf.SymbolList.size())));
                leafBody += leaf.SymbolList;
                AppendU32(subBody, leaf.Length.value_or(static_cast<std::uint32_t>(leafBody.size())));
                subBody += leafBody;
            }
            AppendU32(body, sub.Length.value_or(static_cast<std::uint32_t>(subBody.size())));
            body += subBody;
        }
        AppendU32(out, group.Length.value_or(static_cast<std::uint32_t>(body.size())));
        out += body;
    }
    return out;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path());
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + temporary + ": " + std::strerror(errno));
    bool ok = ::flock(fd, LOCK_EX) == 0;
    std::size_t written = 0;
    while (ok && written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) written += static_cast<std::size_t>(n);
    }
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    const int savedErrno = errno;
    ::close(fd);  // releases the lock
    if (!ok) {
        ::unlink(temporary.c_str());
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(savedErrno));
    }
}

void WriteDataDirectory(const std::string& root, const DataDirectory& directory) {
    WriteFileAtomically(root + "/Directory.xml", RenderDirectoryXml(directory.Directory));
    for (const auto& [key, table] : directory.LightTables)
        WriteFileAtomically(root + "/SymTbl/" + key + "_Light", RenderLightTable(table));
    WriteFileAtomically(root + "/SymTbl/Group", RenderGroupTable(directory.Groups));
}

void PutU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<char>(value >> (8 * i));
}

void PutU16(std::string& bytes, std::size_t offset, std::uint16_t value) {
    bytes.at(offset) = static_cast<char>(value & 0xFF);
    bytes.at(offset + 1) = static_cast<char>(value >> 8);
}

}  // namespace tessary::writer
