// Child processes through fork/exec with non-blocking pipes.
#include "child.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace wine {

namespace {

void ReadAll(int fd, std::string& into) {
    if (fd < 0) return;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, static_cast<size_t>(n));
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
    Kill();
    CloseFd(outFd_);
    CloseFd(errFd_);
}

bool Child::Start(const std::vector<std::string>& argv, const std::string& dir, const std::vector<std::string>& env,
                  std::string* error) {
    // A Child runs one program at a time; a new start forgets the last one.
    Kill();
    CloseFd(outFd_);
    CloseFd(errFd_);
    out_.clear();
    err_.clear();
    pid_ = -1;
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
        if (strncmp(*e, "FLANKGUARD_TRACE=", 17) != 0) envText.push_back(*e);
    }
    for (const std::string& e : env) envText.push_back(e);
    std::vector<char*> envp;
    for (std::string& s : envText) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& s : args) argp.push_back(s.data());
    argp.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        *error = std::string("fork: ") + strerror(errno);
        for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
        return false;
    }
    if (pid == 0) {
        // A crashed or timed-out test leaves no child behind holding ports.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(125);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) dup2(devNull, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (chdir(dir.c_str()) != 0) _exit(126);
        for (int fd = 3; fd < 1024; ++fd) close(fd);
        environ = envp.data();
        execvp(argp[0], argp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
    fcntl(outFd_, F_SETFL, fcntl(outFd_, F_GETFL, 0) | O_NONBLOCK);
    fcntl(errFd_, F_SETFL, fcntl(errFd_, F_GETFL, 0) | O_NONBLOCK);
    pid_ = pid;
    reaped_ = false;
    return true;
}

void Child::Drain() {
    ReadAll(outFd_, out_);
    ReadAll(errFd_, err_);
}

bool Child::Alive() {
    if (pid_ < 0 || reaped_) return false;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    if (r == pid_) status_ = status;
    reaped_ = true;
    Drain();
    return false;
}

void Child::Kill() {
    if (pid_ < 0 || reaped_) return;
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = status;
    reaped_ = true;
    Drain();
}

unsigned short FreeUdpPort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return 0;
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t len = sizeof a;
    unsigned short port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    close(fd);
    return port;
}

}  // namespace wine
