#include "ComSecurity.h"

#include "Scoped.h"

#include <vector>

namespace vx {

namespace {

std::vector<BYTE> QueryToken(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> data(size);
    if (!GetTokenInformation(token, kind, data.data(), size, &size)) return {};
    return data;
}

ScopedHandle OpenCallerToken() {
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return ScopedHandle(token);
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return ScopedHandle(token);
    return ScopedHandle();
}

} // namespace

HRESULT InitializeProcessSecurity() {
    ScopedHandle token = OpenCallerToken();
    if (!token) return HRESULT_FROM_WIN32(GetLastError());
    // Both buffers hold the SIDs the descriptor points to; they must live
    // until CoInitializeSecurity has taken its copy.
    std::vector<BYTE> user = QueryToken(token.Get(), TokenUser);
    std::vector<BYTE> group = QueryToken(token.Get(), TokenPrimaryGroup);
    if (user.empty() || group.empty()) return E_FAIL;

    SECURITY_DESCRIPTOR sd;
    if (!InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&sd, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid,
                                    FALSE) ||
        !SetSecurityDescriptorGroup(
            &sd, reinterpret_cast<TOKEN_PRIMARY_GROUP*>(group.data())->PrimaryGroup, FALSE) ||
        !SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE))
        return HRESULT_FROM_WIN32(GetLastError());

    return CoInitializeSecurity(&sd, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

} // namespace vx
