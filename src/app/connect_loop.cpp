// Start-up in its fixed order, the connection loop and shutdown. The loop
// polls every 25 ms; every time limit is measured from tick readings, as
// unsigned 32-bit differences, so it holds across the tick wrap-around and
// however long a cycle takes while call-outs play.
#include "app/connect_loop.h"

#include <cstdio>
#include <cstdlib>

#include "app/launcher.h"
#include "config/settings.h"
#include "link/endpoint.h"
#include "sound/sound_bank.h"
#include "spotter/player_table.h"

ConnectStateValue ConnectState = Idle;
TickMs lastPacketTime = 0;
bool announced = false;

void ConnectLoop() {
    for (;;) {
        ConnectState = Idle;
        printf("Connecting to %s:%u... ", Settings.address, static_cast<unsigned>(Settings.destPort));

        uint8_t isi[kInitPacketSize];
        BuildInitPacket(isi);
        SendPacket(isi, kInitPacketSize);
        ConnectState = Connecting;
        const TickMs attemptStart = PlatTickCount();
        lastPacketTime = PlatTickCount();
        SendSmallPacket("SST", 0);

        bool timedOut = false;
        for (;;) {
            PlatSleep(kCycleMs);
            PollLink();
            if (ConnectState == Connecting && PlatTickCount() - attemptStart > kConnectTimeoutMs) {
                printf("Connect timeout.\n");
                timedOut = true;
                break;
            }
            if (PlatTickCount() - lastPacketTime > kSilenceMs) {
                printf("No packets received for 60 seconds, reconnecting...\n");
                ConnectState = Reconnect;
            }
            if (launchedByUs && !SimulatorWindowExists()) ConnectState = Quit;
            if (ConnectState == Reconnect || ConnectState == Quit) break;
        }
        if (timedOut) continue;

        SendSmallPacket("ISC", 100);
        if (ConnectState != Reconnect) return;
    }
}

int FlankguardMain() {
    // Every console write must show at once, also into a pipe or a file.
    setvbuf(stdout, nullptr, _IONBF, 0);

    printf("---------------------------------\n");
    printf(" LFS Flankguard v1.1b by Ralvino\n");
    printf("---------------------------------\n\n");
    PlatSetConsoleTitle("Flankguard");
    LoadSoundBank();
    LoadSettings();
    CreatePlayerTable();
    srand(PlatTickCount());
    LaunchSimulator();
    Init();
    announced = false;
    ConnectLoop();

    FreePlayerTable();
    ReleaseSoundBank();
    return 0;
}
