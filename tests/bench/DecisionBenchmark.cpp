// Times the popup decision: from a page's NewWindow2 to the end of the new
// window's first BeforeNavigate2, for a blocked and an allowed popup, with
// 50 tracked windows and 2,000 favourites. The favourites come from the
// in-process double and then from the real favourites reader over a real
// Favorites folder. Prints the figures; not a test.
#include "FakeBrowser.h"
#include "FakeFavorites.h"
#include "FakeRegistry.h"
#include "FakeShellWindows.h"
#include "InProcessClass.h"

#include "common/StatusLog.h"
#include "engine/Marklor.h"
#include "engine/RegistryClient.h"
#include "engine/ShellIds.h"
#include "engine/XShell.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace vx;
using fakes::FakeBrowser;

namespace {

constexpr CLSID kBrowserClsid = {
    0x9f1e2d3c, 0x4b5a, 0x4968, {0x87, 0x76, 0x65, 0x54, 0x43, 0x32, 0x21, 0x01}};
constexpr CLSID kRegistryClsid = {
    0x9f1e2d3c, 0x4b5a, 0x4968, {0x87, 0x76, 0x65, 0x54, 0x43, 0x32, 0x21, 0x02}};
constexpr CLSID kFavoritesClsid = {
    0x9f1e2d3c, 0x4b5a, 0x4968, {0x87, 0x76, 0x65, 0x54, 0x43, 0x32, 0x21, 0x03}};
constexpr int kWindows = 50;
constexpr int kFavorites = 2000;
constexpr int kFolders = 40;
constexpr int kRuns = 200;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double m : ms) sum += m;
    std::printf("%-44s n=%zu  p50=%8.3f ms  p99=%8.3f ms  mean=%8.3f ms\n", what, ms.size(),
                ms[ms.size() / 2], ms[ms.size() * 99 / 100], sum / ms.size());
}

struct Bench {
    ComPtr<fakes::FakeShellWindows> collection =
        ComPtr<fakes::FakeShellWindows>::Attach(new fakes::FakeShellWindows());
    std::vector<ComPtr<FakeBrowser>> windows;
    std::vector<ComPtr<FakeBrowser>> created;
    fakes::RegistryStore store;

    // Runs kRuns popups whose first navigation goes to url; answers the
    // times in ms and checks the outcome.
    std::vector<double> Popups(XShell& engine, const wchar_t* url, bool expectShown) {
        std::vector<double> times;
        FakeBrowser* opener = windows[0].Get();
        for (int i = 0; i < kRuns; ++i) {
            double start = Now();
            IDispatch* supplied = nullptr;
            VARIANT_BOOL cancel = VARIANT_FALSE;
            opener->FireNewWindow2(&supplied, &cancel);
            FakeBrowser* popup = created.back().Get();
            popup->FireBeforeNavigate2(url, nullptr, &cancel);
            times.push_back(Now() - start);
            if (popup->visible != expectShown) std::printf("unexpected outcome for run %d\n", i);
            if (supplied) supplied->Release();
            // The window goes, as the shell would report it.
            collection->Revoke(popup);
            Explorer* record = engine.FindExplorer(popup);
            if (record) record->pending = false;
            engine.Update();
        }
        created.clear();
        return times;
    }
};

std::vector<fakes::Favorite> FavoriteTree() {
    std::vector<fakes::Favorite> root;
    for (int f = 0; f < kFolders; ++f) {
        std::vector<fakes::Favorite> items;
        for (int i = 0; i < kFavorites / kFolders; ++i) {
            std::wstring n = std::to_wstring(f * 1000 + i);
            items.push_back(fakes::Link(L"Site " + n, L"http://www.site" + n + L".com/"));
        }
        root.push_back(fakes::Folder(L"Folder " + std::to_wstring(f), items));
    }
    return root;
}

// A real Favorites folder of the same shape for the real reader.
bool WriteFavoritesFolder() {
    wchar_t path[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_FAVORITES | CSIDL_FLAG_CREATE, nullptr, 0, path)))
        return false;
    for (int f = 0; f < kFolders; ++f) {
        std::wstring folder = std::wstring(path) + L"\\Folder " + std::to_wstring(f);
        CreateDirectoryW(folder.c_str(), nullptr);
        for (int i = 0; i < kFavorites / kFolders; ++i) {
            std::wstring n = std::to_wstring(f * 1000 + i);
            std::wstring file = folder + L"\\Site " + n + L".url";
            std::wstring url = L"http://www.site" + n + L".com/";
            WritePrivateProfileStringW(L"InternetShortcut", L"URL", url.c_str(), file.c_str());
        }
    }
    return true;
}

} // namespace

int main() {
    ComApartment com;
    StatusLog log;
    SetTheStatusLog(&log);
    Bench bench;
    fakes::InProcessClass shellClass(
        kShellWindowsProgId, kClsidShellWindows, CLSCTX_INPROC_SERVER,
        [&](REFIID riid, void** ppv) { return bench.collection->QueryInterface(riid, ppv); });
    fakes::InProcessClass browsers(
        kBrowserProgId, kBrowserClsid, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
        [&](REFIID riid, void** ppv) {
            auto b = ComPtr<FakeBrowser>::Attach(new FakeBrowser(fakes::kIEFullName, L"", false));
            bench.created.push_back(b);
            bench.collection->Register(b.Get());
            return b->QueryInterface(riid, ppv);
        });
    fakes::InProcessClass registry(
        RegistryClient::kProgId, kRegistryClsid, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
        [&](REFIID riid, void** ppv) {
            return fakes::CreateDouble<fakes::FakeRegistry>(riid, ppv, &bench.store);
        });
    for (int i = 0; i < kWindows; ++i) {
        std::wstring url = L"http://www.opener" + std::to_wstring(i) + L".com/";
        bench.windows.push_back(
            ComPtr<FakeBrowser>::Attach(new FakeBrowser(fakes::kIEFullName, url, true)));
        bench.collection->Add(bench.windows.back().Get());
    }
    bench.store.dwords[L"AllowSameSite"] = 0;

    std::printf("Popup decision, %d tracked windows, %d favourites, %d popups each\n", kWindows,
                kFavorites, kRuns);
    {
        auto tree = std::make_shared<std::vector<fakes::Favorite>>(FavoriteTree());
        fakes::InProcessClass reader(Marklor::kProgId, kFavoritesClsid, CLSCTX_INPROC_SERVER,
                                     [&](REFIID riid, void** ppv) {
                                         return fakes::CreateDouble<fakes::FakeFavorites>(riid, ppv, tree, nullptr);
                                     });
        XShell engine;
        Report("blocked (in-process favourites)",
               bench.Popups(engine, L"http://www.unknown-site.net/ad", false));
        Report("allowed, last favourite (in-process)",
               bench.Popups(engine, L"http://news.site39049.com/x", true));
        Report("allowed, maker's site (no favourites walk)",
               bench.Popups(engine, L"http://www.quandrel.com/", true));
    }

    // The real reader, if it is registered in this session.
    CLSID readerClsid;
    if (SUCCEEDED(CLSIDFromProgID(Marklor::kProgId, &readerClsid)) && WriteFavoritesFolder()) {
        XShell engine;
        std::vector<double> blocked = bench.Popups(engine, L"http://www.unknown-site.net/ad", false);
        Report("blocked (favourites reader on disk)", blocked);
        Report("allowed, last favourite (reader on disk)",
               bench.Popups(engine, L"http://news.site39049.com/x", true));
    } else {
        std::printf("(the favourites reader is not registered: real-folder figures skipped)\n");
    }
    SetTheStatusLog(nullptr);
    return 0;
}
