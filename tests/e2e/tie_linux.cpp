// Linux: the child gets SIGKILL when the test process ends, so a crashed or
// timed-out test leaves no program behind holding its ports.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "program.h"

namespace e2e {

void TieToParent(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(125);
}

}  // namespace e2e
