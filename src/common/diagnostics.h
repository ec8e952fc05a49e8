// An optional sink through which the readers explain why a file does not load, or what loads
// but looks wrong. The exports never install one; `tessary check` does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessary {

struct Diagnostic {
    enum class Severity { Error, Warning };
    Severity Level = Severity::Error;
    std::string File;          // relative to the data directory, with '/' separators
    std::int64_t Offset = -1;  // byte offset in a binary file, or -1
    int Line = 0;              // line in an XML file, or 0
    std::string Message;
};

class DiagnosticSink {
public:
    void Error(std::string file, std::int64_t offset, int line, std::string message) {
        Items.push_back({Diagnostic::Severity::Error, std::move(file), offset, line, std::move(message)});
    }
    void Warning(std::string file, std::int64_t offset, int line, std::string message) {
        Items.push_back({Diagnostic::Severity::Warning, std::move(file), offset, line, std::move(message)});
    }
    std::vector<Diagnostic> Items;
};

}  // namespace tessary
