// Queries on several threads while another thread reloads between two directories: every answer
// must come wholly from one of the two. Run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/answers.h"

namespace tessary::testing {
namespace {

// SmallDirectory with `tag` appended to every exchange, subgroup and symbol name, so that every
// answer tells which of two generations it came from; the second also has one symbol more.
writer::DataDirectory Generation(const std::string& tag, bool extraSymbol) {
    writer::DataDirectory d = SmallDirectory();
    for (auto& type : d.Directory.Types)
        for (auto& attribute : type)
            if (attribute.Name == "Name") attribute.Value += tag;
    for (auto& [key, table] : d.LightTables)
        for (auto& record : table.Records) record.Name += tag;
    for (auto& group : d.Groups.Groups)
        for (auto& sub : group.SubGroups) sub.Name += tag;
    if (extraSymbol) d.LightTables["1"].Records.push_back(writer::MakeLightRecord("600001", "Extra" + tag, 1));
    return d;
}

TEST(ConcurrentReload, EveryAnswerComesWhollyFromOneGeneration) {
    const TempDir dir;
    const std::string paths[2] = {dir / "a", dir / "b"};
    writer::WriteDataDirectory(paths[0], Generation(" A", false));
    writer::WriteDataDirectory(paths[1], Generation(" B", true));

    // What each generation answers, asked with nothing else running.
    std::vector<std::string> expected[2];
    for (int g = 0; g < 2; ++g) {
        ASSERT_EQ(TSYReload(paths[g].c_str()), 1) << TSYLastError();
        for (int q = 0; q < kQueryCount; ++q) expected[g].push_back(Ask(q));
    }
    for (int q = 0; q < kQueryCount; ++q) ASSERT_NE(expected[0][q], expected[1][q]) << "query " << q;

    constexpr int kReloads = 60;
    constexpr int kQueryThreads = 3;
    std::atomic<bool> reloading{true};
    std::atomic<int> failedReloads{0};
    std::mutex mismatchMutex;
    std::vector<std::string> mismatches;
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < kReloads; ++i)
            if (TSYReload(paths[i % 2].c_str()) != 1) ++failedReloads;
        reloading = false;
    });
    for (int t = 0; t < kQueryThreads; ++t) {
        threads.emplace_back([&, t] {
            // Bounded by count as well, should the reloads end before this thread starts.
            for (int round = 0; round < 2000 && (reloading || round < 20); ++round) {
                const int q = (round + t) % kQueryCount;
                const std::string answer = Ask(q);
                if (answer == expected[0][q] || answer == expected[1][q]) continue;
                const std::lock_guard<std::mutex> lock(mismatchMutex);
                mismatches.push_back("query " + std::to_string(q) + " gave an answer of neither generation");
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(failedReloads, 0);
    EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " mismatches, the first: " << mismatches.front();
    // The reloads ended on the second generation.
    for (int q = 0; q < kQueryCount; ++q) EXPECT_EQ(Ask(q), expected[(kReloads - 1) % 2][q]);
}

}  // namespace
}  // namespace tessary::testing
