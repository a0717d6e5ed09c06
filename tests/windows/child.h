// A program under test as a child process (Linux side of the Wine
// comparisons): started in a directory of its own with extra environment,
// its standard output and error read through pipes without blocking, and
// killed at the end.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace wine {

class Child {
public:
    Child() = default;
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Runs argv[0] (looked up on PATH) with `dir` as its current directory,
    // this process's environment without FLANKGUARD_TRACE, plus `env`
    // ("NAME=value" entries). False, with the reason in *error, on failure.
    bool Start(const std::vector<std::string>& argv, const std::string& dir, const std::vector<std::string>& env,
               std::string* error);

    // Reads whatever the child has written so far. Never blocks.
    void Drain();
    const std::string& Stdout() const { return out_; }
    const std::string& Stderr() const { return err_; }

    // True while the child runs; reaps it once it has ended.
    bool Alive();
    // waitpid's status, once Alive() has turned false.
    int Status() const { return status_; }

    // SIGKILL, reap, read the rest of its output.
    void Kill();

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

}  // namespace wine
