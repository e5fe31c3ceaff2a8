// Doubles for the control panel's tests: the agent's automation object served
// in-process under its ProgID, a scripted page, and a recorder of every
// message box, pause, shell call, sound and file pick.
#pragma once

#include "common/ComObject.h"
#include "fakes/InProcessClass.h"
#include "HtmlPage.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vx::test {

// One agent object: answers IKrellinIF's members by name and writes every
// call into a log shared by all agents of a test ("get Visible",
// "put Visible=bool:-1", "put BypassKeys=i2:5", "Quit").
class FakeAgent : public ComObject<FakeAgent, IDispatch> {
  public:
    static const QITAB* QiTable();
    explicit FakeAgent(std::vector<std::string>* log) : log_(log) {}

    // The IsServeReady query that first answers readyValue; 0: never.
    int readyAtQuery = 1;
    long readyValue = 1;
    int readyQueries = 0;
    // What the getters answer, by member name, as the agent's dispatch
    // layer would hand it back.
    std::map<std::wstring, long> numbers = {
        {L"Visible", 0},       {L"BlockedCount", 0},  {L"MuteAudio", 0}, {L"ShowTray", 1},
        {L"AllowSameSite", 1}, {L"KillFixedSize", 0}, {L"BypassKeys", 1}};
    std::wstring audioFileName;
    bool audioFileNameNull = false;
    std::map<std::wstring, HRESULT> failures;
    bool quit = false;
    // Whether the last string put was a null, and how Quit came.
    bool lastBstrWasNull = false;
    UINT quitArgs = 0;
    WORD quitFlags = 0;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

    ULONG Refs() const { return RefCount(); }

  private:
    HRESULT Put(const std::wstring& name, DISPPARAMS* params);
    std::vector<std::string>* log_;
};

// Serves new FakeAgents as Krellin.KrellinIF.1 for the life of the object.
class AgentServer {
  public:
    explicit AgentServer(std::function<void(FakeAgent&)> configure = nullptr);
    ~AgentServer();

    std::vector<std::string> log;
    std::vector<ComPtr<FakeAgent>> agents;
    FakeAgent& Last() { return *agents.back().Get(); }
    HRESULT Registered() const { return server_->Registered(); }
    std::function<void(FakeAgent&)> configure;

  private:
    std::unique_ptr<fakes::InProcessClass> server_;
};

// The agent is not registered at all for the life of the object.
class NoAgent {
  public:
    NoAgent();

  private:
    fakes::ProgIdOverride override_;
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

    std::vector<std::string> Captions() const;
    int Count(const std::string& event) const;

    static DesktopRecorder* current;

  private:
    void* saved_;
};

struct ScriptedElement {
    enum Kind { CheckBox, TextField, Text, Button };
    explicit ScriptedElement(Kind k = Button) : kind(k) {}
    Kind kind;
    bool checked = false;
    bool indeterminate = false;
    std::wstring value;
    std::wstring innerText;
    bool clickConnected = false;
};

// A page whose elements live in a map; clicks behave as a browser's: a check
// box toggles (and stops being indeterminate) before its onclick runs.
class ScriptedPage : public HtmlPage {
  public:
    // Every element the control panel binds, of the kind it expects.
    static std::map<std::wstring, ScriptedElement> ControlPanelElements();

    std::map<std::wstring, ScriptedElement> elements;
    PageEvents* events = nullptr;
    std::wstring address;
    int opens = 0;
    int closes = 0;
    HRESULT openResult = S_OK;

    void CompleteDocument(bool topLevel = true);
    // False when the click reached no handler.
    bool Click(const wchar_t* id);
    bool Checked(const wchar_t* id) const;
    std::wstring Value(const wchar_t* id) const;
    std::wstring InnerText(const wchar_t* id) const;

    HRESULT Open(HWND, const std::wstring& url, PageEvents* listener) override;
    void Resize(const RECT&) override {}
    void Close() override;
    bool TranslateKey(MSG*) override { return false; }
    HRESULT ConnectClick(const wchar_t* id) override;
    HRESULT GetFlag(const wchar_t* id, PageFlag flag, bool* value) override;
    HRESULT SetFlag(const wchar_t* id, PageFlag flag, bool value) override;
    HRESULT GetText(const wchar_t* id, PageText text, std::wstring* value) override;
    HRESULT SetText(const wchar_t* id, PageText text, const std::wstring& value) override;

  private:
    ScriptedElement* Find(const wchar_t* id);
};

// Sets ProgramFiles for one test and puts the old value back.
class ProgramFilesOverride {
  public:
    explicit ProgramFilesOverride(const char* value) {
        char old[1024];
        DWORD n = GetEnvironmentVariableA("ProgramFiles", old, sizeof old);
        had_ = n > 0 && n < sizeof old;
        if (had_) old_ = old;
        SetEnvironmentVariableA("ProgramFiles", value);
    }
    ~ProgramFilesOverride() {
        SetEnvironmentVariableA("ProgramFiles", had_ ? old_.c_str() : nullptr);
    }

  private:
    bool had_ = false;
    std::string old_;
};

// Narrow text for expectations; test texts are ASCII.
std::string Ascii(const std::wstring& text);

} // namespace vx::test
