// Writing data directories (Directory.xml, Light files, the group file) for fixtures and samples.
#include "writer/data_writer.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
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

std::string EscapeXml(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

std::string ConvertFromUtf8(const std::string& utf8, const std::string& encoding) {
    if (encoding == "UTF-8" || encoding == "utf-8") return utf8;
    const iconv_t cd = iconv_open(encoding.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("unknown encoding " + encoding);
    std::string out(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    const std::size_t r = iconv(cd, &in, &inLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1)) throw std::runtime_error("text cannot be written in " + encoding);
    out.resize(out.size() - dstLeft);
    return out;
}

std::vector<XmlAttribute> ExchangeType(int id, std::string code, std::string name, int alert,
                                       int trade, int quote) {
    return {{"ID", std::to_string(id)},       {"Code", std::move(code)},
            {"Name", std::move(name)},        {"Alert", std::to_string(alert)},
            {"Trade", std::to_string(trade)}, {"Quote", std::to_string(quote)}};
}

std::string RenderDirectoryXml(const DirectoryDescription& directory) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"" + directory.Encoding + "\"?>\n<Result";
    if (directory.Expires) xml += " Expires=\"" + EscapeXml(*directory.Expires) + "\"";
    xml += ">\n  <Exchange>\n";
    for (const auto& type : directory.Types) {
        xml += "    <Type";
        for (const XmlAttribute& attribute : type)
            xml += " " + attribute.Name + "=\"" + EscapeXml(attribute.Value) + "\"";
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
