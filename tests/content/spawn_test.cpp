// Starting a program: it gets the process group or session asked for, the standard input
// and start folder given, and none of our other descriptors.
#include "platform/posix/spawn.h"
#include "tests/foundation/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct TSpawnCase {
    const char* name;
    platform::posix::Detach detach;
    bool ownSession;
};

class SpawnDetach : public testing::TestWithParam<TSpawnCase> { };

}  // namespace

TEST_P(SpawnDetach, TheProgramGetsItsGroupInputAndFolderAndNoOtherDescriptor)
{
    TempFolder folder;
    folder.Write("input", "hello\n");
    const int input = ::open((folder.Root / "input").c_str(), O_RDONLY);
    const int stray = ::open("/dev/null", O_RDONLY);  // not close-on-exec
    ASSERT_GE(input, 0);
    ASSERT_GE(stray, 0);

    // Prints: the line read, its pid, process group and session, its folder, and whether
    // the stray descriptor reached it.
    const std::string script = "read line; set -- $(cut -d' ' -f1,5,6 /proc/$$/stat); "
                               "echo \"$line $1 $2 $3 $(pwd) \"; "
                               "[ -e /proc/$$/fd/" +
        std::to_string(stray) + " ] && echo kept || echo closed";
    platform::posix::SpawnOptions options;
    options.detach = GetParam().detach;
    options.standardInput = input;
    options.startFolder = folder.Root.string();
    options.searchPath = true;
    const int output = ::open((folder.Root / "output").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(output, 0);
    // The program's standard output is the file, through a descriptor it inherits as 1.
    const int savedOut = ::dup(STDOUT_FILENO);
    ::dup2(output, STDOUT_FILENO);
    pid_t pid = 0;
    const bool started = platform::posix::Spawn({ "sh", "-c", script }, options, pid);
    ::dup2(savedOut, STDOUT_FILENO);
    for (const int fd : { savedOut, output, stray, input })
        ::close(fd);
    ASSERT_TRUE(started);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));

    std::istringstream said(folder.Read("output"));
    std::string line, where, strayFate;
    pid_t self = 0, group = 0, session = 0;
    said >> line >> self >> group >> session >> where >> strayFate;
    EXPECT_EQ(line, "hello");
    EXPECT_EQ(self, pid);
    EXPECT_EQ(group, pid) << "a group of its own either way";
    EXPECT_EQ(session == pid, GetParam().ownSession);
    EXPECT_EQ(where, folder.Root.string());
    EXPECT_EQ(strayFate, "closed");
}

INSTANTIATE_TEST_SUITE_P(
    Ways, SpawnDetach,
    testing::Values(TSpawnCase{ "ProcessGroup", platform::posix::Detach::ProcessGroup, false },
                    TSpawnCase{ "Session", platform::posix::Detach::Session, true }),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST(Spawn, NothingStartsWithoutAProgramAndPathIsSearchedOnlyWhenAsked)
{
    pid_t pid = 0;
    EXPECT_FALSE(platform::posix::Spawn({}, {}, pid));
    EXPECT_FALSE(platform::posix::Spawn({ "sh", "-c", "true" }, {}, pid))
        << "a bare name is not looked up unless asked";
    EXPECT_FALSE(platform::posix::FindInPath("sh").empty());
    EXPECT_TRUE(platform::posix::FindInPath("no-such-program-here").empty());
}
