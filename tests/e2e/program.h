// The real flankguard program as a child process: started in a directory of
// its own with its standard output and error captured through pipes that are
// read without blocking, and killed at the end.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

class Program {
public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts `exe` with `dir` as its current directory and no arguments.
    // False, with the reason in *error, when it could not be started.
    bool Start(const std::string& exe, const std::string& dir, std::string* error);
    // The same for a whole command line; argv[0] is looked up on PATH when
    // it has no slash. A running program is killed first.
    bool Start(const std::vector<std::string>& argv, const std::string& dir, std::string* error);

    // Reads whatever the program has written so far. Never blocks.
    void Drain();
    const std::string& Stdout() const { return out_; }
    const std::string& Stderr() const { return err_; }

    // True while the process has not ended. Reaps it once it has.
    bool Alive();
    // How it ended, as waitpid's status; meaningful once Alive() is false.
    int ExitStatus() const { return status_; }

    // SIGKILL and reap; nothing when it is not running.
    void Kill();

    // "NAME=value" entries added to the program's environment at Start.
    std::vector<std::string> extraEnv;

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
};

// A UDP port that was free on 0.0.0.0 a moment ago.
unsigned short FreeUdpPort();

// Ends the child when the test process that started it dies first. Called in
// the child between fork and exec; what it can do depends on the system.
void TieToParent(pid_t parent);

}  // namespace e2e
