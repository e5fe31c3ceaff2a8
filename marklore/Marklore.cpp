#include "Marklore.h"

namespace vx {

namespace {

const HRESULT kNoMoreItems = HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);

HRESULT CopyText(const std::wstring& text, BSTR* value) {
    if (!value) return E_POINTER;
    *value = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
    return *value ? S_OK : E_OUTOFMEMORY;
}

} // namespace

const QITAB* Marklore::QiTable() {
    static const QITAB table[] = {
        QITABENT(Marklore, IMarklore),
        QITABENTMULTI(Marklore, IDispatch, IMarklore),
        {},
    };
    return table;
}

HRESULT Marklore::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateComObject<Marklore>(outer, riid, ppv);
}

HRESULT Marklore::CreateGroup(const std::wstring& folder, IDispatch** group) {
    ComPtr<IMarklore> created;
    HRESULT hr = CreateComObject<Marklore>(nullptr, IID_IMarklore, created.PutVoid());
    if (FAILED(hr)) return hr;
    auto* object = static_cast<Marklore*>(created.Get());
    object->isRoot_ = false;
    object->folder_ = folder;
    *group = created.Detach();
    return S_OK;
}

Marklore::Marklore(IUnknown* outer) : ComObject(outer) {}

const Favorite* Marklore::Current() const {
    if (!started_ || position_ >= items_.size()) return nullptr;
    return &items_[position_];
}

STDMETHODIMP Marklore::First() {
    if (isRoot_) folder_ = FavoritesFolderPath();
    items_ = ReadFavoriteFolder(folder_);
    started_ = true;
    position_ = 0;
    return S_OK;
}

STDMETHODIMP Marklore::Next() {
    if (!started_ || position_ >= items_.size()) return kNoMoreItems;
    ++position_;
    return S_OK;
}

STDMETHODIMP Marklore::get_Name(BSTR* value) {
    const Favorite* item = Current();
    return CopyText(item ? item->name : std::wstring(), value);
}

STDMETHODIMP Marklore::get_URL(BSTR* value) {
    const Favorite* item = Current();
    return CopyText(item ? item->url : std::wstring(), value);
}

STDMETHODIMP Marklore::get_Group(IDispatch** value) {
    if (!value) return E_POINTER;
    *value = nullptr;
    const Favorite* item = Current();
    if (!item || !item->isFolder) return S_OK;
    std::wstring path = folder_;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return CreateGroup(path + item->name, value);
}

} // namespace vx
