// The scratch data directory and the cutting of inputs shared by the fuzz targets.
#include "fuzz_support.h"

#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tessary::fuzz {

namespace fs = std::filesystem;

ScratchDirectory& ScratchDirectory::Get() {
    static ScratchDirectory directory;
    return directory;
}

ScratchDirectory::ScratchDirectory() {
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "tessary-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void ScratchDirectory::Reset() {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(path_, ec)) fs::remove_all(entry.path(), ec);
}

void ScratchDirectory::Write(std::string_view relative, std::string_view bytes) {
    const fs::path path = fs::path(path_) / fs::path(relative);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::string_view> SplitPieces(std::string_view input) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const std::size_t at = input.find(kPieceSeparator);
        if (at == std::string_view::npos) break;
        pieces.push_back(input.substr(0, at));
        input.remove_prefix(at + kPieceSeparator.size());
    }
    if (!input.empty() || pieces.empty()) pieces.push_back(input);
    return pieces;
}

std::vector<std::string> TextsFrom(std::string_view input, std::size_t limit) {
    constexpr std::string_view kBreaks("\0\"',; \t\r\n<>=", 13);
    constexpr std::size_t kLongest = 48;
    std::vector<std::string> texts;
    while (!input.empty() && texts.size() < limit) {
        const std::size_t end = std::min(input.find_first_of(kBreaks), input.size());
        const std::string_view text = input.substr(0, std::min(end, kLongest));
        if (!text.empty() && std::find(texts.begin(), texts.end(), text) == texts.end()) texts.emplace_back(text);
        input.remove_prefix(std::min(end + 1, input.size()));
    }
    return texts;
}

void UseDoubleByteLocale() { (void)std::setlocale(LC_CTYPE, "zh_CN.GBK"); }

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

void RequireVerdictExplained(bool loads, const DiagnosticSink& sink) {
    std::size_t errors = 0;
    for (const Diagnostic& item : sink.Items) errors += item.Level == Diagnostic::Severity::Error ? 1 : 0;
    Require(errors == (loads ? 0u : 1u), loads ? "a file that loads reports an error"
                                               : "a file that does not load gives not exactly one error");
}

}  // namespace tessary::fuzz

// Every target runs in the double-byte locale, where the readers' multibyte paths are live.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tessary::fuzz::UseDoubleByteLocale();
    return 0;
}
