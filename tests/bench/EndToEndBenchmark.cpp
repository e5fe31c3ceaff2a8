// Times the real programs end to end: the agent, the settings service and
// the favourites reader beside the browser double, with 50 browser windows
// open. For 200 popups, blocked and allowed in turn, the time from the
// page's NewWindow2 to the blocked popup's Quit and to the allowed popup's
// Visible, both on the double's clock (the performance counter, which all
// processes share). Prints the figures; not a test.
#include "PopupRig.h"
#include "ProcessTools.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace vx;
using namespace vx::test;

namespace {

constexpr int kWindows = 50;
constexpr int kPopups = 200;

void Report(const char* what, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("%-40s no samples\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double m : ms)
        sum += m;
    std::printf("%-40s n=%zu  p50=%8.3f ms  p99=%8.3f ms  mean=%8.3f ms\n", what, ms.size(),
                ms[ms.size() / 2], ms[ms.size() * 99 / 100], sum / ms.size());
}

} // namespace

int main() {
    ComApartment com;
    HRESULT hr = PopupRig::Install();
    if (FAILED(hr)) {
        std::printf("registration failed: 0x%08lX\n", static_cast<unsigned long>(hr));
        PopupRig::Uninstall();
        return 1;
    }
    int failures = 0;
    {
        PopupRig rig;
        hr = rig.Start(kWindows);
        if (FAILED(hr)) {
            std::printf("%s\n", rig.FailedStep().c_str());
            failures = 1;
        }
        std::vector<double> blocked, allowed, roundTrip;
        for (int i = 0; SUCCEEDED(hr) && i < kPopups; ++i) {
            bool block = i % 2 == 0;
            std::wstring url = block ? L"http://ads.elsewhere-network.net/" + std::to_wstring(i)
                                     : L"http://shop.opener.com/" + std::to_wstring(i);
            double start = rig.Browser().Double(L"Now").value_or(0);
            PopupRig::Outcome popup = rig.Popup(url.c_str());
            double end = rig.Browser().Double(L"Now").value_or(0);
            double opened = rig.Browser().Double(L"NewWindowTime", "I", popup.id).value_or(0);
            double judged =
                rig.Browser().Double(block ? L"QuitTime" : L"ShownTime", "I", popup.id).value_or(0);
            if ((block ? !popup.Blocked() : !popup.Shown()) || opened == 0 || judged == 0) {
                ++failures;
                continue;
            }
            (block ? blocked : allowed).push_back(1000.0 * (judged - opened));
            roundTrip.push_back(1000.0 * (end - start));
            if (!block) rig.Browser().Do(L"CloseWindow", "I", popup.id);
        }
        std::printf("End to end, %d browser windows open, %d popups:\n", kWindows, kPopups);
        Report("NewWindow2 to Quit (blocked)", blocked);
        Report("NewWindow2 to Visible (allowed)", allowed);
        Report("popup round trip seen by the page", roundTrip);
        if (failures) std::printf("%d popups were not judged as expected\n", failures);
        rig.Stop();
    }
    PopupRig::Uninstall();
    return failures ? 1 : 0;
}
