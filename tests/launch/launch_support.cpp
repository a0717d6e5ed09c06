// Support for the launcher tests (Linux): Xvfb, temporary directories,
// child processes, fake_lfs reports, a UDP sink and /proc look-ups.
#include "launch_support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace launchtest {

int64_t NowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const int64_t end = NowMs() + timeoutMs;
    for (;;) {
        if (done()) return true;
        if (NowMs() >= end) return false;
        usleep(1000);
    }
}

std::string FakeLfsPath() {
    return FAKE_LFS_EXE;
}

// --- Files -------------------------------------------------------------------

TempDir::TempDir() {
    char tmpl[] = "/tmp/flankguard-launch-XXXXXX";
    const char* made = mkdtemp(tmpl);
    path_ = made ? std::filesystem::canonical(made).string() : std::string();
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempDir::Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteFile(const std::string& path, const std::string& text, mode_t mode) {
    {
        std::ofstream out(path, std::ios::trunc | std::ios::binary);
        out << text;
    }
    chmod(path.c_str(), mode);
}

bool FileExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// --- Xvfb --------------------------------------------------------------------

bool Xvfb::Start(int number, const std::string& authFile) {
    if (number >= 0) return StartOn(number, authFile);
    // Display numbers 50-89, starting at one of this process's own, so that
    // tests running side by side rarely meet; a taken number fails at once.
    const int first = static_cast<int>(getpid() % 40);
    for (int i = 0; i < 40; ++i) {
        if (StartOn(50 + (first + i) % 40, authFile)) return true;
    }
    return false;
}

bool Xvfb::StartOn(int number, const std::string& authFile) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return false;
    const std::string display = ":" + std::to_string(number);
    const std::string fd = std::to_string(ready[1]);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(ready[0]);
        close(ready[1]);
        return false;
    }
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(125);
        fcntl(ready[1], F_SETFD, 0);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<const char*> args = {"Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-nolisten", "tcp",
                                         "-noreset", "-screen", "0", "320x240x24"};
        if (!authFile.empty()) {
            args.push_back("-auth");
            args.push_back(authFile.c_str());
        }
        args.push_back(nullptr);
        execvp("Xvfb", const_cast<char* const*>(args.data()));
        _exit(127);
    }
    close(ready[1]);
    // The server writes its number once it accepts clients.
    std::string got;
    pollfd p = {ready[0], POLLIN, 0};
    const int64_t end = NowMs() + 10000;
    while (got.find('\n') == std::string::npos && NowMs() < end) {
        if (poll(&p, 1, 100) <= 0) continue;
        char buf[32];
        const ssize_t n = read(ready[0], buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    close(ready[0]);
    if (got.empty() || atoi(got.c_str()) != number) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return false;
    }
    pid_ = pid;
    number_ = number;
    return true;
}

void Xvfb::Stop(bool hard) {
    if (pid_ < 0) return;
    kill(pid_, hard ? SIGKILL : SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

// --- Child -------------------------------------------------------------------

bool Child::Start(const std::vector<std::string>& argv, const std::string& dir,
                  const std::map<std::string, std::string>& setEnv, const std::vector<std::string>& unsetEnv) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return false;
    }
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (setEnv.count(name)) continue;
        if (std::find(unsetEnv.begin(), unsetEnv.end(), name) != unsetEnv.end()) continue;
        if (name == "FLANKGUARD_TRACE") continue;
        envText.push_back(entry);
    }
    for (const auto& [name, value] : setEnv) envText.push_back(name + "=" + value);
    std::vector<char*> env;
    for (std::string& s : envText) env.push_back(s.data());
    env.push_back(nullptr);
    std::vector<std::string> argText = argv;
    std::vector<char*> args;
    for (std::string& s : argText) args.push_back(s.data());
    args.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
        return false;
    }
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(125);
        if (chdir(dir.c_str()) != 0) _exit(126);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    fcntl(err[0], F_SETFL, O_NONBLOCK);
    pid_ = pid;
    reaped_ = false;
    outFd_ = out[0];
    errFd_ = err[0];
    out_.clear();
    err_.clear();
    return true;
}

void Child::Drain() {
    for (auto [fd, into] : {std::pair{outFd_, &out_}, std::pair{errFd_, &err_}}) {
        if (fd < 0) continue;
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0) into->append(buf, static_cast<size_t>(n));
    }
}

bool Child::Alive() {
    if (reaped_) return false;
    const pid_t r = waitpid(pid_, &status_, WNOHANG);
    if (r == 0) return true;
    reaped_ = true;
    Drain();
    return false;
}

void Child::Kill() {
    if (!reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        reaped_ = true;
    }
    Drain();
    for (int* fd : {&outFd_, &errFd_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

// --- Reports -----------------------------------------------------------------

long Report::Number(const std::string& key) const {
    auto it = facts.find(key);
    return it == facts.end() ? -1 : atol(it->second.c_str());
}

std::string Report::Fact(const std::string& key) const {
    auto it = facts.find(key);
    return it == facts.end() ? "" : it->second;
}

bool ReadReport(const std::string& path, Report* report) {
    std::ifstream in(path);
    if (!in) return false;
    Report r;
    std::string line;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "arg") {
            r.args.push_back(value);
        } else if (key == "fd") {
            const size_t s = value.find(' ');
            r.fds[atoi(value.c_str())] = s == std::string::npos ? "" : value.substr(s + 1);
        } else {
            r.facts[key] = value;
        }
    }
    *report = r;
    return true;
}

bool WaitForReport(const std::string& path, Report* report, int timeoutMs) {
    return WaitFor([&] { return ReadReport(path, report); }, timeoutMs);
}

bool ShowWindow(Child* child, const TempDir& dir, const std::string& display,
                const std::map<std::string, std::string>& env, Report* report) {
    std::map<std::string, std::string> all = env;
    all["DISPLAY"] = display;
    if (!all.count("FAKE_LFS_REPORT")) all["FAKE_LFS_REPORT"] = dir.File("window.txt");
    const std::string path = all["FAKE_LFS_REPORT"];
    unlink(path.c_str());
    if (!child->Start({FakeLfsPath()}, dir.Path(), all)) return false;
    Report r;
    if (!WaitForReport(path, &r)) return false;
    if (report) *report = r;
    if (r.Number("window") > 0) return true;
    fprintf(stderr, "fake_lfs on %s showed no window: %s\n", display.c_str(), r.Fact("window").c_str());
    return false;
}

bool SignalFake(pid_t pid, int sig, const std::string& reportPath, int ack) {
    const std::string ackPath = reportPath + ".ack";
    if (kill(pid, sig) != 0) return false;
    return WaitFor(
        [&] {
            std::ifstream in(ackPath);
            int n = 0;
            return in >> n && n >= ack;
        },
        3000);
}

// --- UDP ---------------------------------------------------------------------

uint16_t FreeUdpPort() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

UdpSink::UdpSink() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
}

UdpSink::~UdpSink() {
    if (fd_ >= 0) close(fd_);
}

void UdpSink::Drain() {
    uint8_t buf[2048];
    ssize_t n;
    while ((n = recv(fd_, buf, sizeof buf, 0)) >= 0) received_.emplace_back(buf, buf + n);
}

std::vector<uint8_t> Small(const char* id, int32_t value) {
    std::vector<uint8_t> p(8, 0);
    memcpy(p.data(), id, 3);
    const uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) p[4 + i] = static_cast<uint8_t>(v >> (8 * i));
    return p;
}

std::string IdOf(const std::vector<uint8_t>& datagram) {
    if (datagram.size() < 3) return "";
    return std::string(reinterpret_cast<const char*>(datagram.data()), 3);
}

// --- /proc -------------------------------------------------------------------

std::vector<pid_t> ChildrenOf(pid_t pid) {
    std::vector<pid_t> children;
    DIR* d = opendir("/proc");
    if (!d) return children;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
        std::string stat;
        if (!std::getline(in, stat)) continue;
        // "pid (comm) state ppid ...": comm may hold blanks and parentheses.
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        long ppid = 0;
        rest >> state >> ppid;
        if (ppid == pid) children.push_back(static_cast<pid_t>(atol(e->d_name)));
    }
    closedir(d);
    return children;
}

}  // namespace launchtest
