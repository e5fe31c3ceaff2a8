// Times the real programs end to end: the agent, the settings service and
// the favourites reader (over 2,000 shortcuts on disk) beside the browser
// double, with 1 and then 50 browser windows open. For 200 popups, blocked
// and allowed in turn, the times from the page's NewWindow3 to the blocked
// popup's refusal (or its Quit) and to the allowed popup's Visible, and from
// the allowed popup's first navigation event to its Visible, all on the double's clock
// (the performance counter, which all processes share). The floor is what
// a block cannot go below in this design: creating one browser object in
// the running double and four property calls on it, measured while the
// agent is not running (it would hear of every window made): before it
// starts and after it ends. Prints one line per run; not a test.
#include "PopupRig.h"
#include "ProcessTools.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace vx;
using namespace vx::test;

namespace {

constexpr int kPopups = 200;
constexpr int kFloorSamples = 20; // before the agent starts and again after it ends
// Sites none of the popups come from, so that every block walks them all.
constexpr int kFavorites = 2000;

double P50(std::vector<double> ms) {
    if (ms.empty()) return 0;
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

double SecondsNow() {
    LARGE_INTEGER f, now;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(f.QuadPart);
}

std::wstring FavoriteName(int i) {
    return L"bench" + std::to_wstring(i);
}

// One browser object made in the running double and four property calls on
// it, each one Invoke (the members' ids are looked up once beforehand); the
// object is quit untimed.
void MeasureFloor(std::vector<double>& ms) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"InternetExplorer.Application.1", &clsid))) return;
    auto create = [&clsid](ComPtr<IDispatch>& browser) {
        return SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                          browser.PutVoid()));
    };
    enum { kFullName, kLocationUrl, kVisible, kQuit };
    const wchar_t* const names[] = {L"FullName", L"LocationURL", L"Visible", L"Quit"};
    DISPID ids[4] = {};
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    {
        ComPtr<IDispatch> browser;
        if (!create(browser)) return;
        for (int n = 0; n < 4; ++n) {
            LPOLESTR name = const_cast<LPOLESTR>(names[n]);
            browser->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &ids[n]);
        }
        browser->Invoke(ids[kQuit], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr,
                        nullptr, nullptr);
    }
    for (int i = 0; i < kFloorSamples; ++i) {
        double start = SecondsNow();
        ComPtr<IDispatch> browser;
        if (!create(browser)) continue;
        bool ok = true;
        for (int n : {kFullName, kLocationUrl, kVisible}) {
            Variant value;
            ok = ok && SUCCEEDED(browser->Invoke(ids[n], IID_NULL, LOCALE_USER_DEFAULT,
                                                 DISPATCH_PROPERTYGET, &none, value.Get(),
                                                 nullptr, nullptr));
        }
        VARIANTARG hidden;
        V_VT(&hidden) = VT_BOOL;
        V_BOOL(&hidden) = VARIANT_FALSE;
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS one = {&hidden, &put, 1, 1};
        ok = ok && SUCCEEDED(browser->Invoke(ids[kVisible], IID_NULL, LOCALE_USER_DEFAULT,
                                             DISPATCH_PROPERTYPUT, &one, nullptr, nullptr,
                                             nullptr));
        double end = SecondsNow();
        browser->Invoke(ids[kQuit], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr,
                        nullptr, nullptr);
        if (ok) ms.push_back(1000.0 * (end - start));
    }
}

int Run(int windows) {
    PopupRig rig;
    HRESULT hr = rig.StartDouble();
    if (SUCCEEDED(hr)) hr = rig.OpenWindows(windows);
    std::vector<double> floor;
    if (SUCCEEDED(hr)) MeasureFloor(floor);
    if (SUCCEEDED(hr)) hr = rig.StartAgent();
    if (FAILED(hr)) {
        std::printf("%s\n", rig.FailedStep().c_str());
        return 1;
    }
    int failures = 0;
    std::vector<double> blocked, allowed, firstNav;
    for (int i = 0; i < kPopups; ++i) {
        bool block = i % 2 == 0;
        std::wstring url = block ? L"http://ads.elsewhere-network.net/" + std::to_wstring(i)
                                 : L"http://shop.opener.com/" + std::to_wstring(i);
        // NewWindow3 alone, as the browser fires it in place of NewWindow2.
        LateBound& b = rig.Browser();
        PopupRig::Outcome popup =
            rig.StateOf(b.Long(L"OpenPopup", "IsI", rig.Opener(), url.c_str(), 3L).value_or(0));
        double opened = b.Double(L"NewWindowTime", "I", popup.id).value_or(0);
        double navigated = b.Double(L"NavigateTime", "I", popup.id).value_or(0);
        double judged = b.Double(block ? L"QuitTime" : L"ShownTime", "I", popup.id).value_or(0);
        if ((block ? !popup.Blocked() : !popup.Shown()) || opened == 0 || judged == 0) {
            ++failures;
            continue;
        }
        (block ? blocked : allowed).push_back(1000.0 * (judged - opened));
        if (!block) {
            if (navigated > 0) firstNav.push_back(1000.0 * (judged - navigated));
            b.Do(L"CloseWindow", "I", popup.id);
        }
    }
    // The same double once more, so that the floor sees the machine's load
    // before and after the popups alike.
    rig.QuitAgent();
    MeasureFloor(floor);
    std::printf("windows=%d blocked_p50_ms=%.2f allowed_p50_ms=%.2f allowed_first_nav_p50_ms=%.2f "
                "floor_ms=%.2f\n",
                windows, P50(blocked), P50(allowed), P50(firstNav), P50(floor));
    if (failures) std::printf("%d popups were not judged as expected\n", failures);
    std::fflush(stdout);
    rig.Stop();
    return failures;
}

} // namespace

int main() {
    ComApartment com;
    HRESULT hr = PopupRig::Install();
    for (int i = 0; i < kFavorites && SUCCEEDED(hr); ++i) {
        std::wstring url = L"http://www.site" + std::to_wstring(i) + L"-bench.example.org/";
        hr = PopupRig::WriteFavourite(FavoriteName(i).c_str(), url.c_str());
    }
    int failures = 0;
    if (FAILED(hr)) {
        std::printf("registration or favourites failed: 0x%08lX\n", static_cast<unsigned long>(hr));
        failures = 1;
    }
    for (int windows : {1, 50})
        if (!failures) failures += Run(windows);
    for (int i = 0; i < kFavorites; ++i)
        PopupRig::RemoveFavourite(FavoriteName(i).c_str());
    PopupRig::Uninstall();
    return failures ? 1 : 0;
}
