// KrellinSvc.exe as a program: its registration switches, its single
// instance, its first start without registration, and its service run.
#include "RegistryDriver.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace vxtest;

namespace {

#define CLSID_TEXT "{E123E9FA-7DAD-4606-8655-073299C61F8B}"
#define APPID_TEXT "{9559EC2F-9842-45B7-98B5-5228E20E1812}"
#define LIBID_TEXT "{B00CDF84-8D80-4A03-A235-1C9C9682C5A7}"

struct Entry {
    const char* key;
    const char* name;
    const char* value; // null: only the key must exist
};

const Entry kEntries[] = {
    {"KrellinSvc.Registry.1", nullptr, "Registry Class"},
    {"KrellinSvc.Registry.1\\CLSID", nullptr, CLSID_TEXT},
    {"KrellinSvc.Registry", nullptr, "Registry Class"},
    {"KrellinSvc.Registry\\CLSID", nullptr, CLSID_TEXT},
    {"KrellinSvc.Registry\\CurVer", nullptr, "KrellinSvc.Registry.1"},
    {"CLSID\\" CLSID_TEXT, nullptr, "Registry Class"},
    {"CLSID\\" CLSID_TEXT, "AppID", APPID_TEXT},
    {"CLSID\\" CLSID_TEXT "\\ProgID", nullptr, "KrellinSvc.Registry.1"},
    {"CLSID\\" CLSID_TEXT "\\VersionIndependentProgID", nullptr, "KrellinSvc.Registry"},
    {"CLSID\\" CLSID_TEXT "\\Programmable", nullptr, nullptr},
    {"CLSID\\" CLSID_TEXT "\\LocalServer32", nullptr, nullptr},
    {"CLSID\\" CLSID_TEXT "\\TypeLib", nullptr, LIBID_TEXT},
    {"AppID\\" APPID_TEXT, nullptr, "KrellinSvc"},
    {"AppID\\KrellinSvc.EXE", "AppID", APPID_TEXT},
    {"TypeLib\\" LIBID_TEXT "\\1.0", nullptr, "KrellinSvc 1.0 Type Library"},
};

std::string Text(HKEY root, const char* key, const char* name) {
    std::string data;
    return ReadValue(root, key, name, &data) ? std::string(data.c_str()) : "(missing)";
}
std::string Text(const char* key, const char* name) {
    return Text(HKEY_CLASSES_ROOT, key, name);
}

std::string Narrow(const std::wstring& w) {
    return std::string(w.begin(), w.end());
}

std::string LongPath(const std::string& path) {
    char buffer[MAX_PATH];
    DWORD n = GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
    return n && n < MAX_PATH ? std::string(buffer, n) : "(no such file)";
}

class HostTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { SetEnvironmentVariableA("VORNIX_NO_MESSAGEBOX", "1"); }
    void SetUp() override {
        manager_.Reset(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(manager_);
    }
    void TearDown() override { RunKrellinSvc(L"/UnregServer"); }
    vx::ScopedServiceHandle OpenKrellinSvc(DWORD access) {
        return vx::ScopedServiceHandle(OpenServiceA(manager_.Get(), "KrellinSvc", access));
    }

    vx::ComApartment apartment_;
    vx::ScopedServiceHandle manager_;
};

TEST_F(HostTest, SwitchesWriteAndRemoveExactlyTheEntries) {
    // A copy in a folder whose name holds a quote and a space.
    const std::wstring copyDir = L"C:\\vx'q dir", copy = copyDir + L"\\KrellinSvc.exe";
    const std::wstring exe = BesideTest(L"KrellinSvc.exe");
    CreateDirectoryW(copyDir.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(exe.c_str(), copy.c_str(), FALSE));
    struct Case {
        std::wstring exe;
        const wchar_t* reg;
        const wchar_t* unreg;
        bool asService;
    };
    const Case cases[] = {
        {exe, L"/RegServer", L"/UnregServer", false},  {exe, L"-regserver", L"-UNREGSERVER", false},
        {exe, L"-Service", L"/unregserver", true},     {exe, L"/SERVICE", L"-UnregServer", true},
        {copy, L"/RegServer", L"/UnregServer", false}, {copy, L"-Service", L"-UnregServer", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.exe + L" " + c.reg));
        // Whatever lies below a replaced key goes.
        ASSERT_EQ(0, CreateKeyPath(HKEY_CLASSES_ROOT, "CLSID\\" CLSID_TEXT "\\Programmable\\Old"));
        ASSERT_EQ(0, CreateKeyPath(HKEY_CLASSES_ROOT, "CLSID\\" CLSID_TEXT "\\Old"));

        ASSERT_EQ(0u, RunAndWait(Quoted(c.exe) + L" " + c.reg));
        for (const Entry& e : kEntries) {
            EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, e.key)) << e.key;
            EXPECT_EQ(e.value ? e.value : Text(e.key, e.name), Text(e.key, e.name)) << e.key;
        }
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" CLSID_TEXT "\\Old"));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" CLSID_TEXT "\\Programmable\\Old"));
        EXPECT_EQ(LongPath(Narrow(c.exe)),
                  LongPath(Text("CLSID\\" CLSID_TEXT "\\LocalServer32", nullptr)));
        EXPECT_EQ(c.asService ? "KrellinSvc" : "(missing)",
                  Text("AppID\\" APPID_TEXT, "LocalService"));
        EXPECT_EQ(c.asService ? "-Service" : "(missing)",
                  Text("AppID\\" APPID_TEXT, "ServiceParameters"));

        vx::ScopedServiceHandle service = OpenKrellinSvc(SERVICE_QUERY_CONFIG);
        ASSERT_EQ(c.asService, static_cast<bool>(service));
        if (service) {
            union {
                QUERY_SERVICE_CONFIGA config;
                BYTE bytes[8192];
            } q;
            DWORD needed = 0;
            ASSERT_TRUE(QueryServiceConfigA(service.Get(), &q.config, sizeof q, &needed));
            EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), q.config.dwServiceType);
            EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), q.config.dwStartType);
            EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), q.config.dwErrorControl);
            EXPECT_EQ("\"" + Narrow(c.exe) + "\"", q.config.lpBinaryPathName);
            EXPECT_STREQ("LocalSystem", q.config.lpServiceStartName);
            EXPECT_STREQ("KrellinSvc", q.config.lpDisplayName);
            // Wine's QueryServiceConfig leaves the dependency list empty.
            std::string depends;
            DWORD type = 0;
            EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE,
                                  "System\\CurrentControlSet\\Services\\KrellinSvc",
                                  "DependOnService", &depends, &type));
            EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
            EXPECT_EQ(std::string("RPCSS\0", 7), depends);
        }
        service.Reset();

        ASSERT_EQ(0u, RunAndWait(Quoted(c.exe) + L" " + c.unreg));
        for (const Entry& e : kEntries)
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, e.key)) << e.key;
        for (const char* gone :
             {"KrellinSvc.Registry.1", "CLSID\\" CLSID_TEXT, "TypeLib\\" LIBID_TEXT})
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, gone)) << gone;
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "AppID"));
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
        EXPECT_FALSE(OpenKrellinSvc(SERVICE_QUERY_CONFIG));
    }
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(copyDir.c_str());
}

TEST_F(HostTest, PlainRegistrationAfterServiceRemovesTheService) {
    ASSERT_EQ(0u, RunKrellinSvc(L"-Service"));
    ASSERT_TRUE(OpenKrellinSvc(SERVICE_QUERY_CONFIG));
    ASSERT_EQ(0u, RunKrellinSvc(L"/RegServer"));
    EXPECT_FALSE(OpenKrellinSvc(SERVICE_QUERY_CONFIG));
    EXPECT_EQ("(missing)", Text("AppID\\" APPID_TEXT, "LocalService"));
}

TEST_F(HostTest, FirstOrdinaryStartRegistersAndASecondInstanceExits) {
    ASSERT_EQ(0u, RunKrellinSvc(L"/UnregServer"));
    ServerProcess first;
    ASSERT_TRUE(first.Start());
    EXPECT_EQ("KrellinSvc", Text("AppID\\" APPID_TEXT, nullptr));
    EXPECT_EQ("Registry Class", Text("CLSID\\" CLSID_TEXT, nullptr));
    for (const wchar_t* line : {L"", L"-Embedding"})
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), RunKrellinSvc(line));
    EXPECT_TRUE(first.Running());
    RegistryDriver reg;
    LONG top = 0;
    ASSERT_HRESULT_SUCCEEDED(reg.Create());
    EXPECT_HRESULT_SUCCEEDED(reg.GetTopLevelKey(&top));
}

TEST_F(HostTest, ServiceRunsUntilStopped) {
    ASSERT_EQ(0u, RunKrellinSvc(L"-Service"));
    {
        // Started by hand while registered as a service: the dispatcher
        // refuses (Wine takes up to ten seconds) and it runs as a server.
        ServerProcess byHand;
        ASSERT_TRUE(byHand.Start());
    }
    vx::ScopedServiceHandle service = OpenKrellinSvc(SERVICE_ALL_ACCESS);
    ASSERT_TRUE(service);
    ASSERT_TRUE(StartServiceA(service.Get(), 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitForServiceState(service.Get(), SERVICE_RUNNING, 15000));
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                                     reinterpret_cast<BYTE*>(&status), sizeof status, &needed));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ACCEPT_STOP), status.dwControlsAccepted);
    vx::ScopedHandle process(OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId));
    ASSERT_TRUE(process);
    {
        RegistryDriver reg;
        vx::Bstr top;
        ASSERT_HRESULT_SUCCEEDED(reg.Create());
        EXPECT_HRESULT_SUCCEEDED(reg.GetText(L"TopFolder", &top));
        EXPECT_STREQ(L"Software", top.Text());
    }
    Sleep(200);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(service.Get()))
        << "the last release must not end the service";
    SERVICE_STATUS stop{};
    ASSERT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &stop));
    EXPECT_TRUE(WaitForServiceState(service.Get(), SERVICE_STOPPED, 10000));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process.Get(), 10000));
}

} // namespace
