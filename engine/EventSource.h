// Connecting a sink to an event source's connection point (a browser's
// DWebBrowserEvents2, the shell collection's DShellWindowsEvents).
#pragma once

#include "common/StatusLog.h"
#include "common/Scoped.h"

#include <windows.h>
#include <ocidl.h>

#include <new>

namespace vx {

// The resource number of the engine's type library (EngineEvents.idl) in the
// program that links the engine; the sinks dispatch through it.
constexpr UINT kEngineTypeLib = 2;

// A new sink of class Sink told of `owner`, with the one reference the
// caller holds while connecting it; null (after logging the step's fixed
// text) when it cannot be made.
template <class Sink, class Owner>
Sink* NewSink(Owner* owner, ComPtr<IUnknown>* unknown, const char* createError,
              const char* queryError) {
    auto* sink = new (std::nothrow) Sink();
    if (!sink) {
        LogFailure(createError, E_OUTOFMEMORY);
        return nullptr;
    }
    sink->SetOwner(owner);
    HRESULT hr = sink->QueryInterface(IID_IUnknown, unknown->PutVoid());
    if (FAILED(hr)) {
        delete sink; // never referenced
        LogFailure(queryError, hr);
        return nullptr;
    }
    return sink;
}

// `point`, when given, receives the connection point: unadvising through it
// later needs no look-up (and releasing a point is a call of its own across
// processes, better made off the popup's path).
HRESULT AdviseEvents(IDispatch* source, REFIID events, IUnknown* sink, DWORD* cookie,
                     ComPtr<IConnectionPoint>* point = nullptr);
HRESULT UnadviseEvents(IDispatch* source, REFIID events, DWORD cookie);

} // namespace vx
