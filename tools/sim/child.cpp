// Starting, reading and stopping the child program (fork/exec, pipes).
#include "sim/child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace sim {

namespace {

void Drain(int fd, std::string* into) {
    if (fd < 0) return;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            if (into) into->append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
}

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

}  // namespace

Child::~Child() {
    Stop();
    CloseFd(outFd_);
    CloseFd(errFd_);
}

bool Child::Start(const std::string& exe, const std::string& dir, const std::vector<std::string>& extraEnv,
                  std::string* error) {
    int out[2], err[2];
    if (pipe(out) != 0) {
        *error = std::string("pipe: ") + strerror(errno);
        return false;
    }
    if (pipe(err) != 0) {
        *error = std::string("pipe: ") + strerror(errno);
        close(out[0]);
        close(out[1]);
        return false;
    }
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const std::string& extra : extraEnv) {
            const size_t eq = extra.find('=');
            if (eq != std::string::npos && strncmp(*e, extra.c_str(), eq + 1) == 0) replaced = true;
        }
        if (!replaced) envText.push_back(*e);
    }
    for (const std::string& extra : extraEnv) envText.push_back(extra);
    std::vector<char*> env;
    for (std::string& s : envText) env.push_back(s.data());
    env.push_back(nullptr);
    std::string exeCopy = exe;
    char* argv[] = {exeCopy.data(), nullptr};

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        *error = std::string("fork: ") + strerror(errno);
        for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
        return false;
    }
    if (pid == 0) {
        TieChildToParent(parent);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) dup2(devNull, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
        for (int fd = 3; fd < 1024; ++fd) close(fd);
        execve(argv[0], argv, env.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
    fcntl(outFd_, F_SETFL, fcntl(outFd_, F_GETFL, 0) | O_NONBLOCK);
    fcntl(errFd_, F_SETFL, fcntl(errFd_, F_GETFL, 0) | O_NONBLOCK);
    fcntl(outFd_, F_SETFD, FD_CLOEXEC);
    fcntl(errFd_, F_SETFD, FD_CLOEXEC);
    pid_ = pid;
    reaped_ = false;
    return true;
}

void Child::Read(std::string* out, std::string* err) {
    Drain(outFd_, out);
    Drain(errFd_, err);
}

bool Child::Alive() {
    if (pid_ < 0 || reaped_) return false;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    reaped_ = true;
    return false;
}

void Child::Stop() {
    if (pid_ < 0 || reaped_) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (!Alive()) return;
        const timespec pause = {0, 10 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
}

}  // namespace sim
