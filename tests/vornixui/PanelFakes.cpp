#include "PanelFakes.h"

#include "VornixUI/DesktopCalls.h"
#include "Krellin.h"

#include "tests/support/ProcessTools.h"

namespace vx::test {

namespace {

// IKrellinIF2 from the agent's own type library, so that the panel may use
// no name the agent does not declare.
ITypeInfo* AgentInterface() {
    static ComPtr<ITypeInfo> info = [] {
        ComPtr<ITypeLib> library;
        ComPtr<ITypeInfo> found;
        if (SUCCEEDED(
                LoadTypeLibEx(BesideTest(L"Krellin.exe").c_str(), REGKIND_NONE, library.Put())))
            library->GetTypeInfoOfGuid(IID_IKrellinIF2, found.Put());
        return found;
    }();
    return info.Get();
}

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

// The one object answers as the agent's interfaces too.
const QITAB* FakeAgent::QiTable() {
    static const QITAB table[] = {
        QITABENT(FakeAgent, IDispatch),
        {&IID_IKrellinIF, OFFSETOFCLASS(IDispatch, FakeAgent)},
        {&IID_IKrellinIF2, OFFSETOFCLASS(IDispatch, FakeAgent)},
        {},
    };
    return table;
}

HRESULT FakeAgent::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    return AgentInterface() ? AgentInterface()->GetIDsOfNames(names, count, ids) : E_FAIL;
}

HRESULT FakeAgent::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO*, UINT*) {
    if (quit) return RPC_E_DISCONNECTED;
    Bstr member;
    if (FAILED(AgentInterface()->GetDocumentation(id, member.Put(), nullptr, nullptr, nullptr)))
        return DISP_E_MEMBERNOTFOUND;
    const std::wstring name = member.Text();
    const HRESULT failure = failures.count(name) ? failures.at(name) : S_OK;
    if (flags & DISPATCH_PROPERTYPUT) {
        if (params->cArgs != 1 || params->cNamedArgs != 1 ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_PARAMNOTOPTIONAL;
        VARIANT& arg = params->rgvarg[0];
        log_->push_back("put " + Ascii(name) + "=" + Describe(arg));
        if (FAILED(failure)) return failure;
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
        quit = SUCCEEDED(failure);
        return failure;
    }
    log_->push_back("get " + Ascii(name));
    if (name == L"IsServeReady") ++readyQueries;
    if (FAILED(failure)) return failure;
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
              agents.push_back(ComPtr<FakeAgent>(new FakeAgent(&log)));
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

int DesktopRecorder::Count(const std::string& start) const {
    int n = 0;
    for (const std::string& e : events)
        n += e.rfind(start, 0) == 0;
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
