// flankguard-sim: a stand-in simulator on loopback. Binds the given UDP port
// (default 29999; 0 picks a free one), completes the handshake of whoever
// sends it an ISI, and prints one line for every datagram it receives.
// Runs until it is interrupted.
#include <cstdio>
#include <cstdlib>

#include "sim/peer.h"

int main(int argc, char** argv) {
    long port = 29999;
    if (argc > 1) {
        char* end = nullptr;
        port = strtol(argv[1], &end, 10);
        if (!end || *end != 0 || port < 0 || port > 65535) {
            fprintf(stderr, "usage: %s [port]\n", argv[0]);
            return 2;
        }
    }
    sim::Peer peer;
    if (!peer.Open(static_cast<uint16_t>(port))) {
        fprintf(stderr, "flankguard-sim: %s\n", peer.Error().c_str());
        return 1;
    }
    printf("flankguard-sim on 127.0.0.1:%u\n", static_cast<unsigned>(peer.Port()));
    fflush(stdout);

    const sim::Clock::time_point start = sim::Clock::now();
    size_t shown = 0;
    for (;;) {
        peer.Pump(100);
        for (; shown < peer.Received().size(); ++shown) {
            const sim::Datagram& d = peer.Received()[shown];
            const long long ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(d.at - start).count();
            printf("%8lld ms  %-4s %4zu bytes  %s\n", ms, sim::IdText(d.bytes).c_str(), d.bytes.size(),
                   sim::Hex(d.bytes).c_str());
        }
        fflush(stdout);
    }
}
