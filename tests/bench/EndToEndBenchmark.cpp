// On the double's clock: from NewWindow3 to the refusal or to Visible, and from
// the first navigation to Visible. The floor is what a block cannot go below
// in this design: one browser object made in the running double and four
// property calls on it, measured while no agent hears of every window made.
#include "tests/support/PopupRig.h"
#include "tests/support/ProcessTools.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace vx;
using namespace vx::test;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPopups = 200, kFloorSamples = 20;
// Sites none of the popups come from, so that every block walks them all.
constexpr int kFavorites = 2000;

double P50(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? 0 : ms[ms.size() / 2];
}

// The first object only tells the members' ids, so that each timed property
// call is one Invoke.
void MeasureFloor(std::vector<double>& ms) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"InternetExplorer.Application.1", &clsid))) return;
    const wchar_t* names[] = {L"FullName", L"LocationURL", L"Visible", L"Quit"};
    DISPID ids[4] = {}, put = DISPID_PROPERTYPUT;
    VARIANTARG hidden = {}; // VARIANT_FALSE
    V_VT(&hidden) = VT_BOOL;
    DISPPARAMS none = {}, one = {&hidden, &put, 1, 1};
    for (int i = -1; i < kFloorSamples; ++i) {
        Clock::time_point start = Clock::now();
        ComPtr<IDispatch> browser;
        if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                    browser.PutVoid())))
            continue;
        auto call = [&](int n, WORD kind, DISPPARAMS* params) {
            Variant result;
            return SUCCEEDED(browser->Invoke(ids[n], IID_NULL, LOCALE_USER_DEFAULT, kind, params,
                                             params == &one ? nullptr : result.Get(), nullptr,
                                             nullptr));
        };
        for (int n = 0; n < 4 && i < 0; ++n)
            browser->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(&names[n]), 1,
                                   LOCALE_USER_DEFAULT, &ids[n]);
        if (i >= 0 && call(0, DISPATCH_PROPERTYGET, &none) &&
            call(1, DISPATCH_PROPERTYGET, &none) && call(2, DISPATCH_PROPERTYGET, &none) &&
            call(2, DISPATCH_PROPERTYPUT, &one))
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        call(3, DISPATCH_METHOD, &none);
    }
}

int Run(int windows) {
    PopupRig rig;
    std::vector<double> floor, blocked, allowed, firstNav;
    HRESULT hr = rig.StartDouble();
    if (SUCCEEDED(hr)) hr = rig.OpenWindows(windows);
    if (SUCCEEDED(hr)) MeasureFloor(floor);
    if (SUCCEEDED(hr)) hr = rig.StartAgent();
    if (FAILED(hr)) std::printf("%s\n", rig.FailedStep().c_str());
    if (FAILED(hr)) return 1;
    int failures = 0;
    LateBound& b = rig.Browser();
    for (int i = 0; i < kPopups; ++i) {
        bool block = i % 2 == 0;
        std::wstring url = block ? L"http://ad.elsewhere.net/" : L"http://shop.opener.com/";
        url += std::to_wstring(i);
        PopupRig::Outcome popup =
            rig.StateOf(b.Long(L"OpenPopup", "IsI", rig.Opener(), url.c_str(), 3L).value_or(0));
        double opened = b.Get<double>(L"NewWindowTime", "I", popup.id).value_or(0);
        double navigated = b.Get<double>(L"NavigateTime", "I", popup.id).value_or(0);
        double judged =
            b.Get<double>(block ? L"QuitTime" : L"ShownTime", "I", popup.id).value_or(0);
        bool right = popup.state == (block ? PopupRig::kRefused : PopupRig::kShown) && opened > 0 &&
                     judged > 0;
        failures += !right;
        if (right) (block ? blocked : allowed).push_back(1000.0 * (judged - opened));
        if (right && !block && navigated > 0) firstNav.push_back(1000.0 * (judged - navigated));
        if (!block) b.Do(L"CloseWindow", "I", popup.id);
    }
    // Again, so that the floor sees the machine's load before and after alike.
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
    for (int i = 0; i < kFavorites && SUCCEEDED(hr); ++i)
        hr = PopupRig::WriteFavourite(
            (L"bench" + std::to_wstring(i)).c_str(),
            (L"http://www.site" + std::to_wstring(i) + L"-bench.example.org/").c_str());
    int failures = FAILED(hr) ? 1 : 0;
    if (failures)
        std::printf("registration or favourites failed: 0x%08lX\n", static_cast<unsigned long>(hr));
    for (int windows : {1, 50})
        if (!failures) failures += Run(windows);
    for (int i = 0; i < kFavorites; ++i)
        PopupRig::RemoveFavourite((L"bench" + std::to_wstring(i)).c_str());
    PopupRig::Uninstall();
    return failures ? 1 : 0;
}
