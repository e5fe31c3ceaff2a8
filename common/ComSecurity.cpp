#include "ComSecurity.h"

namespace vx {

ComPermissions::ComPermissions(DWORD rights) {
    static const WELL_KNOWN_SID_TYPE kGranted[] = {WinLocalSystemSid, WinBuiltinAdministratorsSid,
                                                   WinInteractiveSid};
    DWORD aclSize = sizeof(ACL);
    for (int i = 0; i < 3; ++i) {
        DWORD size = SECURITY_MAX_SID_SIZE;
        if (!CreateWellKnownSid(kGranted[i], nullptr, sids_[i], &size)) return;
        aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sids_[i]);
    }
    acl_.assign(aclSize, 0);
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    if (!InitializeAcl(acl, aclSize, ACL_REVISION)) return;
    for (auto& sid : sids_)
        if (!AddAccessAllowedAce(acl, ACL_REVISION, rights, sid)) return;
    // Owner and group must be set for COM to take the descriptor.
    PSID administrators = sids_[1];
    valid_ = InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
             SetSecurityDescriptorOwner(&descriptor_, administrators, FALSE) &&
             SetSecurityDescriptorGroup(&descriptor_, administrators, FALSE) &&
             SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE);
}

std::vector<BYTE> ComPermissions::SelfRelative() {
    if (!valid_) return {};
    DWORD size = 0;
    MakeSelfRelativeSD(&descriptor_, nullptr, &size);
    if (size == 0) return {};
    std::vector<BYTE> data(size);
    if (!MakeSelfRelativeSD(&descriptor_, data.data(), &size)) return {};
    return data;
}

HRESULT InitializeProcessSecurity() {
    ComPermissions access(kComAccessRights);
    if (!access.Get()) return HRESULT_FROM_WIN32(GetLastError());
    return CoInitializeSecurity(access.Get(), -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

LONG WriteAppIdPermissions(HKEY appKey) {
    const struct {
        const char* name;
        DWORD rights;
    } values[] = {{"AccessPermission", kComAccessRights}, {"LaunchPermission", kComLaunchRights}};
    for (const auto& value : values) {
        std::vector<BYTE> data = ComPermissions(value.rights).SelfRelative();
        if (data.empty()) return ERROR_INVALID_SECURITY_DESCR;
        LONG err = RegSetValueExA(appKey, value.name, 0, REG_BINARY, data.data(),
                                  static_cast<DWORD>(data.size()));
        if (err != ERROR_SUCCESS) return err;
    }
    return ERROR_SUCCESS;
}

} // namespace vx
