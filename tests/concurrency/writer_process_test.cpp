// Loads while the data writer, in another process, replaces the directory or one of its files:
// every load gives one whole generation, or 0 with a reason; a file the writer holds locked is
// waited for.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <map>
#include <string>

#include "support/answers.h"

extern char** environ;

namespace tessary::testing {
namespace {

// Runs `work` in a child process; its result is the child's exit code.
pid_t InChild(const std::function<int()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(work());
    return pid;
}

// True while the child runs; once it has ended, its exit code lands in *code.
bool Running(pid_t pid, int* code) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) return true;
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return false;
}

int WaitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

#ifdef TESSARY_CLI_PATH
int WriteSample(const std::string& dir, int generation) {
    const std::string symbols = generation == 1 ? "300" : "400";
    const std::string seed = std::to_string(generation);
    const char* argv[] = {TESSARY_CLI_PATH, "sample", dir.c_str(), "--symbols", symbols.c_str(), "--seed", seed.c_str(),
                          nullptr};
    posix_spawn_file_actions_t quiet;
    ::posix_spawn_file_actions_init(&quiet);
    ::posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, TESSARY_CLI_PATH, &quiet, nullptr, const_cast<char**>(argv), environ);
    ::posix_spawn_file_actions_destroy(&quiet);
    return spawned == 0 ? WaitFor(pid) : 127;
}

TEST(WriterProcess, LoadsWhileTheDirectoryIsReplacedSeeOneGeneration) {
    const TempDir dir;
    std::string fingerprint[3];
    for (int g = 1; g <= 2; ++g) {
        ASSERT_EQ(WriteSample(dir / ("gen" + std::to_string(g)), g), 0);
        ASSERT_EQ(TSYReload((dir / ("gen" + std::to_string(g))).c_str()), 1) << TSYLastError();
        fingerprint[g] = AskEverything();
    }
    ASSERT_NE(fingerprint[1], fingerprint[2]);

    const std::string live = dir / "live";
    ASSERT_EQ(WriteSample(live, 1), 0);
    const pid_t writer = InChild([&] {
        for (int i = 0; i < 30; ++i)
            if (WriteSample(live, 2 - i % 2) != 0) return 1;
        return 0;
    });
    int writerExit = -1;
    std::map<std::string, int> failures;  // reason -> count
    int mixed = 0;
    int loads = 0;
    for (; loads < 5000 && Running(writer, &writerExit); ++loads) {
        if (TSYReload(live.c_str()) == 0) {
            ++failures[TSYLastError()];
            continue;
        }
        const std::string answers = AskEverything();
        if (answers != fingerprint[1] && answers != fingerprint[2]) ++mixed;
    }
    if (writerExit < 0) writerExit = WaitFor(writer);
    EXPECT_EQ(writerExit, 0);
    EXPECT_EQ(mixed, 0);
    EXPECT_EQ(failures.count(""), 0u) << "a failed load gave no reason";
    std::cout << loads << " loads while the writer ran\n";
    for (const auto& [reason, count] : failures) std::cout << count << " loads failed: " << reason << "\n";
    ASSERT_EQ(TSYReload(live.c_str()), 1) << TSYLastError();
    EXPECT_EQ(AskEverything(), fingerprint[1]);  // the last generation written
}
#endif

TEST(WriterProcess, AFileRewrittenUnderTheWritersLockIsWaitedFor) {
    const TempDir dir;
    writer::WriteDataDirectory(dir.path(), SmallDirectory());
    writer::DataDirectory changed = SmallDirectory();
    changed.LightTables["2"].Records.push_back(writer::MakeLightRecord("000002", "Second", 1));
    const std::string versions[2] = {writer::RenderLightTable(SmallDirectory().LightTables["2"]),
                                     writer::RenderLightTable(changed.LightTables["2"])};
    const pid_t writer = InChild([&] {
        for (int i = 0; i < 400; ++i) writer::WriteFileAtomically(dir / "SymTbl/2_Light", versions[i % 2]);
        return 0;
    });
    int writerExit = -1;
    int failed = 0;
    for (int load = 0; load < 5000 && Running(writer, &writerExit); ++load)
        if (TSYReload(dir.path().c_str()) == 0) ++failed;
    if (writerExit < 0) writerExit = WaitFor(writer);
    EXPECT_EQ(writerExit, 0);
    EXPECT_EQ(failed, 0) << TSYLastError();
}

// A writer that takes the lock and keeps it: the load waits, then fails with that reason, and the
// data loaded before stays.
TEST(WriterProcess, ALockHeldTooLongFailsTheLoadWithItsReason) {
    const TempDir dir;
    writer::WriteDataDirectory(dir.path(), SmallDirectory());
    ASSERT_EQ(TSYReload(dir.path().c_str()), 1);
    const std::string before = AskEverything();

    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const std::string file = dir / "SymTbl/Group";
    const pid_t holder = InChild([&] {
        const int fd = ::open(file.c_str(), O_RDONLY);
        char byte = 'x';
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], &byte, 1) != 1) return 1;
        ::close(release[1]);
        return ::read(release[0], &byte, 1) == 0 ? 0 : 1;  // until the parent closes its end
    });
    ::close(ready[1]);
    ::close(release[0]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(TSYReload(dir.path().c_str()), 0);
    EXPECT_STREQ(TSYLastError(), "SymTbl/Group: cannot be opened: a writer holds it locked (waited 5 s)");
    ::close(release[1]);
    ::close(ready[0]);
    EXPECT_EQ(WaitFor(holder), 0);
    EXPECT_EQ(AskEverything(), before);
}

}  // namespace
}  // namespace tessary::testing
