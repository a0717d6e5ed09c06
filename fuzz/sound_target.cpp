// Fuzz target: sound loading and cue playback. The input is a would-be WAV
// file: IsWaveImage judges its raw bytes, LoadSound reads it as a file, and
// a loaded image goes into one slot of the bank (chosen by the input's
// length) for PlayCue of every kind, in range or not, on every track class.
//
// Besides memory faults it checks that LoadSound keeps exactly the images
// IsWaveImage accepts, byte for byte, and that every played image is the
// loaded one and every cue stamps lastCueTime.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake/fake_platform.h"
#include "link/dispatch.h"
#include "scratch.h"
#include "sound/sound_bank.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::ScratchDir() + "/sound.wav";

    const bool wave = IsWaveImage(data, size);
    fuzz::WriteFile(path, data, size);
    SoundImage image = LoadSound(path.c_str());
    fuzz::Require((image.data != nullptr) == wave, "LoadSound keeps what IsWaveImage accepts");
    if (!image.data) return 0;
    fuzz::Require(image.size == size && memcmp(image.data, data, size) == 0, "loaded image is the file");

    fake::Reset();
    srand(static_cast<unsigned>(size));
    for (SoundImage& s : SoundBank) s = SoundImage{nullptr, 0};
    SoundBank[size % kSoundCount] = image;
    for (int32_t mode = -1; mode <= 3; ++mode) {
        TrackMode = mode;
        for (int32_t kind = -1; kind <= 7; ++kind) {
            fake::SetTick(fake::Tick() + 17);
            PlayCue(kind);
            fuzz::Require(lastCueTime == fake::Tick(), "PlayCue stamps lastCueTime");
        }
    }
    for (const fake::Played& p : fake::Plays()) {
        fuzz::Require(p.image.size() == size && memcmp(p.image.data(), data, size) == 0, "played the loaded image");
    }
    ReleaseSoundBank();
    fuzz::Require(SoundBank[size % kSoundCount].data == nullptr, "bank released");
    TrackMode = 0;
    return 0;
}
