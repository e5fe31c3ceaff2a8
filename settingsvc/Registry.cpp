#include "Registry.h"

#include "EmptyConnectionPoints.h"
#include "MessengerSwitch.h"
#include "TextForms.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace vx {

namespace {

// Names and texts live in 260-byte buffers, terminating zero included.
constexpr size_t kMaxNarrowBytes = 259;

std::string Narrow(BSTR text) {
    return NarrowText(text, text ? wcslen(text) : 0, kMaxNarrowBytes);
}
std::string Narrow(const Bstr& text) {
    return Narrow(text.Get());
}

// Only the predefined roots are key handles; any other number would be
// handed to the registry as a handle value of whatever it happens to name.
HKEY RootKey(LONG value) {
    const auto bits = static_cast<ULONG>(value);
    if (bits < 0x80000000u || bits > 0x80000006u) return nullptr;
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(value));
}

} // namespace

const QITAB* Registry::QiTable() {
    static const QITAB table[] = {
        QITABENT(Registry, IRegistry),
        QITABENTMULTI(Registry, IDispatch, IRegistry),
        QITABENT(Registry, ISupportErrorInfo),
        QITABENT(Registry, IConnectionPointContainer),
        {},
    };
    return table;
}

Registry::Registry(IUnknown* outer) : ComObject(outer), topFolder_(L"Software") {}

Registry::~Registry() {
    ClosePath();
}

STDMETHODIMP Registry::GetAppString(BSTR bsName, BSTR* bsValue) {
    if (!bsValue) return E_POINTER;
    const UINT length = SysStringLen(*bsValue);
    // Capped so that the sizes below stay within int and size_t anywhere.
    const DWORD capacity = std::min<DWORD>(SysStringByteLen(*bsValue), 0x7FFFFFF0u);
    const std::string name = Narrow(bsName);
    HKEY key = CurrentKey();
    if (!key || !*bsValue) return S_OK;

    // One byte more than the capacity, so that even an empty read has a
    // buffer to point to.
    std::unique_ptr<char[]> data(new (std::nothrow) char[capacity + 1]);
    if (!data) return S_OK;
    DWORD size = capacity;
    if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data.get()),
                         &size) != ERROR_SUCCESS)
        return S_OK;
    const std::wstring text = WidenText(data.get(), static_cast<int>(strnlen(data.get(), size)));
    // A text that leaves no room for its NUL in the caller's string counts as
    // missing: cutting it would hand back a value nobody stored.
    if (text.size() >= length) return S_OK;
    std::memcpy(*bsValue, text.data(), text.size() * sizeof(wchar_t));
    (*bsValue)[text.size()] = L'\0';
    return S_OK;
}

STDMETHODIMP Registry::SetAppString(BSTR bsName, BSTR bsValue) {
    const std::string name = Narrow(bsName);
    const std::string text = Narrow(bsValue);
    if (HKEY key = CurrentKey()) {
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
    return S_OK;
}

STDMETHODIMP Registry::GetAppDWORD(BSTR bsName, LONG* lValue) {
    if (!lValue) return E_POINTER;
    const std::string name = Narrow(bsName);
    HKEY key = CurrentKey();
    if (!key) return S_OK;
    // Starts as the caller's number: shorter data replaces only its low bytes.
    DWORD number = static_cast<DWORD>(*lValue);
    DWORD size = sizeof number;
    if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&number),
                         &size) == ERROR_SUCCESS)
        *lValue = static_cast<LONG>(number);
    return S_OK;
}

STDMETHODIMP Registry::SetAppDWORD(BSTR bsName, LONG lValue) {
    const std::string name = Narrow(bsName);
    if (HKEY key = CurrentKey()) {
        const DWORD number = static_cast<DWORD>(lValue);
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                       sizeof number);
    }
    return S_OK;
}

STDMETHODIMP Registry::get_TopLevelKey(LONG* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = topLevelKey_;
    return S_OK;
}

STDMETHODIMP Registry::put_TopLevelKey(LONG value) {
    ClosePath();
    topLevelKey_ = value;
    return S_OK;
}

STDMETHODIMP Registry::Reset() {
    ClosePath();
    topLevelKey_ = kDefaultTopLevelKey;
    topFolder_ = Bstr(L"Software");
    company_.Reset();
    product_.Reset();
    version_.Reset();
    subFolder_.Reset();
    return S_OK;
}

STDMETHODIMP Registry::DisableMessenger() {
    return vx::DisableMessenger();
}

STDMETHODIMP Registry::EnableMessenger() {
    return vx::EnableMessenger();
}

STDMETHODIMP Registry::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IRegistry) ? S_OK : S_FALSE;
}

STDMETHODIMP Registry::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    return EnumNoConnectionPoints(ppEnum);
}

STDMETHODIMP Registry::FindConnectionPoint(REFIID, IConnectionPoint** ppCP) {
    return FindNoConnectionPoint(ppCP);
}

HRESULT Registry::GetText(const Bstr& field, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (field.IsNull()) return S_OK;
    *out = SysAllocStringLen(field.Get(), field.Length());
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT Registry::PutText(Bstr& field, BSTR value) {
    ClosePath();
    if (!value) {
        field.Reset();
        return S_OK;
    }
    BSTR copy = SysAllocStringLen(value, SysStringLen(value));
    if (!copy) return E_OUTOFMEMORY;
    field.Reset(copy);
    return S_OK;
}

HKEY Registry::CurrentKey() {
    if (!current_) OpenPath();
    return current_;
}

// Each part is opened relative to the key of the part before it, never as
// one joined path: an empty part so adds no level.
void Registry::OpenPath() {
    const std::string parts[kLevelCount] = {Narrow(topFolder_), Narrow(company_), Narrow(product_),
                                            Narrow(version_), Narrow(subFolder_)};
    ClosePath();
    HKEY parent = RootKey(topLevelKey_);
    if (!parent) return;
    int deepest = kProduct;
    if (!version_.IsNull()) deepest = subFolder_.IsNull() ? kVersion : kSubFolder;
    for (int level = kTopFolder; level <= deepest; ++level) {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(parent, parts[level].c_str(), 0, KEY_ALL_ACCESS, &opened) !=
            ERROR_SUCCESS) {
            ClosePath();
            return;
        }
        levels_[level].Reset(opened);
        parent = opened;
    }
    current_ = parent;
}

void Registry::ClosePath() {
    for (int level = kLevelCount - 1; level >= 0; --level)
        levels_[level].Reset();
    current_ = nullptr;
}

} // namespace vx
