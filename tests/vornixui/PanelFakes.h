// Doubles for the control panel's tests: the agent's automation object served
// in-process under its ProgID, a page without elements, and a recorder of
// every message box, pause, shell call, sound and file pick.
#pragma once

#include "VornixUI/DesktopCalls.h"
#include "VornixUI/NativePage.h"
#include "Krellin.h"
#include "common/TextForms.h"

#include "tests/browserdouble/NamedDispatch.h"
#include "tests/fakes/InProcessClass.h"
#include "tests/support/ProcessTools.h"

#include <cstdlib>
#include <optional>

namespace vx::test {

using browserdouble::Call;
using browserdouble::Member;

// Takes Desktop()'s place while it lives. Its log is the test's one timeline:
// "box:<caption>; ", "pause:<ms>; ", "open:<target>; ", "play:<path>; ",
// "pick:<initial path>; ", and the agents' calls.
class DesktopRecorder {
  public:
    DesktopRecorder() {
        current_ = this;
        Desktop() = {
            [](HWND, const char* text, const char* caption, UINT) {
                current_->log += std::string("box:") + caption + "; ";
                current_->boxTexts.push_back(text);
                return IDOK;
            },
            [](DWORD ms) { current_->log += "pause:" + std::to_string(ms) + "; "; },
            [](HWND, const char* target) { current_->log += std::string("open:") + target + "; "; },
            [](const char* path) { current_->log += std::string("play:") + path + "; "; },
            [](HWND, const std::wstring& initial, std::wstring* chosen) {
                current_->log += "pick:" + NarrowText(initial.c_str()) + "; ";
                if (current_->picked) *chosen = *current_->picked;
                return current_->picked.has_value();
            },
        };
    }
    ~DesktopRecorder() { Desktop() = saved_; }
    void Forget() {
        log.clear();
        boxTexts.clear();
    }

    std::string log;
    std::vector<std::string> boxTexts;
    std::optional<std::wstring> picked; // what the next file pick answers; none: cancelled

  private:
    static inline DesktopRecorder* current_ = nullptr;
    DesktopCalls saved_ = Desktop();
};

// One agent object with IKrellinIF2's settings; a call after Quit finds it gone.
class FakeAgent final : public browserdouble::NamedDispatch<FakeAgent, IDispatch> {
  public:
    static const Member<FakeAgent> kMembers[];
    explicit FakeAgent(std::string* log) : log_(*log) {}

    // The IsServeReady query from which readyValue is answered; 0: never.
    int readyAt = 1, readyQueries = 0;
    long readyValue = 1;
    std::map<std::wstring, long> numbers = {
        {L"Visible", 0},    {L"BlockedCount", 0},       {L"MuteAudio", 0},
        {L"ShowTray", 1},   {L"AllowSameSite", 1},      {L"KillFixedSize", 0},
        {L"BypassKeys", 1}, {L"AllowUserInitiated", 1}, {L"NotifyOnBlock", 1}};
    std::map<std::wstring, std::wstring> texts = {{L"AudioFileName", L""}, {L"AllowedSites", L""}};
    bool quit = false;
    ULONG Refs() const { return RefCount(); }

    // The panel may use no name that the agent's own type library lacks.
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override {
        static const ComPtr<ITypeInfo> agent = [] {
            ComPtr<ITypeLib> library;
            ComPtr<ITypeInfo> found;
            if (SUCCEEDED(
                    LoadTypeLibEx(BesideTest(L"Krellin.exe").c_str(), REGKIND_NONE, library.Put())))
                library->GetTypeInfoOfGuid(IID_IKrellinIF2, found.Put());
            return found;
        }();
        if (!agent || FAILED(agent->GetIDsOfNames(names, count, ids))) return DISP_E_UNKNOWNNAME;
        return NamedDispatch::GetIDsOfNames(iid, names, count, lcid, ids);
    }
    // Logged as "get Visible; ", "put Visible=-1; ", "Quit; ".
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
        std::wstring line = NameOf(id) ? NameOf(id) : L"?";
        Call call(flags, params, nullptr);
        if (call.IsPut()) line = L"put " + line + L"=" + call.Arg<std::wstring>(0);
        if (flags == DISPATCH_PROPERTYGET) line = L"get " + line;
        log_ += NarrowText(line.c_str()) + "; ";
        if (quit) return RPC_E_DISCONNECTED;
        HRESULT hr = NamedDispatch::Invoke(id, iid, lcid, flags, params, result, excep, argErr);
        // The agent declares the bypass mask a short.
        if (SUCCEEDED(hr) && line == L"get BypassKeys") VariantChangeType(result, result, 0, VT_I2);
        return hr;
    }

  private:
    static Member<FakeAgent> Setting(const wchar_t* name) {
        return {name, [name](FakeAgent& a, Call& c) {
                    const bool text = a.texts.count(name) > 0;
                    if (c.IsPut() && text) a.texts[name] = c.Arg<std::wstring>(0);
                    if (c.IsPut() && !text) a.numbers[name] = c.Arg<LONG>(0);
                    if (c.IsPut()) return S_OK;
                    return text ? c.Return(a.texts[name]) : c.Return(a.numbers[name]);
                }};
    }

    std::string& log_;
};

inline const Member<FakeAgent> FakeAgent::kMembers[] = {
    {L"IsServeReady",
     [](FakeAgent& a, Call& c) {
         ++a.readyQueries;
         return c.Return(a.readyAt > 0 && a.readyQueries >= a.readyAt ? a.readyValue : 0L);
     }},
    {L"Quit",
     [](FakeAgent& a, Call&) {
         a.quit = true;
         return S_OK;
     }},
    Setting(L"Visible"),
    Setting(L"BlockedCount"),
    Setting(L"MuteAudio"),
    Setting(L"ShowTray"),
    Setting(L"AllowSameSite"),
    Setting(L"KillFixedSize"),
    Setting(L"BypassKeys"),
    Setting(L"AllowUserInitiated"),
    Setting(L"NotifyOnBlock"),
    Setting(L"AudioFileName"),
    Setting(L"AllowedSites"),
    {}};

// Serves a new FakeAgent, set up by configure, at each creation of
// Krellin.KrellinIF.1 while it lives.
struct AgentServer {
    AgentServer(std::string& log, std::function<void(FakeAgent&)> configure = nullptr)
        : log(log), configure(std::move(configure)) {}
    FakeAgent& Last() { return *agents.back().Get(); }

    std::string& log;
    std::function<void(FakeAgent&)> configure;
    std::vector<ComPtr<FakeAgent>> agents;
    fakes::InProcessClass served{L"Krellin.KrellinIF.1", CLSID_KrellinIF,
                                 CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                 [this](REFIID riid, void** ppv) {
                                     log += "create; ";
                                     agents.emplace_back(new FakeAgent(&log));
                                     if (configure) configure(Last());
                                     return Last().QueryInterface(riid, ppv);
                                 }};
};

// Stands in for the browser's page: records how it is opened and closed and
// completes only when the test says so. It has no elements.
class StubPage : public NativePage {
  public:
    PageEvents* events = nullptr;
    std::wstring address;
    int opens = 0, closes = 0;
    HRESULT openResult = S_OK;

    HRESULT Open(HWND, const std::wstring& url, PageEvents* listener) override {
        address = url;
        events = listener;
        ++opens;
        return openResult;
    }
    void Close() override {
        events = nullptr;
        ++closes;
    }
};

// Runs a script once from inside the modal loop that starts next; a loop
// that never starts leaves no script behind for the next test.
class OnNextTick {
  public:
    explicit OnNextTick(std::function<void()> script) {
        script_ = std::move(script);
        id_ = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            if (auto script = std::exchange(script_, nullptr)) script();
        });
    }
    ~OnNextTick() {
        KillTimer(nullptr, id_);
        script_ = nullptr;
    }

  private:
    static inline std::function<void()> script_;
    UINT_PTR id_;
};

// ProgramFiles for one test (null: unset), then as the test program found it.
struct ProgramFiles {
    explicit ProgramFiles(const char* value) { SetEnvironmentVariableA("ProgramFiles", value); }
    ~ProgramFiles() {
        SetEnvironmentVariableA("ProgramFiles", original ? original->c_str() : nullptr);
    }
    static inline const std::optional<std::string> original =
        getenv("ProgramFiles") ? std::optional<std::string>(getenv("ProgramFiles")) : std::nullopt;
};

} // namespace vx::test
