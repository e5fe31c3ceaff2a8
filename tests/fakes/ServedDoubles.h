// The shell's window collection and the settings service as the agent's and
// the engine's tests serve them from their own process.
#pragma once

#include "FakeRegistry.h"
#include "InProcessClass.h"

#include "engine/RegistryClient.h"
#include "engine/ShellIds.h"
#include "tests/browserdouble/ShellWindowCollection.h"

#include <memory>

namespace vx::fakes {

struct ServedDoubles {
    using Served = std::unique_ptr<InProcessClass>;
    // 0: the shell's own class, for this process only.
    static Served Serve(const wchar_t* progId, BYTE n, InProcessClass::Creator create) {
        const CLSID own = {0x4d0c6f1a, 0x91b2, 0x4c55, {0x8e, 7, 0x3a, 0x6b, 0x1d, 0x92, 0x5f, n}};
        auto served = std::make_unique<InProcessClass>(
            progId, n ? own : kClsidShellWindows,
            CLSCTX_INPROC_SERVER | (n ? CLSCTX_LOCAL_SERVER : 0), std::move(create));
        return SUCCEEDED(served->Registered()) ? std::move(served) : nullptr;
    }

    ComApartment com; // first: the classes below are registered with it
    RegistryStore store;
    browserdouble::ShellWindowCollection* collection = browserdouble::ShellWindowCollection::Get();
    Served shellClass = Serve(kShellWindowsProgId, 0, [this](REFIID riid, void** ppv) {
        return collection->QueryInterface(riid, ppv);
    });
    Served registry = Serve(RegistryClient::kProgId, 2, [this](REFIID riid, void** ppv) {
        return CreateDouble<FakeRegistry>(riid, ppv, &store);
    });
};

} // namespace vx::fakes
