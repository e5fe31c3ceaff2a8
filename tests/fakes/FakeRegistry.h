#pragma once

#include "NamedDispatch.h"

#include "common/ComObject.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vx::fakes {

// What every FakeRegistry object of a test reads and writes.
struct RegistryStore {
    std::map<std::wstring, LONG> dwords;
    std::map<std::wstring, std::wstring> strings;
    std::map<std::wstring, std::wstring> lists;
    // "Member name" or "Member name value" for every call, in order.
    std::vector<std::wstring> calls;
    // Member name -> forced failure.
    std::map<std::wstring, HRESULT> failures;
    int objects = 0;
    // Run once inside the next GetAppDWORD, before it answers: what the
    // agent's thread may do while it waits on the cross-process read.
    std::function<void()> duringRead;
};

// The settings service's Registry object as the agent uses it by name.
class FakeRegistry : public ComObject<FakeRegistry, IDispatch> {
  public:
    static const QITAB* QiTable();
    explicit FakeRegistry(RegistryStore* store);

    VX_NAMED_DISPATCH_METHODS(kNames)
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

  private:
    enum : DISPID {
        kGetAppString = 1,
        kSetAppString,
        kGetAppDWORD,
        kSetAppDWORD,
        kGetAppList,
        kSetAppList,
        kTopLevelKey,
        kTopFolder,
        kCompany,
        kProduct,
        kVersion,
        kSubFolder,
        kDisableMessenger,
    };
    static constexpr browserdouble::DispatchName kNames[] = {
        {L"GetAppString", kGetAppString},
        {L"SetAppString", kSetAppString},
        {L"GetAppDWORD", kGetAppDWORD},
        {L"SetAppDWORD", kSetAppDWORD},
        {L"GetAppList", kGetAppList},
        {L"SetAppList", kSetAppList},
        {L"TopLevelKey", kTopLevelKey},
        {L"TopFolder", kTopFolder},
        {L"Company", kCompany},
        {L"Product", kProduct},
        {L"Version", kVersion},
        {L"SubFolder", kSubFolder},
        {L"DisableMessenger", kDisableMessenger},
    };

    RegistryStore* store_;
};

} // namespace vx::fakes
