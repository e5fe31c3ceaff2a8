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
#include "engine/Marklor.h"
#include "engine/RegistryClient.h"
#include "engine/ShellIds.h"
#include "engine/XShell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace vx::test {

using browserdouble::BrowserWindow;
using browserdouble::ShellWindowCollection;
using Window = ComPtr<BrowserWindow>;

class EngineTest : public ::testing::Test, public EngineHost {
  protected:
    static constexpr CLSID kClsid(BYTE n) {
        return {0x4d0c6f1a, 0x91b2, 0x4c55, {0x8e, 0x07, 0x3a, 0x6b, 0x1d, 0x92, 0x5f, n}};
    }
    static constexpr DWORD kAnywhere = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;

    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
        SetTheStatusLog(&log);
        collection = ComPtr<ShellWindowCollection>(ShellWindowCollection::Get());
        shellClass = Serve(
            kShellWindowsProgId, kClsidShellWindows, CLSCTX_INPROC_SERVER,
            [this](REFIID riid, void** ppv) { return collection->QueryInterface(riid, ppv); });
        browsers = Serve(kBrowserProgId, kClsid(1), kAnywhere, [](REFIID riid, void** ppv) {
            return BrowserWindow::CreateInstance(nullptr, riid, ppv);
        });
        registry =
            Serve(RegistryClient::kProgId, kClsid(2), kAnywhere, [this](REFIID riid, void** ppv) {
                return fakes::CreateDouble<fakes::FakeRegistry>(riid, ppv, &store);
            });
        reader = Serve(Marklor::kProgId, kClsid(3), CLSCTX_INPROC_SERVER,
                       [this](REFIID riid, void** ppv) {
                           return fakes::CreateDouble<fakes::FakeFavorites>(riid, ppv, favorites,
                                                                            &favoriteWalks);
                       });
        opener = collection->OpenWindow(L"http://www.opener.com/index.html", false, true);
    }

    void TearDown() override {
        shell.reset();
        shellClass.reset();
        browsers.reset();
        registry.reset();
        reader.reset();
        opener.Reset();
        ShellWindowCollection::Close();
        collection.Reset();
        SetTheStatusLog(nullptr);
        // Every sink the engine made, and every double, is gone with them.
        EXPECT_EQ(0, ModuleLockCount());
    }

    static std::unique_ptr<fakes::InProcessClass> Serve(const wchar_t* progId, const CLSID& clsid,
                                                        DWORD context,
                                                        fakes::InProcessClass::Creator create) {
        auto served = std::make_unique<fakes::InProcessClass>(progId, clsid, context, create);
        EXPECT_TRUE(SUCCEEDED(served->Registered()));
        return served;
    }

    // Starts the engine with the settings as stored now.
    void Start(LONG allowSameSite = 1, LONG killFixedSize = 1) {
        store.dwords[L"AllowSameSite"] = allowSameSite;
        store.dwords[L"KillFixedSize"] = killFixedSize;
        shell = std::make_unique<XShell>(this);
    }
    // A fresh engine, store and log for the next row of a table, and no
    // window but the opener.
    void Restart() {
        shell.reset();
        for (LONG id = 1; id <= collection->LastId(); ++id)
            if (collection->Find(id) != opener.Get()) collection->Remove(collection->Find(id));
        store = fakes::RegistryStore();
        log = StatusLog();
        notices.clear();
    }

    // A page in the opener asks for a window for url (see
    // BrowserWindow::OpenPopup for `events`).
    Window Popup(const wchar_t* url, int events = 2, LONG flags = 0, bool navigate = true) {
        return opener->OpenPopup(url, events, flags, navigate);
    }

    LONG Count() const {
        auto it = store.dwords.find(L"BlockCount");
        return it == store.dwords.end() ? 0 : it->second;
    }

    // Lines whose text (after the time stamp) is, or begins with, `text`.
    int Logged(const std::string& text, bool prefix = false) const {
        return static_cast<int>(
            std::count_if(log.Lines().begin(), log.Lines().end(), [&](const std::string& line) {
                return line.size() >= text.size() + 27 && line.compare(24, 3, " : ") == 0 &&
                       line.compare(27, prefix ? text.size() : std::string::npos, text) == 0;
            }));
    }
    // The text of the line after the first one reading `text` (the error
    // text that follows a failure line), or "".
    std::string LineAfter(const std::string& text) const {
        const auto& lines = log.Lines();
        for (size_t i = 0; i + 1 < lines.size(); ++i)
            if (lines[i].size() > 27 && lines[i].compare(27, std::string::npos, text) == 0)
                return lines[i + 1].size() > 27 ? lines[i + 1].substr(27) : "";
        return "";
    }

    // EngineHost
    void BlockCountRaised(LONG total) override { lastTotal = total; }
    void ShowBlockNotice(const BlockedPopup& popup) override {
        notices.push_back(popup.openerSite);
    }

    ComApartment com_;
    StatusLog log;
    fakes::RegistryStore store;
    std::shared_ptr<std::vector<fakes::Favorite>> favorites =
        std::make_shared<std::vector<fakes::Favorite>>();
    int favoriteWalks = 0;
    ComPtr<ShellWindowCollection> collection;
    std::unique_ptr<fakes::InProcessClass> shellClass, browsers, registry, reader;
    Window opener;
    std::unique_ptr<XShell> shell;
    LONG lastTotal = 0;
    std::vector<std::wstring> notices;
};

} // namespace vx::test
