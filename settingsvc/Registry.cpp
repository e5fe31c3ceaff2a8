#include "Registry.h"

#include "common/EmptyConnectionPoints.h"
#include "MessengerSwitch.h"
#include "common/Product.h"
#include "common/TextForms.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

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

// The service acts only on the product's own settings: its key under
// HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER and whatever lies below it. Any
// other number is no root at all, not even a handle value it might name.
HKEY RootKey(LONG value) {
    if (value != static_cast<LONG>(0x80000001u) && value != static_cast<LONG>(0x80000002u))
        return nullptr;
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(value));
}

// Whether the levels the parts name lie at or below the product's key. A
// part may name several levels ("a\\b") and an empty part names none, as
// the registry opens them; a part with an empty level in it (a leading,
// trailing or doubled '\\') is refused rather than guessed at.
bool IsProductPath(const std::string* parts, size_t count) {
    const std::string product[] = {NarrowText(kSettingsTopFolder), NarrowText(kSettingsCompany),
                                   NarrowText(kSettingsProduct)};
    size_t matched = 0;
    for (size_t i = 0; i < count; ++i) {
        if (parts[i].empty()) continue;
        for (size_t start = 0;;) {
            const size_t end = parts[i].find('\\', start);
            const std::string level = parts[i].substr(start, end - start);
            if (level.empty()) return false;
            if (matched < 3) {
                if (_stricmp(level.c_str(), product[matched].c_str()) != 0) return false;
                ++matched;
            }
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    return matched == 3;
}

} // namespace

const QITAB* Registry::QiTable() {
    static const QITAB table[] = {
        QITABENT(Registry, IRegistry2),
        QITABENTMULTI(Registry, IRegistry, IRegistry2),
        QITABENTMULTI(Registry, IDispatch, IRegistry2),
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
    const DWORD capacity = SysStringByteLen(*bsValue);
    const std::string name = Narrow(bsName);
    HKEY key = nullptr;
    HRESULT hr = CurrentKey(KEY_QUERY_VALUE, &key);
    if (!key || !*bsValue) return hr;

    // The buffer is what the stored value needs, never more than the caller's
    // string can take: a caller's length alone allocates nothing.
    DWORD needed = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &needed) != ERROR_SUCCESS)
        return S_OK;
    DWORD size = std::min(needed, capacity);
    // One byte more, so that even an empty read has a buffer to point to.
    std::unique_ptr<char[]> data(new (std::nothrow) char[size + 1]);
    if (!data) return S_OK;
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
    HKEY key = nullptr;
    HRESULT hr = CurrentKey(KEY_SET_VALUE, &key);
    if (key) {
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
    return hr;
}

STDMETHODIMP Registry::GetAppDWORD(BSTR bsName, LONG* lValue) {
    if (!lValue) return E_POINTER;
    const std::string name = Narrow(bsName);
    HKEY key = nullptr;
    HRESULT hr = CurrentKey(KEY_QUERY_VALUE, &key);
    if (!key) return hr;
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
    HKEY key = nullptr;
    HRESULT hr = CurrentKey(KEY_SET_VALUE, &key);
    if (key) {
        const DWORD number = static_cast<DWORD>(lValue);
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                       sizeof number);
    }
    return hr;
}

STDMETHODIMP Registry::GetAppList(BSTR bsName, BSTR* lines) {
    if (!lines) return E_POINTER;
    *lines = nullptr;
    const std::wstring name = WidenText(Narrow(bsName));
    HKEY key = nullptr;
    HRESULT hr = CurrentKey(KEY_QUERY_VALUE, &key);
    if (!key) return hr;
    // What the largest list SetAppList writes needs, and no more: a value
    // someone else made larger reads as missing.
    constexpr DWORD kMaxBytes = (kMaxListLines * (kMaxLineLength + 1) + 1) * sizeof(wchar_t);
    DWORD type = 0, size = 0;
    std::wstring text;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ && size <= kMaxBytes) {
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
            for (const wchar_t* line = data.data(); *line; line += wcslen(line) + 1) {
                if (!text.empty()) text += L"\r\n";
                text += line;
            }
        }
    }
    *lines = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *lines ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP Registry::SetAppList(BSTR bsName, BSTR lines) {
    // Checked before anything is opened: a list that does not fit the bounds
    // writes nothing at all.
    const UINT length = SysStringLen(lines);
    if (length > kMaxListLines * (kMaxLineLength + 2)) return E_INVALIDARG;
    std::wstring data;
    size_t count = 0;
    for (UINT start = 0; start < length;) {
        UINT end = start;
        while (end < length && lines[end] != L'\n')
            ++end;
        UINT stop = end > start && lines[end - 1] == L'\r' ? end - 1 : end;
        if (stop > start) {
            if (stop - start > kMaxLineLength || ++count > kMaxListLines ||
                std::find(lines + start, lines + stop, L'\0') != lines + stop)
                return E_INVALIDARG;
            data.append(lines + start, stop - start);
            data.push_back(L'\0');
        }
        start = end + 1;
    }
    data.push_back(L'\0');
    if (count == 0) data.push_back(L'\0');
    const std::wstring name = WidenText(Narrow(bsName));
    HKEY key = nullptr;
    HRESULT hr = CurrentKey(KEY_SET_VALUE, &key);
    if (key) {
        RegSetValueExW(key, name.c_str(), 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    }
    return hr;
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
    return IsEqualIID(riid, IID_IRegistry) || IsEqualIID(riid, IID_IRegistry2) ? S_OK : S_FALSE;
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

HRESULT Registry::CurrentKey(REGSAM access, HKEY* key) {
    HRESULT hr = S_OK;
    if (!current_ || (currentAccess_ & access) != access) hr = OpenPath(currentAccess_ | access);
    *key = current_;
    return hr;
}

// Each part is opened relative to the key of the part before it, never as
// one joined path: an empty part so adds no level. Links are opened as
// themselves, never followed out of the product's key. Every level above
// the deepest is opened to be read only.
HRESULT Registry::OpenPath(REGSAM access) {
    const std::string parts[kLevelCount] = {Narrow(topFolder_), Narrow(company_), Narrow(product_),
                                            Narrow(version_), Narrow(subFolder_)};
    ClosePath();
    int deepest = kProduct;
    if (!version_.IsNull()) deepest = subFolder_.IsNull() ? kVersion : kSubFolder;
    HKEY parent = RootKey(topLevelKey_);
    if (!parent || !IsProductPath(parts, deepest + 1)) return E_ACCESSDENIED;
    for (int level = kTopFolder; level <= deepest; ++level) {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(parent, parts[level].c_str(), REG_OPTION_OPEN_LINK,
                          level == deepest ? access : KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
            ClosePath();
            return S_OK;
        }
        levels_[level].Reset(opened);
        parent = opened;
    }
    current_ = parent;
    currentAccess_ = access;
    return S_OK;
}

void Registry::ClosePath() {
    for (int level = kLevelCount - 1; level >= 0; --level)
        levels_[level].Reset();
    current_ = nullptr;
    currentAccess_ = 0;
}

} // namespace vx
