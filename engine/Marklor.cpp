#include "Marklor.h"

#include "common/StatusLog.h"
#include "common/TextForms.h"
#include "common/UrlForms.h"

#include <shlobj.h>

namespace vx {

void Marklor::CreateReader() {
    HRESULT hr = Create(kProgId, CLSCTX_INPROC_SERVER);
    if (FAILED(hr)) LogFailure("Marklor Creation Error...", hr);
}

HRESULT Marklor::Step(const wchar_t* member) {
    HRESULT hr = InvokeByName(member, DISPATCH_METHOD, nullptr);
    if (FAILED(hr)) LogFailure("Marklor Invoke Error...", hr);
    return hr;
}

std::wstring Marklor::ReadText(const wchar_t* member, HRESULT& first) {
    Variant value;
    HRESULT hr = InvokeByName(member, DISPATCH_PROPERTYGET, value.Get());
    if (SUCCEEDED(hr) && V_VT(value.Get()) != VT_BSTR)
        hr = VariantChangeType(value.Get(), value.Get(), 0, VT_BSTR);
    if (FAILED(hr)) {
        LogFailure("Marklor Invoke Error...", hr);
        if (SUCCEEDED(first)) first = hr;
        return std::wstring();
    }
    return V_BSTR(value.Get()) ? V_BSTR(value.Get()) : L"";
}

HRESULT Marklor::ReadSites(std::vector<std::wstring>& sites) {
    HRESULT first = S_OK;
    auto note = [&first](HRESULT hr) {
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
        return hr;
    };
    // Only success (S_OK) moves the walk on; past the end Next fails.
    HRESULT hr = note(Step(L"First"));
    while (hr == S_OK) {
        std::wstring name = ReadText(L"Name", first);
        std::wstring url = ReadText(L"URL", first);
        Variant group;
        HRESULT groupHr = note(InvokeByName(L"Group", DISPATCH_PROPERTYGET, group.Get()));
        if (FAILED(groupHr)) LogFailure("Marklor Invoke Error...", groupHr);

        if (SUCCEEDED(groupHr) && V_VT(group.Get()) == VT_DISPATCH && V_DISPATCH(group.Get())) {
            Marklor folder;
            folder.Attach(V_DISPATCH(group.Get()));
            note(folder.ReadSites(sites));
            hr = Step(L"Next");
            continue;
        }
        // An item with neither name nor address ends the list.
        if (name.empty() && url.empty()) return first;
        if (url.size() >= 4) sites.push_back(LowerText(SiteKey(url.c_str())));
        hr = Step(L"Next");
    }
    return first;
}

FavoriteSites::~FavoriteSites() { Stop(); }

void FavoriteSites::Start() {
    reader_.CreateReader();
    // Watched before the first read, so that a change during it is not missed.
    wchar_t folder[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_FAVORITES, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        HANDLE change = FindFirstChangeNotificationW(
            folder, TRUE,
            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
        if (change != INVALID_HANDLE_VALUE) change_.Reset(change);
    }
    Refresh();
}

void FavoriteSites::Stop() {
    change_.Reset();
    reader_.Attach(nullptr);
    sites_.clear();
    current_ = false;
}

void FavoriteSites::Refresh() {
    std::vector<std::wstring> sites;
    HRESULT hr = reader_.ReadSites(sites);
    sites_ = std::move(sites);
    current_ = hr == S_OK && change_;
}

bool FavoriteSites::IsFavorite(const std::wstring& host) {
    if (current_ && WaitForSingleObject(change_.Get(), 0) == WAIT_OBJECT_0) {
        current_ = false;
        if (!FindNextChangeNotification(change_.Get())) change_.Reset();
    }
    if (!current_) Refresh();
    for (const std::wstring& site : sites_)
        if (IsHostOnSite(host, site)) return true;
    return false;
}

} // namespace vx
