// Fixed facts about the product shared by its programs.
#pragma once

namespace vx {

// The maker's web site: the agent allows its pages, the control panel and the
// About boxes link to it.
inline constexpr char kMakerDomain[] = "quandrel.com";
inline constexpr wchar_t kMakerDomainW[] = L"quandrel.com";

// Where the agent's settings live (under HKEY_LOCAL_MACHINE).
inline constexpr long kSettingsRootKey = static_cast<long>(0x80000002);
inline constexpr wchar_t kSettingsTopFolder[] = L"Software";
inline constexpr wchar_t kSettingsCompany[] = L"Quandrel, Inc.";
inline constexpr wchar_t kSettingsProduct[] = L"Vornix! Popup Blocker";
inline constexpr wchar_t kSettingsVersion[] = L"1.00.000";

// The address the control panel's links open.
inline constexpr char kMakerWebSite[] = "http://www.quandrel.com/";

// The install folder below Program Files. It has no full stop after "Inc",
// unlike the company name of the settings key.
inline constexpr char kInstallSubFolder[] = "\\Quandrel, Inc\\Vornix! Popup Blocker";

} // namespace vx
