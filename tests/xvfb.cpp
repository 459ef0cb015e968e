// Private X servers for one test.
#include "xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "process.h"

pid_t StartDisplayServer(std::vector<std::string> argv, int fd, std::string* number)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    std::vector<char*> pointers;
    for (std::string& arg : argv) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ready[1], fd);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);

    number->clear();
    char c = 0;
    pollfd wait = {ready[0], POLLIN, 0};
    while (spawned == 0 && poll(&wait, 1, 20000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n') {
        *number += c;
    }
    close(ready[0]);
    if (spawned != 0 || number->empty()) {
        if (spawned == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        throw std::runtime_error(argv[0] + " did not start");
    }
    return pid;
}

Xvfb::Xvfb(const std::vector<std::string>& extra)
{
    // -noreset: without it Xvfb forgets its monitors when its last client leaves.
    std::vector<std::string> argv = {"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-noreset"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    std::string number;
    pid_ = StartDisplayServer(argv, 3, &number);
    display_ = ":" + number;
}

Xvfb::~Xvfb()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

int Xvfb::Xrandr(const std::vector<std::string>& args) const
{
    Launch launch;
    launch.argv = {"/usr/bin/xrandr"};
    launch.argv.insert(launch.argv.end(), args.begin(), args.end());
    launch.env = {"DISPLAY=" + display_};
    return RunProgram(launch).status;
}
