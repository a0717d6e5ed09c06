// Flankguard started by the stand-in simulator as a child process, with its
// standard output and error read through pipes without blocking, so the
// simulator can show its console and read its cue trace.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace sim {

class Child {
public:
    Child() = default;
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Starts `exe` in directory `dir` with the environment plus `extraEnv`
    // ("NAME=value"). False, with the reason in *error, on failure.
    bool Start(const std::string& exe, const std::string& dir, const std::vector<std::string>& extraEnv,
               std::string* error);
    // Appends what the child has written since the last call. Never blocks.
    void Read(std::string* out, std::string* err);
    // True while it runs; reaps it once it has ended.
    bool Alive();
    // SIGTERM, then SIGKILL after a moment; reaps it.
    void Stop();

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int outFd_ = -1;
    int errFd_ = -1;
};

// In the child, between fork and exec: end the child with its parent where
// the system allows it.
void TieChildToParent(pid_t parent);

}  // namespace sim
