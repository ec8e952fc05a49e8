// The symbol map's arena and code table, and the symbol texts made from its entries.
#include "symbols/symbol_table.h"

#include <algorithm>
#include <cstring>

#include "common/memory_advice.h"
#include "common/text.h"
#include "common/text_hash.h"

namespace tessary {
namespace {

// The arena's blocks: 256 KiB for a small table, so that the unused end of its last block does
// not matter, and up to 8 MiB for a large one (60-80 bytes of text a symbol), which then takes a
// few dozen blocks rather than hundreds. A block is at most half the text a table's reserved
// room expects.
constexpr std::size_t kBlockSize = 256 * 1024;
constexpr std::size_t kLargeBlockSize = 8 * 1024 * 1024;
constexpr std::size_t kTextBytesPerSymbol = 64;

}  // namespace

SymbolText::SymbolText(std::string_view code, std::string_view exchangeCode) noexcept {
    // The parts never exceed their widths; the cut only guards a caller that breaks that.
    const std::size_t codeSize = code.size() < 17 ? code.size() : 17;
    const std::size_t exchangeSize = exchangeCode.size() < 3 ? exchangeCode.size() : 3;
    if (codeSize != 0) std::memcpy(bytes_, code.data(), codeSize);
    bytes_[codeSize] = '.';
    if (exchangeSize != 0) std::memcpy(bytes_ + codeSize + 1, exchangeCode.data(), exchangeSize);
    size_ = static_cast<std::uint8_t>(codeSize + 1 + exchangeSize);
}

SymbolMap& SymbolMap::operator=(SymbolMap&& other) noexcept {
    if (this == &other) return *this;
    entries_ = std::move(other.entries_);
    slots_ = std::move(other.slots_);
    blocks_ = std::move(other.blocks_);
    free_ = std::exchange(other.free_, nullptr);
    freeLeft_ = std::exchange(other.freeLeft_, 0);
    blockSize_ = std::exchange(other.blockSize_, kBlockSize);
    std::memcpy(exchangeCode_, other.exchangeCode_, sizeof exchangeCode_);
    exchangeCodeSize_ = other.exchangeCodeSize_;
    other.clear();
    return *this;
}

void SymbolMap::SetExchangeCode(std::string_view exchangeCode) noexcept {
    exchangeCodeSize_ = static_cast<std::uint8_t>(exchangeCode.size() < 3 ? exchangeCode.size() : 3);
    if (exchangeCodeSize_ != 0) std::memcpy(exchangeCode_, exchangeCode.data(), exchangeCodeSize_);
}

void SymbolMap::Reserve(std::size_t symbols) {
    blockSize_ = std::clamp(symbols * kTextBytesPerSymbol / 2, kBlockSize, kLargeBlockSize);
    if (symbols > entries_.capacity()) {
        entries_.reserve(symbols);
        AdviseLargePages(entries_.data(), entries_.capacity() * sizeof(SymbolEntry));
    }
    std::size_t slotCount = 16;
    while (slotCount < 2 * symbols) slotCount *= 2;
    if (slotCount > slots_.size()) Rehash(slotCount);
}

char* SymbolMap::Allocate(std::size_t size) {
    // A block even for nothing: an entry's text is never a null pointer, which the C library's
    // copies and comparisons may not be given even for zero bytes.
    if (size > freeLeft_ || free_ == nullptr) {
        const std::size_t blockSize = size > blockSize_ ? size : blockSize_;
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
        free_ = blocks_.back().get();
        freeLeft_ = blockSize;
        if (blockSize >= kLargeBlockSize) PrepareForWriting(free_, blockSize);
    }
    char* const at = free_;
    free_ += size;
    freeLeft_ -= size;
    return at;
}

std::size_t SymbolMap::SlotOf(std::string_view code, std::uint64_t hash) const noexcept {
    const std::size_t mask = slots_.size() - 1;
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
        const Slot& held = slots_[slot];
        if (held.Entry == 0 || (held.Tag == tag && entries_[held.Entry - 1].TrimmedCode() == code)) return slot;
    }
}

void SymbolMap::Rehash(std::size_t slotCount) {
    // The slots are read at random: large pages spare most address-translation misses.
    std::vector<Slot> fresh;
    fresh.reserve(slotCount);
    AdviseLargePages(fresh.data(), slotCount * sizeof(Slot));
    fresh.resize(slotCount);
    slots_ = std::move(fresh);
    const std::size_t mask = slotCount - 1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::uint64_t hash = HashText(entries_[i].TrimmedCode());
        std::size_t slot = static_cast<std::size_t>(hash) & mask;
        while (slots_[slot].Entry != 0) slot = (slot + 1) & mask;
        slots_[slot] = {static_cast<std::uint32_t>(i + 1), static_cast<std::uint32_t>(hash >> 32)};
    }
}

SymbolEntry& SymbolMap::Store(const std::array<std::string_view, kSymbolFieldCount>& fields, bool& created) {
    // The fields go to the arena back to back. A repeated code leaves its earlier bytes unused
    // there: repeats are rare, and the entry keeps its place in the visiting order. Everything
    // that can fail comes before the entry is made, so a failure leaves the map as it was.
    std::size_t total = 0;
    for (const std::string_view field : fields) total += field.size();
    char* const bytes = Allocate(total);
    if (2 * (entries_.size() + 1) > slots_.size()) Rehash(slots_.empty() ? 16 : 2 * slots_.size());
    const std::string_view code = text::Trim(fields[0]);
    const std::uint64_t hash = HashText(code);
    Slot& slot = slots_[SlotOf(code, hash)];
    created = slot.Entry == 0;
    if (created) {
        entries_.emplace_back();
        slot = {static_cast<std::uint32_t>(entries_.size()), static_cast<std::uint32_t>(hash >> 32)};
    }
    SymbolEntry& entry = entries_[slot.Entry - 1];

    std::size_t end = 0;
    for (std::size_t i = 0; i < kSymbolFieldCount; ++i) {
        if (!fields[i].empty()) std::memcpy(bytes + end, fields[i].data(), fields[i].size());
        end += fields[i].size();
        entry.fieldEnd_[i] = static_cast<std::uint16_t>(end);
    }
    entry.bytes_ = bytes;
    entry.codeBegin_ = static_cast<std::uint8_t>(code.data() - fields[0].data());
    entry.codeSize_ = static_cast<std::uint8_t>(code.size());
    std::memcpy(entry.exchangeCode_, exchangeCode_, sizeof exchangeCode_);
    entry.exchangeCodeSize_ = exchangeCodeSize_;
    return entry;
}

void SymbolMap::clear() noexcept {
    entries_.clear();
    slots_.clear();
    blocks_.clear();
    free_ = nullptr;
    freeLeft_ = 0;
    blockSize_ = kBlockSize;
}

void SymbolMap::Prefetch(std::string_view code) const noexcept {
    if (!slots_.empty())
        __builtin_prefetch(&slots_[static_cast<std::size_t>(HashText(code)) & (slots_.size() - 1)]);
}

const SymbolEntry* SymbolMap::Find(std::string_view code) const noexcept {
    if (slots_.empty()) return nullptr;
    const std::uint32_t held = slots_[SlotOf(code, HashText(code))].Entry;
    return held == 0 ? nullptr : &entries_[held - 1];
}

}  // namespace tessary
