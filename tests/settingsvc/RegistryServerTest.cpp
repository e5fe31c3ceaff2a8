// The Registry object as the agent meets it: created by ProgID in a running
// KrellinSvc, every member called late-bound by name.
#include "RegistryDriver.h"
#include "TestSupport.h"

#include "CapturedProcess.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace vxtest;

namespace {

#define PRODUCT_PATH "Software\\Quandrel, Inc.\\Vornix! Popup Blocker"
const char kCompanyPath[] = "Software\\Quandrel, Inc.";
const char kProductPath[] = PRODUCT_PATH;
const char kAgentPath[] = PRODUCT_PATH "\\1.00.000";
const char kProductSubPath[] = PRODUCT_PATH "\\Sub";
const char kAgentSubPath[] = PRODUCT_PATH "\\1.00.000\\Sub";
const wchar_t kCompany[] = L"Quandrel, Inc.";
const wchar_t kProduct[] = L"Vornix! Popup Blocker";

void ResetTestKeys(bool create) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        RegDeleteTreeA(root, kCompanyPath);
        RegDeleteKeyA(root, kCompanyPath);
        for (const char* path : {kAgentSubPath, kProductSubPath})
            if (create) CreateKeyPath(root, path);
    }
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "Software", "VxProbe");
}

// One KrellinSvc for the whole program, registered, started and ended here:
// COM then never launches (or leaves behind) a server of its own.
class ServerEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        SetEnvironmentVariableA("VORNIX_NO_MESSAGEBOX", "1");
        apartment_ = std::make_unique<vx::ComApartment>();
        ASSERT_EQ(0u, RunKrellinSvc(L"/RegServer"));
        // Its class object is registered once it says "Service started": a
        // request before that would make COM launch a second instance.
        ASSERT_TRUE(server_.Start(Quoted(BesideTest(L"KrellinSvc.exe"))));
        ASSERT_NE(vx::test::CapturedProcess::kNotFound,
                  server_.WaitForLine("Service started", 0, 15000));
        ResetTestKeys(true);
    }
    void TearDown() override {
        EXPECT_TRUE(vx::test::IsRunning(server_.Process()))
            << "releasing every object must not end the server";
        // As a WM_QUIT from outside would: it revokes its class object.
        EXPECT_TRUE(vx::test::EndServerProcess(server_.Id()));
        ResetTestKeys(false);
        EXPECT_EQ(0u, RunKrellinSvc(L"/UnregServer"));
        apartment_.reset();
    }

  private:
    std::unique_ptr<vx::ComApartment> apartment_;
    vx::test::CapturedProcess server_;
};

::testing::Environment* const gServer = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(reg.Create()); }
    void UseAgentPath() {
        ASSERT_HRESULT_SUCCEEDED(reg.SetPath(kCompany, kProduct, L"1.00.000", nullptr));
    }
    RegistryDriver reg;
};

std::string Dword(DWORD v) {
    return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

// Replaces the value under the agent's path; type 0 leaves it missing.
LONG Store(const char* name, DWORD type, const std::string& data) {
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kAgentPath, name);
    return type ? WriteValue(HKEY_LOCAL_MACHINE, kAgentPath, name, type, data) : 0;
}

std::string Read(HKEY root, const char* path, const char* name) {
    std::string data;
    return ReadValue(root, path, name, &data) ? data : "(missing)";
}

TEST_F(RegistryTest, PropertiesStartAndResetToTheirDefaults) {
    auto early = reg.Early();
    ASSERT_TRUE(early);
    auto expectDefaults = [&] {
        LONG top = 0;
        vx::Bstr text;
        EXPECT_HRESULT_SUCCEEDED(reg.GetTopLevelKey(&top));
        EXPECT_EQ(-2147483646, top);
        EXPECT_HRESULT_SUCCEEDED(reg.GetText(L"TopFolder", &text));
        EXPECT_STREQ(L"Software", text.Text());
        for (auto get : {&IRegistry::get_Company, &IRegistry::get_Product, &IRegistry::get_Version,
                         &IRegistry::get_SubFolder}) {
            EXPECT_EQ(S_OK, (early.Get()->*get)(text.Put()));
            EXPECT_TRUE(text.IsNull());
        }
    };
    expectDefaults();
    ASSERT_HRESULT_SUCCEEDED(reg.PutTopLevelKey(static_cast<LONG>(0x80000001u)));
    for (const wchar_t* name : {L"TopFolder", L"Company", L"Product", L"Version", L"SubFolder"}) {
        for (const wchar_t* text : {L"Quandrel, Inc.", L""}) {
            vx::Bstr got;
            ASSERT_HRESULT_SUCCEEDED(reg.PutText(name, text));
            ASSERT_HRESULT_SUCCEEDED(reg.GetText(name, &got));
            EXPECT_STREQ(text, got.Text()) << name;
        }
    }
    vx::Bstr version;
    ASSERT_EQ(S_OK, early->get_Version(version.Put()));
    EXPECT_FALSE(version.IsNull()) << "empty and unset differ";

    RegistryDriver other;
    ASSERT_HRESULT_SUCCEEDED(other.Create());
    ASSERT_EQ(S_OK, other.Early()->get_Company(version.Put()));
    EXPECT_TRUE(version.IsNull()) << "objects share no state";

    EXPECT_EQ(S_OK, reg.Method(L"Reset"));
    expectDefaults();
    // The reset path is HKEY_LOCAL_MACHINE\Software itself: no place of ours.
    EXPECT_EQ(E_ACCESSDENIED, reg.SetAppDWORD(L"VxProbe", 31));
    EXPECT_EQ("(missing)", Read(HKEY_LOCAL_MACHINE, "Software", "VxProbe"));
}

TEST_F(RegistryTest, PathPartsOpenLevelByLevelWithinTheProductKeyOnly) {
    struct Case {
        const wchar_t* company;
        const wchar_t* product;
        const wchar_t* version;
        const wchar_t* subFolder;
        const char* key; // null: outside the product's key, refused
    };
    const Case cases[] = {
        {kCompany, kProduct, L"1.00.000", nullptr, kAgentPath},
        {kCompany, kProduct, nullptr, L"Sub", kProductPath},
        {kCompany, kProduct, L"", L"Sub", kProductSubPath},
        {kCompany, kProduct, L"1.00.000", L"Sub", kAgentSubPath},
        {L"QUANDREL, INC.\\Vornix! Popup Blocker", L"", L"1.00.000", nullptr, kAgentPath},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
        {L"", kCompany, nullptr, nullptr, nullptr},
        {kCompany, L"Vornix! Popup Blocker2", nullptr, nullptr, nullptr},
        {kCompany, L"\\Vornix! Popup Blocker", nullptr, nullptr, nullptr},
        {kCompany, L"Vornix! Popup Blocker\\", nullptr, nullptr, nullptr},
    };
    const char* const keys[] = {"Software", kCompanyPath, kProductPath, kAgentPath,
                                kProductSubPath, kAgentSubPath};
    LONG probe = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key ? c.key : "refused");
        // The puts close the path the previous case opened.
        ASSERT_HRESULT_SUCCEEDED(reg.SetPath(c.company, c.product, c.version, c.subFolder));
        EXPECT_EQ(c.key ? S_OK : E_ACCESSDENIED, reg.SetAppDWORD(L"VxProbe", ++probe));
        for (const char* key : keys) {
            const bool here = c.key && strcmp(key, c.key) == 0;
            EXPECT_EQ(here ? Dword(probe) : "(missing)", Read(HKEY_LOCAL_MACHINE, key, "VxProbe"))
                << key;
        }
        LONG back = 0;
        EXPECT_EQ(c.key ? S_OK : E_ACCESSDENIED, reg.GetAppDWORD(L"VxProbe", &back));
        EXPECT_EQ(c.key ? probe : 0, back);
        if (c.key) RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, c.key, "VxProbe");
    }
}

TEST_F(RegistryTest, MissingKeyIsNeverCreatedAndIsFoundOnceItExists) {
    const std::string missing = std::string(kProductPath) + "\\9.99.999";
    ASSERT_HRESULT_SUCCEEDED(reg.SetPath(kCompany, kProduct, L"9.99.999", nullptr));
    EXPECT_EQ(S_OK, reg.SetAppDWORD(L"VxProbe", 5));
    EXPECT_EQ(S_OK, reg.SetAppString(L"VxText", vx::Bstr(L"t").Get()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, missing.c_str()));
    LONG number = 77;
    vx::Bstr text(L"keep");
    EXPECT_EQ(S_OK, reg.GetAppDWORD(L"VxProbe", &number));
    EXPECT_EQ(S_OK, reg.GetAppString(L"VxText", &text));
    EXPECT_EQ(77, number);
    EXPECT_STREQ(L"keep", text.Text());

    ASSERT_EQ(0, CreateKeyPath(HKEY_LOCAL_MACHINE, missing.c_str()));
    ASSERT_EQ(0, WriteValue(HKEY_LOCAL_MACHINE, missing.c_str(), "VxProbe", REG_DWORD, Dword(11)));
    EXPECT_EQ(S_OK, reg.GetAppDWORD(L"VxProbe", &number));
    EXPECT_EQ(11, number);
}

TEST_F(RegistryTest, GetAppStringWritesInPlaceOnlyWhatFits) {
    struct Case {
        const char* label;
        DWORD type; // 0: no value stored
        std::string stored;
        size_t callerLength;
        std::wstring expected; // "-": the caller's string comes back as sent
    };
    const Case cases[] = {
        {"five stored, 260 sent", REG_SZ, std::string("abcde", 6), 260, L"abcde"},
        {"fills all but the NUL", REG_SZ, std::string("abcd", 5), 5, L"abcd"},
        {"no room for the NUL", REG_SZ, std::string("abcde", 6), 5, L"-"},
        {"longer than the string", REG_SZ, std::string("abcdefghij", 11), 5, L"-"},
        {"empty data", REG_SZ, "", 8, L""},
        {"missing value", 0, "", 8, L"-"},
        {"300 into 260", REG_SZ, std::string(300, 'q') + '\0', 260, L"-"},
        {"300 into 400", REG_SZ, std::string(300, 'q') + '\0', 400, std::wstring(300, L'q')},
        {"ends at the first zero", REG_BINARY, std::string("ab\0cd", 5), 8, L"ab"},
        {"type is ignored", REG_BINARY, "hi", 8, L"hi"},
    };
    UseAgentPath();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_EQ(0, Store("VxText", c.type, c.stored));
        // A default text, its NUL, then characters that must survive.
        std::wstring sent(L"xyz\0", 4);
        while (sent.size() < c.callerLength)
            sent += static_cast<wchar_t>(L'A' + sent.size() % 26);
        sent.resize(c.callerLength);
        vx::Bstr value(sent.data(), static_cast<UINT>(sent.size()));
        EXPECT_EQ(S_OK, reg.GetAppString(L"VxText", &value));
        std::wstring expected = sent;
        if (c.expected != L"-") expected.replace(0, c.expected.size() + 1, c.expected + L'\0');
        EXPECT_TRUE(std::wstring(value.Get(), value.Length()) == expected);
    }
    vx::Bstr null;
    EXPECT_EQ(S_OK, reg.GetAppString(L"VxText", &null));
    EXPECT_TRUE(null.IsNull());
}

TEST_F(RegistryTest, SetAppStringStoresTheNarrowedText) {
    struct Case {
        const char* label;
        std::wstring sent;
        std::string stored; // data bytes with the terminating zero
    };
    const Case cases[] = {
        {"plain", L"C:\\Sounds\\ding.wav", std::string("C:\\Sounds\\ding.wav", 19)},
        {"cut at 259", std::wstring(300, L'w'), std::string(259, 'w') + '\0'},
        {"cut before U+0100", L"ab\u0100cd", std::string("ab", 3)},
        {"Latin-1 byte", L"caf\u00e9", std::string("caf\xe9", 5)},
        {"embedded NUL", std::wstring(L"ab\0cd", 5), std::string("ab", 3)},
        {"empty", L"", std::string(1, '\0')},
    };
    UseAgentPath();
    for (const Case& c : cases) {
        vx::Bstr sent(c.sent.data(), static_cast<UINT>(c.sent.size()));
        EXPECT_EQ(S_OK, reg.SetAppString(L"VxText", sent.Get())) << c.label;
        std::string data;
        DWORD type = 0;
        EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kAgentPath, "VxText", &data, &type));
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type) << c.label;
        EXPECT_EQ(c.stored, data) << c.label;
    }
    // A null name is the key's default value; a 300-character name is cut.
    EXPECT_EQ(S_OK, reg.SetAppString(nullptr, vx::Bstr(L"dflt").Get()));
    EXPECT_EQ(std::string("dflt", 5), Read(HKEY_LOCAL_MACHINE, kAgentPath, nullptr));
    EXPECT_EQ(S_OK, reg.SetAppDWORD(std::wstring(300, L'n').c_str(), 3));
    EXPECT_EQ(Dword(3), Read(HKEY_LOCAL_MACHINE, kAgentPath, std::string(259, 'n').c_str()));
}

TEST_F(RegistryTest, GetAppDwordTakesUpToFourBytesOfAnyType) {
    struct Case {
        const char* label;
        DWORD type; // 0: no value stored
        std::string stored;
        LONG sent;
        LONG expected;
    };
    const Case cases[] = {
        {"dword", REG_DWORD, Dword(42), 7, 42},
        {"two bytes replace the low half", REG_BINARY, "\x34\x12", 0x7FFF0000, 0x7FFF1234},
        {"one byte", REG_BINARY, "\x01", -1, static_cast<LONG>(0xFFFFFF01)},
        {"no bytes", REG_BINARY, "", 5, 5},
        {"eight bytes do not fit", REG_BINARY, std::string(8, '\x11'), 5, 5},
        {"qword does not fit", REG_QWORD, std::string(8, '\0'), 5, 5},
        {"short text", REG_SZ, std::string("x", 2), 0x11223344, 0x11220078},
        {"missing", 0, "", 9, 9},
    };
    UseAgentPath();
    for (const Case& c : cases) {
        ASSERT_EQ(0, Store("VxNumber", c.type, c.stored));
        LONG value = c.sent;
        EXPECT_EQ(S_OK, reg.GetAppDWORD(L"VxNumber", &value)) << c.label;
        EXPECT_EQ(c.expected, value) << c.label;
    }
    EXPECT_EQ(S_OK, reg.SetAppDWORD(L"VxNumber", -5));
    DWORD type = 0;
    std::string data;
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, kAgentPath, "VxNumber", &data, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(Dword(0xFFFFFFFBu), data);
}

TEST_F(RegistryTest, TopLevelKeyChoosesThePredefinedRootOnly) {
    UseAgentPath();
    ASSERT_HRESULT_SUCCEEDED(reg.PutTopLevelKey(static_cast<LONG>(0x80000001u)));
    EXPECT_EQ(S_OK, reg.SetAppDWORD(L"VxRoot", 1));
    EXPECT_EQ(Dword(1), Read(HKEY_CURRENT_USER, kAgentPath, "VxRoot"));
    EXPECT_EQ("(missing)", Read(HKEY_LOCAL_MACHINE, kAgentPath, "VxRoot"));

    // Any other number is stored and returned but names no key at all, not
    // even a key the server holds open for another object: the scan meets
    // the handle of this object's own agent key, opened by the first get.
    ASSERT_EQ(0, WriteValue(HKEY_LOCAL_MACHINE, kAgentPath, "VxRoot", REG_DWORD, Dword(9)));
    LONG value = 0;
    ASSERT_EQ(S_OK, reg.GetAppDWORD(L"VxRoot", &value));
    RegistryDriver other;
    ASSERT_HRESULT_SUCCEEDED(other.Create());
    ASSERT_HRESULT_SUCCEEDED(other.SetPath(kCompany, kProduct, L"1.00.000", nullptr));
    std::vector<LONG> invalid = {0, static_cast<LONG>(0x80000000u), static_cast<LONG>(0x80000003u),
                                 static_cast<LONG>(0x80000007u), 0x7FFFFFFF, -1};
    for (LONG handle = 4; handle < 0x400; handle += 4)
        invalid.push_back(handle);
    for (LONG number : invalid) {
        value = 55;
        ASSERT_HRESULT_SUCCEEDED(other.PutTopLevelKey(number));
        EXPECT_EQ(E_ACCESSDENIED, other.GetAppDWORD(L"VxRoot", &value));
        ASSERT_EQ(55, value) << "TopLevelKey " << number << " was used as a key handle";
    }
    EXPECT_HRESULT_SUCCEEDED(other.GetTopLevelKey(&value));
    EXPECT_EQ(0x3FC, value);
    EXPECT_EQ(E_ACCESSDENIED, other.SetAppDWORD(L"VxInvalid", 3));
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        EXPECT_EQ("(missing)", Read(root, kAgentPath, "VxInvalid"));
}

// The stand-in "Messenger" service, made by the first case that needs it and
// reconfigured after: a deleted service lingers while its process ends.
class MessengerSwitchTest : public RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        manager_.Reset(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(manager_);
    }
    void TearDown() override {
        if (!service_) return;
        StopOrEndService(service_.Get());
        DeleteService(service_.Get());
    }
    void Install(const wchar_t* mode, DWORD startType, bool running) {
        const std::wstring command = Quoted(BesideTest(L"MessengerTestService.exe")) + L" " + mode;
        if (service_) {
            StopOrEndService(service_.Get());
            ASSERT_TRUE(ChangeServiceConfigW(service_.Get(), SERVICE_NO_CHANGE, startType,
                                             SERVICE_NO_CHANGE, command.c_str(), nullptr, nullptr,
                                             nullptr, nullptr, nullptr, nullptr));
        } else {
            service_.Reset(CreateServiceW(manager_.Get(), L"Messenger", L"Messenger",
                                          SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, startType,
                                          SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                          nullptr, nullptr, nullptr));
            ASSERT_TRUE(service_) << GetLastError();
        }
        if (running) {
            ASSERT_TRUE(StartServiceA(service_.Get(), 0, nullptr)) << GetLastError();
            ASSERT_TRUE(WaitForServiceState(service_.Get(), SERVICE_RUNNING, 10000));
        }
    }
    DWORD StartType() {
        union {
            QUERY_SERVICE_CONFIGA config;
            BYTE bytes[8192];
        } q;
        DWORD needed = 0;
        return QueryServiceConfigA(service_.Get(), &q.config, sizeof q, &needed)
                   ? q.config.dwStartType
                   : 0;
    }

    vx::ScopedServiceHandle manager_;
    vx::ScopedServiceHandle service_;
};

TEST_F(MessengerSwitchTest, SwitchesStartTypeAndState) {
    struct Case {
        const char* label;
        const wchar_t* mode; // null: no Messenger service at all
        DWORD startBefore;
        bool runningBefore;
        bool disable;
        HRESULT expected;
        DWORD startAfter;
        DWORD stateAfter;
    };
    const Case cases[] = {
        {"disable, missing", nullptr, 0, false, true, S_FALSE, 0, 0},
        {"enable, missing", nullptr, 0, false, false, S_FALSE, 0, 0},
        {"disable, stopped", L"", SERVICE_AUTO_START, false, true, S_OK, SERVICE_DEMAND_START,
         SERVICE_STOPPED},
        {"disable, running", L"", SERVICE_AUTO_START, true, true, S_OK, SERVICE_DEMAND_START,
         SERVICE_STOPPED},
        {"disable, refusing the stop", L"refuse", SERVICE_AUTO_START, true, true, S_FALSE,
         SERVICE_AUTO_START, SERVICE_RUNNING},
        {"enable, stopped", L"", SERVICE_DEMAND_START, false, false, S_OK, SERVICE_AUTO_START,
         SERVICE_RUNNING},
        {"enable, disabled", L"", SERVICE_DISABLED, false, false, S_OK, SERVICE_AUTO_START,
         SERVICE_RUNNING},
        {"enable, running", L"", SERVICE_DEMAND_START, true, false, S_FALSE, SERVICE_AUTO_START,
         SERVICE_RUNNING},
    };
    auto early = reg.Early();
    ASSERT_TRUE(early);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.mode) Install(c.mode, c.startBefore, c.runningBefore);
        EXPECT_EQ(c.expected, c.disable ? early->DisableMessenger() : early->EnableMessenger());
        if (!c.mode) {
            // By name the result is S_OK either way: Invoke drops S_FALSE.
            EXPECT_EQ(S_OK, reg.Method(c.disable ? L"DisableMessenger" : L"EnableMessenger"));
            continue;
        }
        EXPECT_EQ(c.startAfter, StartType());
        EXPECT_TRUE(WaitForServiceState(service_.Get(), c.stateAfter, 10000));
    }
}

} // namespace
