// Late-bound calls: the base of every automation client in the product.
#pragma once

#include "Scoped.h"

#include <string>
#include <utility>
#include <vector>

namespace vx {

// One counted dispatch reference and a call of any member by name.
class DispatchObject {
  public:
    DispatchObject() = default;
    virtual ~DispatchObject() = default;
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    // Stores disp (adding a reference), releasing the one held before.
    virtual void Attach(IDispatch* disp);

    // CLSIDFromProgID, CoCreateInstance for IUnknown, QueryInterface for
    // IDispatch. On failure the reference is empty and the code returned.
    virtual HRESULT Create(const wchar_t* progId, DWORD classContext);

    // Calls member `name` with `kind` (DISPATCH_METHOD, DISPATCH_PROPERTYGET
    // or DISPATCH_PROPERTYPUT). `types` holds one code per argument, each
    // optionally preceded by '&' for a by-reference argument:
    //
    //   code  by value (vararg type)       by reference (vararg type)
    //   i     short (passed as int)        -
    //   I     long                         long*
    //   s     const wchar_t* (copied)      BSTR*
    //   b     int (non-zero is true)       -
    //
    // `result` may be null. Returns E_INVALIDARG without a reference, for an
    // unknown code, or for a property put without exactly one argument;
    // otherwise the result of GetIDsOfNames or Invoke. A name is looked up
    // once per object: across processes each lookup is a call of its own.
    virtual HRESULT InvokeByName(const wchar_t* name, WORD kind, VARIANT* result,
                                 const char* types = "", ...);

    IDispatch* Dispatch() const { return disp_.Get(); }
    bool HasReference() const { return static_cast<bool>(disp_); }

  protected:
    ComPtr<IDispatch> disp_;

  private:
    HRESULT MemberId(const wchar_t* name, DISPID* id);

    // Names already looked up on the object held now.
    std::vector<std::pair<std::wstring, DISPID>> ids_;
};

} // namespace vx
