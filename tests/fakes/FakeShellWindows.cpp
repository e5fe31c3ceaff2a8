#include "FakeShellWindows.h"

#include "Krellin.h"
#include "engine/ShellIds.h"

#include <algorithm>

namespace vx::fakes {

namespace {
enum : DISPID { kCount = 0x60020000, kItem = 0 };
}

FakeShellWindows::FakeShellWindows()
    : FakeDispatch(IID_DShellWindowsEvents, {{L"Count", kCount}, {L"Item", kItem}}) {}

bool FakeShellWindows::AnswersIid(REFIID riid) const {
    // Only ever called late-bound, so the IDispatch serves for the interface.
    return IsEqualIID(riid, kIidIShellWindows);
}

HRESULT FakeShellWindows::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, UINT*) {
    switch (id) {
    case kCount:
        ++countReads;
        if (HRESULT hr = Failure(L"Count"); FAILED(hr)) return hr;
        if (result) {
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(windows.size());
        }
        return S_OK;
    case kItem: {
        if (HRESULT hr = Failure(L"Item"); FAILED(hr)) return hr;
        if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        Variant index;
        HRESULT hr = VariantChangeType(index.Get(), &params->rgvarg[0], 0, VT_I4);
        if (FAILED(hr)) return hr;
        LONG i = V_I4(index.Get());
        if (std::find(failingItems.begin(), failingItems.end(), i) != failingItems.end())
            return E_FAIL;
        if (result) {
            V_VT(result) = VT_DISPATCH;
            V_DISPATCH(result) = nullptr;
            if (i >= 0 && i < static_cast<LONG>(windows.size()) && windows[i]) {
                V_DISPATCH(result) = windows[i].Get();
                windows[i]->AddRef();
            }
        }
        return S_OK;
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

void FakeShellWindows::Add(IDispatch* window) { windows.push_back(ComPtr<IDispatch>(window)); }

void FakeShellWindows::Remove(IDispatch* window) {
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [&](const ComPtr<IDispatch>& w) { return w.Get() == window; }),
                  windows.end());
}

void FakeShellWindows::Register(IDispatch* window) {
    Add(window);
    FireWindowRegistered(static_cast<LONG>(windows.size()));
}

void FakeShellWindows::Revoke(IDispatch* window) {
    Remove(window);
    FireWindowRevoked();
}

void FakeShellWindows::FireWindowRegistered(LONG cookie) {
    VARIANTARG arg;
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = cookie;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    Point().Fire(200, &params);
}

void FakeShellWindows::FireWindowRevoked(LONG cookie) {
    VARIANTARG arg;
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = cookie;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    Point().Fire(201, &params);
}

} // namespace vx::fakes
