// The engine in-process beside the browser double: the shell's window
// collection with an opener window, new browser windows, the settings
// service and the favourites reader, all served from this process. The
// fixture is the engine's host, so that the tests see what it is told.
#pragma once

#include "FakeFavorites.h"
#include "FakeRegistry.h"
#include "InProcessClass.h"
#include "ShellWindowCollection.h"

#include "common/StatusLog.h"
#include "engine/EngineHost.h"
#include "engine/RegistryClient.h"
#include "engine/ShellIds.h"
#include "engine/XShell.h"

#include <gtest/gtest.h>

namespace vx::test {

using browserdouble::BrowserWindow;
using browserdouble::ShellWindowCollection;
using Window = ComPtr<BrowserWindow>;

class EngineTest : public ::testing::Test, public EngineHost {
  protected:
    using Served = std::unique_ptr<fakes::InProcessClass>;
    static Served Serve(const wchar_t* progId, BYTE n, fakes::InProcessClass::Creator create) {
        const CLSID clsid = {
            0x4d0c6f1a, 0x91b2, 0x4c55, {0x8e, 0x7, 0x3a, 0x6b, 0x1d, 0x92, 0x5f, n}};
        // 0: the shell's own class, for this process only.
        auto served = std::make_unique<fakes::InProcessClass>(
            progId, n ? clsid : kClsidShellWindows,
            n ? CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER : CLSCTX_INPROC_SERVER,
            std::move(create));
        EXPECT_TRUE(SUCCEEDED(served->Registered()));
        return served;
    }

    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
        SetTheStatusLog(&log);
        opener = collection->OpenWindow(L"http://www.opener.com/index.html", false, true);
    }
    void TearDown() override {
        engine.reset();
        opener.Reset();
        ShellWindowCollection::Close();
        SetTheStatusLog(nullptr);
        // Every sink the engine made, and every double, is gone with them.
        EXPECT_EQ(0, ModuleLockCount());
    }

    // Starts the engine with the settings as stored now.
    void Start(LONG allowSameSite = 1, LONG killFixedSize = 1) {
        store.dwords[L"AllowSameSite"] = allowSameSite;
        store.dwords[L"KillFixedSize"] = killFixedSize;
        engine = std::make_unique<XShell>(this);
    }
    // No engine, a fresh store and log, and no window but the opener, for
    // the next row of a table.
    void Restart() {
        engine.reset();
        for (LONG id = 1; id <= collection->LastId(); ++id)
            if (collection->Find(id) != opener.Get()) collection->Remove(collection->Find(id));
        store = fakes::RegistryStore();
        log = StatusLog();
    }
    // A page in the opener asks for a window for url (see
    // BrowserWindow::OpenPopup for `order`).
    Window Popup(const wchar_t* url, int order = 2, LONG flags = 0, bool navigate = true) {
        return opener->OpenPopup(url, order, flags, navigate);
    }
    Explorer* Record(const Window& window) { return engine->FindExplorer(window.Get()); }
    // How many sinks each window has, in the order the windows were made.
    std::vector<LONG> Sinks() const {
        std::vector<LONG> counts;
        for (LONG id = 1; id <= collection->LastId(); ++id)
            counts.push_back(static_cast<LONG>(collection->Find(id)->events.sinks.size()));
        return counts;
    }
    LONG Count() { return store.dwords[L"BlockCount"]; }
    // What became of a window: "visible" or "hidden", then "cancelled", a
    // "quit" for every Quit, and "closed", as far as they hold.
    static std::string State(const Window& w) {
        std::string state = w->visible ? "visible" : "hidden";
        if (w->cancelled) state += " cancelled";
        for (int i = 0; i < w->quits; ++i) state += " quit";
        return w->open ? state : state + " closed";
    }
    // Lines whose text (after the time stamp) is `text`.
    int Logged(const std::string& text) const {
        return static_cast<int>(
            std::count_if(log.Lines().begin(), log.Lines().end(), [&](const std::string& line) {
                return line.size() > 27 && line.substr(27) == text;
            }));
    }

    // EngineHost
    void BlockCountRaised(LONG total) override { lastTotal = total; }
    void ShowBlockNotice(const BlockedPopup& popup) override {
        notices.push_back(popup.openerSite);
    }

    ComApartment com_;
    StatusLog log;
    fakes::RegistryStore store;
    std::vector<fakes::Favorite> favorites;
    ShellWindowCollection* collection = ShellWindowCollection::Get();
    // Browser windows made for the engine; left out of the collection, as
    // a window may be while it is created, when `unlisted` is set.
    bool unlisted = false;
    Served shellClass = Serve(kShellWindowsProgId, 0, [this](REFIID riid, void** ppv) {
        return collection->QueryInterface(riid, ppv);
    });
    Served browsers = Serve(kBrowserProgId, 1, [this](REFIID riid, void** ppv) {
        HRESULT hr = BrowserWindow::CreateInstance(nullptr, riid, ppv);
        if (unlisted) collection->Remove(collection->Find(collection->LastId()));
        return hr;
    });
    Served registry = Serve(RegistryClient::kProgId, 2, [this](REFIID riid, void** ppv) {
        return fakes::CreateDouble<fakes::FakeRegistry>(riid, ppv, &store);
    });
    Served reader = Serve(Marklor::kProgId, 3, [this](REFIID riid, void** ppv) {
        return fakes::CreateDouble<fakes::FakeFavorites>(riid, ppv, &favorites);
    });
    Window opener;
    std::unique_ptr<XShell> engine;
    LONG lastTotal = 0;
    std::vector<std::wstring> notices;
};

} // namespace vx::test
