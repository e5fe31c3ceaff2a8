#include "PanelFakes.h"

#include "VornixUI/DesktopCalls.h"
#include "Krellin.h"

#include <iterator>

namespace vx::test {

namespace {

// IKrellinIF2's members by their declared DISPIDs, from 1.
const wchar_t* const kMembers[] = {
    L"Quit",          L"Visible",       L"BlockedCount",       L"MuteAudio",
    L"AudioFileName", L"ShowTray",      L"IsServeReady",       L"AllowSameSite",
    L"KillFixedSize", L"BypassKeys",    L"AllowUserInitiated", L"NotifyOnBlock",
    L"AllowedSites"};
constexpr DISPID kMemberCount = static_cast<DISPID>(std::size(kMembers));

std::string Describe(const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_BOOL:
        return "bool:" + std::to_string(V_BOOL(&v));
    case VT_I2:
        return "i2:" + std::to_string(V_I2(&v));
    case VT_BSTR:
        return "bstr:" + Ascii(V_BSTR(&v) ? V_BSTR(&v) : L"");
    default:
        return "vt" + std::to_string(V_VT(&v));
    }
}

DesktopRecorder* gRecorder = nullptr;

} // namespace

std::string Ascii(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out.push_back(c < 128 ? static_cast<char>(c) : '#');
    return out;
}

HRESULT FakeAgent::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
        !IsEqualIID(riid, IID_IKrellinIF) && !IsEqualIID(riid, IID_IKrellinIF2))
        return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

ULONG FakeAgent::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT FakeAgent::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (count != 1) return E_INVALIDARG;
    ids[0] = DISPID_UNKNOWN;
    for (DISPID id = 1; id <= kMemberCount; ++id)
        if (_wcsicmp(kMembers[id - 1], names[0]) == 0) ids[0] = id;
    return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT FakeAgent::Failure(const std::wstring& name) const {
    auto it = failures.find(name);
    return it == failures.end() ? S_OK : it->second;
}

HRESULT FakeAgent::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO*, UINT*) {
    if (quit) return RPC_E_DISCONNECTED;
    if (id < 1 || id > kMemberCount) return DISP_E_MEMBERNOTFOUND;
    const std::wstring name = kMembers[id - 1];
    if (flags & DISPATCH_PROPERTYPUT) {
        if (params->cArgs != 1 || params->cNamedArgs != 1 ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_PARAMNOTOPTIONAL;
        VARIANT& arg = params->rgvarg[0];
        log_->push_back("put " + Ascii(name) + "=" + Describe(arg));
        if (FAILED(Failure(name))) return Failure(name);
        if (texts.count(name)) {
            if (V_VT(&arg) != VT_BSTR) return DISP_E_TYPEMISMATCH;
            texts[name] = V_BSTR(&arg) ? V_BSTR(&arg) : L"";
            return S_OK;
        }
        // The agent's own dispatch layer converts to its declared types.
        Variant converted;
        HRESULT hr = VariantChangeType(converted.Get(), &arg, 0, VT_I4);
        if (SUCCEEDED(hr)) numbers[name] = V_I4(converted.Get());
        return hr;
    }
    if (name == L"Quit") {
        log_->push_back("Quit");
        if (flags != DISPATCH_METHOD || params->cArgs) return DISP_E_MEMBERNOTFOUND;
        quit = SUCCEEDED(Failure(name));
        return Failure(name);
    }
    log_->push_back("get " + Ascii(name));
    if (name == L"IsServeReady") ++readyQueries;
    if (FAILED(Failure(name))) return Failure(name);
    if (name == L"IsServeReady") {
        V_VT(result) = VT_I4;
        V_I4(result) = readyAtQuery > 0 && readyQueries >= readyAtQuery ? readyValue : 0;
    } else if (texts.count(name)) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocString(texts[name].c_str());
    } else if (name == L"BypassKeys") {
        V_VT(result) = VT_I2;
        V_I2(result) = static_cast<SHORT>(numbers[name]);
    } else {
        V_VT(result) = VT_I4;
        V_I4(result) = numbers[name];
    }
    return S_OK;
}

AgentServer::AgentServer(std::function<void(FakeAgent&)> configure)
    : configure_(std::move(configure)),
      server_(std::make_unique<fakes::InProcessClass>(
          L"Krellin.KrellinIF.1", CLSID_KrellinIF, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
          [this](REFIID riid, void** ppv) {
              log.push_back("create");
              agents.push_back(ComPtr<FakeAgent>::Attach(new FakeAgent(&log)));
              if (configure_) configure_(Last());
              return Last().QueryInterface(riid, ppv);
          })) {}

DesktopRecorder::DesktopRecorder() : saved_(std::make_unique<DesktopCalls>(Desktop())) {
    gRecorder = this;
    Desktop() = {
        [](HWND, const char* text, const char* caption, UINT) {
            gRecorder->events.push_back(std::string("box:") + caption);
            gRecorder->boxTexts.push_back(text);
            return IDOK;
        },
        [](DWORD ms) { gRecorder->events.push_back("pause:" + std::to_string(ms)); },
        [](HWND, const char* target) {
            gRecorder->events.push_back(std::string("open:") + target);
        },
        [](const char* path) { gRecorder->events.push_back(std::string("play:") + path); },
        [](HWND, const std::wstring& initial, std::wstring* chosen) {
            gRecorder->events.push_back("pick:" + Ascii(initial));
            if (gRecorder->pickConfirms) *chosen = gRecorder->pickPath;
            return gRecorder->pickConfirms;
        },
    };
}

DesktopRecorder::~DesktopRecorder() {
    Desktop() = *saved_;
    gRecorder = nullptr;
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

ProgramFilesOverride::ProgramFilesOverride(const char* value) {
    char old[1024];
    DWORD n = GetEnvironmentVariableA("ProgramFiles", old, sizeof old);
    had_ = n > 0 && n < sizeof old;
    if (had_) old_ = old;
    SetEnvironmentVariableA("ProgramFiles", value);
}

ProgramFilesOverride::~ProgramFilesOverride() {
    SetEnvironmentVariableA("ProgramFiles", had_ ? old_.c_str() : nullptr);
}

} // namespace vx::test
