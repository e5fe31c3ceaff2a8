// Points a ProgID at a class for a test, or with a null clsid removes it,
// and puts back what was there afterwards.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace vx::fakes {

class ProgIdOverride {
  public:
    ProgIdOverride(const wchar_t* progId, const CLSID* clsid) : progId_(progId) {
        wchar_t text[64] = {};
        DWORD size = sizeof text;
        if (RegGetValueW(HKEY_CLASSES_ROOT, (progId_ + L"\\CLSID").c_str(), nullptr, RRF_RT_REG_SZ,
                         nullptr, text, &size) == ERROR_SUCCESS)
            previous_ = text;
        if (clsid) StringFromGUID2(*clsid, text, 64);
        Point(clsid ? std::optional<std::wstring>(text) : std::nullopt);
    }
    ~ProgIdOverride() { Point(previous_); }
    ProgIdOverride(const ProgIdOverride&) = delete;
    ProgIdOverride& operator=(const ProgIdOverride&) = delete;

  private:
    // Writes the ProgID's CLSID, or removes the ProgID for none.
    void Point(const std::optional<std::wstring>& clsid) const {
        if (!clsid)
            RegDeleteTreeW(HKEY_CLASSES_ROOT, progId_.c_str());
        else
            RegSetKeyValueW(HKEY_CLASSES_ROOT, (progId_ + L"\\CLSID").c_str(), nullptr, REG_SZ,
                            clsid->c_str(), static_cast<DWORD>((clsid->size() + 1) * 2));
    }

    std::wstring progId_;
    std::optional<std::wstring> previous_;
};

} // namespace vx::fakes
