#include "tests/support/LateBound.h"
#include "tests/support/ProcessTools.h"
#include "tests/support/RegistryTools.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <utility>
#include <vector>

namespace vx::test {
namespace {

struct Program {
    const char* label;
    DWORD secondInstanceCode;
    const wchar_t *exe, *service, *appId;
    std::vector<std::pair<const wchar_t*, std::wstring>> classes;
    std::vector<const wchar_t*> keys;
};

// clang-format off
const Program kPrograms[] = {
    {"Krellin", 0, L"Krellin.exe", L"Krellin", L"{C88DD343-43BB-48EE-8BCE-8DB5EAC74395}",
     {{L"{A920ED7E-F32C-45BA-B12E-F30E78FFE223}", L"Krellin.KrellinIF"},
      {L"{6A8C9DAD-110F-4B3F-BC9E-813507F4AED4}", L"Krellin.WebBrowserEvents2"},
      {L"{ECFBD407-8AE8-46B6-97C0-C25653D4D477}", L"Krellin.ShellWindowsEvents"}},
     // Under the library's own identity, which widl once got wrong by a byte.
     {L"AppID\\Krellin.EXE", L"TypeLib\\{687BF1F8-30E4-4C43-8487-467EBC8F0D47}\\1.0"}},
    {"KrellinSvc", ERROR_ALREADY_EXISTS, L"KrellinSvc.exe", L"KrellinSvc",
     L"{9559EC2F-9842-45B7-98B5-5228E20E1812}",
     {{L"{E123E9FA-7DAD-4606-8655-073299C61F8B}", L"KrellinSvc.Registry"}},
     {L"AppID\\KrellinSvc.EXE", L"TypeLib\\{B00CDF84-8D80-4A03-A235-1C9C9682C5A7}\\1.0"}}};
// clang-format on

std::wstring LongPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(buffer, n) : L"(no such file) " + path;
}

std::wstring ClassesText(const std::wstring& key, const wchar_t* name) {
    return ReadText(HKEY_CLASSES_ROOT, key.c_str(), name).value_or(L"?");
}

class HostTest : public ::testing::TestWithParam<Program> {
  protected:
    static void SetUpTestSuite() { SetEnvironmentVariableA("VORNIX_NO_MESSAGEBOX", "1"); }
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(com_.Result()) && manager_); }
    void TearDown() override {
        Run(L"/UnregServer");
        // The agent may have had COM start the settings service.
        for (DWORD id : FindProcesses(L"KrellinSvc.exe"))
            EndServerProcess(id);
    }
    const Program& P() const { return GetParam(); }
    std::wstring Exe() const { return BesideTest(P().exe); }
    DWORD Run(const wchar_t* switchText, const std::wstring& exe = L"") {
        return RunAndWait(Quoted(exe.empty() ? Exe() : exe) + L" " + switchText);
    }
    ScopedServiceHandle OpenService(DWORD access) {
        return ScopedServiceHandle(OpenServiceW(manager_.Get(), P().service, access));
    }

    ComApartment com_;
    ScopedServiceHandle manager_{OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
};

TEST_P(HostTest, SwitchesWriteAndRemoveExactlyTheEntries) {
    // A copy in a folder whose name holds a quote and a space.
    const std::wstring copyDir = L"C:\\vx'q dir", copy = copyDir + L"\\" + P().exe;
    CreateDirectoryW(copyDir.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(Exe().c_str(), copy.c_str(), FALSE));
    const std::wstring appIdKey = std::wstring(L"AppID\\") + P().appId;
    const std::string appIdPath(appIdKey.begin(), appIdKey.end());
    const struct {
        std::wstring exe;
        const wchar_t *reg, *unreg; // no unreg: the next row registers over it
        bool asService;
    } cases[] = {{Exe(), L"/RegServer", L"/UnregServer", false},
                 {Exe(), L"-regserver", L"-UNREGSERVER", false},
                 {Exe(), L"/SERVICE", L"-UnregServer", true},
                 {copy, L"-Service", nullptr, true},
                 {Exe(), L"/RegServer", L"/unregserver", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exe + L" " + c.reg);
        // Whatever lies below a replaced class key goes.
        const std::wstring old = std::wstring(L"CLSID\\") + P().classes[0].first + L"\\Old";
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetKeyValueW(HKEY_CLASSES_ROOT, old.c_str(), nullptr, REG_SZ, L"x", 4));
        ASSERT_EQ(0u, Run(c.reg, c.exe));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, old.c_str()));
        for (const wchar_t* key : P().keys)
            EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
        for (const auto& [clsid, progId] : P().classes) {
            const std::wstring key = std::wstring(L"CLSID\\") + clsid;
            EXPECT_EQ(clsid, ClassesText(progId + L"\\CLSID", nullptr));
            EXPECT_EQ(P().appId, ClassesText(key, L"AppID"));
            EXPECT_EQ(LongPath(c.exe), LongPath(ClassesText(key + L"\\LocalServer32", nullptr)));
        }
        EXPECT_EQ(c.asService ? P().service : L"?", ClassesText(appIdKey, L"LocalService"));
        // A missing list would let everybody in.
        for (auto [value, rights] :
             {std::pair{"AccessPermission", L"CCDC"}, std::pair{"LaunchPermission", L"CCDCSW"}}) {
            std::string data = ReadBytes(HKEY_CLASSES_ROOT, appIdPath.c_str(), value).value_or("");
            wchar_t* text = nullptr;
            ASSERT_TRUE(data.size() > 1 && ConvertSecurityDescriptorToStringSecurityDescriptorW(
                                               data.data(), SDDL_REVISION_1,
                                               DACL_SECURITY_INFORMATION, &text, nullptr))
                << value;
            const std::wstring ace = std::wstring(L"(A;;") + rights + L";;;";
            EXPECT_EQ(text, L"D:" + ace + L"SY)" + ace + L"BA)" + ace + L"IU)") << value;
            LocalFree(text);
        }
        const std::wstring key =
            std::wstring(L"System\\CurrentControlSet\\Services\\") + P().service;
        ASSERT_EQ(c.asService, static_cast<bool>(OpenService(SERVICE_QUERY_CONFIG)));
        // A plain registration over a service one leaves the parameters, which
        // mean nothing without LocalService.
        if (c.asService) {
            EXPECT_EQ(L"-Service", ClassesText(appIdKey, L"ServiceParameters"));
            EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START),
                      ReadDword(HKEY_LOCAL_MACHINE, key.c_str(), L"Start"));
            EXPECT_EQ(Quoted(c.exe), ReadText(HKEY_LOCAL_MACHINE, key.c_str(), L"ImagePath"));
        }
        if (!c.unreg) continue;

        ASSERT_EQ(0u, Run(c.unreg, c.exe));
        for (const wchar_t* key : P().keys)
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
        for (const auto& [clsid, progId] : P().classes)
            for (const std::wstring& key :
                 {L"CLSID\\" + std::wstring(clsid), progId, progId + L".1"})
                EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key.c_str())) << key;
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, appIdKey.c_str()));
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID") &&
                    KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
        EXPECT_FALSE(OpenService(SERVICE_QUERY_CONFIG));
    }
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(copyDir.c_str());
}

TEST_P(HostTest, FirstStartRegistersASecondInstanceEndsAndAServiceRunsUntilStopped) {
    ASSERT_EQ(0u, Run(L"/UnregServer"));
    CapturedProcess first;
    ASSERT_TRUE(first.Start(Quoted(Exe())));
    ASSERT_NE(CapturedProcess::kNotFound, first.WaitForLine("Service started", 0, 30000));
    EXPECT_EQ(P().service, ClassesText(L"AppID\\" + std::wstring(P().appId), nullptr));
    // A second instance finds the first and ends, also when COM starts it.
    for (const wchar_t* line : {L"", L"-Embedding"})
        EXPECT_EQ(P().secondInstanceCode, Run(line)) << line;
    EXPECT_TRUE(IsRunning(first.Process()));
    EXPECT_EQ(S_OK,
              LateBound().Create((P().classes[0].second + L".1").c_str(), CLSCTX_LOCAL_SERVER));
    EXPECT_EQ(kNoExitCode, WaitForExit(first.Process(), 500))
        << "the last client letting go must not end it";
    EXPECT_TRUE(EndServerProcess(first.Id()));

    ASSERT_EQ(0u, Run(L"-Service"));
    {
        // Started by hand while registered as a service: the dispatcher
        // refuses (Wine takes up to ten seconds) and it runs as a server.
        CapturedProcess byHand;
        ASSERT_TRUE(byHand.Start(Quoted(Exe())));
        EXPECT_NE(CapturedProcess::kNotFound, byHand.WaitForLine("Service started", 0, 30000));
        EXPECT_TRUE(EndServerProcess(byHand.Id()));
    }
    ScopedServiceHandle service = OpenService(SERVICE_ALL_ACCESS);
    ASSERT_TRUE(service);
    ASSERT_TRUE(StartServiceW(service.Get(), 0, nullptr)) << GetLastError();
    EXPECT_TRUE(WaitForServiceState(service.Get(), SERVICE_RUNNING));
    SERVICE_STATUS status;
    ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(WaitForServiceState(service.Get(), SERVICE_STOPPED));
}

TEST(SettingsServiceScript, AScriptClientUsesEveryMember) {
    EXPECT_EQ(RunAndWait(L"cscript.exe //nologo " + Quoted(BesideTest(L"registry_check.js")) +
                             L" " + Quoted(BesideTest(L"KrellinSvc.exe")),
                         120000),
              0u);
}

INSTANTIATE_TEST_SUITE_P(Servers, HostTest, ::testing::ValuesIn(kPrograms),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace vx::test
