// Starting, reading and ending the program under test (fork/exec, pipes).
#include "program.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace e2e {

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
        break;  // EAGAIN: nothing more for now; 0: the writer is gone
    }
}

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

}  // namespace

Program::~Program() {
    Kill();
    CloseFd(outFd_);
    CloseFd(errFd_);
}

bool Program::Start(const std::string& exe, const std::string& dir, std::string* error) {
    return Start(std::vector<std::string>{exe}, dir, error);
}

bool Program::Start(const std::vector<std::string>& argv, const std::string& dir, std::string* error) {
    // One program at a time: a new start forgets the last one.
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
    // The environment without the cue trace switch, so stderr stays the
    // program's own, unless the test asks for it in `extraEnv`.
    // An entry of `extraEnv` replaces the inherited one of the same name.
    std::vector<std::string> envText;
    auto overridden = [&](const char* entry) {
        if (strncmp(entry, "FLANKGUARD_TRACE=", 17) == 0) return true;
        for (const std::string& extra : extraEnv) {
            const size_t name = extra.find('=') + 1;
            if (strncmp(entry, extra.c_str(), name) == 0) return true;
        }
        return false;
    };
    for (char** e = environ; *e; ++e) {
        if (!overridden(*e)) envText.push_back(*e);
    }
    for (const std::string& extra : extraEnv) envText.push_back(extra);
    std::vector<char*> env;
    for (std::string& s : envText) env.push_back(s.data());
    env.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        *error = std::string("fork: ") + strerror(errno);
        for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
        return false;
    }
    if (pid == 0) {
        TieToParent(parent);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) dup2(devNull, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (chdir(dir.c_str()) != 0) _exit(126);
        // Every other descriptor of the test process stays behind.
        for (int fd = 3; fd < 1024; ++fd) close(fd);
        // execvp looks a bare name up on PATH, in the child's environment.
        environ = env.data();
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

void Program::Drain() {
    ReadAll(outFd_, out_);
    ReadAll(errFd_, err_);
}

bool Program::Alive() {
    if (pid_ < 0 || reaped_) return false;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    if (r == pid_) status_ = status;
    reaped_ = true;
    Drain();
    return false;
}

void Program::Kill() {
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
    a.sin_port = 0;
    socklen_t len = sizeof a;
    unsigned short port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    close(fd);
    return port;
}

}  // namespace e2e
