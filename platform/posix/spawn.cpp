#include "platform/posix/spawn.h"

#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace platform::posix {

namespace {

// Posix_spawn's attributes and file actions, destroyed together when they go out of scope.
class SpawnSetup {
public:
    explicit SpawnSetup(const SpawnOptions& options)
    {
        posix_spawnattr_init(&m_attributes);
        posix_spawn_file_actions_init(&m_actions);
        SetSignalsAndGroup(options.detach);
        SetFiles(options);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&m_actions);
        posix_spawnattr_destroy(&m_attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    const posix_spawnattr_t* Attributes() const { return &m_attributes; }
    const posix_spawn_file_actions_t* Actions() const { return &m_actions; }

private:
    // The board's own signal mask and handlers are no business of the program.
    void SetSignalsAndGroup(Detach detach)
    {
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        posix_spawnattr_setsigdefault(&m_attributes, &all);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (detach == Detach::Session) {
            flags |= POSIX_SPAWN_SETSID;
        } else {
            posix_spawnattr_setpgroup(&m_attributes, 0);
            flags |= POSIX_SPAWN_SETPGROUP;
        }
        posix_spawnattr_setflags(&m_attributes, flags);
    }

    void SetFiles(const SpawnOptions& options)
    {
        if (options.standardInput >= 0)
            posix_spawn_file_actions_adddup2(&m_actions, options.standardInput, STDIN_FILENO);
        if (options.outputToStandardError)
            posix_spawn_file_actions_adddup2(&m_actions, STDERR_FILENO, STDOUT_FILENO);
        posix_spawn_file_actions_addclosefrom_np(&m_actions, 3);
        if (!options.startFolder.empty())
            posix_spawn_file_actions_addchdir_np(&m_actions, options.startFolder.c_str());
    }

    posix_spawnattr_t m_attributes;
    posix_spawn_file_actions_t m_actions;
};

}  // namespace

bool Spawn(const std::vector<std::string>& argv, const SpawnOptions& options, pid_t& pid)
{
    if (argv.empty())
        return false;
    std::vector<char*> pointers;
    for (const std::string& argument : argv)
        pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);

    const SpawnSetup setup(options);
    const auto spawn = options.searchPath ? posix_spawnp : posix_spawn;
    return spawn(&pid, pointers.front(), setup.Actions(), setup.Attributes(), pointers.data(),
                 environ) == 0;
}

bool IsExecutableFile(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(path.c_str(), X_OK) == 0;
}

std::string FindInPath(const std::string& name)
{
    const char* variable = std::getenv("PATH");
    const std::string folders = variable ? variable : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string full = folder + "/" + name;
        if (IsExecutableFile(full))
            return full;
        start = end + 1;
    }
    return {};
}

}  // namespace platform::posix
