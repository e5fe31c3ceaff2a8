// Doubles for the control panel's tests: the agent's automation object served
// in-process under its ProgID, a scripted page, and a recorder of every
// message box, pause, shell call, sound and file pick.
#pragma once

#include "VornixUI/HtmlPage.h"
#include "tests/fakes/InProcessClass.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vx {
struct DesktopCalls;
}

namespace vx::test {

// One agent object: answers IKrellinIF2's settings by name and writes every
// call into a log shared by the agents of a test ("get Visible",
// "put Visible=bool:-1", "put BypassKeys=i2:5", "Quit").
class FakeAgent : public IDispatch {
  public:
    explicit FakeAgent(std::vector<std::string>* log) : log_(log) {}
    virtual ~FakeAgent() = default;

    // The IsServeReady query that first answers readyValue; 0: never.
    int readyAtQuery = 1;
    long readyValue = 1;
    int readyQueries = 0;
    std::map<std::wstring, long> numbers = {
        {L"Visible", 0},       {L"BlockedCount", 0},  {L"MuteAudio", 0},
        {L"ShowTray", 1},      {L"AllowSameSite", 1}, {L"KillFixedSize", 0},
        {L"BypassKeys", 1},    {L"AllowUserInitiated", 1}, {L"NotifyOnBlock", 1}};
    std::map<std::wstring, std::wstring> texts = {{L"AudioFileName", L""},
                                                  {L"AllowedSites", L""}};
    // Members that fail, with their result.
    std::map<std::wstring, HRESULT> failures;
    bool quit = false;
    ULONG Refs() const { return refs_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* n) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

  private:
    HRESULT Failure(const std::wstring& name) const;

    std::vector<std::string>* log_;
    LONG refs_ = 1;
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

    std::vector<std::string> Captions() const;
    int Count(const std::string& event) const;

  private:
    std::unique_ptr<DesktopCalls> saved_;
};

// A page whose elements live in a map; clicks behave as a browser's: a check
// box toggles (and stops being indeterminate) before its onclick runs.
class ScriptedPage : public HtmlPage {
  public:
    enum Kind { CheckBox, TextField, Text, Button };
    struct Element {
        Kind kind = Button;
        bool checked = false, indeterminate = false, clickConnected = false;
        std::wstring value, innerText;
    };
    // Every element the control panel binds, of the kind it expects.
    static std::map<std::wstring, Element> ControlPanelElements();

    std::map<std::wstring, Element> elements = ControlPanelElements();
    PageEvents* events = nullptr;
    std::wstring address;
    int opens = 0, closes = 0;
    HRESULT openResult = S_OK;

    void CompleteDocument(bool topLevel = true) {
        if (events) events->OnDocumentComplete(topLevel);
    }
    // False when the click reached no handler.
    bool Click(const wchar_t* id);
    bool Checked(const wchar_t* id) const { return elements.at(id).checked; }
    std::wstring Value(const wchar_t* id) const { return elements.at(id).value; }
    std::wstring InnerText(const wchar_t* id) const { return elements.at(id).innerText; }

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
    Element* Find(const wchar_t* id, bool checkBox = false);
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
