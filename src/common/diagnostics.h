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
    // Set by a listener that wants only the reason a file does not load: the checks that exist
    // only to warn are skipped.
    bool ErrorsOnly = false;
};

// "SymTbl/3_Light offset 0: magic is 206, expected 207": where, then what.
[[nodiscard]] inline std::string Describe(const Diagnostic& d) {
    std::string text = d.File;
    if (d.Line > 0)
        text += " line " + std::to_string(d.Line);
    else if (d.Offset >= 0)
        text += " offset " + std::to_string(d.Offset);
    return text.empty() ? d.Message : text + ": " + d.Message;
}

// What a reader says about one file, into a sink that may be absent: the readers report
// unconditionally, and without a sink (as under the exports) every report is dropped.
class FileReport {
public:
    FileReport(DiagnosticSink* sink, std::string file) : sink_(sink), file_(std::move(file)) {}

    // Whether anyone listens for warnings; checks that exist only to warn can be skipped when not.
    [[nodiscard]] bool Active() const noexcept { return sink_ != nullptr && !sink_->ErrorsOnly; }
    [[nodiscard]] const std::string& File() const noexcept { return file_; }

    // Records why the file does not load and gives false, the loaders' failure result.
    bool Error(std::int64_t offset, int line, std::string message) const {
        if (sink_ != nullptr) sink_->Error(file_, offset, line, std::move(message));
        return false;
    }
    void Warning(std::int64_t offset, int line, std::string message) const {
        if (Active()) sink_->Warning(file_, offset, line, std::move(message));
    }

private:
    DiagnosticSink* sink_;
    std::string file_;
};

}  // namespace tessary
