// A deterministic sample market: the data behind the README's session, the benchmarks and the
// end-to-end tests. Only the writer's own random generator is used, so a seed gives the same
// bytes on every platform.
#include <algorithm>
#include <cctype>
#include <string>

#include "writer/data_writer.h"

namespace tessary::writer {
namespace {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
    template <class T, std::size_t N>
    const T& Pick(const T (&items)[N]) { return items[Below(N)]; }

private:
    std::uint64_t state_;
};

struct ExchangeStyle {
    int Id;
    const char* Code;
    const char* Name;
    const char* Prefixes[4];  // code prefixes; the rest of the code is digits
    int Digits;               // total digits of a code
    int Share;                // share of the symbols, in percent
};

constexpr ExchangeStyle kExchanges[] = {
    {1, "SH", "Shanghai Stock Exchange", {"600", "601", "603", "688"}, 6, 30},
    {2, "SZ", "Shenzhen Stock Exchange", {"000", "002", "300", "001"}, 6, 30},
    {3, "HK", "Hong Kong Exchanges", {"0", "0", "1", "2"}, 5, 15},
    {4, "TW", "Taiwan Stock Exchange", {"1", "2", "3", "6"}, 4, 10},
    {5, "SG", "Singapore Exchange", {"A", "B", "C", "D"}, 3, 5},
    {6, "US", "US Composite", {"", "", "", ""}, 0, 10},
};

constexpr const char* kFirstWords[] = {
    "Pudong", "China", "Ping An", "Sino", "Great Wall", "Golden", "Pacific", "Eastern", "Jade",
    "Pearl River", "Yangtze", "Huaxia", "Everbright", "Orient", "Harbour", "Summit", "Silver",
    "Northern", "Southern", "Dragon", "Lotus", "Phoenix", "Crown", "Unity", "Bright", "Evergreen"};
constexpr const char* kSecondWords[] = {
    "Development", "Merchants", "Industrial", "Commercial", "Mobile", "Energy", "Steel", "Motor",
    "Pharma", "Power", "Securities", "Insurance", "Property", "Shipping", "Textile", "Foods",
    "Electric", "Technology", "Chemical", "Logistics", "Media", "Resources"};
constexpr const char* kLastWords[] = {"Bank", "Holdings", "Group", "Co", "Corp", "Ltd", "Trust",
                                      "Partners", "International", "Fund"};

constexpr const char* kSectors[] = {"Financials", "Energy", "Materials", "Industrials", "Consumer",
                                    "Health Care", "Technology", "Utilities"};

std::string Initials(const std::string& name) {
    std::string out;
    bool start = true;
    for (const char c : name) {
        if (c == ' ') {
            start = true;
        } else if (start) {
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            start = false;
        }
    }
    return out;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string MakeCode(const ExchangeStyle& style, Random& random, std::size_t serial) {
    if (style.Digits == 0) {
        // Ticker letters, unique by construction from the serial number.
        std::string code;
        std::size_t n = serial + 26;
        while (n > 0) {
            code.insert(code.begin(), static_cast<char>('A' + n % 26));
            n /= 26;
        }
        return code;
    }
    std::string code = style.Prefixes[random.Below(4)];
    const std::size_t digits = static_cast<std::size_t>(style.Digits) - code.size();
    // The serial number keeps codes unique; an exchange with more symbols than its usual code
    // width can number gets longer codes rather than repeated ones.
    std::string number = std::to_string(serial);
    if (number.size() < digits) number.insert(0, digits - number.size(), '0');
    return code + number;
}

}  // namespace

DataDirectory MakeSampleDirectory(std::size_t symbols, std::uint32_t seed) {
    Random random(seed);
    DataDirectory directory;
    directory.Directory.Expires = "20301231 153000";

    // Leaf groups collect symbols by exchange and by sector.
    GroupTable& groups = directory.Groups;
    Group markets{1, {0, 0}, {}, std::nullopt};
    Group sectors{2, {0, 0}, {}, std::nullopt};
    for (std::size_t s = 0; s < std::size(kSectors); ++s) {
        char code[16];
        std::snprintf(code, sizeof code, "G%05zu", 10 * (s + 1));
        SubGroup sub{code, kSectors[s], {0, 0}, {}, std::nullopt, std::nullopt, std::nullopt};
        for (int leaf = 1; leaf <= 3; ++leaf) {
            char leafCode[16];
            std::snprintf(leafCode, sizeof leafCode, "G1%03zu%04d", 10 * (s + 1), 10 * leaf);
            sub.Leaves.push_back({leafCode, std::string(kSectors[s]) + " " + std::to_string(leaf), "", {}, {}, {}, {}});
        }
        sectors.SubGroups.push_back(std::move(sub));
    }

    for (const ExchangeStyle& style : kExchanges) {
        directory.Directory.Types.push_back(ExchangeType(style.Id, style.Code, style.Name));
        LightTable& table = directory.LightTables[std::to_string(style.Id)];
        const std::size_t count = std::max<std::size_t>(1, symbols * static_cast<std::size_t>(style.Share) / 100);
        table.HeaderValue[0] = 20301231;
        table.Records.reserve(count);

        char subCode[16];
        std::snprintf(subCode, sizeof subCode, "G%05d", 1000 + style.Id);
        SubGroup marketSub{subCode, style.Name, {0, 0}, {}, std::nullopt, std::nullopt, std::nullopt};
        LeafGroup allLeaf{std::string(subCode) + "ALL", std::string(style.Code) + " main board", "", {}, {}, {}, {}};

        for (std::size_t i = 0; i < count; ++i) {
            LightRecord record;
            record.Code = MakeCode(style, random, i + 1);
            std::string name = std::string(random.Pick(kFirstWords)) + " " + random.Pick(kSecondWords);
            if (random.Below(3) != 0) name += std::string(" ") + random.Pick(kLastWords);
            if (name.size() > 48) name.resize(48);
            record.Name = name;
            record.AuxCode = std::string(style.Code) + record.Code;
            record.Type = static_cast<std::int32_t>(random.Below(4) == 0 ? 2 : 1);
            record.AuxValue = static_cast<std::int32_t>(random.Below(1000));
            record.SearchText1 = Upper(name);
            record.SearchText2 = Initials(name);
            record.SearchText3 = Upper(std::string(style.Code) + record.Code);
            record.SearchText4 = "";
            record.SearchKey1 = Initials(name);
            record.SearchKey2 = record.Code.size() > 3 ? record.Code.substr(record.Code.size() - 3) : record.Code;

            const std::string symbol = record.Code + "." + style.Code;
            if (allLeaf.SymbolList.size() < 4000) {
                if (!allLeaf.SymbolList.empty()) allLeaf.SymbolList += ',';
                allLeaf.SymbolList += symbol;
            }
            LeafGroup& sectorLeaf = sectors.SubGroups[random.Below(std::size(kSectors))].Leaves[random.Below(3)];
            if (sectorLeaf.SymbolList.size() < 4000) {
                if (!sectorLeaf.SymbolList.empty()) sectorLeaf.SymbolList += ',';
                sectorLeaf.SymbolList += symbol;
            }
            table.Records.push_back(std::move(record));
        }
        marketSub.Leaves.push_back(std::move(allLeaf));
        markets.SubGroups.push_back(std::move(marketSub));
    }
    groups.Groups.push_back(std::move(markets));
    groups.Groups.push_back(std::move(sectors));
    return directory;
}

}  // namespace tessary::writer
