#include "AgentClient.h"

#include "CodePageText.h"
#include "DesktopCalls.h"
#include "common/TextForms.h"

#include <cstdio>

namespace vx {

namespace {

constexpr wchar_t kAgentProgId[] = L"Krellin.KrellinIF.1";

// The low half of an integer result, sign-extended: the agent answers its
// on/off values as 32-bit integers, the bypass mask as a 16-bit one.
HRESULT LowHalf(VARIANT& value, long* out) {
    switch (V_VT(&value)) {
    case VT_I2:
        *out = V_I2(&value);
        return S_OK;
    case VT_BOOL:
        *out = V_BOOL(&value);
        return S_OK;
    case VT_I4:
        *out = static_cast<SHORT>(V_I4(&value) & 0xFFFF);
        return S_OK;
    default:
        break;
    }
    Variant converted;
    HRESULT hr = VariantChangeType(converted.Get(), &value, 0, VT_I4);
    if (FAILED(hr)) return hr;
    *out = static_cast<SHORT>(V_I4(converted.Get()) & 0xFFFF);
    return S_OK;
}

HRESULT Whole(VARIANT& value, long* out) {
    Variant converted;
    HRESULT hr = VariantChangeType(converted.Get(), &value, 0, VT_I4);
    if (FAILED(hr)) return hr;
    *out = V_I4(converted.Get());
    return S_OK;
}

HRESULT Text(VARIANT& value, std::string* out) {
    out->clear();
    if (V_VT(&value) == VT_EMPTY || V_VT(&value) == VT_NULL) return S_OK;
    Variant converted;
    HRESULT hr = VariantChangeType(converted.Get(), &value, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    BSTR text = V_BSTR(converted.Get());
    ToCodePage(text, SysStringLen(text), out);
    return S_OK;
}

} // namespace

AgentClient::AgentClient() {
    HRESULT hr = Create(kAgentProgId, CLSCTX_LOCAL_SERVER);
    if (FAILED(hr)) ReportComError("VornixUI unexpected creation error", hr);
}

long AgentClient::CheckReady() {
    // Without an object every query fails alike: asking 50 times would only
    // show 50 boxes and keep the user waiting for nothing.
    if (!HasReference()) return ready_;
    for (int attempt = 1; ready_ == 0 && attempt <= kReadyAttempts; ++attempt) {
        Variant result;
        HRESULT hr = InvokeByName(L"IsServeReady", DISPATCH_PROPERTYGET, result.Get());
        long value = 0;
        if (SUCCEEDED(hr)) hr = LowHalf(*result.Get(), &value);
        if (FAILED(hr))
            ReportComError("VornixUI unexpected invoke error GSR", hr);
        else
            ready_ = value;
        if (ready_ == 0 && attempt < kReadyAttempts) Desktop().pause(kReadyPause);
    }
    return ready_;
}

void AgentClient::WarnIfNotReady() {
    // The creation box has said why already; the call's own box follows.
    if (!HasReference()) return;
    if (CheckReady() == 0) Desktop().messageBox(nullptr, "Server not ready!", "Vornix!", MB_OK);
}

long AgentClient::ReadShort(const wchar_t* name, const char* caption, long fallback) {
    WarnIfNotReady();
    Variant result;
    HRESULT hr = InvokeByName(name, DISPATCH_PROPERTYGET, result.Get());
    long value = fallback;
    if (SUCCEEDED(hr)) hr = LowHalf(*result.Get(), &value);
    if (FAILED(hr)) {
        ReportComError(caption, hr);
        return fallback;
    }
    return value;
}

void AgentClient::WriteBool(const wchar_t* name, const char* caption, long on) {
    WarnIfNotReady();
    HRESULT hr = InvokeByName(name, DISPATCH_PROPERTYPUT, nullptr, "b", on != 0 ? 1 : 0);
    if (FAILED(hr)) ReportComError(caption, hr);
}

long AgentClient::ReadAllowSameSite() {
    return ReadShort(L"AllowSameSite", "VornixUI unexpected invoke error GSS", 1);
}
void AgentClient::WriteAllowSameSite(long on) {
    WriteBool(L"AllowSameSite", "VornixUI unexpected invoke error SSS", on);
}
long AgentClient::ReadKillFixedSize() {
    return ReadShort(L"KillFixedSize", "VornixUI unexpected invoke error GKFS", 1);
}
void AgentClient::WriteKillFixedSize(long on) {
    WriteBool(L"KillFixedSize", "VornixUI unexpected invoke error SKFS", on);
}
long AgentClient::ReadBypassKeys() {
    return ReadShort(L"BypassKeys", "VornixUI unexpected invoke error GBK", 1);
}
void AgentClient::WriteBypassKeys(long mask) {
    WarnIfNotReady();
    HRESULT hr = InvokeByName(L"BypassKeys", DISPATCH_PROPERTYPUT, nullptr, "i",
                              static_cast<int>(static_cast<SHORT>(mask & 0xFFFF)));
    if (FAILED(hr)) ReportComError("VornixUI unexpected invoke error SBK", hr);
}
long AgentClient::ReadVisible() {
    return ReadShort(L"Visible", "VornixUI unexpected invoke error GV", 1);
}
void AgentClient::WriteVisible(long on) {
    WriteBool(L"Visible", "VornixUI unexpected invoke error SV", on);
}
long AgentClient::ReadMuteAudio() {
    return ReadShort(L"MuteAudio", "VornixUI unexpected invoke error GMA", 1);
}
void AgentClient::WriteMuteAudio(long on) {
    WriteBool(L"MuteAudio", "VornixUI unexpected invoke error SMA", on);
}
long AgentClient::ReadShowTray() {
    return ReadShort(L"ShowTray", "VornixUI unexpected invoke error GSTI", 1);
}
void AgentClient::WriteShowTray(long on) {
    WriteBool(L"ShowTray", "VornixUI unexpected invoke error SSTI", on);
}

long AgentClient::ReadAllowUserInitiated() {
    return ReadShort(L"AllowUserInitiated", "VornixUI unexpected invoke error GAUI", 1);
}
void AgentClient::WriteAllowUserInitiated(long on) {
    WriteBool(L"AllowUserInitiated", "VornixUI unexpected invoke error SAUI", on);
}
long AgentClient::ReadNotifyOnBlock() {
    return ReadShort(L"NotifyOnBlock", "VornixUI unexpected invoke error GNOB", 1);
}
void AgentClient::WriteNotifyOnBlock(long on) {
    WriteBool(L"NotifyOnBlock", "VornixUI unexpected invoke error SNOB", on);
}

long AgentClient::ReadBlockedCount() {
    WarnIfNotReady();
    Variant result;
    HRESULT hr = InvokeByName(L"BlockedCount", DISPATCH_PROPERTYGET, result.Get());
    long count = 0;
    if (SUCCEEDED(hr)) hr = Whole(*result.Get(), &count);
    if (FAILED(hr)) {
        ReportComError("VornixUI unexpected invoke error GBC", hr);
        return 0;
    }
    return count;
}

void AgentClient::Quit() {
    WarnIfNotReady();
    HRESULT hr = InvokeByName(L"Quit", DISPATCH_METHOD, nullptr);
    if (FAILED(hr)) ReportComError("VornixUI unexpected invoke error QUIT", hr);
}

std::string AgentClient::ReadString(const wchar_t* name, const char* caption) {
    WarnIfNotReady();
    Variant result;
    HRESULT hr = InvokeByName(name, DISPATCH_PROPERTYGET, result.Get());
    std::string text;
    if (SUCCEEDED(hr)) hr = Text(*result.Get(), &text);
    if (FAILED(hr)) {
        ReportComError(caption, hr);
        return std::string();
    }
    return text;
}

HRESULT AgentClient::WriteString(const wchar_t* name, const char* caption,
                                 const std::string& text) {
    WarnIfNotReady();
    const std::wstring wide = WidenText(text);
    HRESULT hr = InvokeByName(name, DISPATCH_PROPERTYPUT, nullptr, "s", wide.c_str());
    if (FAILED(hr)) ReportComError(caption, hr);
    return hr;
}

std::string AgentClient::ReadAudioFileName() {
    return ReadString(L"AudioFileName", "VornixUI unexpected invoke error GAFN");
}
void AgentClient::WriteAudioFileName(const std::string& path) {
    WriteString(L"AudioFileName", "VornixUI unexpected invoke error SAFN", path);
}
std::string AgentClient::ReadAllowedSites() {
    return ReadString(L"AllowedSites", "VornixUI unexpected invoke error GAS");
}
HRESULT AgentClient::WriteAllowedSites(const std::string& sites) {
    return WriteString(L"AllowedSites", "VornixUI unexpected invoke error SAS", sites);
}

void AgentClient::ReportComError(const char* caption, HRESULT hr) {
    ScopedLocal buffer;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_FROM_SYSTEM,
                             nullptr, static_cast<DWORD>(hr), LANG_USER_DEFAULT,
                             reinterpret_cast<char*>(buffer.Put()), 0, nullptr);
    if (n != 0 && buffer.As<char>()) {
        Desktop().messageBox(nullptr, buffer.As<char>(), caption, MB_ICONINFORMATION);
        return;
    }
    char text[80];
    snprintf(text, sizeof text, "The system has no description of error 0x%08lX.",
             static_cast<unsigned long>(hr));
    Desktop().messageBox(nullptr, text, caption, MB_ICONINFORMATION);
}

} // namespace vx
