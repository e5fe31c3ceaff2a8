// The browser double across processes, reached the way the agent reaches
// the browser and the shell: the collection by the ShellWindows class in all
// contexts, browsers by ProgID as a local server, events into sinks here.
#include "DoubleIds.h"

#include "common/ComObject.h"

#include <exdisp.h>
#include <gtest/gtest.h>
#include <ocidl.h>

#include <functional>
#include <optional>
#include <vector>

using namespace vx;
using namespace vx::browserdouble;

namespace {

constexpr DWORD kAllContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
const HRESULT kWindowClosed = HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);

std::vector<ScopedHandle> gDoubles; // every double process a test saw

std::wstring BesideMe(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L'\\') + 1) + file;
}

DWORD RunDouble(const wchar_t* command) {
    std::wstring line = L"\"" + BesideMe(L"BrowserDouble.exe") + L"\" " + command;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError();
    ScopedHandle process(pi.hProcess), thread(pi.hThread);
    DWORD code = 1;
    if (WaitForSingleObject(process.Get(), 30000) != WAIT_OBJECT_0) return WAIT_TIMEOUT;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

std::optional<std::wstring> ClassesValue(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t text[MAX_PATH] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size))
        return std::nullopt;
    return std::wstring(text);
}

// Arguments in reading order; strings are freed after the call.
VARIANT Long(LONG n) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
    return v;
}
VARIANT Bool(bool b) {
    VARIANT v;
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}
VARIANT Text(const wchar_t* s) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(s);
    return v;
}
VARIANT Object(IDispatch* d) {
    VARIANT v;
    V_VT(&v) = VT_DISPATCH;
    V_DISPATCH(&v) = d;
    return v;
}

HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args = {},
             VARIANT* result = nullptr, WORD kind = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    DISPID id = 0;
    auto* names = const_cast<LPOLESTR>(name);
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (kind == DISPATCH_PROPERTYPUT) params = {reversed.data(), &put, 1, 1};
    if (SUCCEEDED(hr))
        hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr,
                            nullptr);
    for (auto& arg : args)
        if (V_VT(&arg) == VT_BSTR) SysFreeString(V_BSTR(&arg));
    return hr;
}

template <VARTYPE vt>
Variant CallAs(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args = {}) {
    Variant result, converted;
    EXPECT_EQ(Call(object, name, std::move(args), result.Get()), S_OK) << name;
    EXPECT_EQ(VariantChangeType(converted.Get(), result.Get(), 0, vt), S_OK) << name;
    return converted;
}
LONG LongOf(IDispatch* o, const wchar_t* name, std::vector<VARIANT> args = {}) {
    return V_I4(CallAs<VT_I4>(o, name, std::move(args)).Get());
}
bool BoolOf(IDispatch* o, const wchar_t* name, std::vector<VARIANT> args = {}) {
    return V_BOOL(CallAs<VT_BOOL>(o, name, std::move(args)).Get()) != VARIANT_FALSE;
}
double TimeOf(IDispatch* script, const wchar_t* name, LONG id) {
    return V_R8(CallAs<VT_R8>(script, name, {Long(id)}).Get());
}
std::wstring TextOf(IDispatch* o, const wchar_t* name, std::vector<VARIANT> args = {}) {
    Variant v = CallAs<VT_BSTR>(o, name, std::move(args));
    return V_BSTR(v.Get()) ? V_BSTR(v.Get()) : L"";
}

struct Event {
    DISPID id = 0;
    LONG cookie = 0;
    std::wstring url;
    std::vector<VARTYPE> types; // in reading order
    bool nullFrame = false;
};

// A sink for both event interfaces that records what arrives and can answer
// through the by-reference arguments.
class RecordingSink : public ComObject<RecordingSink, IDispatch> {
  public:
    static const QITAB* QiTable() {
        static const QITAB table[] = {
            QITABENT(RecordingSink, IDispatch),
            QITABENTMULTI2(RecordingSink, DIID_DWebBrowserEvents2, IDispatch),
            QITABENTMULTI2(RecordingSink, DIID_DShellWindowsEvents, IDispatch),
            {},
        };
        return table;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        Event e;
        e.id = id;
        for (UINT i = p->cArgs; i-- > 0;)
            e.types.push_back(V_VT(&p->rgvarg[i]));
        auto text = [](VARIANT* ref) { return std::wstring(V_BSTR(ref) ? V_BSTR(ref) : L""); };
        if ((id == kDispWindowRegistered || id == kDispWindowRevoked) && p->cArgs == 1)
            e.cookie = V_I4(&p->rgvarg[0]);
        if (id == kDispBeforeNavigate2 && p->cArgs == 7) {
            e.url = text(V_VARIANTREF(&p->rgvarg[5]));
            e.nullFrame = V_BSTR(V_VARIANTREF(&p->rgvarg[3])) == nullptr;
        }
        if (id == kDispNavigateComplete2 && p->cArgs == 2)
            e.url = text(V_VARIANTREF(&p->rgvarg[0]));
        events.push_back(e);
        if (id == kDispNewWindow2 && onNewWindow2)
            onNewWindow2(V_DISPATCHREF(&p->rgvarg[1]), V_BOOLREF(&p->rgvarg[0]));
        if (id == kDispBeforeNavigate2 && onBeforeNavigate2)
            onBeforeNavigate2(V_BOOLREF(&p->rgvarg[0]));
        return S_OK;
    }

    std::vector<DISPID> Ids() const {
        std::vector<DISPID> ids;
        for (const auto& e : events)
            ids.push_back(e.id);
        return ids;
    }

    std::vector<Event> events;
    std::function<void(IDispatch**, VARIANT_BOOL*)> onNewWindow2;
    std::function<void(VARIANT_BOOL*)> onBeforeNavigate2;
};

// A connection of a recording sink to one object, undone at scope end.
class Connection {
  public:
    Connection(IUnknown* source, const IID& iid) : sink_(new RecordingSink()) {
        ComPtr<IConnectionPointContainer> container;
        EXPECT_EQ(source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
        if (container) {
            EXPECT_EQ(container->FindConnectionPoint(iid, point_.Put()), S_OK);
        }
        if (point_) {
            EXPECT_EQ(point_->Advise(sink_->InnerUnknown(), &cookie_), S_OK);
        }
    }
    ~Connection() {
        if (cookie_) point_->Unadvise(cookie_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    RecordingSink* operator->() const { return sink_.Get(); }

  private:
    ComPtr<RecordingSink> sink_;
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

ComPtr<IDispatch> CreateByProgId(const wchar_t* progId, DWORD context) {
    CLSID clsid = {};
    ComPtr<IUnknown> unknown;
    ComPtr<IDispatch> disp;
    EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK) << progId;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, context, IID_IUnknown, unknown.PutVoid()), S_OK);
    if (unknown) unknown.As(IID_IDispatch, &disp);
    return disp;
}

// Opens the running double's process, so that no test leaves it behind.
HANDLE TrackDouble(IDispatch* script) {
    DWORD pid = static_cast<DWORD>(LongOf(script, L"ProcessId"));
    gDoubles.emplace_back(
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, pid));
    return gDoubles.back().Get();
}

DWORD ShutDownDouble(ComPtr<IDispatch> script, HANDLE process) {
    EXPECT_EQ(Call(script.Get(), L"Shutdown"), S_OK);
    script.Reset();
    DWORD code = STILL_ACTIVE;
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0) << "double still running";
    GetExitCodeProcess(process, &code);
    return code;
}

class DoubleEnvironment : public testing::Environment {
  public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(apartment_.emplace().Result())); }
    void TearDown() override {
        for (auto& process : gDoubles) {
            if (WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) {
                ADD_FAILURE() << "a double process was left running";
                TerminateProcess(process.Get(), 1);
            }
        }
        RunDouble(L"/UnregisterDouble");
        apartment_.reset();
    }

  private:
    std::optional<ComApartment> apartment_;
};
const auto* const gEnvironment = testing::AddGlobalTestEnvironment(new DoubleEnvironment);

// What registration displaces, read in the prefix as it was.
std::vector<std::pair<std::wstring, const wchar_t*>> DisplacedValues() {
    const wchar_t* inproc = L"CLSID\\{9BA05972-F6A8-11CF-A442-00A0C90A8F39}\\InprocServer32";
    return {{std::wstring(kBrowserProgId) + L"\\CLSID", nullptr},
            {std::wstring(kShellWindowsProgId) + L"\\CLSID", nullptr},
            {inproc, nullptr},
            {inproc, L"ThreadingModel"}};
}

TEST(Registration, RegisteringTwiceThenUnregisteringRestoresThePrefix) {
    std::vector<std::optional<std::wstring>> before;
    for (const auto& [key, name] : DisplacedValues())
        before.push_back(ClassesValue(key, name));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(RunDouble(L"/RegisterDouble"), 0u);
        ASSERT_EQ(RunDouble(L"-registerdouble"), 0u);
        struct {
            const wchar_t* progId;
            CLSID expected;
        } const names[] = {{kBrowserProgId, kClsidDoubleBrowser},
                           {kShellWindowsProgId, kClsidDoubleShellWindows},
                           {kScriptProgId, kClsidDoubleScript}};
        for (const auto& n : names) {
            CLSID clsid = {};
            EXPECT_EQ(CLSIDFromProgID(n.progId, &clsid), S_OK) << n.progId;
            EXPECT_TRUE(IsEqualCLSID(clsid, n.expected)) << n.progId;
        }
        EXPECT_EQ(ClassesValue(DisplacedValues()[2].first), BesideMe(kForwardDll));

        ASSERT_EQ(RunDouble(L"/UnregisterDouble"), 0u);
        for (size_t i = 0; i < before.size(); ++i)
            EXPECT_EQ(ClassesValue(DisplacedValues()[i].first, DisplacedValues()[i].second),
                      before[i])
                << i;
        EXPECT_FALSE(ClassesValue(std::wstring(kScriptProgId) + L"\\CLSID"));
    }
}

class BrowserDoubleTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(RunDouble(L"/RegisterDouble"), 0u);
        script_ = CreateByProgId(kScriptProgId, CLSCTX_LOCAL_SERVER);
        ASSERT_TRUE(script_);
        process_ = TrackDouble(script_.Get());
        // As the agent asks for it: the platform's class, in all contexts.
        ComPtr<IShellWindows> collection;
        ASSERT_EQ(CoCreateInstance(kClsidShellWindows, nullptr, kAllContexts, IID_IShellWindows,
                                   collection.PutVoid()),
                  S_OK);
        collection.As(IID_IDispatch, &shell_);
        shellSink_ = new Connection(shell_.Get(), DIID_DShellWindowsEvents);
    }
    static void TearDownTestSuite() {
        delete shellSink_;
        shell_.Reset();
        if (script_) {
            EXPECT_EQ(ShutDownDouble(std::move(script_), process_), 0u);
        }
    }
    void SetUp() override {
        ASSERT_TRUE(script_ && shell_);
        (*shellSink_)->events.clear();
    }

    // A script query about one window.
    static bool Is(const wchar_t* member, LONG id) {
        return BoolOf(script_.Get(), member, {Long(id)});
    }
    static LONG Open(const wchar_t* url, bool folder = false, bool visible = true) {
        return LongOf(script_.Get(), L"OpenWindow", {Text(url), Bool(folder), Bool(visible)});
    }
    static ComPtr<IDispatch> Item(LONG index) {
        Variant v;
        EXPECT_EQ(Call(shell_.Get(), L"Item", {Long(index)}, v.Get()), S_OK);
        EXPECT_EQ(V_VT(v.Get()), VT_DISPATCH);
        return ComPtr<IDispatch>(V_DISPATCH(v.Get()));
    }
    static ComPtr<IDispatch> LastItem() { return Item(LongOf(shell_.Get(), L"Count") - 1); }
    static std::vector<std::pair<DISPID, LONG>> ShellEvents() {
        std::vector<std::pair<DISPID, LONG>> out;
        for (const auto& e : (*shellSink_)->events)
            out.emplace_back(e.id, e.cookie);
        return out;
    }

    static inline ComPtr<IDispatch> script_, shell_;
    static inline HANDLE process_ = nullptr;
    static inline Connection* shellSink_ = nullptr;
};

TEST_F(BrowserDoubleTest, OpenedWindowsAreItemsOfTheCollectionUntilClosed) {
    struct {
        const wchar_t* url;
        bool folder, visible;
        const wchar_t* fullName;
    } const windows[] = {{L"http://www.example.com/", false, true, kBrowserFullName},
                         {L"file:///C:/windows", true, true, kFolderFullName},
                         {L"http://hidden.example.org/", false, false, kBrowserFullName}};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.url);
        LONG count = LongOf(shell_.Get(), L"Count");
        LONG id = Open(w.url, w.folder, w.visible);
        ComPtr<IDispatch> item = LastItem();
        ASSERT_TRUE(item);
        EXPECT_EQ(LongOf(shell_.Get(), L"Count"), count + 1);
        EXPECT_EQ(TextOf(item.Get(), L"FullName"), w.fullName);
        EXPECT_EQ(TextOf(item.Get(), L"LocationURL"), w.url);
        EXPECT_EQ(BoolOf(item.Get(), L"Visible"), w.visible);
        EXPECT_EQ(LongOf(script_.Get(), L"IdOf", {Object(item.Get())}), id);

        EXPECT_EQ(Call(script_.Get(), L"CloseWindow", {Long(id)}), S_OK);
        EXPECT_EQ(LongOf(script_.Get(), L"WindowCount"), count);
        EXPECT_FALSE(Is(L"IsOpen", id));
        EXPECT_FALSE(Is(L"WasQuit", id));
        using Pairs = std::vector<std::pair<DISPID, LONG>>;
        EXPECT_EQ(ShellEvents(), (Pairs{{kDispWindowRegistered, id}, {kDispWindowRevoked, id}}));
        (*shellSink_)->events.clear();
    }
    // Past the end: an empty slot, through the late-bound and the vtable calls.
    LONG count = 0;
    ComPtr<IShellWindows> vtable;
    ASSERT_EQ(shell_.As(IID_IShellWindows, &vtable), S_OK);
    EXPECT_EQ(vtable->get_Count(&count), S_OK);
    EXPECT_EQ(count, LongOf(script_.Get(), L"WindowCount"));
    EXPECT_FALSE(Item(count));
}

TEST_F(BrowserDoubleTest, BrowserByProgIdIsAHiddenWindowThatQuits) {
    ComPtr<IDispatch> browser = CreateByProgId(kBrowserProgId, CLSCTX_LOCAL_SERVER);
    ASSERT_TRUE(browser);
    // Registered while the creation was still under way, as the agent expects.
    ASSERT_EQ(ShellEvents().size(), 1u);
    LONG id = ShellEvents()[0].second;
    EXPECT_EQ(LongOf(script_.Get(), L"IdOf", {Object(browser.Get())}), id);
    // The agent tells windows apart by pointer: Item must hand out the same one.
    EXPECT_EQ(LastItem().Get(), browser.Get());
    EXPECT_EQ(TextOf(browser.Get(), L"FullName"), kBrowserFullName);
    EXPECT_EQ(TextOf(browser.Get(), L"LocationURL"), L"");
    EXPECT_FALSE(BoolOf(browser.Get(), L"Visible"));
    EXPECT_EQ(TimeOf(script_.Get(), L"ShownTime", id), 0.0);

    EXPECT_EQ(Call(browser.Get(), L"Visible", {Bool(true)}, nullptr, DISPATCH_PROPERTYPUT), S_OK);
    EXPECT_TRUE(Is(L"IsVisible", id));
    EXPECT_GT(TimeOf(script_.Get(), L"ShownTime", id), 0.0);
    EXPECT_EQ(Call(browser.Get(), L"Quit"), S_OK);
    EXPECT_TRUE(Is(L"WasQuit", id));
    EXPECT_FALSE(Is(L"IsOpen", id));
    EXPECT_EQ(ShellEvents().back(), std::make_pair(DISPID(kDispWindowRevoked), id));
}

TEST_F(BrowserDoubleTest, NavigateFiresBeforeAndCompleteUnlessCancelled) {
    LONG id = Open(L"http://start.example.com/");
    ComPtr<IDispatch> window = LastItem();
    Connection sink(window.Get(), DIID_DWebBrowserEvents2);
    EXPECT_EQ(LongOf(script_.Get(), L"SinkCount", {Long(id)}), 1);

    EXPECT_FALSE(BoolOf(script_.Get(), L"Navigate", {Long(id), Text(L"http://a.example.com/x")}));
    ASSERT_EQ(sink->Ids(), (std::vector<DISPID>{kDispBeforeNavigate2, kDispNavigateComplete2}));
    const VARTYPE ref = VT_BYREF | VT_VARIANT;
    EXPECT_EQ(sink->events[0].types,
              (std::vector<VARTYPE>{VT_DISPATCH, ref, ref, ref, ref, ref, VT_BYREF | VT_BOOL}));
    EXPECT_EQ(sink->events[0].url, L"http://a.example.com/x");
    EXPECT_TRUE(sink->events[0].nullFrame);
    EXPECT_EQ(sink->events[1].types, (std::vector<VARTYPE>{VT_DISPATCH, ref}));
    EXPECT_EQ(sink->events[1].url, L"http://a.example.com/x");
    EXPECT_EQ(TextOf(window.Get(), L"LocationURL"), L"http://a.example.com/x");

    sink->events.clear();
    sink->onBeforeNavigate2 = [](VARIANT_BOOL* cancel) { *cancel = VARIANT_TRUE; };
    EXPECT_TRUE(BoolOf(script_.Get(), L"Navigate", {Long(id), Text(L"http://b.example.com/")}));
    EXPECT_EQ(sink->Ids(), (std::vector<DISPID>{kDispBeforeNavigate2}));
    EXPECT_TRUE(Is(L"WasCancelled", id));
    EXPECT_EQ(TextOf(script_.Get(), L"LocationURL", {Long(id)}), L"http://a.example.com/x");

    sink->events.clear();
    EXPECT_EQ(Call(script_.Get(), L"AskFixedSize", {Long(id)}), S_OK);
    ASSERT_EQ(sink->Ids(), (std::vector<DISPID>{kDispWindowSetResizable}));
    EXPECT_EQ(sink->events[0].types, (std::vector<VARTYPE>{VT_BOOL}));
    sink->events.clear();
    EXPECT_EQ(Call(script_.Get(), L"CloseWindow", {Long(id)}), S_OK);
    EXPECT_EQ(sink->Ids(), (std::vector<DISPID>{kDispOnQuit})) << "a closing window says so";
}

TEST_F(BrowserDoubleTest, EventsForMissingOrClosedWindowsFail) {
    LONG closed = Open(L"http://gone.example.com/");
    ASSERT_EQ(Call(script_.Get(), L"CloseWindow", {Long(closed)}), S_OK);
    struct {
        const wchar_t* member;
        LONG id;
        HRESULT expected;
    } const cases[] = {
        {L"Navigate", closed, kWindowClosed},     {L"OpenPopup", closed, kWindowClosed},
        {L"AskFixedSize", closed, kWindowClosed}, {L"Navigate", 9999, E_INVALIDARG},
        {L"OpenPopup", 0, E_INVALIDARG},          {L"IsVisible", -1, E_INVALIDARG}};
    for (const auto& c : cases)
        EXPECT_EQ(Call(script_.Get(), c.member, {Long(c.id), Text(L"http://x.example.com/")}),
                  c.expected)
            << c.member << " " << c.id;
}

// A page asks for a new window; the sink on the opener answers NewWindow2
// the way the agent does (or not at all), and a sink on the supplied window
// judges its first navigation.
TEST_F(BrowserDoubleTest, PopupsAreSuppliedNavigatedAndJudged) {
    enum Verdict { kNone, kBlock, kShow };
    struct {
        const char* name;
        bool supply, cancelNewWindow;
        Verdict verdict;
        bool cancelled, quit, visible;
    } const cases[] = {
        {"blocked", true, false, kBlock, true, true, false},
        {"allowed", true, false, kShow, false, false, true},
        {"not supplied", false, false, kNone, false, false, true},
        {"refused", false, true, kNone, false, false, false},
    };
    const wchar_t* kUrl = L"http://ads.example.net/pop";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LONG opener = Open(L"http://news.example.com/");
        Connection openerSink(LastItem().Get(), DIID_DWebBrowserEvents2);
        std::optional<Connection> popupSink;
        ComPtr<IDispatch> supplied;
        openerSink->onNewWindow2 = [&](IDispatch** ppDisp, VARIANT_BOOL* cancel) {
            if (c.cancelNewWindow) *cancel = VARIANT_TRUE;
            if (!c.supply) return;
            supplied = CreateByProgId(kBrowserProgId, CLSCTX_LOCAL_SERVER);
            if (!supplied) return;
            popupSink.emplace(supplied.Get(), DIID_DWebBrowserEvents2);
            (*popupSink)->onBeforeNavigate2 = [&](VARIANT_BOOL* navCancel) {
                if (c.verdict == kBlock) {
                    *navCancel = VARIANT_TRUE;
                    Call(supplied.Get(), L"Quit");
                } else if (c.verdict == kShow) {
                    Call(supplied.Get(), L"Visible", {Bool(true)}, nullptr, DISPATCH_PROPERTYPUT);
                }
            };
            *ppDisp = supplied.Get();
            supplied->AddRef();
        };
        (*shellSink_)->events.clear();
        LONG popup = LongOf(script_.Get(), L"OpenPopup", {Long(opener), Text(kUrl)});
        EXPECT_EQ(openerSink->Ids(), (std::vector<DISPID>{kDispNewWindow2}));
        if (c.cancelNewWindow) {
            EXPECT_EQ(popup, 0);
            EXPECT_TRUE(ShellEvents().empty());
            continue;
        }
        ASSERT_GT(popup, opener);
        EXPECT_EQ(ShellEvents().front(), std::make_pair(DISPID(kDispWindowRegistered), popup));
        if (supplied) {
            EXPECT_EQ(LongOf(script_.Get(), L"IdOf", {Object(supplied.Get())}), popup);
            // A blocked window also says it quits.
            ASSERT_EQ((*popupSink)->events.size(), (c.cancelled ? 1u : 2u) + (c.quit ? 1u : 0u));
            EXPECT_EQ((*popupSink)->events[0].url, kUrl);
        }
        EXPECT_EQ(LongOf(script_.Get(), L"OpenerOf", {Long(popup)}), opener);
        EXPECT_EQ(Is(L"WasCancelled", popup), c.cancelled);
        EXPECT_EQ(Is(L"WasQuit", popup), c.quit);
        EXPECT_EQ(Is(L"IsVisible", popup), c.visible);
        EXPECT_EQ(TextOf(script_.Get(), L"LocationURL", {Long(popup)}), c.cancelled ? L"" : kUrl);
        double asked = TimeOf(script_.Get(), L"NewWindowTime", popup);
        EXPECT_GT(asked, 0.0);
        if (c.quit) {
            EXPECT_GE(TimeOf(script_.Get(), L"QuitTime", popup), asked);
            EXPECT_EQ(ShellEvents().back(), std::make_pair(DISPID(kDispWindowRevoked), popup));
        }
        Call(script_.Get(), L"CloseWindow", {Long(opener)});
        Call(script_.Get(), L"CloseWindow", {Long(popup)});
    }
}

TEST(DoubleLifetime, ShutdownEndsTheProcessAndTheNextCreationStartsAfresh) {
    ASSERT_EQ(RunDouble(L"/RegisterDouble"), 0u);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ComPtr<IDispatch> script = CreateByProgId(kScriptProgId, CLSCTX_LOCAL_SERVER);
        ASSERT_TRUE(script);
        HANDLE process = TrackDouble(script.Get());
        EXPECT_EQ(LongOf(script.Get(), L"WindowCount"), 0);
        LONG id = LongOf(script.Get(), L"OpenWindow", {Text(L"about:blank")});
        EXPECT_EQ(id, 1);
        EXPECT_TRUE(BoolOf(script.Get(), L"IsVisible", {Long(id)}));
        EXPECT_EQ(ShutDownDouble(std::move(script), process), 0u);
    }
}

} // namespace
