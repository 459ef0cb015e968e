// A private Xvfb server for one test, and xrandr run against it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

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
