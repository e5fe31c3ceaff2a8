// Doubles for the control panel's tests: the agent's automation object served
// in-process under its ProgID, a page without elements, and a recorder of
// every message box, pause, shell call, sound and file pick.
#pragma once

#include "VornixUI/NativePage.h"
#include "common/ComObject.h"
#include "tests/fakes/InProcessClass.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vx {
struct DesktopCalls;
}

namespace vx::test {

// One agent object: answers IKrellinIF2's settings by name and writes every
// call into a log shared by the agents of a test ("get Visible",
// "put Visible=bool:-1", "put BypassKeys=i2:5", "Quit").
class FakeAgent final : public ComObject<FakeAgent, IDispatch> {
  public:
    explicit FakeAgent(std::vector<std::string>* log) : log_(log) {}
    static const QITAB* QiTable();

    // The IsServeReady query that first answers readyValue; 0: never.
    int readyAtQuery = 1;
    long readyValue = 1;
    int readyQueries = 0;
    std::map<std::wstring, long> numbers = {
        {L"Visible", 0},    {L"BlockedCount", 0},       {L"MuteAudio", 0},
        {L"ShowTray", 1},   {L"AllowSameSite", 1},      {L"KillFixedSize", 0},
        {L"BypassKeys", 1}, {L"AllowUserInitiated", 1}, {L"NotifyOnBlock", 1}};
    std::map<std::wstring, std::wstring> texts = {{L"AudioFileName", L""}, {L"AllowedSites", L""}};
    std::map<std::wstring, HRESULT> failures;
    bool quit = false;
    ULONG Refs() const { return RefCount(); }

    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

  private:
    std::vector<std::string>* log_;
};

// Serves new FakeAgents as Krellin.KrellinIF.1 for the life of the object;
// configure sets up each one.
class AgentServer {
  public:
    explicit AgentServer(std::function<void(FakeAgent&)> configure = nullptr);

    std::vector<std::string> log;
    std::vector<ComPtr<FakeAgent>> agents;
    FakeAgent& Last() { return *agents.back().Get(); }
    HRESULT Registered() const { return server_->Registered(); }

  private:
    std::function<void(FakeAgent&)> configure_;
    std::unique_ptr<fakes::InProcessClass> server_;
};

// Replaces Desktop() for the life of the object.
class DesktopRecorder {
  public:
    DesktopRecorder();
    ~DesktopRecorder();

    // Every call in order: "box:<caption>", "pause:<ms>", "open:<target>",
    // "play:<path>", "pick:<initial path>".
    std::vector<std::string> events;
    std::vector<std::string> boxTexts;
    // What the next file pick answers.
    bool pickConfirms = false;
    std::wstring pickPath;

    int Count(const std::string& start) const;

  private:
    std::unique_ptr<DesktopCalls> saved_;
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

// Sets ProgramFiles (null: unsets it) for one test and puts the old value back.
class ProgramFilesOverride {
  public:
    explicit ProgramFilesOverride(const char* value);
    ~ProgramFilesOverride();

  private:
    bool had_ = false;
    std::string old_;
};

// Narrow text for expectations; test texts are ASCII.
std::string Ascii(const std::wstring& text);

} // namespace vx::test
