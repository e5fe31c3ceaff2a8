// The Registry automation object: string, number and list values under a
// key path named by its properties, and the Messenger switch.
#pragma once

#include "common/ComObject.h"
#include "KrellinSvc.h"

#include <array>

namespace vx {

class Registry
    : public ComObject<Registry, IRegistry2, ISupportErrorInfo, IConnectionPointContainer>,
      public TypeInfoDispatch<Registry, IRegistry2, &IID_IRegistry2> {
  public:
    static constexpr bool kAggregatable = true;
    static constexpr LONG kDefaultTopLevelKey = static_cast<LONG>(0x80000002u);
    // The bounds of one list: its lines, and the characters of each.
    static constexpr size_t kMaxListLines = 4096;
    static constexpr size_t kMaxLineLength = 255;

    static const QITAB* QiTable();
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
        return CreateComObject<Registry>(outer, riid, ppv);
    }

    explicit Registry(IUnknown* outer);
    ~Registry() override;

    VX_TYPEINFO_DISPATCH_METHODS()

    // IRegistry
    STDMETHODIMP GetAppString(BSTR bsName, BSTR* bsValue) override;
    STDMETHODIMP SetAppString(BSTR bsName, BSTR bsValue) override;
    STDMETHODIMP GetAppDWORD(BSTR bsName, LONG* lValue) override;
    STDMETHODIMP SetAppDWORD(BSTR bsName, LONG lValue) override;
    STDMETHODIMP get_TopLevelKey(LONG* pVal) override;
    STDMETHODIMP put_TopLevelKey(LONG value) override;
    STDMETHODIMP get_TopFolder(BSTR* pVal) override { return GetText(topFolder_, pVal); }
    STDMETHODIMP put_TopFolder(BSTR value) override { return PutText(topFolder_, value); }
    STDMETHODIMP get_Company(BSTR* pVal) override { return GetText(company_, pVal); }
    STDMETHODIMP put_Company(BSTR value) override { return PutText(company_, value); }
    STDMETHODIMP get_Product(BSTR* pVal) override { return GetText(product_, pVal); }
    STDMETHODIMP put_Product(BSTR value) override { return PutText(product_, value); }
    STDMETHODIMP get_Version(BSTR* pVal) override { return GetText(version_, pVal); }
    STDMETHODIMP put_Version(BSTR value) override { return PutText(version_, value); }
    STDMETHODIMP get_SubFolder(BSTR* pVal) override { return GetText(subFolder_, pVal); }
    STDMETHODIMP put_SubFolder(BSTR value) override { return PutText(subFolder_, value); }
    STDMETHODIMP Reset() override;
    STDMETHODIMP DisableMessenger() override;
    STDMETHODIMP EnableMessenger() override;

    // IRegistry2
    STDMETHODIMP GetAppList(BSTR bsName, BSTR* lines) override;
    STDMETHODIMP SetAppList(BSTR bsName, BSTR lines) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  private:
    enum Level { kTopFolder, kCompany, kProduct, kVersion, kSubFolder, kLevelCount };

    HRESULT GetText(const Bstr& field, BSTR* out);
    HRESULT PutText(Bstr& field, BSTR value);
    // The key of the current path, opened with at least `access`, in *key
    // (null when a level is missing). E_ACCESSDENIED for a path outside the
    // product's own key, with *key null.
    HRESULT CurrentKey(REGSAM access, HKEY* key);
    HRESULT OpenPath(REGSAM access);
    void ClosePath();

    LONG topLevelKey_ = kDefaultTopLevelKey;
    Bstr topFolder_;
    Bstr company_;
    Bstr product_;
    Bstr version_;
    Bstr subFolder_;
    std::array<RegKey, kLevelCount> levels_;
    HKEY current_ = nullptr; // the deepest open level; not owned
    REGSAM currentAccess_ = 0;
};

} // namespace vx
