// Support for the launcher tests: a private Xvfb, temporary directories,
// child processes with captured output, the report that fake_lfs writes, and
// a UDP socket standing where the simulator would listen.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace launchtest {

// Milliseconds of a monotonic clock.
int64_t NowMs();

// Polls `done` every millisecond until it holds or `timeoutMs` has passed.
bool WaitFor(const std::function<bool()>& done, int timeoutMs);

// The path of the fake_lfs helper.
std::string FakeLfsPath();

// A fresh directory under /tmp, canonical, removed with all it holds.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // The names of the entries in the directory, sorted.
    std::vector<std::string> Entries() const;

private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& text, mode_t mode = 0644);
bool FileExists(const std::string& path);

// Xvfb on a display number of this test's own, ended with the test process.
class Xvfb {
public:
    Xvfb() = default;
    ~Xvfb() { Stop(); }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    // number -1: the first free number from one picked for this process.
    // With an authFile, only clients holding one of its cookies get in.
    bool Start(int number = -1, const std::string& authFile = "");
    // SIGTERM (or SIGKILL when hard) and reap.
    void Stop(bool hard = false);
    int Number() const { return number_; }
    std::string Display() const { return ":" + std::to_string(number_); }

private:
    bool StartOn(int number, const std::string& authFile);
    pid_t pid_ = -1;
    int number_ = -1;
};

// A child process with its standard output and error read through pipes.
class Child {
public:
    Child() = default;
    ~Child() { Kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    // Starts argv[0] (a path) in `dir` with this process's environment
    // changed by `setEnv` and `unsetEnv`.
    bool Start(const std::vector<std::string>& argv, const std::string& dir,
               const std::map<std::string, std::string>& setEnv = {},
               const std::vector<std::string>& unsetEnv = {});
    void Drain();
    const std::string& Out() { Drain(); return out_; }
    const std::string& Err() { Drain(); return err_; }
    // True while the process has not ended; reaps it once it has.
    bool Alive();
    int ExitStatus() const { return status_; }
    pid_t Pid() const { return pid_; }
    void Kill();

private:
    pid_t pid_ = -1;
    bool reaped_ = true;
    int status_ = 0;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
};

// What fake_lfs wrote about itself.
struct Report {
    std::map<std::string, std::string> facts;   // pid, sid, pgid, cwd, sigblk, sigign, mark, window
    std::map<int, std::string> fds;             // open descriptor -> what it refers to
    std::vector<std::string> args;              // argv, argv[0] first
    long Number(const std::string& key) const;
    std::string Fact(const std::string& key) const;
};

bool ReadReport(const std::string& path, Report* report);
bool WaitForReport(const std::string& path, Report* report, int timeoutMs = 3000);

// Starts fake_lfs as a window on `display` and waits until its window is up.
// `env` adds FAKE_LFS_* settings. False when no window came.
bool ShowWindow(Child* child, const TempDir& dir, const std::string& display,
                const std::map<std::string, std::string>& env = {}, Report* report = nullptr);
// Sends `sig` to the fake_lfs whose report is `reportPath` and waits for its
// acknowledgement number `ack`.
bool SignalFake(pid_t pid, int sig, const std::string& reportPath, int ack);

// A UDP port that was free on 0.0.0.0 a moment ago.
uint16_t FreeUdpPort();

// A UDP socket bound on 127.0.0.1 that collects datagrams.
class UdpSink {
public:
    UdpSink();
    ~UdpSink();
    UdpSink(const UdpSink&) = delete;
    UdpSink& operator=(const UdpSink&) = delete;
    uint16_t Port() const { return port_; }
    // Takes every waiting datagram into Received().
    void Drain();
    const std::vector<std::vector<uint8_t>>& Received() { Drain(); return received_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
    std::vector<std::vector<uint8_t>> received_;
};

// An 8-byte small packet with its identifier and value.
std::vector<uint8_t> Small(const char* id, int32_t value);
// The three-letter identifier of a datagram.
std::string IdOf(const std::vector<uint8_t>& datagram);

// The pids of the processes whose parent is `pid`, zombies included.
std::vector<pid_t> ChildrenOf(pid_t pid);

}  // namespace launchtest
