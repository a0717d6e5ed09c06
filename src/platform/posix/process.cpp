// POSIX backend: starting the simulator detached from this program, and
// finding its window on the X display named by DISPLAY.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

extern char** environ;

namespace {

// --- Launch ------------------------------------------------------------------

const size_t kMaxCmdline = 4096;
// Words of a kMaxCmdline command line, plus "wine" in front and the NULL.
const size_t kMaxArgs = kMaxCmdline / 2 + 2;
const size_t kMaxPath = 4096;
const char kDefaultPath[] = "/usr/local/bin:/usr/bin:/bin";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Cuts `text` in place into its words, separated by runs of blanks. Nothing
// else is special: no quotes, no escapes, no expansion. Returns the count.
size_t SplitWords(char* text, char** words, size_t cap) {
    size_t count = 0;
    char* p = text;
    for (;;) {
        while (IsBlank(*p)) *p++ = '\0';
        if (*p == '\0' || count == cap) return count;
        words[count++] = p;
        while (*p != '\0' && !IsBlank(*p)) ++p;
    }
}

bool EndsWithExe(const char* name) {
    const size_t n = strlen(name);
    if (n < 4) return false;
    const char* e = name + n - 4;
    return e[0] == '.' && (e[1] | 0x20) == 'e' && (e[2] | 0x20) == 'x' && (e[3] | 0x20) == 'e';
}

// Whether `file` can be started: 0, with *viaWine telling whether it is a
// Windows program to hand to wine, or the errno that rules it out. Only a
// program that is not executable itself goes to wine, so a native program
// named *.exe still runs directly.
int Classify(const char* file, bool allowWine, bool* viaWine) {
    struct stat st;
    // A path through a file that is not a directory names no file either.
    if (stat(file, &st) != 0) return errno == ENOTDIR ? ENOENT : errno;
    if (S_ISDIR(st.st_mode)) return EACCES;
    *viaWine = false;
    if (access(file, X_OK) == 0) return 0;
    if (allowWine && S_ISREG(st.st_mode) && EndsWithExe(file)) {
        *viaWine = true;
        return 0;
    }
    return EACCES;
}

// Finds the program `name` (no slash in it) on PATH as execvp does: the
// first directory holding a file that can be started wins, and an empty
// entry means the current directory. Returns 0 with the path in out, or
// EACCES when only unusable files were found, else ENOENT.
int SearchPath(const char* name, bool allowWine, char* out, size_t cap, bool* viaWine) {
    const char* path = getenv("PATH");
    if (path == nullptr) path = kDefaultPath;
    const size_t nameLen = strlen(name);
    int result = ENOENT;
    for (const char* dir = path;; ++dir) {
        const char* end = strchr(dir, ':');
        if (end == nullptr) end = dir + strlen(dir);
        const size_t dirLen = static_cast<size_t>(end - dir);
        if (dirLen + 1 + nameLen < cap) {
            size_t len = 0;
            if (dirLen > 0) {
                memcpy(out, dir, dirLen);
                out[dirLen] = '/';
                len = dirLen + 1;
            }
            memcpy(out + len, name, nameLen + 1);
            const int err = Classify(out, allowWine, viaWine);
            if (err == 0) return 0;
            if (err == EACCES) result = EACCES;
        }
        if (*end == '\0') return result;
        dir = end;
    }
}

// The file a command word names: itself when it holds a slash, else found
// on PATH.
int Resolve(const char* word, bool allowWine, char* out, size_t cap, bool* viaWine) {
    if (strchr(word, '/') == nullptr) return SearchPath(word, allowWine, out, cap, viaWine);
    const size_t len = strlen(word);
    if (len >= cap) return ENAMETOOLONG;
    memcpy(out, word, len + 1);
    return Classify(out, allowWine, viaWine);
}

// In a child after fork: only async-signal-safe calls from here on.
[[noreturn]] void ReportAndExit(int fd, int err) {
    while (write(fd, &err, sizeof err) < 0 && errno == EINTR) {
    }
    _exit(127);
}

// Makes every descriptor from 3 up close when the program is executed; the
// report pipe already does.
void CloseOnExecFrom3(int maxFd) {
#if defined(__linux__)
    if (close_range(3, ~0u, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif
    for (int fd = 3; fd < maxFd; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// The grandchild: a clean start for the program, then exec.
[[noreturn]] void StartProgram(int reportFd, int maxFd, const char* file, char* const* argv) {
    struct sigaction dflt;
    memset(&dflt, 0, sizeof dflt);
    dflt.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &dflt, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    // Started with a standard descriptor closed, this program may have got
    // the pipe as 0, 1 or 2: move it out of the way of /dev/null.
    if (reportFd < 3) {
        const int moved = fcntl(reportFd, F_DUPFD_CLOEXEC, 3);
        if (moved < 0) ReportAndExit(reportFd, errno);
        reportFd = moved;
    }
    const int null = open("/dev/null", O_RDWR);
    if (null < 0) ReportAndExit(reportFd, errno);
    for (int fd = 0; fd < 3; ++fd) {
        if (null != fd && dup2(null, fd) < 0) ReportAndExit(reportFd, errno);
    }
    if (null > 2) close(null);
    CloseOnExecFrom3(maxFd);

    execve(file, argv, environ);
    ReportAndExit(reportFd, errno);
}

// Starts `file` with `argv` in a session of its own, as a grandchild: the
// child in between exits at once and is reaped here, so nothing is left for
// this program to wait for. Returns 0 once the program is executing, or the
// errno of the step that failed, exec included.
int SpawnDetached(const char* file, char* const* argv) {
    // The descriptor limit, for a system without close_range; read here
    // since the child may not call getrlimit.
    struct rlimit lim;
    int maxFd = 65536;
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < static_cast<rlim_t>(maxFd)) {
        maxFd = static_cast<int>(lim.rlim_cur);
    }

    // Closed at a successful exec; carries the errno of a failure.
    int report[2];
    if (pipe(report) != 0) return errno;
    fcntl(report[0], F_SETFD, FD_CLOEXEC);
    fcntl(report[1], F_SETFD, FD_CLOEXEC);

    const pid_t child = fork();
    if (child < 0) {
        const int err = errno;
        close(report[0]);
        close(report[1]);
        return err;
    }
    if (child == 0) {
        close(report[0]);
        if (setsid() < 0) ReportAndExit(report[1], errno);
        const pid_t grandchild = fork();
        if (grandchild < 0) ReportAndExit(report[1], errno);
        if (grandchild > 0) _exit(0);
        StartProgram(report[1], maxFd, file, argv);
    }

    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t got;
    do {
        got = read(report[0], &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == 0) return 0;
    if (got != static_cast<ssize_t>(sizeof err) || err == 0) return EIO;
    return err;
}

// --- Window ------------------------------------------------------------------

// Window managers put a client window into a frame, and some put the frame
// into further decoration windows: a few levels below the root still count
// as top-level.
const int kSearchDepth = 3;

// One connection for the program's life, opened on first use and again only
// after it was lost.
Display* display = nullptr;
bool displayLost = false;
bool handlersSet = false;
Atom netWmName = None;
Atom utf8String = None;
// The window found last time, checked first: the search costs round trips
// for every window, this one a single window's.
Window lastFound = None;

// A window that vanished between the listing and the look at its name is an
// error here, and no error is worth a message.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

// The server went away. Xlib would print and exit; the program goes on.
int NoteIoError(Display* lost) {
    if (lost == display) displayLost = true;
    return 0;
}

void KeepRunning(Display*, void*) {
    displayLost = true;
}

void CloseDisplay() {
    if (display != nullptr) XCloseDisplay(display);
    display = nullptr;
    displayLost = false;
    lastFound = None;
}

// XOpenDisplay prints the server's reason when it refuses the connection
// (for example "Authorization required, ..."), with no handler to catch
// it: standard error points at /dev/null for the length of the call.
Display* OpenQuietly(const char* name) {
    const int saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const bool quiet = saved >= 0 && null >= 0 && dup2(null, STDERR_FILENO) >= 0;
    Display* opened = XOpenDisplay(name);
    if (quiet) dup2(saved, STDERR_FILENO);
    if (null >= 0) close(null);
    if (saved >= 0) close(saved);
    return opened;
}

bool OpenDisplay() {
    if (display != nullptr && !displayLost) return true;
    CloseDisplay();
    if (!handlersSet) {
        XSetErrorHandler(IgnoreXError);
        XSetIOErrorHandler(NoteIoError);
        handlersSet = true;
    }
    const char* name = getenv("DISPLAY");
    if (name == nullptr || *name == '\0') return false;
    display = OpenQuietly(name);
    if (display == nullptr) return false;
    XSetIOErrorExitHandler(display, KeepRunning, nullptr);
    netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    utf8String = XInternAtom(display, "UTF8_STRING", False);
    if (displayLost) {
        CloseDisplay();
        return false;
    }
    return true;
}

// Whether `property` of `w` holds exactly the len bytes of title. A legacy
// WM_NAME may come as STRING, COMPOUND_TEXT or UTF8_STRING; the title is
// plain ASCII, the same bytes in each, so any 8-bit type is compared.
bool PropertyIs(Window w, Atom property, Atom type, const char* title, size_t len) {
    Atom actualType = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    // One 32-bit unit more than the title needs shows a longer name.
    const long units = static_cast<long>(len / 4 + 1);
    const int status = XGetWindowProperty(display, w, property, 0, units, False, type, &actualType, &format,
                                          &items, &after, &data);
    const bool same = status == Success && actualType != None && format == 8 && items == len && after == 0 &&
                      data != nullptr && memcmp(data, title, len) == 0;
    if (data != nullptr) XFree(data);
    return same;
}

bool Titled(Window w, const char* title, size_t len) {
    if (PropertyIs(w, XA_WM_NAME, AnyPropertyType, title, len)) return true;
    return !displayLost && PropertyIs(w, netWmName, utf8String, title, len);
}

// The titled window among the children of `parent` and their descendants
// down to `depth` levels, or None. Each level is looked at before the one
// below it.
Window FindBelow(Window parent, int depth, const char* title, size_t len) {
    Window root = None;
    Window up = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count)) return None;
    Window found = None;
    for (unsigned int i = count; i-- > 0 && found == None && !displayLost;) {
        if (Titled(children[i], title, len)) found = children[i];
    }
    for (unsigned int i = count; depth > 1 && i-- > 0 && found == None && !displayLost;) {
        found = FindBelow(children[i], depth - 1, title, len);
    }
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

uint32_t PlatLaunch(const char* cmdline) {
    char text[kMaxCmdline];
    const size_t length = strlen(cmdline);
    if (length >= sizeof text) return E2BIG;
    memcpy(text, cmdline, length + 1);

    // Room for wine in front of the words and the closing NULL.
    char* args[kMaxArgs];
    char** words = args + 1;
    const size_t count = SplitWords(text, words, kMaxArgs - 2);
    if (count == 0) return ENOENT;
    words[count] = nullptr;

    char program[kMaxPath];
    bool viaWine = false;
    int err = Resolve(words[0], true, program, sizeof program, &viaWine);
    if (err != 0) return static_cast<uint32_t>(err);
    if (!viaWine) return static_cast<uint32_t>(SpawnDetached(program, words));

    // A Windows program: wine <file> <rest of the words>.
    char wine[kMaxPath];
    bool wineViaWine = false;
    err = Resolve("wine", false, wine, sizeof wine, &wineViaWine);
    if (err != 0) return static_cast<uint32_t>(err);
    args[0] = wine;
    words[0] = program;
    return static_cast<uint32_t>(SpawnDetached(wine, args));
}

bool PlatWindowExists(const char* title) {
    const size_t len = strlen(title);
    // A connection found lost is made again once: the server may have been
    // restarted since the last look.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!OpenDisplay()) return false;
        if (lastFound != None && Titled(lastFound, title, len)) return true;
        lastFound = None;
        for (int screen = 0; screen < ScreenCount(display) && lastFound == None && !displayLost; ++screen) {
            lastFound = FindBelow(RootWindow(display, screen), kSearchDepth, title, len);
        }
        if (!displayLost) return lastFound != None;
        CloseDisplay();
    }
    return false;
}
