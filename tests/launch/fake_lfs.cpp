// fake_lfs: a stand-in for the simulator in the launcher tests. It writes
// what it was started with (arguments, session, descriptors, directory,
// signal state, one environment variable) to a report file, then, when
// there is a display, shows a window titled like the simulator's until it
// gets SIGTERM.
//
// Environment:
//   FAKE_LFS_REPORT   report path (default: launched.txt in the current directory)
//   FAKE_LFS_WINDOW   0: report only, no window
//   FAKE_LFS_TITLE    the title (default "Live for Speed")
//   FAKE_LFS_PROP     wm (WM_NAME only), net (_NET_WM_NAME only) or both (default)
//   FAKE_LFS_FRAMES   frame windows to reparent the window into, as a window
//                     manager would (default 0)
//   FAKE_LFS_MARK     copied into the report
// Signals once the window is up: SIGUSR1 renames the window to
// "Live for Speed - renamed"; SIGTERM destroys it and exits. Each is
// acknowledged by writing "<report>.ack" with a counter, after an XSync.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Env(const char* name, const char* def) {
    const char* v = getenv(name);
    return v ? v : def;
}

// Writes `text` to `path` through a temporary name, so that a reader never
// sees half of it.
void WriteWhole(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << text;
    }
    rename(tmp.c_str(), path.c_str());
}

std::string StatusLine(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            std::string v = line.substr(strlen(key));
            v.erase(0, v.find_first_not_of(" \t"));
            return v;
        }
    }
    return "?";
}

// The facts the launcher is responsible for, gathered before this program
// opens anything of its own.
std::string Facts(int argc, char** argv) {
    std::ostringstream r;
    r << "pid " << getpid() << "\n";
    r << "sid " << getsid(0) << "\n";
    r << "pgid " << getpgrp() << "\n";
    char cwd[4096];
    r << "cwd " << (getcwd(cwd, sizeof cwd) ? cwd : "?") << "\n";
    r << "sigblk " << StatusLine("SigBlk:") << "\n";
    r << "sigign " << StatusLine("SigIgn:") << "\n";
    r << "mark " << Env("FAKE_LFS_MARK", "") << "\n";
    if (DIR* d = opendir("/proc/self/fd")) {
        const int own = dirfd(d);
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            const int fd = atoi(e->d_name);
            if (fd == own) continue;
            char target[4096];
            const std::string link = std::string("/proc/self/fd/") + e->d_name;
            const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
            target[n > 0 ? n : 0] = '\0';
            r << "fd " << fd << " " << target << "\n";
        }
        closedir(d);
    }
    for (int i = 0; i < argc; ++i) r << "arg " << argv[i] << "\n";
    return r.str();
}

void SetTitle(Display* d, Window w, const std::string& title, const std::string& prop) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(title.data());
    if (prop == "wm" || prop == "both") {
        XChangeProperty(d, w, XA_WM_NAME, XA_STRING, 8, PropModeReplace, bytes, static_cast<int>(title.size()));
    }
    if (prop == "net" || prop == "both") {
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                        PropModeReplace, bytes, static_cast<int>(title.size()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string report = Env("FAKE_LFS_REPORT", "launched.txt");
    std::string facts = Facts(argc, argv);

    const char* displayName = getenv("DISPLAY");
    if (Env("FAKE_LFS_WINDOW", "1") == "0" || !displayName || !*displayName) {
        WriteWhole(report, facts + "window none\n");
        return 0;
    }

    sigset_t wanted;
    sigemptyset(&wanted);
    sigaddset(&wanted, SIGTERM);
    sigaddset(&wanted, SIGUSR1);
    sigprocmask(SIG_BLOCK, &wanted, nullptr);

    Display* d = XOpenDisplay(displayName);
    if (!d) {
        WriteWhole(report, facts + "window failed\n");
        return 1;
    }
    const std::string prop = Env("FAKE_LFS_PROP", "both");
    const int frames = atoi(Env("FAKE_LFS_FRAMES", "0").c_str());
    const Window root = DefaultRootWindow(d);

    const Window client = XCreateSimpleWindow(d, root, 0, 0, 64, 48, 0, 0, 0);
    SetTitle(d, client, Env("FAKE_LFS_TITLE", "Live for Speed"), prop);
    XMapWindow(d, client);
    Window top = client;
    if (frames > 0) {
        // What a reparenting window manager does with a new client.
        Window parent = root;
        for (int i = 0; i < frames; ++i) {
            parent = XCreateSimpleWindow(d, parent, 0, 0, 80, 64, 0, 0, 0);
            if (i == 0) top = parent;
            XMapWindow(d, parent);
        }
        XReparentWindow(d, client, parent, 4, 12);
    }
    XSync(d, False);
    WriteWhole(report, facts + "window " + std::to_string(client) + "\n");

    for (int acks = 1;; ++acks) {
        int sig = 0;
        if (sigwait(&wanted, &sig) != 0) continue;
        if (sig == SIGUSR1) {
            SetTitle(d, client, "Live for Speed - renamed", prop);
            XSync(d, False);
            WriteWhole(report + ".ack", std::to_string(acks) + "\n");
            continue;
        }
        XDestroyWindow(d, top);
        XSync(d, False);
        WriteWhole(report + ".ack", std::to_string(acks) + "\n");
        XCloseDisplay(d);
        return 0;
    }
}
