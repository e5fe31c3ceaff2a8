#pragma once

#include "FakeConnectionPoint.h"

namespace vx::fakes {

// The shell window collection: Count, Item and DShellWindowsEvents.
class FakeShellWindows : public FakeDispatch {
  public:
    FakeShellWindows();

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

    void Add(IDispatch* window);
    void Remove(IDispatch* window);
    // Adds or removes a window and fires the matching event.
    void Register(IDispatch* window);
    void Revoke(IDispatch* window);
    void FireWindowRegistered(LONG cookie = 0);
    void FireWindowRevoked(LONG cookie = 0);

    std::vector<ComPtr<IDispatch>> windows;
    // Indexes whose Item call fails.
    std::vector<LONG> failingItems;
    int countReads = 0;

  protected:
    bool AnswersIid(REFIID riid) const override;
};

} // namespace vx::fakes
