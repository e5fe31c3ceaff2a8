// Small owners for Windows and COM resources. Every type here is move-only;
// none of them throws. Code that holds a resource holds it in one of these,
// so that an early `return hr;` never leaks.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <utility>

namespace vx {

// A kernel handle closed with CloseHandle (mutexes, events, processes).
// Both null and INVALID_HANDLE_VALUE count as empty.
class ScopedHandle {
  public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE h) : h_(h) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& o) noexcept : h_(o.Detach()) {}
    ScopedHandle& operator=(ScopedHandle&& o) noexcept {
        if (this != &o) Reset(o.Detach());
        return *this;
    }

    HANDLE Get() const { return h_; }
    bool IsValid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return IsValid(); }
    HANDLE Detach() { return std::exchange(h_, nullptr); }
    void Reset(HANDLE h = nullptr) {
        if (IsValid()) CloseHandle(h_);
        h_ = h;
    }

  private:
    HANDLE h_ = nullptr;
};

// A registry key closed with RegCloseKey. Predefined root keys are never
// closed, so a RegKey may also stand for HKEY_CURRENT_USER and friends.
class RegKey {
  public:
    RegKey() = default;
    explicit RegKey(HKEY k) : k_(k) {}
    ~RegKey() { Reset(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& o) noexcept : k_(o.Detach()) {}
    RegKey& operator=(RegKey&& o) noexcept {
        if (this != &o) Reset(o.Detach());
        return *this;
    }

    HKEY Get() const { return k_; }
    HKEY* Put() {
        Reset();
        return &k_;
    }
    explicit operator bool() const { return k_ != nullptr; }
    HKEY Detach() { return std::exchange(k_, nullptr); }
    void Reset(HKEY k = nullptr) {
        if (k_ && !IsPredefined(k_)) RegCloseKey(k_);
        k_ = k;
    }
    static bool IsPredefined(HKEY k) {
        auto v = static_cast<ULONG_PTR>(reinterpret_cast<UINT_PTR>(k)) & 0xFFFFFFFFu;
        return v >= 0x80000000u && v <= 0x80000006u;
    }

  private:
    HKEY k_ = nullptr;
};

// A service control manager or service handle.
class ScopedServiceHandle {
  public:
    ScopedServiceHandle() = default;
    explicit ScopedServiceHandle(SC_HANDLE h) : h_(h) {}
    ~ScopedServiceHandle() { Reset(); }
    ScopedServiceHandle(const ScopedServiceHandle&) = delete;
    ScopedServiceHandle& operator=(const ScopedServiceHandle&) = delete;
    ScopedServiceHandle(ScopedServiceHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    ScopedServiceHandle& operator=(ScopedServiceHandle&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.h_, nullptr));
        return *this;
    }

    SC_HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Reset(SC_HANDLE h = nullptr) {
        if (h_) CloseServiceHandle(h_);
        h_ = h;
    }

  private:
    SC_HANDLE h_ = nullptr;
};

// Icons and menus, destroyed with their own calls.
template <typename H, BOOL(WINAPI* Destroy)(H)> class ScopedGdiLike {
  public:
    ScopedGdiLike() = default;
    explicit ScopedGdiLike(H h) : h_(h) {}
    ~ScopedGdiLike() { Reset(); }
    ScopedGdiLike(const ScopedGdiLike&) = delete;
    ScopedGdiLike& operator=(const ScopedGdiLike&) = delete;
    ScopedGdiLike(ScopedGdiLike&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    ScopedGdiLike& operator=(ScopedGdiLike&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.h_, nullptr));
        return *this;
    }

    H Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    H Detach() { return std::exchange(h_, nullptr); }
    void Reset(H h = nullptr) {
        if (h_) Destroy(h_);
        h_ = h;
    }

  private:
    H h_ = nullptr;
};
using ScopedIcon = ScopedGdiLike<HICON, DestroyIcon>;
using ScopedMenu = ScopedGdiLike<HMENU, DestroyMenu>;
// A directory change notification; held as null, never as the
// INVALID_HANDLE_VALUE that a failed FindFirstChangeNotification answers.
using ScopedChangeNotification = ScopedGdiLike<HANDLE, FindCloseChangeNotification>;

// A counted COM interface pointer.
template <typename T> class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to p.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr& operator=(const ComPtr& o) {
        if (this != &o) {
            if (o.p_) o.p_->AddRef();
            Reset();
            p_ = o.p_;
        }
        return *this;
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            Reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }

    // Adopts p without adding a reference.
    static ComPtr Attach(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    T* Detach() { return std::exchange(p_, nullptr); }
    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what is held first.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    template <typename U> HRESULT As(const IID& iid, ComPtr<U>* out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out->PutVoid());
    }

  private:
    T* p_ = nullptr;
};

// An owned BSTR. A null BSTR is the empty string to COM.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const wchar_t* s) : b_(s ? SysAllocString(s) : nullptr) {}
    Bstr(const wchar_t* s, UINT len) : b_(SysAllocStringLen(s, len)) {}
    ~Bstr() { Reset(); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.b_, nullptr));
        return *this;
    }

    static Bstr Attach(BSTR b) {
        Bstr s;
        s.b_ = b;
        return s;
    }
    BSTR Detach() { return std::exchange(b_, nullptr); }
    void Reset(BSTR b = nullptr) {
        if (b_) SysFreeString(b_);
        b_ = b;
    }
    BSTR* Put() {
        Reset();
        return &b_;
    }

    BSTR Get() const { return b_; }
    // Never null: "" for a null BSTR.
    const wchar_t* Text() const { return b_ ? b_ : L""; }
    UINT Length() const { return SysStringLen(b_); }
    bool IsNull() const { return b_ == nullptr; }

  private:
    BSTR b_ = nullptr;
};

// An owned VARIANT, cleared with VariantClear.
class Variant {
  public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& o) noexcept {
        v_ = o.v_;
        VariantInit(&o.v_);
    }
    Variant& operator=(Variant&& o) noexcept {
        if (this != &o) {
            VariantClear(&v_);
            v_ = o.v_;
            VariantInit(&o.v_);
        }
        return *this;
    }

    VARIANT* Get() { return &v_; }
    const VARIANT* Get() const { return &v_; }
    const VARIANT& operator*() const { return v_; }
    void Clear() { VariantClear(&v_); }

  private:
    VARIANT v_;
};

// COM on this thread for the owner's lifetime. CoUninitialize runs only when
// CoInitializeEx succeeded (S_FALSE, "already initialised", included).
class ComApartment {
  public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED)
        : hr_(CoInitializeEx(nullptr, model)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT Result() const { return hr_; }

  private:
    HRESULT hr_;
};

// Memory from LocalAlloc / FormatMessage's allocated buffers.
class ScopedLocal {
  public:
    ScopedLocal() = default;
    ~ScopedLocal() {
        if (p_) LocalFree(p_);
    }
    ScopedLocal(const ScopedLocal&) = delete;
    ScopedLocal& operator=(const ScopedLocal&) = delete;
    template <typename T> T* As() const { return static_cast<T*>(p_); }
    void** Put() { return &p_; }

  private:
    void* p_ = nullptr;
};

} // namespace vx
