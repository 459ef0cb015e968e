// Runs a program as a child process with the standard streams a test asks for.
#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace {

void Check(int result, const char* what)
{
    if (result != 0) {
        throw std::runtime_error(what);
    }
}

long long NowMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& changes)
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        env.emplace_back(*entry);
    }
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('='));
        for (auto it = env.begin(); it != env.end();) {
            it = it->compare(0, name.size() + 1, name + "=") == 0 ? env.erase(it) : it + 1;
        }
        if (change.find('=') != std::string::npos) {
            env.push_back(change);
        }
    }
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

Process::Process(const Launch& launch)
{
    int in[2], out[2], err[2];
    Check(pipe2(in, O_CLOEXEC) | pipe2(out, O_CLOEXEC) | pipe2(err, O_CLOEXEC), "pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    switch (launch.input) {
        case Input::kEmpty: posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0); break;
        case Input::kClosed: posix_spawn_file_actions_addclose(&actions, 0); break;
        case Input::kPipe: posix_spawn_file_actions_adddup2(&actions, in[0], 0); break;
        case Input::kFile:
            posix_spawn_file_actions_addopen(&actions, 0, launch.input_file.c_str(), O_RDONLY, 0);
            break;
    }
    switch (launch.output) {
        case Output::kPipe: posix_spawn_file_actions_adddup2(&actions, out[1], 1); break;
        case Output::kDevFull: posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0); break;
        case Output::kClosed: posix_spawn_file_actions_addclose(&actions, 1); break;
        case Output::kNonBlockingPipe:
            Check(fcntl(out[1], F_SETFL, O_NONBLOCK), "fcntl");
            posix_spawn_file_actions_adddup2(&actions, out[1], 1);
            break;
        case Output::kReaderGone:
            close(out[0]);
            out[0] = -1;
            posix_spawn_file_actions_adddup2(&actions, out[1], 1);
            break;
    }
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);

    // The test ignores SIGPIPE for its own writes; the child starts with the default.
    signal(SIGPIPE, SIG_IGN);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argv = launch.argv;
    std::vector<std::string> env = ChildEnvironment(launch.env);
    const int spawned = posix_spawn(&pid_, argv[0].c_str(), &actions, &attributes, Pointers(argv).data(),
                                    Pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
    Check(spawned, "posix_spawn");
}

Process::~Process()
{
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void Process::Write(const std::string& bytes)
{
    Check(write(in_, bytes.data(), bytes.size()) == ssize_t(bytes.size()) ? 0 : -1, "write");
}

void Process::CloseInput()
{
    if (in_ >= 0) {
        close(in_);
        in_ = -1;
    }
}

std::string Process::ReadOutput(size_t bytes)
{
    const long long deadline = NowMs() + 10000;
    char buffer[4096];
    while (out_text_.size() < bytes && NowMs() < deadline) {
        pollfd ready = {out_, POLLIN, 0};
        if (poll(&ready, 1, 100) > 0) {
            const ssize_t got = read(out_, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            out_text_.append(buffer, size_t(got));
        }
    }
    return out_text_;
}

bool Process::ErrorWritten()
{
    pollfd err = {err_, POLLIN, 0};
    return poll(&err, 1, 0) > 0;
}

bool Process::Running()
{
    if (status_ >= 0) {
        return false;
    }
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    return status_ < 0;
}

Outcome Process::Finish()
{
    CloseInput();
    Outcome outcome;
    std::string* texts[] = {&out_text_, &outcome.err};
    int* fds[] = {&out_, &err_};
    const long long deadline = NowMs() + 30000;
    char buffer[65536];
    while ((out_ >= 0 || err_ >= 0) && NowMs() < deadline) {
        pollfd ready[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (poll(ready, 2, 100) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (ready[i].revents != 0) {
                const ssize_t got = read(*fds[i], buffer, sizeof buffer);
                if (got > 0) {
                    texts[i]->append(buffer, size_t(got));
                } else {
                    close(*fds[i]);
                    *fds[i] = -1;
                }
            }
        }
    }
    if (out_ >= 0 || err_ >= 0) {
        kill(pid_, SIGKILL);
    }
    while (Running()) {
        usleep(1000);
    }
    outcome.out = out_text_;
    outcome.status = status_;
    return outcome;
}

Outcome RunProgram(const Launch& launch, const std::string& input)
{
    Process process(launch);
    if (launch.input == Input::kPipe) {
        process.Write(input);
    }
    return process.Finish();
}
