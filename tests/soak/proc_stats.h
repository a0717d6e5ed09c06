// Reading a running program's figures from /proc (Linux): its memory, its
// CPU time and the receive queue and drop count of its UDP socket. Used by
// the soak test and by the measuring helper of script/measure.
#pragma once

#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace procstats {

struct Sample {
    bool ok = false;
    long rssKiB = 0;          // VmRSS
    long hwmKiB = 0;          // VmHWM
    double cpuSeconds = 0;    // utime + stime of /proc/<pid>/stat
    uint64_t runNs = 0;       // time on a CPU, /proc/<pid>/schedstat (ns)
    long voluntarySwitches = 0;
    long involuntarySwitches = 0;
};

// The process whose parent is `parent`, or -1. The helpers start exactly one
// child, so the first one found is it.
inline pid_t ChildOf(pid_t parent) {
    DIR* proc = opendir("/proc");
    if (!proc) return -1;
    pid_t found = -1;
    while (dirent* e = readdir(proc)) {
        char* end = nullptr;
        const long pid = strtol(e->d_name, &end, 10);
        if (*end || pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        // The command name may hold blanks and parentheses: fields follow the last ')'.
        const size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(text.substr(close + 1));
        std::string state;
        long ppid = 0;
        fields >> state >> ppid;
        if (ppid == parent) {
            found = static_cast<pid_t>(pid);
            break;
        }
    }
    closedir(proc);
    return found;
}

inline long StatusKiB(const std::string& status, const char* key) {
    const size_t at = status.find(key);
    if (at == std::string::npos) return -1;
    return strtol(status.c_str() + at + strlen(key), nullptr, 10);
}

inline Sample Read(pid_t pid) {
    Sample s;
    const std::string base = "/proc/" + std::to_string(pid);
    std::ifstream statusFile(base + "/status");
    const std::string status((std::istreambuf_iterator<char>(statusFile)), std::istreambuf_iterator<char>());
    std::ifstream statFile(base + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    if (status.empty() || close == std::string::npos) return s;
    s.rssKiB = StatusKiB(status, "VmRSS:");
    s.hwmKiB = StatusKiB(status, "VmHWM:");
    s.voluntarySwitches = StatusKiB(status, "\nvoluntary_ctxt_switches:");
    s.involuntarySwitches = StatusKiB(status, "nonvoluntary_ctxt_switches:");
    // Fields 3 onwards after the name; utime and stime are fields 14 and 15.
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14) utime = strtoull(field.c_str(), nullptr, 10);
        if (n == 15) stime = strtoull(field.c_str(), nullptr, 10);
    }
    s.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::ifstream sched(base + "/schedstat");
    sched >> s.runNs;
    s.ok = s.rssKiB >= 0;
    return s;
}

struct UdpSocket {
    bool found = false;
    unsigned long rxQueueBytes = 0;
    unsigned long drops = 0;
};

// The IPv4 UDP socket bound to local port `port`, from /proc/net/udp.
inline UdpSocket UdpByPort(uint16_t port) {
    UdpSocket out;
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);  // header
    while (std::getline(table, line)) {
        std::istringstream f(line);
        std::string sl, local, remote, st, queues, timer, retr, uid, timeout, inode, ref, pointer, drops;
        if (!(f >> sl >> local >> remote >> st >> queues >> timer >> retr >> uid >> timeout >> inode >> ref >>
              pointer >> drops))
            continue;
        const size_t colon = local.find(':');
        if (colon == std::string::npos || strtoul(local.c_str() + colon + 1, nullptr, 16) != port) continue;
        const size_t qc = queues.find(':');
        out.found = true;
        out.rxQueueBytes = qc == std::string::npos ? 0 : strtoul(queues.c_str() + qc + 1, nullptr, 16);
        out.drops = strtoul(drops.c_str(), nullptr, 10);
        return out;
    }
    return out;
}

}  // namespace procstats
