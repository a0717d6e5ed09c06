// The UDP endpoint: opening it once, sending datagrams to the simulator,
// polling for waiting ones, and the layouts of the ISI and MST packets.
#include "link/endpoint.h"

#include <cstring>

#include "config/settings.h"
#include "link/bytes.h"
#include "link/dispatch.h"
#include "platform/platform.h"

static PlatSocket linkSocket = kPlatNoSocket;
static bool linkReady = false;

int Init() {
    if (PlatNetStart() && SetupUDPSocket()) {
        linkReady = true;
        return 1;
    }
    PlatNetStop();
    return 0;
}

bool SetupUDPSocket() {
    linkSocket = PlatUdpOpen(Settings.srcPort);
    return linkSocket != kPlatNoSocket;
}

void SendPacket(const uint8_t* data, int32_t length) {
    if (length < 0) return;
    PlatUdpSend(linkSocket, Settings.address, Settings.destPort, data, static_cast<size_t>(length));
}

void SendSmallPacket(const char* id, int32_t value) {
    uint8_t packet[8];
    memcpy(packet, id, 3);
    packet[3] = 0;
    PutS32(packet + 4, value);
    SendPacket(packet, sizeof packet);
}

void PollLink() {
    if (!linkReady || linkSocket == kPlatNoSocket) return;
    while (PlatUdpWaiting(linkSocket)) HandlePacket();
}

int32_t ReceiveDatagram(uint8_t* buf, size_t cap) {
    return PlatUdpReceive(linkSocket, buf, cap);
}

void BuildInitPacket(uint8_t out[kInitPacketSize]) {
    memset(out, 0, kInitPacketSize);
    memcpy(out, "ISI", 4);
    PutU16(out + 4, Settings.srcPort);
    out[6] = 0x31;
    out[7] = 1;
    // The password field holds 15 characters and a NUL; a longer password
    // is cut rather than left without its terminator.
    size_t n = strnlen(Settings.adminPass, sizeof Settings.adminPass);
    if (n > 15) n = 15;
    memcpy(out + 8, Settings.adminPass, n);
}

void BuildAnnouncePacket(uint8_t out[kAnnouncePacketSize]) {
    static const char kText[] = "Flankguard v1.1b by Ralvino active";
    memset(out, 0, kAnnouncePacketSize);
    memcpy(out, "MST", 4);
    memcpy(out + 4, kText, sizeof kText);
}
