// Fuzz target: incoming datagrams through the fake socket, PollLink and
// HandlePacket down to the player table, the spotter and cue playback.
//
// Input: an 8-byte header that sets up the state before the datagrams,
// then records of a 16-bit little-endian word each:
//   h[0] bits 0-1  ConnectState before: Idle, Connecting, Connected, Reconnect
//        bit 2     autoReconnectOnRestart
//        bit 3     prediction off (else 400 ms, or the value below)
//        bit 4     announced already
//        bit 5     ovalOnly
//        bit 6     a race under way: StateSnapshot holds a STA with
//                  raceActive 1, ownIndex h[2], playerCount h[3]
//        bit 7     players known: every slot filed by an NPL, models from h[6]
//   h[1] bits 0-1  track of that STA: KY1, KY1R, BL1, KY2
//        bits 2-3  sounds: all sixteen, none, even slots, odd slots
//        bit 4     cue and run trace on (FLANKGUARD_TRACE)
//        bit 5     clock starts just before the 32-bit wrap
//        bits 6-7  time a cue plays: 0, 50, 400, 3000 ms
//   h[2] ownIndex, h[3] playerCount, h[5] seed of rand(), h[6] model seed
//   h[4] bit 7     seven signed 32-bit spotting settings follow the header
//                  (maxXDistance, minSpeed, maxSpeedDiffFaster,
//                  maxSpeedDiffSlower, maxAngleDiff, stillThereInterval,
//                  prediction) instead of the defaults
//   h[7] bit 0     each datagram handled by its own HandlePacket call
//                  instead of PollLink draining the queue
// Records: 0xFFFF queues a receive that fails; a word with bit 15 set
// drains what is queued, then advances the clock by its low 15 bits in ms;
// any other word w queues a datagram of the next w bytes (fewer at the end
// of the input). Whatever is queued at the end is drained.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/connect_loop.h"
#include "config/settings.h"
#include "fake/fake_platform.h"
#include "link/bytes.h"
#include "link/dispatch.h"
#include "link/endpoint.h"
#include "scratch.h"
#include "sound/sound_bank.h"
#include "spotter/player_table.h"
#include "spotter/spotter.h"

namespace {

const char* const kTracks[4] = {"KY1", "KY1R", "BL1", "KY2"};

// A valid 8-bit mono PCM WAV image per slot, each of its own length, so a
// played image tells which slot it came from.
std::vector<uint8_t> waves[kSoundCount];

std::vector<uint8_t> MakeWave(size_t samples) {
    std::vector<uint8_t> w(44 + samples, 0x80);
    memcpy(&w[0], "RIFF", 4);
    PutU32(&w[4], static_cast<uint32_t>(36 + samples));
    memcpy(&w[8], "WAVEfmt ", 8);
    PutU32(&w[16], 16);
    PutU16(&w[20], 1);      // PCM
    PutU16(&w[22], 1);      // mono
    PutU32(&w[24], 8000);   // rate
    PutU32(&w[28], 8000);   // bytes a second
    PutU16(&w[32], 1);      // block
    PutU16(&w[34], 8);      // bits
    memcpy(&w[36], "data", 4);
    PutU32(&w[40], static_cast<uint32_t>(samples));
    return w;
}

void SetDefaults() {
    SettingsRecord s = {};
    strcpy(s.address, "127.0.0.1");
    s.destPort = 29999;
    s.srcPort = 30000;
    s.autoReconnectOnRestart = 1;
    s.autorunLFS = 0;
    strcpy(s.LFSpath, "./LFS.exe");
    s.maxXDistance = 23;
    s.minSpeed = 25;
    s.maxSpeedDiffFaster = 75;
    s.maxSpeedDiffSlower = 75;
    s.maxAngleDiff = 30;
    s.stillThereInterval = 2500;
    s.prediction = 400;
    s.ovalOnly = 0;
    Settings = s;
}

void FilePlayers(uint8_t seed) {
    for (int i = 0; i < kPlayerSlots; ++i) {
        uint8_t npl[kPlayerPacketSize] = {};
        memcpy(npl, "NPL", 4);
        npl[28] = 'P';
        npl[29] = static_cast<uint8_t>('A' + i % 26);
        const int row = (seed + 7 * i) % (kCarModelRows - 1);
        strcpy(reinterpret_cast<char*>(npl + 60), CarModelTable[row].name);
        npl[96] = static_cast<uint8_t>(i);
        HandlePlayer(npl);
    }
}

// Everything the previous input may have changed, back to a fresh run.
void ResetState(const uint8_t* h) {
    fake::Reset();
    srand(h[5]);
    SetDefaults();
    Settings.autoReconnectOnRestart = (h[0] >> 2) & 1;
    if (h[0] & 0x08) Settings.prediction = 0;
    Settings.ovalOnly = (h[0] >> 5) & 1;
    Init();

    ConnectState = static_cast<ConnectStateValue>(h[0] & 3);
    announced = (h[0] & 0x10) != 0;
    lastPacketTime = 0;
    carLeft = carRight = wasLeft = wasRight = 0;
    lastCueTime = 0;

    memset(StateSnapshot, 0, sizeof StateSnapshot);
    TrackMode = 0;
    if (h[0] & 0x40) {
        memcpy(StateSnapshot, "STA", 4);
        StateSnapshot[11] = h[2];
        StateSnapshot[12] = h[3];
        StateSnapshot[15] = 1;
        const char* track = kTracks[h[1] & 3];
        memcpy(StateSnapshot + 20, track, strlen(track));
        const int modes[4] = {0, 1, 2, 2};
        TrackMode = modes[h[1] & 3];
    }

    FreePlayerTable();
    CreatePlayerTable();
    fuzz::Require(PlayerTable != nullptr, "player table allocated");
    if (h[0] & 0x80) FilePlayers(h[6]);

    const int sounds = (h[1] >> 2) & 3;
    for (int i = 0; i < kSoundCount; ++i) {
        const bool present = sounds == 0 || (sounds == 2 && i % 2 == 0) || (sounds == 3 && i % 2 == 1);
        SoundBank[i] = present ? SoundImage{waves[i].data(), waves[i].size()} : SoundImage{nullptr, 0};
    }

    if (h[1] & 0x10) setenv("FLANKGUARD_TRACE", "1", 1);
    else unsetenv("FLANKGUARD_TRACE");
    if (h[1] & 0x20) fake::SetTick(0xFFFFF000u);
    const uint32_t playMs[4] = {0, 50, 400, 3000};
    fake::SetPlayMs(playMs[h[1] >> 6]);

    // Start from a clean record: HandlePlayer above may have printed only.
    fake::Sent().clear();
    fake::Plays().clear();
}

void Drain(bool direct) {
    if (!direct) {
        PollLink();
        fuzz::Require(fake::QueuedCount() == 0, "PollLink left datagrams waiting");
        return;
    }
    while (fake::QueuedCount() > 0) HandlePacket();
    HandlePacket();  // nothing waiting: the receive fails and is dropped
}

bool IsSoundImage(const std::vector<uint8_t>& image) {
    for (const std::vector<uint8_t>& w : waves) {
        if (w == image) return true;
    }
    return false;
}

// What every run must leave, whatever the datagrams were.
void CheckAfter(bool announcedBefore) {
    fuzz::Require(ConnectState >= Idle && ConnectState <= Reconnect, "ConnectState in range");
    fuzz::Require(TrackMode >= 0 && TrackMode <= 2, "TrackMode in range");
    fuzz::Require(carLeft <= 1 && carRight <= 1 && wasLeft <= 1 && wasRight <= 1, "side flags are 0 or 1");
    int announcements = 0;
    for (const fake::Datagram& d : fake::Sent()) {
        fuzz::Require(d.address == Settings.address && d.port == Settings.destPort, "sent to address:destPort");
        fuzz::Require(d.bytes.size() == 8 || d.bytes.size() == kAnnouncePacketSize, "sent 8 or 68 bytes");
        fuzz::Require(d.bytes[3] == 0, "sent identifier ends in NUL");
        if (d.bytes.size() == kAnnouncePacketSize) {
            fuzz::Require(memcmp(d.bytes.data(), "MST", 4) == 0, "68-byte packet is the MST");
            ++announcements;
        }
    }
    fuzz::Require(announcements <= (announcedBefore ? 0 : 1), "MST sent at most once a run");
    fuzz::Require(announcements == 0 || announced, "announced set after the MST");
    for (const fake::Played& p : fake::Plays()) fuzz::Require(IsSoundImage(p.image), "played a bank image");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (int i = 0; i < kSoundCount; ++i) waves[i] = MakeWave(static_cast<size_t>(i) + 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (waves[0].empty()) LLVMFuzzerInitialize(nullptr, nullptr);
    uint8_t h[8] = {};
    memcpy(h, data, size < sizeof h ? size : sizeof h);
    size_t at = size < sizeof h ? size : sizeof h;

    ResetState(h);
    if (h[4] & 0x80) {
        uint8_t raw[28] = {};
        const size_t n = size - at < sizeof raw ? size - at : sizeof raw;
        memcpy(raw, data + at, n);
        at += n;
        Settings.maxXDistance = GetS32(raw);
        Settings.minSpeed = GetS32(raw + 4);
        Settings.maxSpeedDiffFaster = GetS32(raw + 8);
        Settings.maxSpeedDiffSlower = GetS32(raw + 12);
        Settings.maxAngleDiff = GetS32(raw + 16);
        Settings.stillThereInterval = GetS32(raw + 20);
        Settings.prediction = GetS32(raw + 24);
    }
    const bool direct = h[7] & 1;
    const bool announcedBefore = announced;

    while (size - at >= 2) {
        const uint16_t word = GetU16(data + at);
        at += 2;
        if (word == 0xFFFF) {
            fake::QueueReceiveError();
        } else if (word & 0x8000) {
            Drain(direct);
            fake::SetTick(fake::Tick() + (word & 0x7FFFu));
        } else {
            const size_t n = size - at < word ? size - at : word;
            fake::QueueDatagram(std::vector<uint8_t>(data + at, data + at + n));
            at += n;
        }
    }
    Drain(direct);
    CheckAfter(announcedBefore);
    return 0;
}
