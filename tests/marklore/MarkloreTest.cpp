// Marklore as the agent meets it: registered in the prefix, created by ProgID
// in process, walked late-bound over a real Favorites folder.
#include "MarkloreLib.h"

#include "tests/support/LateBound.h"
#include "tests/support/ProcessTools.h"
#include "tests/support/RegistryTools.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace vx::test {
namespace {

namespace fs = std::filesystem;

std::string Shortcut(const std::string& url) {
    return "[InternetShortcut]\r\nURL=" + url + "\r\n";
}
std::string PaddedShortcut(const std::string& url, size_t size) {
    std::string text = Shortcut(url) + ";";
    return text + std::string(size - text.size() - 2, 'x') + "\r\n";
}
void WriteFile(const fs::path& path, const std::string& content) {
    EXPECT_TRUE(std::ofstream(path, std::ios::binary).write(content.data(), content.size()).good());
}

const std::string kLongUrl = "http://long.example.com/" + std::string(5000, 'x');

const struct Entry {
    const wchar_t* path; // a trailing '\\' makes a folder
    std::string content;
    DWORD attributes;
} kTree[] = {
    {L"zeta.url", Shortcut("http://zeta.example.org/"), 0},
    {L"Alpha.url", Shortcut("http://www.alpha.example.com/a?b=c"), 0},
    {L"beta.URL", "[DEFAULT]\r\nBASEURL=x\r\n" + Shortcut("https://beta.example.net/"), 0},
    {L"NoAddress.url", "[Other]\r\nURL=http://wrong.example/\r\n[InternetShortcut]\r\nX=0\r\n", 0},
    {L"Garbage.url", std::string("\x01\x02garbage\0\xff=[", 13), 0},
    {L"Long.url", Shortcut(kLongUrl), 0},
    {L"Edge.url", PaddedShortcut("http://edge.example.com/", 64 * 1024), 0},
    {L"Huge.url", PaddedShortcut("http://huge.example.com/", 64 * 1024 + 1), 0},
    {L".url", "[InternetShortcut]\r\n", 0},
    {L"Hidden.url", Shortcut("http://hidden.example.com/"), FILE_ATTRIBUTE_HIDDEN},
    {L"Sys.url", Shortcut("http://sys.example.com/"), FILE_ATTRIBUTE_SYSTEM},
    {L"notes.txt", "URL=http://text.example.com/\r\n", 0},
    {L"\u00dcber.url", Shortcut("http://uber.example.de/"), 0},
    {L"News\\", "", 0},
    {L"News\\Daily.url", Shortcut("http://daily.example.com/"), 0},
    {L"News\\Deep\\", "", 0},
    {L"News\\Deep\\Leaf.url", Shortcut("http://leaf.example.com/"), 0},
    {L"empty\\", "", 0},
    {L"Secret\\", "", FILE_ATTRIBUTE_HIDDEN},
    {L"Secret\\Inside.url", Shortcut("http://inside.example.com/"), 0},
};

// Folders before shortcuts, each by name without regard to case.
const std::wstring kExpectedWalk =
    L"empty/|empty/<end>|empty/<closed>|"
    L"News/|News/Deep/|News/Deep/Leaf=http://leaf.example.com/|News/Deep/<end>|"
    L"News/Deep/<closed>|News/Daily=http://daily.example.com/|News/<end>|News/<closed>|"
    L"Alpha=http://www.alpha.example.com/a?b=c|beta=https://beta.example.net/|"
    L"Edge=http://edge.example.com/|Garbage=|Long=" +
    std::wstring(kLongUrl.begin(), kLongUrl.end()) +
    L"|NoAddress=|zeta=http://zeta.example.org/|\u00dcber=http://uber.example.de/|<end>|<closed>|";

// kTree in place of the prefix's own Favorites, which come back afterwards.
class Marklore : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(SUCCEEDED(apartment_.emplace().Result()));
        dll_ = LoadLibraryW(L"Marklore.dll");
        ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    }
    static void TearDownTestSuite() { apartment_.reset(); }
    static HRESULT CallExport(const char* name) {
        auto* fn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
            reinterpret_cast<void*>(GetProcAddress(dll_, name)));
        return fn ? fn() : E_NOTIMPL;
    }
    void SetUp() override {
        wchar_t path[MAX_PATH] = {};
        ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_FAVORITES | CSIDL_FLAG_CREATE, nullptr,
                                   SHGFP_TYPE_CURRENT, path),
                  S_OK);
        favorites_ = path;
        saved_ = favorites_.wstring() + L".saved";
        fs::remove_all(saved_);
        fs::rename(favorites_, saved_);
        fs::create_directory(favorites_);
        for (const Entry& e : kTree) {
            fs::path item = favorites_ / e.path;
            if (item.has_filename())
                WriteFile(item, e.content);
            else
                fs::create_directories(item = item.parent_path());
            if (e.attributes) SetFileAttributesW(item.c_str(), e.attributes);
        }
        ASSERT_EQ(root.Create(L"Marklore.Marklore.1", CLSCTX_INPROC_SERVER), S_OK);
    }
    void TearDown() override {
        fs::remove_all(favorites_);
        fs::rename(saved_, favorites_);
    }
    static bool OpenGroup(LateBound& list, LateBound* group) {
        Variant v;
        EXPECT_EQ(list.InvokeByName(L"Group", DISPATCH_PROPERTYGET, v.Get()), S_OK);
        if (V_VT(v.Get()) != VT_DISPATCH || !V_DISPATCH(v.Get())) return false;
        group->Attach(V_DISPATCH(v.Get()));
        return true;
    }
    // "name=url|" for each item before the end item; "<failed>" when a First
    // or Next fails.
    static std::wstring Walk(LateBound& list) {
        std::wstring lines;
        for (HRESULT hr = list.Do(L"First");; hr = list.Do(L"Next")) {
            if (FAILED(hr)) return lines + L"<failed>";
            const std::wstring name = list.Text(L"Name").value_or(L"?");
            if (name.empty()) return lines;
            lines += name + L"=" + list.Text(L"URL").value_or(L"?") + L"|";
        }
    }

    static inline std::optional<ComApartment> apartment_;
    static inline HMODULE dll_ = nullptr;
    fs::path favorites_, saved_;
    LateBound root;
};

TEST_F(Marklore, AScriptClientWalksTheFavourites) {
    EXPECT_EQ(RunAndWait(L"cscript.exe //nologo " + Quoted(BesideTest(L"walk_favorites.js")) +
                             L" " + Quoted(BesideTest(L"Marklore.dll")) + L" " +
                             Quoted(kExpectedWalk),
                         120000),
              0u);
}
TEST_F(Marklore, EveryFirstReadsItsFolderAgainAndObjectsDieWithTheirLastRelease) {
    LateBound empty, news;
    ASSERT_EQ(root.Do(L"First"), S_OK);
    ASSERT_TRUE(OpenGroup(root, &empty));
    ASSERT_EQ(root.Do(L"Next"), S_OK);
    ASSERT_TRUE(OpenGroup(root, &news));
    WriteFile(favorites_ / L"empty\\Late.url", Shortcut("http://late.example.com/"));
    EXPECT_EQ(Walk(empty), L"Late=http://late.example.com/|");
    WriteFile(favorites_ / L"empty\\Late.url", Shortcut("http://later.example.com/"));
    EXPECT_EQ(Walk(empty), L"Late=http://later.example.com/|");
    fs::create_directory(favorites_ / L"Aardvark");
    ASSERT_EQ(root.Do(L"First"), S_OK);
    EXPECT_EQ(root.Text(L"Name"), L"Aardvark");
    // A missing Favorites folder, or a group whose folder went, is an empty list.
    const fs::path away = favorites_.wstring() + L".away";
    fs::rename(favorites_, away);
    const std::wstring rootWalk = Walk(root), groupWalk = Walk(empty);
    fs::rename(away, favorites_);
    EXPECT_EQ(rootWalk, L"");
    EXPECT_EQ(groupWalk, L"");

    EXPECT_EQ(CallExport("DllCanUnloadNow"), S_FALSE);
    for (LateBound* list : {&root, &empty, &news}) {
        EXPECT_EQ(Walk(news).substr(0, 6), L"Deep=|") << "a group outlives its parent";
        ComPtr<IDispatch> last(list->Dispatch());
        list->Attach(nullptr);
        EXPECT_EQ(last.Detach()->Release(), 0u);
    }
    EXPECT_EQ(CallExport("DllCanUnloadNow"), S_OK);
}

TEST_F(Marklore, RegistrationWritesAndRemovesExactlyItsEntries) {
    wchar_t clsid[40] = {};
    StringFromGUID2(CLSID_Marklore, clsid, 40);
    const std::wstring server = L"CLSID\\" + std::wstring(clsid) + L"\\InprocServer32";
    const std::wstring ownKeys[] = {L"CLSID\\" + std::wstring(clsid), L"Marklore.Marklore.1",
                                    L"Marklore.Marklore"};
    ComPtr<ITypeLib> lib;
    // The second unregistration finds nothing left to remove.
    for (bool registered : {false, false, true}) {
        ASSERT_EQ(CallExport(registered ? "DllRegisterServer" : "DllUnregisterServer"), S_OK);
        for (const std::wstring& key : ownKeys)
            EXPECT_EQ(registered, KeyExists(HKEY_CLASSES_ROOT, key.c_str())) << key;
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
        EXPECT_EQ(registered, SUCCEEDED(LoadRegTypeLib(LIBID_MARKLORELib, 1, 0, 0, lib.Put())));
    }
    EXPECT_EQ(L"Apartment", ReadText(HKEY_CLASSES_ROOT, server.c_str(), L"ThreadingModel"));
}

} // namespace
} // namespace vx::test
