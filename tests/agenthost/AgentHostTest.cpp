// Krellin.exe as a program: its registration switches, its first start
// without registration, a second agent, and its service run.
#include "CapturedProcess.h"
#include "LateBound.h"
#include "ProcessTools.h"
#include "RegistryTools.h"

#include <gtest/gtest.h>

#include <string>

namespace vx::test {
namespace {

#define APPID_TEXT L"{C88DD343-43BB-48EE-8BCE-8DB5EAC74395}"
#define KRELLINIF_TEXT L"{A920ED7E-F32C-45BA-B12E-F30E78FFE223}"
#define WEBEVENTS_TEXT L"{6A8C9DAD-110F-4B3F-BC9E-813507F4AED4}"
#define SHELLEVENTS_TEXT L"{ECFBD407-8AE8-46B6-97C0-C25653D4D477}"
#define LIBID_TEXT L"{687BF1F8-30E4-4C43-8487-467EBC8F0D47}"

struct Entry {
    const wchar_t* key;
    const wchar_t* name;
    const wchar_t* value; // null: only the key must exist
};

// Everything a registration writes under HKEY_CLASSES_ROOT.
const Entry kEntries[] = {
    {L"AppID\\" APPID_TEXT, nullptr, L"Krellin"},
    {L"AppID\\Krellin.EXE", L"AppID", APPID_TEXT},
    {L"Krellin.KrellinIF.1\\CLSID", nullptr, KRELLINIF_TEXT},
    {L"Krellin.KrellinIF\\CurVer", nullptr, L"Krellin.KrellinIF.1"},
    {L"CLSID\\" KRELLINIF_TEXT, nullptr, L"KrellinIF Class"},
    {L"CLSID\\" KRELLINIF_TEXT, L"AppID", APPID_TEXT},
    {L"CLSID\\" KRELLINIF_TEXT L"\\Programmable", nullptr, nullptr},
    {L"CLSID\\" KRELLINIF_TEXT L"\\TypeLib", nullptr, LIBID_TEXT},
    {L"Krellin.WebBrowserEvents2.1\\CLSID", nullptr, WEBEVENTS_TEXT},
    {L"Krellin.WebBrowserEvents2\\CLSID", nullptr, WEBEVENTS_TEXT},
    {L"CLSID\\" WEBEVENTS_TEXT L"\\ProgID", nullptr, L"Krellin.WebBrowserEvents2.1"},
    {L"Krellin.ShellWindowsEvents\\CurVer", nullptr, L"Krellin.ShellWindowsEvents.1"},
    {L"CLSID\\" SHELLEVENTS_TEXT L"\\VersionIndependentProgID", nullptr,
     L"Krellin.ShellWindowsEvents"},
    {L"TypeLib\\" LIBID_TEXT L"\\1.0", nullptr, L"Krellin 1.0 Type Library"},
};

// What the event sinks' registration leaves out.
const wchar_t* const kAbsent[] = {
    L"Krellin.WebBrowserEvents2\\CurVer",
    L"CLSID\\" WEBEVENTS_TEXT L"\\Programmable",
    L"CLSID\\" WEBEVENTS_TEXT L"\\TypeLib",
};

bool KeyExists(const wchar_t* path) {
    RegKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

std::wstring LongPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(buffer, n) : path;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

class AgentHostTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { SetEnvironmentVariableA("VORNIX_NO_MESSAGEBOX", "1"); }
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
        manager_.Reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(manager_);
    }
    void TearDown() override {
        Run(L"/UnregServer");
        // The agent may have had COM start the settings service.
        for (DWORD id : FindProcesses(L"KrellinSvc.exe")) EndServerProcess(id);
    }
    DWORD Run(const wchar_t* switchText) {
        return RunAndWait(Quoted(BesideTest(L"Krellin.exe")) + L" " + switchText);
    }
    ScopedServiceHandle OpenAgentService(DWORD access) {
        return ScopedServiceHandle(OpenServiceW(manager_.Get(), L"Krellin", access));
    }

    ComApartment com_;
    ScopedServiceHandle manager_;
};

TEST_F(AgentHostTest, SwitchesWriteAndRemoveExactlyTheEntries) {
    struct Case {
        const wchar_t* reg;
        const wchar_t* unreg;
        bool asService;
    } cases[] = {
        {L"/RegServer", L"/UnregServer", false},
        {L"-regserver", L"-UNREGSERVER", false},
        {L"-Service", L"/unregserver", true},
        {L"/SERVICE", L"-UnregServer", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.reg));
        ASSERT_EQ(0u, Run(c.reg));
        for (const Entry& e : kEntries) {
            EXPECT_TRUE(KeyExists(e.key)) << Narrow(e.key);
            if (e.value) {
                EXPECT_EQ(e.value, ReadText(HKEY_CLASSES_ROOT, e.key, e.name).value_or(L"?"))
                    << Narrow(e.key);
            }
        }
        for (const wchar_t* key : kAbsent) EXPECT_FALSE(KeyExists(key)) << Narrow(key);
        for (const wchar_t* clsid : {KRELLINIF_TEXT, WEBEVENTS_TEXT, SHELLEVENTS_TEXT}) {
            std::wstring server = std::wstring(L"CLSID\\") + clsid + L"\\LocalServer32";
            EXPECT_EQ(LongPath(BesideTest(L"Krellin.exe")),
                      LongPath(ReadText(HKEY_CLASSES_ROOT, server.c_str(), nullptr).value_or(L"")));
        }
        const wchar_t* appId = L"AppID\\" APPID_TEXT;
        EXPECT_EQ(c.asService ? L"Krellin" : L"?",
                  ReadText(HKEY_CLASSES_ROOT, appId, L"LocalService").value_or(L"?"));
        EXPECT_EQ(c.asService ? L"-Service" : L"?",
                  ReadText(HKEY_CLASSES_ROOT, appId, L"ServiceParameters").value_or(L"?"));

        ScopedServiceHandle service = OpenAgentService(SERVICE_QUERY_CONFIG);
        ASSERT_EQ(c.asService, static_cast<bool>(service));
        if (service) {
            union {
                QUERY_SERVICE_CONFIGW config;
                BYTE bytes[8192];
            } q;
            DWORD needed = 0;
            ASSERT_TRUE(QueryServiceConfigW(service.Get(), &q.config, sizeof q, &needed));
            EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), q.config.dwStartType);
            EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), q.config.dwServiceType);
            // Wine's QueryServiceConfig leaves the dependency list empty.
            RegKey key;
            ASSERT_EQ(ERROR_SUCCESS,
                      RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                                    L"System\\CurrentControlSet\\Services\\Krellin", 0, KEY_READ,
                                    key.Put()));
            wchar_t depends[32] = {};
            DWORD size = sizeof depends - sizeof(wchar_t), type = 0;
            ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.Get(), L"DependOnService", nullptr, &type,
                                                      reinterpret_cast<BYTE*>(depends), &size));
            EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
            EXPECT_STREQ(L"RPCSS", depends);
        }
        service.Reset();

        ASSERT_EQ(0u, Run(c.unreg));
        for (const Entry& e : kEntries) EXPECT_FALSE(KeyExists(e.key)) << Narrow(e.key);
        EXPECT_TRUE(KeyExists(L"AppID"));
        EXPECT_TRUE(KeyExists(L"CLSID"));
        EXPECT_FALSE(OpenAgentService(SERVICE_QUERY_CONFIG));
    }
}

TEST_F(AgentHostTest, PlainRegistrationAfterAServiceOneDeletesTheService) {
    ASSERT_EQ(0u, Run(L"-Service"));
    ASSERT_TRUE(OpenAgentService(SERVICE_QUERY_CONFIG));
    ASSERT_EQ(0u, Run(L"/RegServer"));
    EXPECT_FALSE(OpenAgentService(SERVICE_QUERY_CONFIG));
    EXPECT_FALSE(ReadText(HKEY_CLASSES_ROOT, L"AppID\\" APPID_TEXT, L"LocalService").has_value());
    ASSERT_EQ(0u, Run(L"/UnregServer"));
    EXPECT_FALSE(KeyExists(L"AppID\\" APPID_TEXT));
}

TEST_F(AgentHostTest, FirstStartRegistersItselfAndASecondAgentEnds) {
    ASSERT_EQ(0u, Run(L"/UnregServer"));
    CapturedProcess agent;
    ASSERT_TRUE(agent.Start(Quoted(BesideTest(L"Krellin.exe"))));
    ASSERT_NE(CapturedProcess::kNotFound, agent.WaitForLine("Service started", 0, 30000));
    EXPECT_EQ(L"Krellin", ReadText(HKEY_CLASSES_ROOT, L"AppID\\" APPID_TEXT, nullptr).value_or(L""));
    EXPECT_TRUE(KeyExists(L"CLSID\\" KRELLINIF_TEXT L"\\LocalServer32"));

    // A second agent finds the first and ends without a window of its own.
    HWND first = FindWindowA("Krellin", nullptr);
    ASSERT_TRUE(first);
    EXPECT_EQ(0u, RunAndWait(Quoted(BesideTest(L"Krellin.exe")), 30000));
    EXPECT_EQ(first, FindWindowA("Krellin", nullptr));
    EXPECT_EQ(nullptr, FindWindowExA(nullptr, first, "Krellin", nullptr));

    // The last client letting go leaves the agent running; Quit ends it.
    {
        LateBound krellin;
        ASSERT_EQ(S_OK, krellin.Create(L"Krellin.KrellinIF.1", CLSCTX_LOCAL_SERVER));
        EXPECT_EQ(S_OK, krellin.Do(L"Quit"));
    }
    EXPECT_EQ(0u, WaitForExit(agent.Process(), 15000));
}

TEST_F(AgentHostTest, AServiceStopEndsTheAgent) {
    ASSERT_EQ(0u, Run(L"-Service"));
    ScopedServiceHandle service = OpenAgentService(SERVICE_ALL_ACCESS);
    ASSERT_TRUE(service);
    ASSERT_TRUE(StartServiceW(service.Get(), 0, nullptr)) << GetLastError();
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    for (int i = 0; i < 150; ++i) {
        QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                             reinterpret_cast<BYTE*>(&status), sizeof status, &needed);
        if (status.dwCurrentState == SERVICE_RUNNING) break;
        Sleep(100);
    }
    ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), status.dwCurrentState);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ACCEPT_STOP), status.dwControlsAccepted);
    ScopedHandle process(OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId));
    ASSERT_TRUE(process);

    SERVICE_STATUS stop{};
    ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &stop));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process.Get(), 15000));
    QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                         sizeof status, &needed);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
}

} // namespace
} // namespace vx::test
