// Force-feedback effects of pads: constant forces and enveloped sine waves, checked as
// DirectInput checks them and played on the host joystick in a slot of their own.
#include <algorithm>
#include <cstdlib>

#include "../base/test_overrides.h"
#include "../host/host.h"
#include "dinput_objects.h"

namespace {

constexpr LONG kFullLevel = static_cast<LONG>(DI_FFNOMINALMAX);

int32_t Level(DWORD value, DWORD gain) {
    return static_cast<int32_t>(std::min<unsigned long long>(
        static_cast<unsigned long long>(value) * gain / DI_FFNOMINALMAX, kFullLevel));
}

uint32_t Milliseconds(DWORD microseconds) {
    return microseconds / 1000;
}

class PadEffect final
    : public ComObject<IDirectInputEffect, gDirectInputObjects, IID_IDirectInputEffect> {
public:
    PadEffect(int pad, int slot, const HostJoystickEffect& effect)
        : pad_(pad), slot_(slot), effect_(effect) {}
    ~PadEffect() override {
        if (playing_) Host().playJoystickEffect(pad_, slot_, nullptr);
    }

    HRESULT Start(DWORD iterations, DWORD flags) override {
        Record("Start");
        if (iterations == 0) return DIERR_INVALIDPARAM;
        if (InjectedFailure("IDirectInputEffect::Start")) return DIERR_INPUTLOST;
        HostJoystickEffect played = effect_;
        played.lengthMs = iterations == INFINITE
                              ? 0
                              : static_cast<uint32_t>(std::min<unsigned long long>(
                                    1ull * effect_.lengthMs * iterations, 0xFFFFFFFF));
        if (!Host().playJoystickEffect(pad_, slot_, &played)) return DIERR_INPUTLOST;
        playing_ = true;
        return DI_OK;
    }

    HRESULT Stop() override {
        Record("Stop");
        if (playing_) Host().playJoystickEffect(pad_, slot_, nullptr);
        playing_ = false;
        return DI_OK;
    }

private:
    void Record(const char* what) const {
        if (!gDirectInput.recordCalls) return;
        RecordDirectInputCall("pad " + std::to_string(pad_) + " effect " + std::to_string(slot_),
                              what);
    }

    int pad_;
    int slot_;
    HostJoystickEffect effect_;
    bool playing_ = false;
};

}  // namespace

HRESULT CreatePadEffect(int pad, int slot, REFGUID kind, LPCDIEFFECT parameters,
                        IDirectInputEffect** effect) {
    bool sine = kind == GUID_Sine;
    if (!sine && kind != GUID_ConstantForce) return DIERR_DEVICENOTREG;
    if (parameters == nullptr || parameters->dwSize != sizeof(DIEFFECT) ||
        parameters->lpvTypeSpecificParams == nullptr ||
        parameters->cbTypeSpecificParams != (sine ? sizeof(DIPERIODIC) : sizeof(DICONSTANTFORCE)) ||
        (parameters->lpEnvelope != nullptr &&
         parameters->lpEnvelope->dwSize != sizeof(DIENVELOPE))) {
        return DIERR_INVALIDPARAM;
    }
    HostJoystickEffect made;
    made.sine = sine;
    DWORD gain = std::min(parameters->dwGain, DI_FFNOMINALMAX);
    if (sine) {
        const DIPERIODIC* wave = static_cast<const DIPERIODIC*>(parameters->lpvTypeSpecificParams);
        made.magnitude = Level(wave->dwMagnitude, gain);
        made.periodMs = Milliseconds(wave->dwPeriod);
    } else {
        const DICONSTANTFORCE* force =
            static_cast<const DICONSTANTFORCE*>(parameters->lpvTypeSpecificParams);
        made.magnitude = Level(static_cast<DWORD>(std::labs(force->lMagnitude)), gain);
    }
    if (const DIENVELOPE* envelope = parameters->lpEnvelope) {
        made.attackLevel = Level(envelope->dwAttackLevel, gain);
        made.attackMs = Milliseconds(envelope->dwAttackTime);
        made.fadeLevel = Level(envelope->dwFadeLevel, gain);
        made.fadeMs = Milliseconds(envelope->dwFadeTime);
    }
    made.lengthMs = parameters->dwDuration == INFINITE
                        ? 0
                        : std::max<uint32_t>(1, Milliseconds(parameters->dwDuration));
    *effect = new PadEffect(pad, slot, made);
    return DI_OK;
}
