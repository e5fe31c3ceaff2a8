#include "PanelFakes.h"

#include "DesktopCalls.h"
#include "Krellin.h"

#include <cstdio>

namespace vx::test {

namespace {

const std::pair<const wchar_t*, DISPID> kMembers[] = {
    {L"Quit", 1},          {L"Visible", 2},     {L"BlockedCount", 3}, {L"MuteAudio", 4},
    {L"AudioFileName", 5}, {L"ShowTray", 6},    {L"IsServeReady", 7}, {L"AllowSameSite", 8},
    {L"KillFixedSize", 9}, {L"BypassKeys", 10},
};

const wchar_t* MemberName(DISPID id) {
    for (const auto& m : kMembers)
        if (m.second == id) return m.first;
    return nullptr;
}

std::string Describe(const VARIANT& v) {
    char text[64];
    switch (V_VT(&v)) {
    case VT_BOOL:
        snprintf(text, sizeof text, "bool:%d", V_BOOL(&v));
        return text;
    case VT_I2:
        snprintf(text, sizeof text, "i2:%d", V_I2(&v));
        return text;
    case VT_I4:
        snprintf(text, sizeof text, "i4:%ld", static_cast<long>(V_I4(&v)));
        return text;
    case VT_BSTR:
        return "bstr:" + Ascii(V_BSTR(&v) ? V_BSTR(&v) : L"");
    default:
        snprintf(text, sizeof text, "vt%d", V_VT(&v));
        return text;
    }
}

} // namespace

std::string Ascii(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out.push_back(c < 128 ? static_cast<char>(c) : '#');
    return out;
}

// ---- FakeAgent ------------------------------------------------------------

const QITAB* FakeAgent::QiTable() {
    static const QITAB table[] = {
        QITABENT(FakeAgent, IDispatch), QITABENTMULTI2(FakeAgent, IID_IKrellinIF, IDispatch), {}};
    return table;
}

HRESULT FakeAgent::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

HRESULT FakeAgent::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (quit) return RPC_E_DISCONNECTED;
    if (count != 1) return E_INVALIDARG;
    for (const auto& m : kMembers) {
        if (wcscmp(m.first, names[0]) == 0) {
            ids[0] = m.second;
            return S_OK;
        }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT FakeAgent::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO*, UINT*) {
    if (quit) return RPC_E_DISCONNECTED;
    const wchar_t* name = MemberName(id);
    if (!name) return DISP_E_MEMBERNOTFOUND;
    auto failure = failures.find(name);

    if (flags & DISPATCH_PROPERTYPUT) {
        if (failure != failures.end()) return failure->second;
        return Put(name, params);
    }
    if (id == 1) {
        log_->push_back("Quit");
        quitArgs = params ? params->cArgs : 0;
        quitFlags = flags;
        if (failure != failures.end()) return failure->second;
        quit = true;
        return S_OK;
    }

    log_->push_back("get " + Ascii(name));
    if (id == 7) ++readyQueries;
    if (failure != failures.end()) return failure->second;
    if (!result) return E_POINTER;
    if (id == 7) {
        V_VT(result) = VT_I4;
        V_I4(result) = (readyAtQuery > 0 && readyQueries >= readyAtQuery) ? readyValue : 0;
    } else if (id == 5) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = audioFileNameNull ? nullptr : SysAllocString(audioFileName.c_str());
    } else if (id == 10) {
        V_VT(result) = VT_I2;
        V_I2(result) = static_cast<SHORT>(numbers[name]);
    } else {
        V_VT(result) = VT_I4;
        V_I4(result) = numbers[name];
    }
    return S_OK;
}

HRESULT FakeAgent::Put(const std::wstring& name, DISPPARAMS* params) {
    if (!params || params->cArgs != 1 || params->cNamedArgs != 1 ||
        params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
        return DISP_E_PARAMNOTOPTIONAL;
    VARIANT& arg = params->rgvarg[0];
    log_->push_back("put " + Ascii(name) + "=" + Describe(arg));
    if (name == L"AudioFileName") {
        if (V_VT(&arg) != VT_BSTR) return DISP_E_TYPEMISMATCH;
        lastBstrWasNull = V_BSTR(&arg) == nullptr;
        audioFileName = V_BSTR(&arg) ? V_BSTR(&arg) : L"";
        return S_OK;
    }
    // The agent's own dispatch layer converts to its declared types.
    Variant converted;
    HRESULT hr = VariantChangeType(converted.Get(), &arg, 0, VT_I4);
    if (FAILED(hr)) return hr;
    numbers[name] = V_I4(converted.Get());
    return S_OK;
}

// ---- AgentServer ----------------------------------------------------------

AgentServer::AgentServer(std::function<void(FakeAgent&)> configureAgent)
    : configure(std::move(configureAgent)) {
    server_ = std::make_unique<fakes::InProcessClass>(
        L"Krellin.KrellinIF.1", CLSID_KrellinIF, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
        [this](REFIID riid, void** ppv) {
            log.push_back("create");
            ComPtr<FakeAgent> agent(new FakeAgent(&log));
            if (configure) configure(*agent.Get());
            agents.push_back(agent);
            return agent->QueryInterface(riid, ppv);
        });
}

AgentServer::~AgentServer() {
    server_.reset();
}

NoAgent::NoAgent() : override_(L"Krellin.KrellinIF.1", nullptr) {}

// ---- DesktopRecorder ------------------------------------------------------

DesktopRecorder* DesktopRecorder::current = nullptr;

DesktopRecorder::DesktopRecorder() {
    saved_ = new DesktopCalls(Desktop());
    current = this;
    DesktopCalls& d = Desktop();
    d.messageBox = [](HWND, const char* text, const char* caption, UINT) {
        current->events.push_back(std::string("box:") + caption);
        current->boxTexts.push_back(text);
        return IDOK;
    };
    d.pause = [](DWORD ms) { current->events.push_back("pause:" + std::to_string(ms)); };
    d.shellOpen = [](HWND, const char* target) {
        current->events.push_back(std::string("open:") + target);
    };
    d.playSound = [](const char* path) { current->events.push_back(std::string("play:") + path); };
    d.pickWaveFile = [](HWND, const std::wstring& initial, std::wstring* chosen) {
        current->events.push_back("pick:" + Ascii(initial));
        if (!current->pickConfirms) return false;
        *chosen = current->pickPath;
        return true;
    };
}

DesktopRecorder::~DesktopRecorder() {
    auto* saved = static_cast<DesktopCalls*>(saved_);
    Desktop() = *saved;
    delete saved;
    current = nullptr;
}

std::vector<std::string> DesktopRecorder::Captions() const {
    std::vector<std::string> captions;
    for (const std::string& e : events)
        if (e.rfind("box:", 0) == 0) captions.push_back(e.substr(4));
    return captions;
}

int DesktopRecorder::Count(const std::string& event) const {
    int n = 0;
    for (const std::string& e : events)
        n += e == event;
    return n;
}

// ---- ScriptedPage ---------------------------------------------------------

std::map<std::wstring, ScriptedElement> ScriptedPage::ControlPanelElements() {
    std::map<std::wstring, ScriptedElement> e;
    for (const wchar_t* id : {L"ShowTray", L"Quit", L"ShowDiag", L"MuteAudio", L"NoSameSite",
                              L"NoFixed", L"Ctrl", L"Alt", L"Shift"})
        e[id] = ScriptedElement{ScriptedElement::CheckBox};
    e[L"FileName"] = ScriptedElement{ScriptedElement::TextField};
    e[L"NumPopups"] = ScriptedElement{ScriptedElement::Text};
    for (const wchar_t* id :
         {L"ButtonOK", L"ButtonCancel", L"WebSite", L"PickFile", L"Vabout", L"Vhelp", L"Play"})
        e[id] = ScriptedElement{ScriptedElement::Button};
    return e;
}

ScriptedElement* ScriptedPage::Find(const wchar_t* id) {
    auto it = elements.find(id);
    return it == elements.end() ? nullptr : &it->second;
}

void ScriptedPage::CompleteDocument(bool topLevel) {
    if (events) events->OnDocumentComplete(topLevel);
}

bool ScriptedPage::Click(const wchar_t* id) {
    ScriptedElement* e = Find(id);
    if (!e) return false;
    if (e->kind == ScriptedElement::CheckBox) {
        e->checked = !e->checked;
        e->indeterminate = false;
    }
    if (!e->clickConnected || !events) return false;
    events->OnElementClick(id);
    return true;
}

bool ScriptedPage::Checked(const wchar_t* id) const {
    return elements.at(id).checked;
}
std::wstring ScriptedPage::Value(const wchar_t* id) const {
    return elements.at(id).value;
}
std::wstring ScriptedPage::InnerText(const wchar_t* id) const {
    return elements.at(id).innerText;
}

HRESULT ScriptedPage::Open(HWND, const std::wstring& url, PageEvents* listener) {
    address = url;
    events = listener;
    ++opens;
    return openResult;
}

void ScriptedPage::Close() {
    events = nullptr;
    ++closes;
}

HRESULT ScriptedPage::ConnectClick(const wchar_t* id) {
    ScriptedElement* e = Find(id);
    if (!e) return S_FALSE;
    e->clickConnected = true;
    return S_OK;
}

HRESULT ScriptedPage::GetFlag(const wchar_t* id, PageFlag flag, bool* value) {
    ScriptedElement* e = Find(id);
    if (!e || e->kind != ScriptedElement::CheckBox) return S_FALSE;
    *value = flag == PageFlag::Checked ? e->checked : e->indeterminate;
    return S_OK;
}

HRESULT ScriptedPage::SetFlag(const wchar_t* id, PageFlag flag, bool value) {
    ScriptedElement* e = Find(id);
    if (!e || e->kind != ScriptedElement::CheckBox) return S_FALSE;
    (flag == PageFlag::Checked ? e->checked : e->indeterminate) = value;
    return S_OK;
}

HRESULT ScriptedPage::GetText(const wchar_t* id, PageText text, std::wstring* value) {
    ScriptedElement* e = Find(id);
    if (!e) return S_FALSE;
    *value = text == PageText::Value ? e->value : e->innerText;
    return S_OK;
}

HRESULT ScriptedPage::SetText(const wchar_t* id, PageText text, const std::wstring& value) {
    ScriptedElement* e = Find(id);
    if (!e) return S_FALSE;
    (text == PageText::Value ? e->value : e->innerText) = value;
    return S_OK;
}

} // namespace vx::test
