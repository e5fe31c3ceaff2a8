#include "FakeConnectionPoint.h"

#include <cwctype>

namespace vx::fakes {

FakeConnectionPoint::FakeConnectionPoint(IConnectionPointContainer* owner, const IID& iid)
    : owner_(owner), iid_(iid) {}

HRESULT FakeConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}
// The point lives inside its container and shares its lifetime.
ULONG FakeConnectionPoint::AddRef() { return owner_->AddRef(); }
ULONG FakeConnectionPoint::Release() { return owner_->Release(); }

HRESULT FakeConnectionPoint::GetConnectionInterface(IID* iid) {
    *iid = iid_;
    return S_OK;
}
HRESULT FakeConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** cpc) {
    *cpc = owner_;
    owner_->AddRef();
    return S_OK;
}

HRESULT FakeConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    ++advises;
    if (FAILED(adviseResult)) return adviseResult;
    ComPtr<IDispatch> disp;
    HRESULT hr = sink->QueryInterface(IID_IDispatch, disp.PutVoid());
    if (FAILED(hr)) return CONNECT_E_CANNOTCONNECT;
    *cookie = nextCookie_++;
    sinks_[*cookie] = disp;
    return S_OK;
}

HRESULT FakeConnectionPoint::Unadvise(DWORD cookie) {
    ++unadvises;
    if (duringUnadvise) duringUnadvise();
    if (FAILED(unadviseResult)) return unadviseResult;
    return sinks_.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
}

HRESULT FakeConnectionPoint::EnumConnections(IEnumConnections** e) {
    *e = nullptr;
    return E_NOTIMPL;
}

std::vector<ComPtr<IDispatch>> FakeConnectionPoint::Sinks() const {
    std::vector<ComPtr<IDispatch>> out;
    for (const auto& s : sinks_) out.push_back(s.second);
    return out;
}

int FakeConnectionPoint::Fire(DISPID id, DISPPARAMS* params) {
    // A handler may unadvise while it runs: fire on a copy.
    auto sinks = Sinks();
    for (auto& sink : sinks)
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr, nullptr,
                     nullptr);
    return static_cast<int>(sinks.size());
}

FakeDispatch::FakeDispatch(const IID& eventsIid, std::map<std::wstring, DISPID> names)
    : names_(std::move(names)), point_(this, eventsIid) {}

HRESULT FakeDispatch::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || AnswersIid(riid)) {
        *ppv = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(riid, IID_IConnectionPointContainer) && offerPoints) {
        *ppv = static_cast<IConnectionPointContainer*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}
ULONG FakeDispatch::AddRef() { return InterlockedIncrement(&refs_); }
ULONG FakeDispatch::Release() {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT FakeDispatch::GetTypeInfoCount(UINT* n) {
    *n = 0;
    return S_OK;
}
HRESULT FakeDispatch::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }

HRESULT FakeDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (count != 1) return E_INVALIDARG;
    std::wstring wanted = names[0];
    for (const auto& entry : names_) {
        if (_wcsicmp(entry.first.c_str(), wanted.c_str()) == 0) {
            ids[0] = entry.second;
            return S_OK;
        }
    }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT FakeDispatch::EnumConnectionPoints(IEnumConnectionPoints** e) {
    *e = nullptr;
    return E_NOTIMPL;
}

HRESULT FakeDispatch::FindConnectionPoint(REFIID riid, IConnectionPoint** cp) {
    *cp = nullptr;
    if (FAILED(findPointResult)) return findPointResult;
    IID iid;
    point_.GetConnectionInterface(&iid);
    if (!IsEqualIID(riid, iid)) return CONNECT_E_NOCONNECTION;
    *cp = &point_;
    point_.AddRef();
    return S_OK;
}

HRESULT FakeDispatch::Failure(const std::wstring& name) const {
    auto it = failures.find(name);
    return it == failures.end() ? S_OK : it->second;
}

} // namespace vx::fakes
