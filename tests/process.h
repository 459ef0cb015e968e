// Runs a program as a child process with the standard streams a test asks for.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// kFile: the file at Launch::input_file.
enum class Input { kEmpty, kClosed, kPipe, kFile };
// kReaderGone: a pipe whose reading end is closed before the program starts; kNonBlockingPipe: a
// pipe whose writing end is non-blocking, so that a write to it fails while it is full.
enum class Output { kPipe, kDevFull, kClosed, kReaderGone, kNonBlockingPipe };

struct Launch {
    std::vector<std::string> argv;
    std::vector<std::string> env;  // "NAME=value" sets, "NAME" unsets
    Input input = Input::kEmpty;
    std::string input_file;
    Output output = Output::kPipe;
};

struct Outcome {
    std::string out;
    std::string err;
    int status = -1;  // the exit status, or 128 + the signal that ended the process
};

class Process {
public:
    explicit Process(const Launch& launch);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    void Write(const std::string& bytes);
    void CloseInput();
    // Reads standard output until it holds `bytes` bytes, or 10 s have passed.
    std::string ReadOutput(size_t bytes);
    bool Running();
    // Whether the process has written to standard error yet.
    bool ErrorWritten();
    // Closes standard input, reads both outputs to their end and waits (killing after 30 s).
    Outcome Finish();

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string out_text_;
    int status_ = -1;
};

// Runs to the end with `input` on a pipe (Input::kPipe) or as the launch says.
Outcome RunProgram(const Launch& launch, const std::string& input = "");
