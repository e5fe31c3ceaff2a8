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

    // From this IsServeReady query on, readyValue is answered; 0: never.
    int readyAt = 1;
    long readyValue = 1;
    // The settings by name; missing numbers are 0.
    std::map<std::wstring, long> numbers = {
        {L"Visible", 0},    {L"ShowTray", 1},           {L"AllowSameSite", 1},
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
    static Member<FakeAgent> Named(const wchar_t* name) {
        return {name, [name](FakeAgent& a, Call& c) { return a.Answer(name, c); }};
    }

  private:
    HRESULT Answer(const std::wstring& name, Call& c) {
        if (name == L"IsServeReady")
            return c.Return(readyAt > 0 && ++queries_ >= readyAt ? readyValue : 0L);
        if (name == L"Quit")
            quit = true;
        else if (c.IsPut() && texts.count(name))
            texts[name] = c.Arg<std::wstring>(0);
        else if (c.IsPut())
            numbers[name] = c.Arg<LONG>(0);
        else
            return texts.count(name) ? c.Return(texts[name]) : c.Return(numbers[name]);
        return S_OK;
    }

    std::string& log_;
    int queries_ = 0;
};

// clang-format off
inline const Member<FakeAgent> FakeAgent::kMembers[] = {
    Named(L"IsServeReady"), Named(L"Quit"), Named(L"Visible"), Named(L"BlockedCount"),
    Named(L"MuteAudio"), Named(L"ShowTray"), Named(L"AllowSameSite"), Named(L"KillFixedSize"),
    Named(L"BypassKeys"), Named(L"AllowUserInitiated"), Named(L"NotifyOnBlock"),
    Named(L"AudioFileName"), Named(L"AllowedSites"), {}};
// clang-format on

// Stands in for the browser's page: logs how it is opened ("open <address>; ")
// and closed ("close; ") and completes only when the test says so. It has no
// elements.
class StubPage : public NativePage {
  public:
    explicit StubPage(std::string& log) : log_(log) {}
    PageEvents* events = nullptr;
    HRESULT openResult = S_OK;

    HRESULT Open(HWND, const std::wstring& url, PageEvents* listener) override {
        log_ += "open " + NarrowText(url.c_str()) + "; ";
        events = listener;
        return openResult;
    }
    void Close() override {
        log_ += "close; ";
        events = nullptr;
    }

  private:
    std::string& log_;
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
