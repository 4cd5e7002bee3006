// The vertical-blank wait: a DirectDraw object used for nothing else, the refresh period
// measured from agreeing blank intervals, and a wait that sleeps in 1 ms steps until about
// 3 ms before the expected blank so that the processor is not held in DirectDraw's wait.
#include "graphics/vertical_blank.h"

#include <platform/win32.h>

#include "core/shell_hooks.h"
#include "core/clocks.h"
#include "core/log.h"
#include "core/platform_dlls.h"

VerticalBlankState gVerticalBlank = {nullptr, -1, 0};

namespace {

constexpr int kMeasurePasses = 60;
constexpr int kAgreeingIntervals = 10;
constexpr int64_t kAgreementUs = 1000;
constexpr int64_t kUnknownPeriodThresholdUs = 4000;
constexpr int64_t kWakeBeforeBlankUs = 3000;

void WaitForBlank() {
    gVerticalBlank.directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
}

// Whether less than `threshold` has passed since the last paced blank. A clock that reads
// earlier than that blank (a clock set back, as a test's virtual clock is) counts as passed, so
// the wait cannot run on until the clock catches up.
bool IsBeforeThreshold(int64_t threshold) {
    int64_t elapsed = GetMicrosecondCount() - gVerticalBlank.lastBlankUs;
    return elapsed >= 0 && elapsed < threshold;
}

}  // namespace

int SetupDirectDraw7() {
    ReleaseDirectDraw7();
    AppendLogText("DirectDraw オブジェクトの取得を行います....  ");
    void* object = nullptr;
    if (gPlatformDlls.CoCreateInstance == nullptr ||
        FAILED(gPlatformDlls.CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL,
                                              IID_IDirectDraw7, &object))) {
        return AppendLogText("オブジェクトの取得に失敗しました\n");
    }
    gVerticalBlank.directDraw = static_cast<IDirectDraw7*>(object);
    AppendLogText("成功\n");
    AppendLogText("引き続き初期化処理... ");
    if (FAILED(gVerticalBlank.directDraw->Initialize(nullptr))) {
        AppendLogText("DirectDrawオブジェクトの初期化に失敗しました\n");
        ReleaseDirectDraw7();
        return -1;
    }
    AppendLogText("初期化に成功しました\n");
    gVerticalBlank.directDraw->SetCooperativeLevel(GetMainHwnd(), DDSCL_NORMAL);
    return 0;
}

int ReleaseDirectDraw7() {
    if (gVerticalBlank.directDraw != nullptr) gVerticalBlank.directDraw->Release();
    // A later start measures and paces afresh: the last blank's time belongs to this run's
    // clock (a process that starts again on another clock would sleep until it came round).
    gVerticalBlank = {nullptr, -1, 0};
    return 0;
}

IDirectDraw7* GetDirectDraw7Object() {
    return gVerticalBlank.directDraw;
}

void MeasureVerticalBlankPeriod() {
    gVerticalBlank.periodUs = -1;
    // Without the multimedia clock every interval would read 0.
    if (gVerticalBlank.directDraw != nullptr && GetMicrosecondCount() >= 0) {
        WaitForBlank();
        int64_t previous = GetMicrosecondCount();
        int64_t previousInterval = 0, sum = 0;
        int count = 0;
        for (int pass = 0; pass < kMeasurePasses; ++pass) {
            WaitForBlank();
            int64_t now = GetMicrosecondCount();
            int64_t interval = now - previous;
            previous = now;
            int64_t difference = interval - previousInterval;
            previousInterval = interval;
            if (difference > -kAgreementUs && difference < kAgreementUs) {
                ++count;
                sum += interval;
            } else {
                count = 0;
                sum = 0;
            }
            if (count == kAgreeingIntervals) {
                gVerticalBlank.periodUs = sum / count;
                break;
            }
            Sleep(5);
        }
    }
    WaitVerticalBlankPaced();
}

void WaitVerticalBlankPaced() {
    if (gVerticalBlank.directDraw == nullptr) return;
    // Without the multimedia clock there is nothing to pace by.
    if (GetMicrosecondCount() < 0) {
        WaitForBlank();
        return;
    }
    int64_t threshold = gVerticalBlank.periodUs >= 0 ? gVerticalBlank.periodUs - kWakeBeforeBlankUs
                                                     : kUnknownPeriodThresholdUs;
    if (IsBeforeThreshold(threshold)) {
        Sleep(0);
        while (IsBeforeThreshold(threshold)) Sleep(1);
        WaitForBlank();
        gVerticalBlank.lastBlankUs = GetMicrosecondCount();
    } else {
        WaitForBlank();
        gVerticalBlank.lastBlankUs = GetMicrosecondCount();
        Sleep(0);
    }
}
