// Process-wide COM security of the two servers: who may launch them and
// call into them.
#pragma once

#include <windows.h>

#include <vector>

namespace vx {

// A descriptor in absolute form that grants `rights` (COM_RIGHTS_* bits) to
// SYSTEM, the Administrators and the interactive users, and nobody else;
// owned by the Administrators. Local rights only: nothing remote.
class ComPermissions {
  public:
    explicit ComPermissions(DWORD rights);
    ComPermissions(const ComPermissions&) = delete;
    ComPermissions& operator=(const ComPermissions&) = delete;

    // Null when the descriptor could not be built.
    PSECURITY_DESCRIPTOR Get() { return valid_ ? &descriptor_ : nullptr; }
    // The self-relative form, as the registry keeps it; empty on failure.
    std::vector<BYTE> SelfRelative();

  private:
    BYTE sids_[3][SECURITY_MAX_SID_SIZE] = {};
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    bool valid_ = false;
};

// Calls in and launches: local calls and local activation.
constexpr DWORD kComAccessRights = COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL;
constexpr DWORD kComLaunchRights = kComAccessRights | COM_RIGHTS_ACTIVATE_LOCAL;

// CoInitializeSecurity with the access descriptor above, at packet
// authentication level with impersonation.
HRESULT InitializeProcessSecurity();

// Writes the same access and launch rights as AccessPermission and
// LaunchPermission of the program's AppID key (already open for writing).
LONG WriteAppIdPermissions(HKEY appKey);

} // namespace vx
