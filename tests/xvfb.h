// Private X servers for one test: Xvfb, with xrandr run against it, or any server that says
// its display number when it is ready.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Starts a server that writes its display number and a line feed to descriptor `fd` once it
// accepts connections. Returns its pid and sets `number`; throws if it does not start.
pid_t StartDisplayServer(std::vector<std::string> argv, int fd, std::string* number);

class Xvfb {
public:
    // Starts Xvfb on a free display; `extra` goes on its command line.
    explicit Xvfb(const std::vector<std::string>& extra = {});
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    const std::string& display() const { return display_; }
    // Runs xrandr with these arguments on this server; returns its exit status.
    int Xrandr(const std::vector<std::string>& args) const;

private:
    pid_t pid_ = -1;
    std::string display_;
};
