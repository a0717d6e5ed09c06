// POSIX backend: WAV playback. libsndfile decodes the in-memory image
// through its virtual I/O (so nothing outside the image is read) and ALSA
// plays it on the device named by AUDIODEV, or "default". The device stays
// open between cues of one format; a failing device is quiet and is not
// tried again for a while.
//
// Sample formats sent to the device: 8-bit and 16-bit PCM and every
// compressed encoding (mu-law, A-law, ADPCM, GSM, ...) as signed 16-bit;
// 24-bit and 32-bit PCM as signed 32-bit; float as float; double as double.
// A device that refuses the preferred format gets the next one of the list
// in PreferredFormats; all in native byte order.
#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {

// How long a device that failed to open or to take a format is left alone.
const TickMs kRetryMs = 2000;

// Longest device name kept; a longer AUDIODEV is treated as a failing device.
const size_t kNameCap = 256;

// Bytes of decoded samples handed to the device per write.
const size_t kChunkBytes = 64 * 1024;

// Underruns and suspends recovered within the write of one chunk before
// the device counts as failing.
const int kMaxRecoveries = 8;

// Latency asked of the device: the size of its ring buffer.
const unsigned kLatencyUs = 100000;

struct StreamFormat {
    snd_pcm_format_t sample;
    int channels;
    int rate;
};

// The open device and the format it is set up for.
snd_pcm_t* pcm = nullptr;
char pcmName[kNameCap];
StreamFormat pcmFormat;
snd_pcm_format_t pcmWanted;  // the first choice it was opened for

// The latest device and format that failed, and when.
bool failed = false;
char failedName[kNameCap];
StreamFormat failedFormat;
TickMs failedAt;

bool errorsSilenced = false;

alignas(8) unsigned char chunk[kChunkBytes];

// The WAV image as a read-only file for libsndfile.
struct MemoryFile {
    const uint8_t* data;
    sf_count_t len;
    sf_count_t pos;
};

sf_count_t MemLength(void* user) {
    return static_cast<MemoryFile*>(user)->len;
}

sf_count_t MemSeek(sf_count_t offset, int whence, void* user) {
    MemoryFile* f = static_cast<MemoryFile*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = f->pos;
    else if (whence == SEEK_END) base = f->len;
    else if (whence != SEEK_SET) return -1;
    // Offsets come from the file's own headers: keep the sum from overflowing.
    if (offset > f->len || offset < -f->len) return -1;
    const sf_count_t to = base + offset;
    if (to < 0) return -1;
    f->pos = to;
    return to;
}

sf_count_t MemRead(void* ptr, sf_count_t count, void* user) {
    MemoryFile* f = static_cast<MemoryFile*>(user);
    if (count <= 0 || f->pos >= f->len) return 0;
    const sf_count_t n = count < f->len - f->pos ? count : f->len - f->pos;
    memcpy(ptr, f->data + f->pos, static_cast<size_t>(n));
    f->pos += n;
    return n;
}

sf_count_t MemWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t MemTell(void* user) {
    return static_cast<MemoryFile*>(user)->pos;
}

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {
}

bool SameFormat(const StreamFormat& a, const StreamFormat& b) {
    return a.sample == b.sample && a.channels == b.channels && a.rate == b.rate;
}

// The device sample formats for a WAV subtype, best first. Returns the count.
int PreferredFormats(int subtype, snd_pcm_format_t* out) {
    static const snd_pcm_format_t kShortFirst[] = {SND_PCM_FORMAT_S16, SND_PCM_FORMAT_S32, SND_PCM_FORMAT_FLOAT};
    static const snd_pcm_format_t kIntFirst[] = {SND_PCM_FORMAT_S32, SND_PCM_FORMAT_FLOAT, SND_PCM_FORMAT_S16};
    static const snd_pcm_format_t kFloatFirst[] = {SND_PCM_FORMAT_FLOAT, SND_PCM_FORMAT_S32, SND_PCM_FORMAT_S16};
    static const snd_pcm_format_t kDoubleFirst[] = {SND_PCM_FORMAT_FLOAT64, SND_PCM_FORMAT_FLOAT,
                                                    SND_PCM_FORMAT_S32, SND_PCM_FORMAT_S16};
    const snd_pcm_format_t* list = kShortFirst;
    int count = 3;
    switch (subtype) {
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
        list = kIntFirst;
        break;
    case SF_FORMAT_FLOAT:
        list = kFloatFirst;
        break;
    case SF_FORMAT_DOUBLE:
        list = kDoubleFirst;
        count = 4;
        break;
    default:
        break;
    }
    for (int i = 0; i < count; ++i) out[i] = list[i];
    return count;
}

void CloseDevice() {
    if (pcm) snd_pcm_close(pcm);
    pcm = nullptr;
}

void NoteFailure(const char* name, const StreamFormat& format) {
    failed = true;
    strcpy(failedName, name);
    failedFormat = format;
    failedAt = PlatTickCount();
}

bool RecentlyFailed(const char* name, const StreamFormat& format) {
    return failed && strcmp(failedName, name) == 0 && SameFormat(failedFormat, format) &&
           PlatTickCount() - failedAt < kRetryMs;
}

// Opens `name` for the first sample format of `choices` that it takes,
// closing whatever device was open. Sets format->sample to the one chosen.
// False when the device cannot be opened or refuses every choice.
bool OpenDevice(const char* name, StreamFormat* format, const snd_pcm_format_t* choices, int count) {
    CloseDevice();
    // Non-blocking open: a busy hardware device would otherwise hold the
    // caller until it is free. Writes and drains then block as usual.
    snd_pcm_t* handle = nullptr;
    if (snd_pcm_open(&handle, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
    if (snd_pcm_nonblock(handle, 0) < 0) {
        snd_pcm_close(handle);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (snd_pcm_set_params(handle, choices[i], SND_PCM_ACCESS_RW_INTERLEAVED,
                               static_cast<unsigned>(format->channels), static_cast<unsigned>(format->rate), 1,
                               kLatencyUs) >= 0) {
            format->sample = choices[i];
            pcm = handle;
            strcpy(pcmName, name);
            pcmFormat = *format;
            pcmWanted = choices[0];
            return true;
        }
    }
    snd_pcm_close(handle);
    return false;
}

// Makes a device on `name` ready to play `format`: the open one when it was
// set up for the same rate, channels and list of sample formats `choices`,
// otherwise a freshly opened one. Sets format->sample to the sample format
// the device takes.
bool ReadyDevice(const char* name, StreamFormat* format, const snd_pcm_format_t* choices, int count) {
    if (pcm && strcmp(pcmName, name) == 0 && pcmWanted == choices[0] && pcmFormat.channels == format->channels &&
        pcmFormat.rate == format->rate) {
        if (snd_pcm_prepare(pcm) >= 0) {
            format->sample = pcmFormat.sample;
            return true;
        }
    }
    format->sample = choices[0];
    if (RecentlyFailed(name, *format)) return false;
    if (OpenDevice(name, format, choices, count)) {
        failed = false;
        return true;
    }
    NoteFailure(name, *format);
    return false;
}

// Decodes up to `frames` frames of `sample` into chunk. Returns the frames read.
sf_count_t Decode(SNDFILE* sound, snd_pcm_format_t sample, sf_count_t frames) {
    switch (sample) {
    case SND_PCM_FORMAT_S32:
        return sf_readf_int(sound, reinterpret_cast<int*>(chunk), frames);
    case SND_PCM_FORMAT_FLOAT:
        return sf_readf_float(sound, reinterpret_cast<float*>(chunk), frames);
    case SND_PCM_FORMAT_FLOAT64:
        return sf_readf_double(sound, reinterpret_cast<double*>(chunk), frames);
    default:
        return sf_readf_short(sound, reinterpret_cast<short*>(chunk), frames);
    }
}

// Writes `frames` frames of chunk to the device, waiting while its buffer is
// full. False when the device failed and was closed.
bool WriteFrames(sf_count_t frames, size_t frameBytes) {
    const unsigned char* at = chunk;
    snd_pcm_uframes_t left = static_cast<snd_pcm_uframes_t>(frames);
    int recoveries = 0;
    while (left > 0) {
        snd_pcm_sframes_t done = snd_pcm_writei(pcm, at, left);
        // An underrun or a suspend is recovered, a few times; anything else,
        // or a device that takes nothing for a second, ends the cue.
        const bool stuck = done == 0 && snd_pcm_wait(pcm, 1000) <= 0;
        if (stuck || (done < 0 && (++recoveries > kMaxRecoveries ||
                                   snd_pcm_recover(pcm, static_cast<int>(done), 1) < 0))) {
            CloseDevice();
            return false;
        }
        if (done <= 0) continue;
        at += static_cast<size_t>(done) * frameBytes;
        left -= static_cast<snd_pcm_uframes_t>(done);
    }
    return true;
}

const char* DeviceName() {
    const char* name = getenv("AUDIODEV");
    return name && name[0] ? name : "default";
}

}  // namespace

void PlatPlayWave(const uint8_t* image, size_t len) {
    if (!errorsSilenced) {
        snd_lib_error_set_handler(QuietAlsa);
        errorsSilenced = true;
    }
    if (!image || len == 0) return;
    const char* name = DeviceName();
    if (strlen(name) >= kNameCap) return;

    MemoryFile file = {image, static_cast<sf_count_t>(len), 0};
    SF_VIRTUAL_IO io = {MemLength, MemSeek, MemRead, MemWrite, MemTell};
    SF_INFO info;
    memset(&info, 0, sizeof info);
    SNDFILE* sound = sf_open_virtual(&io, SFM_READ, &info, &file);
    if (!sound) return;
    const int major = info.format & SF_FORMAT_TYPEMASK;
    if ((major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX) || info.channels <= 0 || info.samplerate <= 0 ||
        info.frames <= 0) {
        sf_close(sound);
        return;
    }
    // Float data beyond full scale is clipped, not wrapped, when it has to
    // go to an integer device format.
    sf_command(sound, SFC_SET_CLIPPING, nullptr, SF_TRUE);

    snd_pcm_format_t choices[4];
    const int count = PreferredFormats(info.format & SF_FORMAT_SUBMASK, choices);
    const StreamFormat wanted = {choices[0], info.channels, info.samplerate};
    StreamFormat format = wanted;
    if (!ReadyDevice(name, &format, choices, count)) {
        sf_close(sound);
        return;
    }

    const size_t frameBytes = static_cast<size_t>(snd_pcm_format_physical_width(format.sample) / 8) *
                              static_cast<size_t>(info.channels);
    const sf_count_t chunkFrames = static_cast<sf_count_t>(kChunkBytes / frameBytes);
    bool alive = true;
    for (;;) {
        const sf_count_t frames = Decode(sound, format.sample, chunkFrames);
        if (frames <= 0) break;
        alive = WriteFrames(frames, frameBytes);
        if (!alive) break;
    }
    sf_close(sound);
    if (!alive) {
        NoteFailure(name, wanted);
        return;
    }
    // Returns when the device has played everything written.
    if (snd_pcm_drain(pcm) < 0) CloseDevice();
}
