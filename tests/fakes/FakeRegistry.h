#pragma once

#include "FakeConnectionPoint.h"

#include <functional>

namespace vx::fakes {

// What every FakeRegistry object of a test reads and writes.
struct RegistryStore {
    std::map<std::wstring, LONG> dwords;
    std::map<std::wstring, std::wstring> strings;
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
class FakeRegistry : public FakeDispatch {
  public:
    explicit FakeRegistry(RegistryStore* store);

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

  private:
    RegistryStore* store_;
};

} // namespace vx::fakes
