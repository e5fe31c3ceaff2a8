// Runs the engine beside scripted browser and folder windows that open and
// close, then prints the agent's status log. The windows are in-process
// doubles served in place of the shell's collection and Internet Explorer.
#include "FakeBrowser.h"
#include "FakeShellWindows.h"
#include "InProcessClass.h"

#include "agent/StatusLog.h"
#include "engine/ShellIds.h"
#include "engine/XShell.h"

#include <cstdio>
#include <memory>
#include <vector>

using namespace vx;
using fakes::FakeBrowser;

namespace {

constexpr CLSID kDemoBrowserClsid = {
    0x2b6f0c1e, 0x8d43, 0x4f7a, {0xa1, 0x5c, 0x90, 0x3e, 0x7d, 0x21, 0x4b, 0x66}};

ComPtr<FakeBrowser> Window(const wchar_t* fullName, const wchar_t* url, bool visible) {
    return ComPtr<FakeBrowser>::Attach(new FakeBrowser(fullName, url, visible));
}

void Step(const char* what) {
    std::printf("demo: %s\n", what);
    AddStatusLine(what);
}

} // namespace

int main() {
    ComApartment com;
    if (FAILED(com.Result())) return 1;
    StatusLog log;
    SetTheStatusLog(&log);

    auto collection = ComPtr<fakes::FakeShellWindows>::Attach(new fakes::FakeShellWindows());
    fakes::InProcessClass shellClass(
        kShellWindowsProgId, kClsidShellWindows, CLSCTX_INPROC_SERVER,
        [&](REFIID riid, void** ppv) { return collection->QueryInterface(riid, ppv); });
    std::vector<ComPtr<FakeBrowser>> created;
    fakes::InProcessClass browserClass(
        kBrowserProgId, kDemoBrowserClsid, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
        [&](REFIID riid, void** ppv) {
            auto browser = Window(fakes::kIEFullName, L"about:blank", false);
            created.push_back(browser);
            collection->Register(browser.Get());
            return browser->QueryInterface(riid, ppv);
        });

    // Open before the agent starts: a hidden browser window and a folder.
    auto hidden = Window(fakes::kIEFullName, L"http://www.example.com/", false);
    auto folder = Window(fakes::kFolderFullName, L"file:///C:/windows", true);
    collection->Add(hidden.Get());
    collection->Add(folder.Get());

    {
        Step("Engine starting with two windows open");
        XShell engine;
        std::printf("demo: the hidden browser window is %s\n",
                    hidden->visible ? "now visible" : "still hidden");

        Step("A browser window opens");
        auto news = Window(fakes::kIEFullName, L"http://news.example.org/", true);
        collection->Register(news.Get());

        Step("A folder window opens");
        auto docs = Window(fakes::kFolderFullName, L"file:///C:/users", true);
        collection->Register(docs.Get());

        Step("A page asks for a new window; the engine supplies it hidden");
        Explorer* popup = engine.AddExplorer(nullptr);
        std::printf("demo: new window supplied: %s, pending: %s\n", popup ? "yes" : "no",
                    popup && popup->pending ? "yes" : "no");

        Step("The folder window and the first browser window close");
        collection->Revoke(docs.Get());
        collection->Revoke(hidden.Get());

        std::printf("demo: %u windows tracked\n", static_cast<unsigned>(engine.Explorers().Count()));
        Step("Engine shutting down");
    }

    std::printf("\n");
    for (const auto& line : log.Lines()) std::printf("%s\n", line.c_str());
    SetTheStatusLog(nullptr);
    return 0;
}
