// libxml2 behind the XML reader. The document is read through the data file seam (locking and
// letter-case matching as for every other file) and parsed from memory with network access off.
// A DOCTYPE stops the parser the moment it is seen, before any part of it is processed.
#include <iconv.h>
#include <langinfo.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <cerrno>
#include <cstring>

#include "common/data_file.h"
#include "directory/xml_reader.h"

namespace tessary {
namespace {

struct XmlFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
    void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
    void operator()(xmlXPathContext* ctx) const { xmlXPathFreeContext(ctx); }
    void operator()(xmlXPathObject* obj) const { xmlXPathFreeObject(obj); }
    void operator()(xmlChar* text) const { xmlFree(text); }
};
template <class T>
using XmlPtr = std::unique_ptr<T, XmlFree>;

// Converts libxml2's UTF-8 to the locale's character set, '?' for what has no equivalent.
class CharsetConverter {
public:
    CharsetConverter() {
        const char* codeset = nl_langinfo(CODESET);
        identity_ = codeset == nullptr || std::strcmp(codeset, "UTF-8") == 0;
        if (!identity_) cd_ = iconv_open(codeset, "UTF-8");
    }
    ~CharsetConverter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    CharsetConverter(const CharsetConverter&) = delete;
    CharsetConverter& operator=(const CharsetConverter&) = delete;

    std::string Convert(const char* utf8) const {
        const std::size_t length = std::strlen(utf8);
        if (identity_) return std::string(utf8, length);
        std::string out;
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            // No converter for this character set: keep ASCII, replace the rest.
            for (std::size_t i = 0; i < length; i += Utf8Length(utf8[i]))
                out += static_cast<unsigned char>(utf8[i]) < 0x80 ? utf8[i] : '?';
            return out;
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(utf8);
        std::size_t inLeft = length;
        char buffer[256];
        while (inLeft > 0) {
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t r = iconv(cd_, &in, &inLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                // An unconvertible or broken character: one '?' for it, then go on.
                out += '?';
                std::size_t skip = Utf8Length(*in);
                if (skip > inLeft) skip = inLeft;
                in += skip;
                inLeft -= skip;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        return out;
    }

private:
    static std::size_t Utf8Length(char lead) {
        const auto c = static_cast<unsigned char>(lead);
        if (c >= 0xF0) return 4;
        if (c >= 0xE0) return 3;
        if (c >= 0xC0) return 2;
        return 1;
    }
    bool identity_ = true;
    iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

// libxml2 reports some errors, those of character conversion and input among them, through its
// global handlers instead of the parser context, and those print on standard error unless told
// otherwise. While the reader works, both handlers point here: the first message is kept for the
// load's error and nothing is printed; the host's own handlers (or the defaults) come back after.
class QuietErrors {
public:
    QuietErrors()
        : generic_(xmlGenericError), genericContext_(xmlGenericErrorContext),
          structured_(xmlStructuredError), structuredContext_(xmlStructuredErrorContext) {
        xmlSetGenericErrorFunc(nullptr, IgnoreMessage);
        // Generic, so that it converts to the handler type of every libxml2 version (the error
        // became const in 2.12).
        xmlSetStructuredErrorFunc(this, [](void* self, auto error) {
            if (error != nullptr && error->message != nullptr) static_cast<QuietErrors*>(self)->Keep(error->message);
        });
    }
    ~QuietErrors() {
        xmlSetGenericErrorFunc(genericContext_, generic_);
        xmlSetStructuredErrorFunc(structuredContext_, structured_);
    }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

    // The first message reported, without its line break; empty when there was none.
    [[nodiscard]] const std::string& First() const noexcept { return first_; }

private:
    static void IgnoreMessage(void*, const char*, ...) {}

    void Keep(const char* message) {
        if (!first_.empty()) return;
        first_ = message;
        while (!first_.empty() && (first_.back() == '\n' || first_.back() == ' ')) first_.pop_back();
    }

    xmlGenericErrorFunc generic_;
    void* genericContext_;
    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
    std::string first_;
};

class LibxmlElement final : public XmlElement {
public:
    LibxmlElement(xmlNode* node, const CharsetConverter& converter)
        : node_(node), converter_(converter) {}
    bool Attribute(const char* name, std::string& value) const override {
        const XmlPtr<xmlChar> raw(xmlGetNoNsProp(node_, reinterpret_cast<const xmlChar*>(name)));
        if (!raw) return false;
        value = converter_.Convert(reinterpret_cast<const char*>(raw.get()));
        return true;
    }
    int Line() const override { return static_cast<int>(xmlGetLineNo(node_)); }

private:
    xmlNode* node_;
    const CharsetConverter& converter_;
};

class LibxmlDocument final : public XmlDocument {
public:
    explicit LibxmlDocument(XmlPtr<xmlDoc> doc) : doc_(std::move(doc)) {}

    std::unique_ptr<XmlElement> SelectSingleNode(const char* xpath) override {
        std::vector<std::unique_ptr<XmlElement>> nodes;
        if (!Select(xpath, nodes, true) || nodes.empty()) return nullptr;
        return std::move(nodes.front());
    }
    bool SelectNodes(const char* xpath, std::vector<std::unique_ptr<XmlElement>>& nodes) override {
        return Select(xpath, nodes, false);
    }

private:
    bool Select(const char* xpath, std::vector<std::unique_ptr<XmlElement>>& nodes, bool first) {
        nodes.clear();
        const QuietErrors quiet;
        const XmlPtr<xmlXPathContext> context(xmlXPathNewContext(doc_.get()));
        if (!context) return false;
        const XmlPtr<xmlXPathObject> result(
            xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(xpath), context.get()));
        if (!result || result->type != XPATH_NODESET) return false;
        const xmlNodeSet* set = result->nodesetval;
        const int count = set == nullptr ? 0 : set->nodeNr;
        for (int i = 0; i < count; ++i) {
            xmlNode* node = set->nodeTab[i];
            if (node->type != XML_ELEMENT_NODE) continue;
            nodes.push_back(std::make_unique<LibxmlElement>(node, converter_));
            if (first) break;
        }
        return true;
    }

    XmlPtr<xmlDoc> doc_;
    CharsetConverter converter_;
};

void StopAtDoctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
    ctxt->_private = ctxt;  // marks the document as refused
    xmlStopParser(ctxt);
}

std::unique_ptr<XmlDocument> Fail(XmlLoadError* error, std::string message, int line) {
    if (error != nullptr) *error = {std::move(message), line};
    return nullptr;
}

std::unique_ptr<XmlDocument> ParseDocument(const std::string& bytes, XmlLoadError* error) {
    auto fail = [error](std::string message, int line) { return Fail(error, std::move(message), line); };
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) return fail("is too large", 0);

    xmlInitParser();
    const QuietErrors quiet;
    const XmlPtr<xmlParserCtxt> ctxt(
        xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size())));
    if (!ctxt) return fail("cannot be parsed (out of memory)", 0);
    ctxt->sax->internalSubset = StopAtDoctype;
    ctxt->sax->externalSubset = StopAtDoctype;
    ctxt->_private = nullptr;
    xmlCtxtUseOptions(ctxt.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlParseDocument(ctxt.get());
    XmlPtr<xmlDoc> doc(ctxt->myDoc);
    ctxt->myDoc = nullptr;

    if (ctxt->_private != nullptr) return fail("holds a DOCTYPE declaration, which is not allowed", ctxt->input ? ctxt->input->line : 0);
    if (!ctxt->wellFormed || !doc) {
        const xmlError* last = xmlCtxtGetLastError(ctxt.get());
        std::string message = "is not well-formed XML";
        int line = 0;
        if (!quiet.First().empty()) {
            // An error outside the parser (a character conversion) comes first; what the parser
            // says after it is only its consequence.
            message += ": " + quiet.First();
            if (last != nullptr) line = last->line;
        } else if (last != nullptr && last->message != nullptr) {
            message += ": ";
            message += last->message;
            while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
                message.pop_back();
            line = last->line;
        }
        return fail(message, line);
    }
    return std::make_unique<LibxmlDocument>(std::move(doc));
}

}  // namespace

std::unique_ptr<XmlDocument> LoadXmlDocument(const std::string& path, XmlLoadError* error) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return Fail(error, "cannot be opened", 0);
    return ParseDocument(bytes, error);
}

std::unique_ptr<XmlDocument> LoadXmlDocument(DataRoot& root, std::string_view relative, XmlLoadError* error) {
    std::string bytes;
    std::string problem;
    if (!ReadWholeFile(root, relative, bytes, problem)) return Fail(error, "cannot be opened: " + problem, 0);
    return ParseDocument(bytes, error);
}

}  // namespace tessary
