// Marklore as the agent meets it: registered in the prefix, created by
// ProgID in process, walked late-bound over a real Favorites folder.
#include "common/Scoped.h"

#include "MarkloreLib.h"
#include "ProcessTools.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <optional>
#include <string>

using vx::ComPtr;
using vx::Variant;

namespace {

const wchar_t kProgId[] = L"Marklore.Marklore.1";
HMODULE gDll = nullptr;

HRESULT CallExport(const char* name) {
    auto* fn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(gDll, name)));
    return fn ? fn() : E_NOTIMPL;
}

class MarkloreEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(apartment_.emplace().Result()));
        gDll = LoadLibraryW(L"Marklore.dll");
        ASSERT_NE(gDll, nullptr);
        ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    }
    void TearDown() override { apartment_.reset(); }

  private:
    std::optional<vx::ComApartment> apartment_;
};
const auto* const gEnvironment = testing::AddGlobalTestEnvironment(new MarkloreEnvironment);

HRESULT Call(IDispatch* object, const wchar_t* name, WORD kind, VARIANT* result = nullptr) {
    DISPID id = 0;
    auto* names = const_cast<LPOLESTR>(name);
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none = {};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &none, result, nullptr, nullptr);
}

std::wstring Text(IDispatch* object, const wchar_t* name) {
    Variant v;
    EXPECT_EQ(Call(object, name, DISPATCH_PROPERTYGET, v.Get()), S_OK) << name;
    if (v.Get()->vt != VT_BSTR) return L"<not a string>";
    return V_BSTR(v.Get()) ? V_BSTR(v.Get()) : L"";
}

ComPtr<IDispatch> Group(IDispatch* object) {
    Variant v;
    EXPECT_EQ(Call(object, L"Group", DISPATCH_PROPERTYGET, v.Get()), S_OK);
    EXPECT_EQ(v.Get()->vt, VT_DISPATCH);
    return v.Get()->vt == VT_DISPATCH ? ComPtr<IDispatch>(V_DISPATCH(v.Get())) : nullptr;
}

ComPtr<IDispatch> CreateMarklore() {
    CLSID clsid = {};
    ComPtr<IDispatch> object;
    EXPECT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
    EXPECT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
        S_OK);
    return object;
}

// The agent's walk written down: "name=url|" for a favourite, "name/|" and
// its items for a folder, "<end>|" for the end item followed by "<closed>|"
// when Next past it fails; "<failed>|" when a First or Next fails.
std::wstring Walk(IDispatch* list, const std::wstring& prefix = L"") {
    std::wstring lines;
    for (HRESULT hr = Call(list, L"First", DISPATCH_METHOD); hr == S_OK;
         hr = Call(list, L"Next", DISPATCH_METHOD)) {
        std::wstring name = Text(list, L"Name");
        std::wstring url = Text(list, L"URL");
        if (ComPtr<IDispatch> group = Group(list)) {
            lines += prefix + name + L"/|" + Walk(group.Get(), prefix + name + L"/");
        } else if (name.empty() && url.empty()) {
            bool closed = FAILED(Call(list, L"Next", DISPATCH_METHOD));
            return lines + prefix + L"<end>|" + prefix + (closed ? L"<closed>|" : L"<open>|");
        } else {
            lines += prefix + name + L"=" + url + L"|";
        }
    }
    return lines + prefix + L"<failed>|";
}

void DeleteTree(const std::wstring& path) {
    std::wstring from = path + L'\0'; // a double-terminated list
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
}

void WriteFile(const std::wstring& path, const std::string& content) {
    vx::ScopedHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()),
                            &written, nullptr))
        << path;
}

std::string Shortcut(const std::string& url) {
    return "[InternetShortcut]\r\nURL=" + url + "\r\n";
}

const std::string kLongUrl = "http://long.example.com/" + std::string(5000, 'x');

// A shortcut padded with a comment line to exactly `size` bytes.
std::string PaddedShortcut(const std::string& url, size_t size) {
    std::string text = Shortcut(url) + ";";
    text.append(size - text.size() - 2, 'x');
    return text + "\r\n";
}

struct Entry {
    const wchar_t* path; // a trailing '\\' makes a folder
    std::string content;
    DWORD attributes;
} const kTree[] = {
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
    L"Edge=http://edge.example.com/|Garbage=|"
    L"Long=" +
    std::wstring(kLongUrl.begin(), kLongUrl.end()) +
    L"|NoAddress=|"
    L"zeta=http://zeta.example.org/|\u00dcber=http://uber.example.de/|<end>|<closed>|";

// Moves the prefix's own Favorites aside, builds kTree in its place and puts
// it back afterwards.
class MarkloreWalk : public testing::Test {
  protected:
    void SetUp() override {
        wchar_t path[MAX_PATH] = {};
        ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_FAVORITES | CSIDL_FLAG_CREATE, nullptr,
                                   SHGFP_TYPE_CURRENT, path),
                  S_OK);
        favorites_ = path;
        DeleteTree(favorites_ + L".saved");
        ASSERT_TRUE(MoveFileW(favorites_.c_str(), (favorites_ + L".saved").c_str()));
        ASSERT_TRUE(CreateDirectoryW(favorites_.c_str(), nullptr));
        for (const Entry& e : kTree) {
            std::wstring item = favorites_ + L"\\" + e.path;
            if (item.back() == L'\\') {
                item.pop_back();
                ASSERT_TRUE(CreateDirectoryW(item.c_str(), nullptr)) << item;
            } else {
                WriteFile(item, e.content);
            }
            if (e.attributes) SetFileAttributesW(item.c_str(), e.attributes);
        }
    }
    void TearDown() override {
        DeleteTree(favorites_);
        MoveFileW((favorites_ + L".saved").c_str(), favorites_.c_str());
    }

    std::wstring favorites_;
};

TEST_F(MarkloreWalk, WalksFoldersThenShortcutsAtEveryLevel) {
    ComPtr<IDispatch> root = CreateMarklore();
    ASSERT_TRUE(root);
    EXPECT_EQ(Walk(root.Get()), kExpectedWalk);
    EXPECT_EQ(Walk(root.Get()), kExpectedWalk) << "a second walk starts over";
}

TEST_F(MarkloreWalk, EndItemComesOnceThenNextFails) {
    ComPtr<IDispatch> root = CreateMarklore();
    ComPtr<IMarklore> direct;
    ASSERT_EQ(root.As(IID_IMarklore, &direct), S_OK);
    const HRESULT kNoMoreItems = HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);

    EXPECT_EQ(Text(root.Get(), L"Name") + Text(root.Get(), L"URL"), L"") << "before First";
    EXPECT_FALSE(Group(root.Get()));
    EXPECT_EQ(direct->Next(), kNoMoreItems);

    ASSERT_EQ(direct->First(), S_OK);
    int items = 0;
    for (; !Text(root.Get(), L"Name").empty(); ++items)
        ASSERT_EQ(direct->Next(), S_OK);
    EXPECT_EQ(items, 10);
    EXPECT_EQ(direct->Next(), kNoMoreItems);
    EXPECT_EQ(direct->Next(), kNoMoreItems);
    EXPECT_EQ(Text(root.Get(), L"Name") + Text(root.Get(), L"URL"), L"");
    ASSERT_EQ(direct->First(), S_OK);
    EXPECT_EQ(Text(root.Get(), L"Name"), L"empty");
}

TEST_F(MarkloreWalk, EveryFirstReadsItsFolderAgain) {
    ComPtr<IDispatch> root = CreateMarklore();
    ASSERT_EQ(Call(root.Get(), L"First", DISPATCH_METHOD), S_OK);
    ComPtr<IDispatch> empty = Group(root.Get());
    ASSERT_TRUE(empty);

    WriteFile(favorites_ + L"\\empty\\Late.url", Shortcut("http://late.example.com/"));
    EXPECT_EQ(Walk(empty.Get()), L"Late=http://late.example.com/|<end>|<closed>|");
    // A shortcut read before and changed since is read again.
    WriteFile(favorites_ + L"\\empty\\Late.url", Shortcut("http://later.example.com/"));
    EXPECT_EQ(Walk(empty.Get()), L"Late=http://later.example.com/|<end>|<closed>|");
    ASSERT_TRUE(CreateDirectoryW((favorites_ + L"\\Aardvark").c_str(), nullptr));
    ASSERT_EQ(Call(root.Get(), L"First", DISPATCH_METHOD), S_OK);
    EXPECT_EQ(Text(root.Get(), L"Name"), L"Aardvark");

    // A missing Favorites folder, or a group whose folder went, is an empty list.
    std::wstring away = favorites_ + L".away";
    ASSERT_TRUE(MoveFileW(favorites_.c_str(), away.c_str()));
    std::wstring rootWalk = Walk(root.Get());
    std::wstring groupWalk = Walk(empty.Get());
    ASSERT_TRUE(MoveFileW(away.c_str(), favorites_.c_str()));
    EXPECT_EQ(rootWalk, L"<end>|<closed>|");
    EXPECT_EQ(groupWalk, L"<end>|<closed>|");
}

TEST_F(MarkloreWalk, ObjectsDieWithTheirLastRelease) {
    ComPtr<IDispatch> root = CreateMarklore();
    ASSERT_EQ(Call(root.Get(), L"First", DISPATCH_METHOD), S_OK);
    ASSERT_EQ(Call(root.Get(), L"Next", DISPATCH_METHOD), S_OK);
    ComPtr<IDispatch> news = Group(root.Get());
    ASSERT_TRUE(news);

    EXPECT_EQ(CallExport("DllCanUnloadNow"), S_FALSE);
    EXPECT_EQ(root.Detach()->Release(), 0u);
    EXPECT_EQ(Walk(news.Get()).substr(0, 6), L"Deep/|") << "a group outlives its parent";
    EXPECT_EQ(news.Detach()->Release(), 0u);
    EXPECT_EQ(CallExport("DllCanUnloadNow"), S_OK);
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

bool KeyExists(const std::wstring& key) {
    vx::RegKey k;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}

TEST(MarkloreRegistration, WritesAndRemovesExactlyItsEntries) {
    wchar_t dll[MAX_PATH] = {};
    GetModuleFileNameW(gDll, dll, MAX_PATH);
    const std::wstring clsid = GuidText(CLSID_Marklore);
    const std::wstring classKey = L"CLSID\\" + clsid;
    const struct {
        std::wstring key;
        const wchar_t* name;
        std::wstring value;
    } expected[] = {
        {classKey + L"\\InprocServer32", nullptr, dll},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\ProgID", nullptr, kProgId},
        {classKey + L"\\VersionIndependentProgID", nullptr, L"Marklore.Marklore"},
        {classKey + L"\\TypeLib", nullptr, GuidText(LIBID_MARKLORELib)},
        {L"Marklore.Marklore.1\\CLSID", nullptr, clsid},
        {L"Marklore.Marklore\\CLSID", nullptr, clsid},
        {L"Marklore.Marklore\\CurVer", nullptr, kProgId},
    };
    for (const auto& e : expected) {
        wchar_t value[MAX_PATH] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t);
        EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, e.key.c_str(), e.name, RRF_RT_REG_SZ, nullptr,
                               value, &size),
                  ERROR_SUCCESS)
            << e.key;
        EXPECT_EQ(_wcsicmp(value, e.value.c_str()), 0) << e.key << L": " << value;
    }
    ComPtr<ITypeLib> lib;
    EXPECT_EQ(LoadRegTypeLib(LIBID_MARKLORELib, 1, 0, 0, lib.Put()), S_OK);
    lib.Reset();

    const std::wstring ownKeys[] = {classKey, L"Marklore.Marklore.1", L"Marklore.Marklore"};
    ASSERT_EQ(CallExport("DllUnregisterServer"), S_OK);
    for (const std::wstring& key : ownKeys)
        EXPECT_FALSE(KeyExists(key)) << key;
    EXPECT_TRUE(KeyExists(L"CLSID"));
    EXPECT_TRUE(FAILED(LoadRegTypeLib(LIBID_MARKLORELib, 1, 0, 0, lib.Put())));
    EXPECT_EQ(CallExport("DllUnregisterServer"), S_OK) << "nothing left to remove";

    ASSERT_EQ(CallExport("DllRegisterServer"), S_OK);
    for (const std::wstring& key : ownKeys)
        EXPECT_TRUE(KeyExists(key)) << key;
}

// An independent client: the script host walks a tree it builds itself.
TEST(MarkloreScript, AScriptClientWalksTheFavourites) {
    using namespace vx::test;
    EXPECT_EQ(RunAndWait(L"cscript.exe //nologo " + Quoted(BesideTest(L"walk_favorites.js")) + L" " +
                             Quoted(BesideTest(L"Marklore.dll")),
                         120000),
              0u);
}

} // namespace
