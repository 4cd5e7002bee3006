// DirectSound over the software mixer: the device (caps, cooperative level, buffer creation
// and duplication), the primary buffer that only holds a format, secondary buffers whose
// locks are staged and copied in on unlock, and the device enumeration of "DSOUND.DLL".
#include "direct_sound.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>

#include "../base/code_pages.h"
#include "../base/test_overrides.h"
#include "../ole32/com_object.h"
#include "mixer.h"
#include "platform/dsound.h"
#include "platform/testing_sound.h"

namespace {

constexpr DWORD kDefaultCapsFlags =
    DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
    DSCAPS_CONTINUOUSRATE | DSCAPS_EMULDRIVER | DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO |
    DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;
constexpr int kMaxChannels = 8;

struct DirectSoundState {
    std::mutex mutex;
    bool capsOverridden = false;
    DSCAPS caps{};
    std::atomic<int> secondaryBuffers{0};
};

DirectSoundState gDirectSound;
ComObjectCount gDirectSoundObjects;

DSCAPS ReportedCaps() {
    std::lock_guard guard(gDirectSound.mutex);
    if (gDirectSound.capsOverridden) return gDirectSound.caps;
    DSCAPS caps{};
    caps.dwSize = sizeof caps;
    caps.dwFlags = kDefaultCapsFlags;
    caps.dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
    caps.dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
    caps.dwPrimaryBuffers = 1;
    return caps;
}

// Every PCM layout the mixer reads: 8, 16, 24 or 32 bits, 1 to 8 channels.
bool IsPlayablePcm(const WAVEFORMATEX* format) {
    if (format == nullptr || format->wFormatTag != WAVE_FORMAT_PCM) return false;
    WORD bits = format->wBitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (format->nChannels < 1 || format->nChannels > kMaxChannels) return false;
    if (format->nBlockAlign != format->nChannels * bits / 8) return false;
    return format->nSamplesPerSec >= DSBFREQUENCY_MIN && format->nSamplesPerSec <= DSBFREQUENCY_MAX;
}

// DirectSound's law: hundredths of a decibel, -10000 and below silent.
float AttenuationGain(LONG hundredths) {
    if (hundredths <= DSBVOLUME_MIN) return 0.0f;
    return static_cast<float>(std::pow(10.0, static_cast<double>(hundredths) / 2000.0));
}

class DirectSoundDevice;

class DirectSoundBuffer final
    : public ComObject<IDirectSoundBuffer, gDirectSoundObjects, IID_IDirectSoundBuffer> {
public:
    // A primary buffer of `device`, which it keeps referenced.
    explicit DirectSoundBuffer(DirectSoundDevice* device);
    // A secondary buffer with fresh (zero) samples.
    DirectSoundBuffer(uintptr_t owner, DWORD flags, const WAVEFORMATEX& format, DWORD bytes);
    // A duplicate of `original`.
    DirectSoundBuffer(const DirectSoundBuffer& original);
    // A primary buffer lets its device go; a secondary one leaves the mixer.
    ~DirectSoundBuffer() override;

    HRESULT GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) override {
        ServiceMixerOutput();
        std::lock_guard guard(MixerLock());
        DWORD play = primary_ ? 0 : PlayCursorLocked();
        if (playCursor != nullptr) *playCursor = play;
        // Writing is safe from the first frame the mixer has not read: at the play cursor for
        // a voice at the output rate, past the resampler's look-ahead for any other.
        if (writeCursor != nullptr) {
            *writeCursor =
                primary_
                    ? 0
                    : (play + VoiceReadAheadFrames(voice_) * voice_.format.nBlockAlign) % bytes_;
        }
        return DS_OK;
    }

    HRESULT GetStatus(LPDWORD status) override {
        if (status == nullptr) return DSERR_INVALIDPARAM;
        if (InjectedFailure("IDirectSoundBuffer::GetStatus")) return DSERR_GENERIC;
        ServiceMixerOutput();
        std::lock_guard guard(MixerLock());
        *status = 0;
        if (!primary_ && voice_.playing) {
            *status = DSBSTATUS_PLAYING | (voice_.looping ? DSBSTATUS_LOOPING : 0);
        }
        return DS_OK;
    }

    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2,
                 LPDWORD bytes2, DWORD flags) override;
    HRESULT Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) override;

    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override {
        if (reserved != 0) return DSERR_INVALIDPARAM;
        if (primary_) return (flags & DSBPLAY_LOOPING) != 0 ? DS_OK : DSERR_INVALIDPARAM;
        ServiceMixerOutput();
        std::lock_guard guard(MixerLock());
        voice_.looping = (flags & DSBPLAY_LOOPING) != 0;
        voice_.playing = true;
        return DS_OK;
    }

    HRESULT SetCurrentPosition(DWORD position) override {
        if (primary_) return DSERR_INVALIDCALL;
        if (position >= bytes_) return DSERR_INVALIDPARAM;
        ServiceMixerOutput();
        std::lock_guard guard(MixerLock());
        voice_.position = static_cast<uint64_t>(position / voice_.format.nBlockAlign) << 32;
        return DS_OK;
    }

    HRESULT SetFormat(LPCWAVEFORMATEX format) override;

    HRESULT SetVolume(LONG volume) override {
        if ((flags_ & DSBCAPS_CTRLVOLUME) == 0) return DSERR_CONTROLUNAVAIL;
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        volume_ = volume;
        ApplyGains();
        return DS_OK;
    }

    HRESULT SetPan(LONG pan) override {
        if ((flags_ & DSBCAPS_CTRLPAN) == 0) return DSERR_CONTROLUNAVAIL;
        if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
        pan_ = pan;
        ApplyGains();
        return DS_OK;
    }

    HRESULT SetFrequency(DWORD frequency) override {
        if ((flags_ & DSBCAPS_CTRLFREQUENCY) == 0) return DSERR_CONTROLUNAVAIL;
        if (frequency == DSBFREQUENCY_ORIGINAL) frequency = voice_.format.nSamplesPerSec;
        if (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX) {
            return DSERR_INVALIDPARAM;
        }
        ServiceMixerOutput();
        std::lock_guard guard(MixerLock());
        voice_.frequency = frequency;
        return DS_OK;
    }

    HRESULT Stop() override {
        ServiceMixerOutput();
        std::lock_guard guard(MixerLock());
        voice_.playing = false;
        return DS_OK;
    }

    bool IsPrimary() const { return primary_; }

private:
    DWORD PlayCursorLocked() const {
        return static_cast<DWORD>(voice_.position >> 32) * voice_.format.nBlockAlign;
    }

    void ApplyGains() {
        ServiceMixerOutput();
        std::lock_guard guard(MixerLock());
        float gain = AttenuationGain(volume_);
        // Pan attenuates the opposite side only.
        voice_.leftGain = gain * AttenuationGain(-std::max<LONG>(pan_, 0));
        voice_.rightGain = gain * AttenuationGain(std::min<LONG>(pan_, 0));
    }

    bool primary_;
    DWORD flags_;
    DWORD bytes_;
    DirectSoundDevice* device_ = nullptr;  // primary buffers only
    MixerVoice voice_;
    LONG volume_ = 0;
    LONG pan_ = 0;
    // What a lock handed out: the two regions, staged here until the unlock copies them in.
    bool locked_ = false;
    DWORD lockOffset_ = 0;
    DWORD lockBytes1_ = 0;
    DWORD lockBytes2_ = 0;
    std::vector<uint8_t> staging_;
};

class DirectSoundDevice final
    : public ComObject<IDirectSound, gDirectSoundObjects, IID_IDirectSound> {
public:
    ~DirectSoundDevice() override {
        if (initialised_) CloseMixerOutput(Owner());
    }

    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer,
                              LPUNKNOWN outer) override {
        if (buffer == nullptr || desc == nullptr || desc->dwSize != sizeof(DSBUFFERDESC)) {
            return DSERR_INVALIDPARAM;
        }
        *buffer = nullptr;
        if (outer != nullptr) return DSERR_NOAGGREGATION;
        if (!initialised_) return DSERR_UNINITIALIZED;
        if (InjectedFailure("IDirectSound::CreateSoundBuffer")) return DSERR_GENERIC;
        if ((desc->dwFlags & DSBCAPS_PRIMARYBUFFER) != 0) {
            if (desc->dwBufferBytes != 0 || desc->lpwfxFormat != nullptr ||
                (desc->dwFlags & DSBCAPS_CTRLFREQUENCY) != 0) {
                return DSERR_INVALIDPARAM;
            }
            *buffer = new DirectSoundBuffer(this);
            return DS_OK;
        }
        if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) {
            return DSERR_INVALIDPARAM;
        }
        if (!IsPlayablePcm(desc->lpwfxFormat)) return DSERR_BADFORMAT;
        *buffer =
            new DirectSoundBuffer(Owner(), desc->dwFlags, *desc->lpwfxFormat, desc->dwBufferBytes);
        return DS_OK;
    }

    HRESULT GetCaps(LPDSCAPS caps) override {
        if (caps == nullptr || caps->dwSize != sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
        if (!initialised_) return DSERR_UNINITIALIZED;
        *caps = ReportedCaps();
        caps->dwSize = sizeof(DSCAPS);
        return DS_OK;
    }

    HRESULT DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                 LPDIRECTSOUNDBUFFER* duplicate) override {
        if (original == nullptr || duplicate == nullptr) return DSERR_INVALIDPARAM;
        *duplicate = nullptr;
        if (!initialised_) return DSERR_UNINITIALIZED;
        // Every buffer handed out by the layer is one of ours.
        auto* source = static_cast<DirectSoundBuffer*>(original);
        if (source->IsPrimary()) return DSERR_INVALIDCALL;
        if (InjectedFailure("IDirectSound::DuplicateSoundBuffer")) return DSERR_GENERIC;
        *duplicate = new DirectSoundBuffer(*source);
        return DS_OK;
    }

    HRESULT SetCooperativeLevel(HWND window, DWORD level) override {
        if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
        if (!initialised_) return DSERR_UNINITIALIZED;
        if (InjectedFailure("IDirectSound::SetCooperativeLevel")) return DSERR_GENERIC;
        level_ = level;
        return DS_OK;
    }

    HRESULT Initialize(const GUID* device) override {
        if (initialised_) return DSERR_ALREADYINITIALIZED;
        if (device != nullptr && !(*device == GUID{})) return DSERR_NODRIVER;
        if (InjectedFailure("IDirectSound::Initialize")) return DSERR_NODRIVER;
        HRESULT opened = OpenMixerOutput(Owner());
        if (FAILED(opened) && !(shared_ && opened == DSERR_ALLOCATED)) return opened;
        initialised_ = true;
        level_ = DSSCL_NORMAL;
        return DS_OK;
    }

    DWORD Level() const { return level_; }
    void Share() { shared_ = true; }

private:
    uintptr_t Owner() const { return reinterpret_cast<uintptr_t>(this); }

    bool initialised_ = false;
    bool shared_ = false;  // plays through an output that another device may hold
    DWORD level_ = 0;
};

DirectSoundBuffer::DirectSoundBuffer(DirectSoundDevice* device)
    : primary_(true), flags_(DSBCAPS_PRIMARYBUFFER), bytes_(0), device_(device) {
    device_->AddRef();
}

DirectSoundBuffer::DirectSoundBuffer(uintptr_t owner, DWORD flags, const WAVEFORMATEX& format,
                                     DWORD bytes)
    : primary_(false), flags_(flags), bytes_(bytes) {
    voice_.samples = std::make_shared<std::vector<uint8_t>>(bytes);
    voice_.format = format;
    voice_.format.cbSize = 0;
    voice_.frames = bytes / format.nBlockAlign;
    voice_.frequency = format.nSamplesPerSec;
    voice_.owner = owner;
    std::lock_guard guard(MixerLock());
    AttachVoice(&voice_);
    ++gDirectSound.secondaryBuffers;
}

DirectSoundBuffer::DirectSoundBuffer(const DirectSoundBuffer& original)
    : ComObject(), primary_(false), flags_(original.flags_), bytes_(original.bytes_) {
    std::lock_guard guard(MixerLock());
    voice_.samples = original.voice_.samples;
    voice_.format = original.voice_.format;
    voice_.frames = original.voice_.frames;
    voice_.frequency = original.voice_.frequency;
    voice_.leftGain = original.voice_.leftGain;
    voice_.rightGain = original.voice_.rightGain;
    voice_.owner = original.voice_.owner;
    volume_ = original.volume_;
    pan_ = original.pan_;
    AttachVoice(&voice_);
    ++gDirectSound.secondaryBuffers;
}

DirectSoundBuffer::~DirectSoundBuffer() {
    if (primary_) {
        device_->Release();
        return;
    }
    ServiceMixerOutput();
    std::lock_guard guard(MixerLock());
    DetachVoice(&voice_);
    --gDirectSound.secondaryBuffers;
}

HRESULT DirectSoundBuffer::Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1,
                                LPVOID* part2, LPDWORD bytes2, DWORD flags) {
    if (part1 == nullptr || bytes1 == nullptr) return DSERR_INVALIDPARAM;
    // Writing the primary buffer needs the write-primary level, which this layer never grants.
    if (primary_) return DSERR_PRIOLEVELNEEDED;
    if (locked_) return DSERR_INVALIDCALL;
    if (InjectedFailure("IDirectSoundBuffer::Lock")) return DSERR_GENERIC;
    ServiceMixerOutput();
    std::lock_guard guard(MixerLock());
    if ((flags & DSBLOCK_FROMWRITECURSOR) != 0) offset = PlayCursorLocked();
    if ((flags & DSBLOCK_ENTIREBUFFER) != 0) bytes = bytes_;
    if (offset >= bytes_ || bytes == 0 || bytes > bytes_) return DSERR_INVALIDPARAM;
    lockOffset_ = offset;
    lockBytes1_ = std::min(bytes, bytes_ - offset);
    lockBytes2_ = bytes - lockBytes1_;
    if (lockBytes2_ != 0 && (part2 == nullptr || bytes2 == nullptr)) return DSERR_INVALIDPARAM;
    const uint8_t* samples = voice_.samples->data();
    staging_.assign(samples + offset, samples + offset + lockBytes1_);
    staging_.insert(staging_.end(), samples, samples + lockBytes2_);
    locked_ = true;
    *part1 = staging_.data();
    *bytes1 = lockBytes1_;
    if (part2 != nullptr) *part2 = lockBytes2_ != 0 ? staging_.data() + lockBytes1_ : nullptr;
    if (bytes2 != nullptr) *bytes2 = lockBytes2_;
    return DS_OK;
}

HRESULT DirectSoundBuffer::Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) {
    if (primary_) return DSERR_PRIOLEVELNEEDED;
    if (!locked_ || part1 != staging_.data()) return DSERR_INVALIDPARAM;
    if (InjectedFailure("IDirectSoundBuffer::Unlock")) {
        locked_ = false;
        return DSERR_GENERIC;
    }
    ServiceMixerOutput();
    std::lock_guard guard(MixerLock());
    uint8_t* samples = voice_.samples->data();
    std::memcpy(samples + lockOffset_, staging_.data(), std::min(bytes1, lockBytes1_));
    if (part2 != nullptr) {
        std::memcpy(samples, staging_.data() + lockBytes1_, std::min(bytes2, lockBytes2_));
    }
    locked_ = false;
    staging_.clear();
    staging_.shrink_to_fit();
    return DS_OK;
}

// The host output keeps its own format: the primary's is checked and accepted.
HRESULT DirectSoundBuffer::SetFormat(LPCWAVEFORMATEX format) {
    if (!primary_) return DSERR_INVALIDCALL;
    if (device_->Level() < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
    if (InjectedFailure("IDirectSoundBuffer::SetFormat")) return DSERR_GENERIC;
    return IsPlayablePcm(format) && format->nChannels <= 2 ? DS_OK : DSERR_BADFORMAT;
}

}  // namespace

HRESULT CreateDirectSoundObject(LPUNKNOWN outer, REFIID iid, void** object) {
    if (outer != nullptr) return DSERR_NOAGGREGATION;
    auto* device = new DirectSoundDevice;
    HRESULT result = device->QueryInterface(iid, object);
    device->Release();
    return result;
}

IDirectSound* CreateSharedDirectSound() {
    auto* device = new DirectSoundDevice;
    device->Share();
    if (FAILED(device->Initialize(nullptr))) {
        device->Release();
        return nullptr;
    }
    return device;
}

HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, LPVOID context) {
    if (callback == nullptr) return DSERR_INVALIDPARAM;
    if (!callback(nullptr, "Primary Sound Driver", "", context)) return DS_OK;
    const HostDriver& host = MixerHost();
    std::vector<std::string> names = host.audioDeviceNames();
    for (size_t i = 0; i < names.size(); ++i) {
        // The host's devices get GUIDs that differ in their last bytes only.
        GUID device = {0x6F72626B, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, static_cast<BYTE>(i + 1)}};
        std::string description;
        if (!Utf8ToCp932(names[i], &description)) description = names[i];
        if (!callback(&device, description.c_str(), host.name, context)) break;
    }
    return DS_OK;
}

void TestResetSoundLayer() {
    {
        std::lock_guard guard(gDirectSound.mutex);
        gDirectSound.capsOverridden = false;
    }
    TestTakeMciCommands();
}

void TestSetDirectSoundCaps(const DSCAPS* caps) {
    std::lock_guard guard(gDirectSound.mutex);
    gDirectSound.capsOverridden = caps != nullptr;
    if (caps != nullptr) gDirectSound.caps = *caps;
}

int TestCountSoundBuffers() {
    return gDirectSound.secondaryBuffers.load();
}

int TestCountDirectSoundObjects() {
    return gDirectSoundObjects.live;
}
