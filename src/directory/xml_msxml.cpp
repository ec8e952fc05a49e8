// MSXML 6 behind the XML reader, through COM. The document is the free-threaded DOM document;
// the file is loaded by the parser itself, selections are XPath, and attribute values come back
// as wide text that is converted to the ANSI code page.
//
// COM: a document holds its own single-threaded apartment membership on the loading thread
// for as long as it or any element taken from it lives, and gives it back after the last COM
// object is released. The library thus never leaves COM initialised behind it and never has to
// call COM while it is being unloaded, which runs under the loader lock and possibly on another
// thread than the one that loaded the data.
//
// DTDs: MSXML 6 refuses documents with a DOCTYPE by default; since not every implementation of
// the document class does, the loaded document is also checked for a document type node.
#include <msxml2.h>
#include <objbase.h>
#include <ole2.h>
#include <oleauto.h>

#include <utility>

#include "directory/xml_reader.h"

namespace tessary {
namespace {

// The toolchain's headers predate MSXML 6 and lack the document class.
// FreeThreadedDOMDocument60: 88D96A06-F192-11D4-A65F-0040963251E5
constexpr CLSID kFreeThreadedDomDocument60 = {
    0x88d96a06, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
// IXMLDOMDocument2: 2933BF95-7B36-11D2-B20E-00C04F983E60
constexpr IID kXmlDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

// An owned interface pointer: released when it goes.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    void Reset() noexcept {
        if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
    }
    [[nodiscard]] T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // For the out-arguments of COM calls; whatever was held is released first.
    T** Out() noexcept {
        Reset();
        return &p_;
    }

private:
    T* p_ = nullptr;
};

// A BSTR made from ASCII or ANSI text, freed when it goes.
class Bstr {
public:
    explicit Bstr(const char* text, UINT codePage = CP_ACP) {
        const int length = ::MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
        if (length <= 0) return;
        value_ = ::SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
        if (value_ != nullptr) ::MultiByteToWideChar(codePage, 0, text, -1, value_, length);
    }
    ~Bstr() { ::SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    [[nodiscard]] BSTR get() const noexcept { return value_; }

private:
    BSTR value_ = nullptr;
};

// Wide text to the ANSI code page; a character the code page lacks becomes '?'.
std::string ToAnsi(const wchar_t* text, std::size_t length) {
    if (length == 0) return {};
    const int wide = static_cast<int>(length);
    // A system whose ANSI code page is UTF-8 has every character, and takes no default one.
    const char* replacement = ::GetACP() == CP_UTF8 ? nullptr : "?";
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, wide, nullptr, 0, replacement, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, wide, out.data(), bytes, replacement, nullptr);
    return out;
}

// This thread's membership of a single-threaded apartment, held while any COM object of a
// document lives. S_OK and S_FALSE (already a member of a single-threaded apartment) both join;
// RPC_E_CHANGED_MODE (a thread of the multithreaded apartment) and every other error do not, and
// nothing is given back for them.
class Apartment {
public:
    Apartment() noexcept : joined_(SUCCEEDED(::CoInitialize(nullptr))) {}
    ~Apartment() {
        if (joined_) ::CoUninitialize();
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    [[nodiscard]] bool Joined() const noexcept { return joined_; }

private:
    bool joined_;
};

class MsxmlElement final : public XmlElement {
public:
    MsxmlElement(std::shared_ptr<Apartment> apartment, ComPtr<IXMLDOMNamedNodeMap> attributes)
        : attributes_(std::move(attributes)), apartment_(std::move(apartment)) {}

    bool Attribute(const char* name, std::string& value) const override {
        const Bstr wideName(name);
        if (wideName.get() == nullptr) return false;
        ComPtr<IXMLDOMNode> attribute;
        // S_FALSE and a null node: the element has no such attribute.
        if (attributes_->getNamedItem(wideName.get(), attribute.Out()) != S_OK || !attribute) return false;
        VARIANT text;
        ::VariantInit(&text);
        if (FAILED(attribute->get_nodeValue(&text))) return false;
        bool ok = false;
        if (text.vt == VT_BSTR) {
            value = ToAnsi(text.bstrVal, text.bstrVal == nullptr ? 0 : ::SysStringLen(text.bstrVal));
            ok = true;
        }
        ::VariantClear(&text);
        return ok;
    }

    int Line() const override { return 0; }

private:
    // Declared first so that it is released before the apartment goes.
    ComPtr<IXMLDOMNamedNodeMap> attributes_;
    std::shared_ptr<Apartment> apartment_;
};

class MsxmlDocument final : public XmlDocument {
public:
    MsxmlDocument(std::shared_ptr<Apartment> apartment, ComPtr<IXMLDOMDocument2> document)
        : document_(std::move(document)), apartment_(std::move(apartment)) {}

    std::unique_ptr<XmlElement> SelectSingleNode(const char* xpath) override {
        const Bstr query(xpath);
        if (query.get() == nullptr) return nullptr;
        ComPtr<IXMLDOMNode> node;
        if (FAILED(document_->selectSingleNode(query.get(), node.Out())) || !node) return nullptr;
        return ElementOf(node);
    }

    bool SelectNodes(const char* xpath, std::vector<std::unique_ptr<XmlElement>>& nodes) override {
        nodes.clear();
        const Bstr query(xpath);
        if (query.get() == nullptr) return false;
        ComPtr<IXMLDOMNodeList> list;
        if (FAILED(document_->selectNodes(query.get(), list.Out())) || !list) return false;
        long length = 0;
        if (FAILED(list->get_length(&length))) length = 0;
        for (long i = 0; i < length; ++i) {
            ComPtr<IXMLDOMNode> node;
            if (FAILED(list->get_item(i, node.Out())) || !node) return false;
            std::unique_ptr<XmlElement> element = ElementOf(node);
            if (!element) return false;
            nodes.push_back(std::move(element));
        }
        return true;
    }

private:
    std::unique_ptr<XmlElement> ElementOf(const ComPtr<IXMLDOMNode>& node) {
        ComPtr<IXMLDOMNamedNodeMap> attributes;
        if (FAILED(node->get_attributes(attributes.Out())) || !attributes) return nullptr;
        return std::make_unique<MsxmlElement>(apartment_, std::move(attributes));
    }

    ComPtr<IXMLDOMDocument2> document_;
    std::shared_ptr<Apartment> apartment_;
};

// The parser's reason for refusing the file, when it gives one.
void DescribeParseError(IXMLDOMDocument2& document, XmlLoadError& error) {
    ComPtr<IXMLDOMParseError> parseError;
    if (FAILED(document.get_parseError(parseError.Out())) || !parseError) return;
    long line = 0;
    if (SUCCEEDED(parseError->get_line(&line))) error.Line = static_cast<int>(line);
    BSTR reason = nullptr;
    if (SUCCEEDED(parseError->get_reason(&reason)) && reason != nullptr) {
        std::string text = ToAnsi(reason, ::SysStringLen(reason));
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        if (!text.empty()) error.Message += ": " + text;
    }
    ::SysFreeString(reason);
}

}  // namespace

std::unique_ptr<XmlDocument> LoadXmlDocument(const std::string& path, XmlLoadError* error) {
    auto fail = [error](std::string message) -> std::unique_ptr<XmlDocument> {
        if (error != nullptr) *error = {std::move(message), 0};
        return nullptr;
    };

    // The directory is the first file the library reads, so this refuses a thread that cannot
    // join a single-threaded apartment before anything is loaded: TSYInit fails on a thread of
    // the multithreaded apartment.
    auto apartment = std::make_shared<Apartment>();
    if (!apartment->Joined()) return fail("cannot be read: this thread cannot join a single-threaded COM apartment");
    ComPtr<IUnknown> unknown;
    if (FAILED(::CoCreateInstance(kFreeThreadedDomDocument60, nullptr, CLSCTX_ALL, IID_IUnknown,
                                  reinterpret_cast<void**>(unknown.Out()))) ||
        !unknown)
        return fail("cannot be read: the MSXML 6 document class is not available");
    if (FAILED(::OleRun(unknown.get()))) return fail("cannot be read: the MSXML 6 document does not run");
    ComPtr<IXMLDOMDocument2> document;
    if (FAILED(unknown->QueryInterface(kXmlDomDocument2, reinterpret_cast<void**>(document.Out()))) ||
        !document)
        return fail("cannot be read: the MSXML 6 document lacks IXMLDOMDocument2");
    unknown.Reset();

    if (FAILED(document->put_validateOnParse(VARIANT_TRUE)))
        return fail("cannot be read: validation cannot be switched on");

    const Bstr fileName(path.c_str());
    if (fileName.get() == nullptr) return fail("cannot be opened");
    VARIANT source;
    ::VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = fileName.get();  // borrowed: not cleared here
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (FAILED(document->load(source, &loaded)) || loaded == VARIANT_FALSE) {
        XmlLoadError reason{"cannot be opened or is not well-formed XML", 0};
        DescribeParseError(*document.get(), reason);
        if (error != nullptr) *error = std::move(reason);
        return nullptr;
    }

    ComPtr<IXMLDOMDocumentType> doctype;
    if (FAILED(document->get_doctype(doctype.Out())) || doctype)
        return fail("holds a DOCTYPE declaration, which is not allowed");

    return std::make_unique<MsxmlDocument>(std::move(apartment), std::move(document));
}

std::unique_ptr<XmlDocument> LoadXmlDocument(DataRoot& root, std::string_view relative, XmlLoadError* error) {
    return LoadXmlDocument(root.PathOf(relative), error);
}

}  // namespace tessary
