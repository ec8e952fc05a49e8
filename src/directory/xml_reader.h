// The XML reader behind the exchange directory: load a document, select elements with XPath,
// read their attributes in the process's character set. One implementation per platform.
//
// Loading fails for a missing, unreadable or malformed file, and for any document that holds a
// DOCTYPE declaration: DTDs are never processed, so no entity is expanded and nothing is
// fetched from anywhere.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/data_file.h"

namespace tessary {

class XmlElement {
public:
    virtual ~XmlElement() = default;
    // When the element has the attribute, stores its value, converted to the process's
    // character set (a character with no equivalent becomes '?'), and returns true.
    [[nodiscard]] virtual bool Attribute(const char* name, std::string& value) const = 0;
    // The element's line in the file, or 0 when unknown.
    [[nodiscard]] virtual int Line() const = 0;
};

class XmlDocument {
public:
    virtual ~XmlDocument() = default;
    // The first element in document order that the XPath expression selects, or null.
    [[nodiscard]] virtual std::unique_ptr<XmlElement> SelectSingleNode(const char* xpath) = 0;
    // Every element the expression selects, each once, in document order; false on error.
    [[nodiscard]] virtual bool SelectNodes(const char* xpath,
                                           std::vector<std::unique_ptr<XmlElement>>& nodes) = 0;
};

struct XmlLoadError {
    std::string Message;
    int Line = 0;
};

// Loads the document at `path`; null on failure, with the reason in *error when given.
[[nodiscard]] std::unique_ptr<XmlDocument> LoadXmlDocument(const std::string& path,
                                                           XmlLoadError* error = nullptr);
// Loads the document `relative` (with '/' separators) of the data directory `root`.
[[nodiscard]] std::unique_ptr<XmlDocument> LoadXmlDocument(DataRoot& root, std::string_view relative,
                                                           XmlLoadError* error = nullptr);

}  // namespace tessary
