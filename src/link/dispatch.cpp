// HandlePacket: one received datagram, checked, time-stamped, acknowledged
// where the simulator asks for it and dispatched by its identifier.
#include "link/dispatch.h"

#include <cstdio>
#include <cstring>

#include "app/connect_loop.h"
#include "config/settings.h"
#include "link/endpoint.h"
#include "platform/platform.h"
#include "spotter/player_table.h"

uint8_t StateSnapshot[kStatePacketSize];
int32_t TrackMode = 0;

namespace {

enum Action { kAcknowledge, kRestart, kAnswerAck, kPlayer, kCarInfo, kState };

struct Route {
    char id[4];
    int32_t length;  // -1: any length
    Action action;
};

const Route kRoutes[] = {
    {"LAP", 60, kAcknowledge},  {"NCN", 60, kAcknowledge}, {"CNL", 56, kAcknowledge},
    {"PLP", 56, kAcknowledge},  {"PLL", 56, kAcknowledge}, {"CPR", 88, kAcknowledge},
    {"REN", 8, kAcknowledge},   {"CLR", 8, kAcknowledge},  {"SPX", 12, kAcknowledge},
    {"RES", 108, kAcknowledge}, {"REO", 36, kAcknowledge}, {"RST", 20, kRestart},
    {"ACK", -1, kAnswerAck},    {"NPL", 100, kPlayer},     {"MCI", 204, kCarInfo},
    {"STA", kStatePacketSize, kState},
};

// The acknowledgement value sits in the last two bytes of the packet.
void Acknowledge(const uint8_t* packet, int32_t length) {
    SendSmallPacket("ACK", GetU16(packet + length - 2));
}

int32_t ClassifyTrack(const uint8_t* track) {
    if (memcmp(track, "KY1\0", 4) == 0) return 0;
    if (memcmp(track, "KY1R\0", 5) == 0) return 1;
    return 2;
}

void HandleRestart() {
    if (Settings.autoReconnectOnRestart) {
        printf("Race restarted, reconnecting...\n");
        ConnectState = Reconnect;
    }
    printf("RST: Requesting player data...\n");
    RequestPlayers();
}

void HandleState(const uint8_t* packet) {
    memcpy(StateSnapshot, packet, kStatePacketSize);
    TrackMode = ClassifyTrack(StateSnapshot + 20);
    if (ConnectState != Connecting) return;

    ConnectState = Connected;
    printf("Connected\n");
    SendSmallPacket("NLI", 100);
    printf("STA: Requesting player data...\n");
    RequestPlayers();
    if (!announced) {
        uint8_t mst[kAnnouncePacketSize];
        BuildAnnouncePacket(mst);
        SendPacket(mst, kAnnouncePacketSize);
        announced = true;
    }
}

}  // namespace

void HandlePacket() {
    uint8_t packet[512];
    int32_t length = ReceiveDatagram(packet, sizeof packet);
    // Fewer than four bytes carry no identifier: the buffer would hold
    // stale bytes, so the receive is dropped without any effect.
    if (length < 4) return;
    if (packet[3] != 0) {
        printf("...which was invalid :P\n");
        return;
    }
    lastPacketTime = PlatTickCount();

    for (const Route& route : kRoutes) {
        if (memcmp(packet, route.id, 4) != 0) continue;
        if (route.length >= 0 && length != route.length) return;
        switch (route.action) {
            case kAcknowledge: Acknowledge(packet, length); break;
            case kRestart:
                Acknowledge(packet, length);
                HandleRestart();
                break;
            case kAnswerAck: SendSmallPacket("ACK", 0); break;
            case kPlayer: HandlePlayer(packet); break;
            case kCarInfo: HandleCarInfo(packet); break;
            case kState: HandleState(packet); break;
        }
        return;
    }
}
