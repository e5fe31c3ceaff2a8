// The engine beside an opener window, with the settings service, the
// favourites reader and new browser windows served by in-process doubles.
#pragma once

#include "EngineTestSupport.h"
#include "FakeFavorites.h"
#include "FakeRegistry.h"

#include "engine/Marklor.h"
#include "engine/RegistryClient.h"

namespace vx::test {

class PopupTest : public EngineTest {
  protected:
    static constexpr CLSID kBrowserClsid = {
        0x4d0c6f1a, 0x91b2, 0x4c55, {0x8e, 0x07, 0x3a, 0x6b, 0x1d, 0x92, 0x5f, 0x01}};
    static constexpr CLSID kRegistryClsid = {
        0x4d0c6f1a, 0x91b2, 0x4c55, {0x8e, 0x07, 0x3a, 0x6b, 0x1d, 0x92, 0x5f, 0x02}};
    static constexpr CLSID kFavoritesClsid = {
        0x4d0c6f1a, 0x91b2, 0x4c55, {0x8e, 0x07, 0x3a, 0x6b, 0x1d, 0x92, 0x5f, 0x03}};

    void SetUp() override {
        EngineTest::SetUp();
        browsers = std::make_unique<fakes::InProcessClass>(
            kBrowserProgId, kBrowserClsid, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
            [this](REFIID riid, void** ppv) {
                auto browser = MakeBrowser(fakes::kIEFullName, L"", false);
                created.push_back(browser);
                collection->Register(browser.Get());
                return browser->QueryInterface(riid, ppv);
            });
        registry = std::make_unique<fakes::InProcessClass>(
            RegistryClient::kProgId, kRegistryClsid, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
            [this](REFIID riid, void** ppv) {
                return fakes::CreateDouble<fakes::FakeRegistry>(riid, ppv, &store);
            });
        reader = std::make_unique<fakes::InProcessClass>(
            Marklor::kProgId, kFavoritesClsid, CLSCTX_INPROC_SERVER,
            [this](REFIID riid, void** ppv) {
                return fakes::CreateDouble<fakes::FakeFavorites>(riid, ppv, favorites, &favoriteWalks);
            });
        opener = MakeBrowser(fakes::kIEFullName, L"http://www.opener.com/index.html", true);
        collection->Add(opener.Get());
    }

    void TearDown() override {
        shell.reset();
        browsers.reset();
        registry.reset();
        reader.reset();
        created.clear();
        opener.Reset();
        EngineTest::TearDown();
    }

    // Starts the engine with the settings as stored now.
    void StartWith(LONG allowSameSite, LONG killFixedSize) {
        store.dwords[L"AllowSameSite"] = allowSameSite;
        store.dwords[L"KillFixedSize"] = killFixedSize;
        Start();
    }

    // The page in the opener asks for a new window; answers the window the
    // engine handed back (null if none).
    FakeBrowser* OpenPopup() {
        IDispatch* supplied = nullptr;
        VARIANT_BOOL cancel = VARIANT_FALSE;
        opener->FireNewWindow2(&supplied, &cancel);
        EXPECT_EQ(VARIANT_FALSE, cancel) << "NewWindow2 is never cancelled";
        FakeBrowser* popup = nullptr;
        for (auto& b : created)
            if (static_cast<IDispatch*>(b.Get()) == supplied) popup = b.Get();
        if (supplied) supplied->Release();
        return popup;
    }

    LONG Count() const {
        auto it = store.dwords.find(L"BlockCount");
        return it == store.dwords.end() ? 0 : it->second;
    }

    fakes::RegistryStore store;
    std::shared_ptr<std::vector<fakes::Favorite>> favorites =
        std::make_shared<std::vector<fakes::Favorite>>();
    int favoriteWalks = 0;
    std::unique_ptr<fakes::InProcessClass> browsers, registry, reader;
    std::vector<ComPtr<FakeBrowser>> created;
    ComPtr<FakeBrowser> opener;
};

} // namespace vx::test
