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

// What a reader says about one file, into a sink that may be absent: the readers report
// unconditionally, and without a sink (as under the exports) every report is dropped.
class FileReport {
public:
    FileReport(DiagnosticSink* sink, std::string file) : sink_(sink), file_(std::move(file)) {}

    // Whether anyone listens; checks that exist only to warn can be skipped when not.
    [[nodiscard]] bool Active() const noexcept { return sink_ != nullptr; }
    [[nodiscard]] const std::string& File() const noexcept { return file_; }

    // Records why the file does not load and gives false, the loaders' failure result.
    bool Error(std::int64_t offset, int line, std::string message) const {
        if (sink_ != nullptr) sink_->Error(file_, offset, line, std::move(message));
        return false;
    }
    void Warning(std::int64_t offset, int line, std::string message) const {
        if (sink_ != nullptr) sink_->Warning(file_, offset, line, std::move(message));
    }

private:
    DiagnosticSink* sink_;
    std::string file_;
};

}  // namespace tessary
