#include "settingsvc/Registry.h"
#include "common/ServiceModule.h"

#include "tests/support/ProcessTools.h"
#include "tests/support/RegistryTools.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vx::test {
namespace {

#define PRODUCT_PATH "Software\\Quandrel, Inc.\\Vornix! Popup Blocker"
const char kProductPath[] = PRODUCT_PATH;
const char kAgentPath[] = PRODUCT_PATH "\\1.00.000";
const char kProductSubPath[] = PRODUCT_PATH "\\Sub";
const char kAgentSubPath[] = PRODUCT_PATH "\\1.00.000\\Sub";
const wchar_t kCompany[] = L"Quandrel, Inc.";
const wchar_t kProduct[] = L"Vornix! Popup Blocker";
constexpr LONG kMachine = static_cast<LONG>(0x80000002u), kUser = static_cast<LONG>(0x80000001u);

std::string Dword(DWORD v) {
    return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TearDown();
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            for (const char* path : {kAgentSubPath, kProductSubPath})
                RegCreateKeyA(root, path, RegKey().Put());
        ASSERT_EQ(S_OK, factory_.CreateInstance(nullptr, IID_IRegistry2, reg.PutVoid()));
    }
    void TearDown() override {
        reg.Reset();
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            RegDeleteTreeA(root, "Software\\Quandrel, Inc.");
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "Software", "VxProbe");
    }
    static HRESULT Aim(IRegistry* r, const wchar_t* company, const wchar_t* product,
                       const wchar_t* version, const wchar_t* subFolder = nullptr) {
        HRESULT hr = r->put_Company(Bstr(company).Get());
        if (SUCCEEDED(hr)) hr = r->put_Product(Bstr(product).Get());
        if (SUCCEEDED(hr)) hr = r->put_Version(Bstr(version).Get());
        return SUCCEEDED(hr) ? r->put_SubFolder(Bstr(subFolder).Get()) : hr;
    }

    ComApartment apartment_;
    ClassFactory<Registry> factory_;
    ComPtr<IRegistry2> reg;
};

struct Outer : IUnknown {
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;
};

TEST_F(RegistryTest, AnswersItsInterfacesAggregatesAndDiesOnLastRelease) {
    ComPtr<IUnknown> unk, none;
    ASSERT_EQ(S_OK, reg->QueryInterface(IID_IUnknown, unk.PutVoid()));
    for (const IID* iid :
         {&IID_IRegistry, &IID_IDispatch, &IID_ISupportErrorInfo, &IID_IConnectionPointContainer}) {
        ComPtr<IUnknown> itf, identity;
        EXPECT_EQ(S_OK, unk->QueryInterface(*iid, itf.PutVoid()));
        ASSERT_EQ(S_OK, itf->QueryInterface(IID_IUnknown, identity.PutVoid()));
        EXPECT_EQ(unk.Get(), identity.Get());
    }
    EXPECT_EQ(E_POINTER, reg->GetAppString(Bstr(L"x").Get(), nullptr));
    EXPECT_EQ(E_POINTER, reg->GetAppDWORD(Bstr(L"x").Get(), nullptr));
    EXPECT_EQ(E_POINTER, reg->get_TopLevelKey(nullptr));
    EXPECT_EQ(E_POINTER, reg->get_Company(nullptr));
    reg.Reset();
    EXPECT_EQ(0u, unk.Detach()->Release());

    Outer outer;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory_.CreateInstance(&outer, IID_IRegistry, none.PutVoid()));
    ComPtr<IUnknown> inner;
    ASSERT_EQ(S_OK, factory_.CreateInstance(&outer, IID_IUnknown, inner.PutVoid()));
    IRegistry* delegating = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IRegistry, reinterpret_cast<void**>(&delegating)));
    // The object itself answers this one: only the outer's answer refuses it.
    EXPECT_EQ(E_NOINTERFACE, delegating->QueryInterface(IID_ISupportErrorInfo, none.PutVoid()));
    EXPECT_EQ(2u, outer.refs) << "the reference the query handed out is the outer's";
    delegating->Release();
    EXPECT_EQ(0u, inner.Detach()->Release());
}

// The plain switches and their cases are run by tests/host.
TEST(CommandSwitch, OnlyAWholeLastWordCounts) {
    const std::pair<const char*, CommandSwitch> cases[] = {
        {"KrellinSvc.exe -x /Service", CommandSwitch::Service},
        {"KrellinSvc.exe --Service", CommandSwitch::Service},
        {"C:\\a-Service", CommandSwitch::Service},
        {"KrellinSvc.exe -RegServer more", CommandSwitch::None},
        {"KrellinSvc.exe /RegServer ", CommandSwitch::None},
        {"KrellinSvc.exe -Service -Embedding", CommandSwitch::None},
        {"KrellinSvc.exe RegServer", CommandSwitch::None},
        {"KrellinSvc.exe -", CommandSwitch::None},
        {"", CommandSwitch::None},
        {nullptr, CommandSwitch::None},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(expected, FindCommandSwitch(line)) << (line ? line : "(null)");
}

TEST_F(RegistryTest, ActsOnlyOnTheProductKeyOpeningItLevelByLevel) {
    const std::string missing = std::string(kProductPath) + "\\9.99.999";
    struct Case {
        LONG root;
        const wchar_t *company, *product, *version, *subFolder;
        HRESULT expected;
        const char* key; // where the value lands; null: nowhere
    };
    std::vector<Case> cases = {
        {kMachine, kCompany, kProduct, L"1.00.000", nullptr, S_OK, kAgentPath},
        {kMachine, kCompany, kProduct, nullptr, L"Sub", S_OK,
         kProductPath}, // no version: no sub-folder
        {kMachine, kCompany, kProduct, L"", L"Sub", S_OK, kProductSubPath},
        {kMachine, kCompany, kProduct, L"1.00.000", L"Sub", S_OK, kAgentSubPath},
        {kMachine, L"QUANDREL, INC.\\Vornix! Popup Blocker", L"", L"1.00.000", nullptr, S_OK,
         kAgentPath},
        {kUser, kCompany, kProduct, L"1.00.000", nullptr, S_OK, kAgentPath},
        {kMachine, kCompany, kProduct, L"9.99.999", nullptr, S_OK, nullptr},
        // The path after Reset: HKEY_LOCAL_MACHINE\Software itself.
        {kMachine, nullptr, nullptr, nullptr, nullptr, E_ACCESSDENIED, nullptr},
        {kMachine, L"", kCompany, nullptr, nullptr, E_ACCESSDENIED, nullptr},
        {kMachine, kCompany, L"", nullptr, nullptr, E_ACCESSDENIED, nullptr},
        {kMachine, kCompany, L"Vornix! Popup Blocker2", nullptr, nullptr, E_ACCESSDENIED, nullptr},
        {kMachine, kCompany, L"\\Vornix! Popup Blocker", nullptr, nullptr, E_ACCESSDENIED, nullptr},
        {kMachine, kCompany, L"Vornix! Popup Blocker\\", nullptr, nullptr, E_ACCESSDENIED, nullptr},
    };
    // Any number but the two roots names no key, not even one this process
    // holds open: the scan meets the handle of the holder's agent key.
    std::vector<LONG> numbers = {
        0, LONG(0x80000000u), LONG(0x80000003u), LONG(0x80000007u), 0x7FFFFFFF, -1};
    for (LONG handle = 4; handle < 0x400; handle += 4)
        numbers.push_back(handle);
    for (LONG number : numbers)
        cases.push_back(
            {number, kCompany, kProduct, L"1.00.000", nullptr, E_ACCESSDENIED, nullptr});
    ComPtr<IRegistry2> holder;
    ASSERT_EQ(S_OK, factory_.CreateInstance(nullptr, IID_IRegistry2, holder.PutVoid()));
    LONG back = 0;
    ASSERT_EQ(S_OK, Aim(holder.Get(), kCompany, kProduct, L"1.00.000"));
    ASSERT_EQ(S_OK, holder->GetAppDWORD(Bstr(L"VxProbe").Get(), &back));
    const char* const keys[] = {"Software",      "Software\\Quandrel, Inc.",
                                kProductPath,    kAgentPath,
                                kProductSubPath, kAgentSubPath,
                                missing.c_str()};
    LONG probe = 100;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.root) + " " + (c.key ? c.key : "nowhere"));
        // One object throughout: each put closes the path the last case opened.
        ASSERT_EQ(S_OK, reg->put_TopLevelKey(c.root));
        ASSERT_EQ(S_OK, Aim(reg.Get(), c.company, c.product, c.version, c.subFolder));
        EXPECT_EQ(c.expected, reg->SetAppDWORD(Bstr(L"VxProbe").Get(), ++probe));
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            for (const char* key : keys) {
                const bool here = c.key && !strcmp(key, c.key) && root == HKEY(LONG_PTR(c.root));
                EXPECT_EQ(here ? Dword(probe) : "(missing)",
                          ReadBytes(root, key, "VxProbe").value_or("(missing)"))
                    << key;
            }
        back = 7;
        EXPECT_EQ(c.expected, reg->GetAppDWORD(Bstr(L"VxProbe").Get(), &back));
        EXPECT_EQ(c.key ? probe : 7, back);
        EXPECT_EQ(S_OK, reg->get_TopLevelKey(&back));
        EXPECT_EQ(c.root, back) << "stored and returned as given";
        // Refused calls leave what they were handed as it was.
        const std::wstring sent(260, L'k');
        Bstr lines;
        BSTR text = SysAllocString(sent.c_str());
        EXPECT_EQ(c.expected, reg->SetAppString(Bstr(L"VxText").Get(), Bstr(L"C:\\x.exe").Get()));
        EXPECT_EQ(c.expected, reg->SetAppList(Bstr(L"VxList").Get(), Bstr(L"a").Get()));
        EXPECT_EQ(c.expected, reg->GetAppList(Bstr(L"VxList").Get(), lines.Put()));
        EXPECT_EQ(c.expected, reg->GetAppString(Bstr(L"VxText").Get(), &text));
        const Bstr got = Bstr::Attach(text);
        EXPECT_TRUE(SUCCEEDED(c.expected) || (lines.IsNull() && got.Text() == sent));
        if (c.key) RegDeleteKeyValueA(HKEY(LONG_PTR(c.root)), c.key, "VxProbe");
    }
    // Once the missing key exists the same object finds it.
    ASSERT_EQ(S_OK, reg->put_TopLevelKey(kMachine));
    ASSERT_EQ(S_OK, Aim(reg.Get(), kCompany, kProduct, L"9.99.999"));
    EXPECT_EQ(S_OK, reg->GetAppDWORD(Bstr(L"VxProbe").Get(), &back));
    ASSERT_EQ(0, WriteBytes(HKEY_LOCAL_MACHINE, missing.c_str(), "VxProbe", REG_DWORD, Dword(11)));
    EXPECT_EQ(S_OK, reg->GetAppDWORD(Bstr(L"VxProbe").Get(), &back));
    EXPECT_EQ(11, back);
}

// Strings are written in place, never reallocated: what does not fit
// leaves the caller's string as sent. Numbers take up to four bytes.
TEST_F(RegistryTest, GetsWriteInPlaceOnlyWhatFitsWhateverTheType) {
    const struct {
        const char* label;
        DWORD type; // 0: no value stored
        std::string stored;
        size_t callerLength;   // 0: GetAppDWORD
        std::wstring expected; // "-": the caller's string comes back as sent
        LONG sent = 0, number = 0;
    } cases[] = {
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
        {"dword", REG_DWORD, Dword(42), 0, L"", 7, 42},
        {"two bytes replace the low half", REG_BINARY, "\x34\x12", 0, L"", 0x7FFF0000, 0x7FFF1234},
        {"one byte", REG_BINARY, "\x01", 0, L"", -1, static_cast<LONG>(0xFFFFFF01)},
        {"no bytes", REG_BINARY, "", 0, L"", 5, 5},
        {"eight bytes do not fit", REG_BINARY, std::string(8, '\x11'), 0, L"", 5, 5},
        {"qword does not fit", REG_QWORD, std::string(8, '\0'), 0, L"", 5, 5},
        {"short text", REG_SZ, std::string("x", 2), 0, L"", 0x11223344, 0x11220078},
        {"no number", 0, "", 0, L"", 9, 9},
    };
    ASSERT_EQ(S_OK, Aim(reg.Get(), kCompany, kProduct, L"1.00.000"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kAgentPath, "VxValue");
        ASSERT_EQ(0, c.type
                         ? WriteBytes(HKEY_LOCAL_MACHINE, kAgentPath, "VxValue", c.type, c.stored)
                         : 0);
        if (!c.callerLength) {
            LONG value = c.sent;
            EXPECT_EQ(S_OK, reg->GetAppDWORD(Bstr(L"VxValue").Get(), &value));
            EXPECT_EQ(c.number, value);
            continue;
        }
        // A default text, its NUL, then characters that must survive.
        std::wstring sent =
            (std::wstring(L"xyz\0", 4) + std::wstring(400, L'A')).substr(0, c.callerLength);
        BSTR value = SysAllocStringLen(sent.data(), static_cast<UINT>(sent.size()));
        EXPECT_EQ(S_OK, reg->GetAppString(Bstr(L"VxValue").Get(), &value));
        Bstr got = Bstr::Attach(value);
        if (c.expected != L"-") sent.replace(0, c.expected.size() + 1, c.expected + L'\0');
        EXPECT_TRUE(std::wstring(got.Get(), got.Length()) == sent);
    }
    BSTR null = nullptr;
    EXPECT_EQ(S_OK, reg->GetAppString(Bstr(L"VxValue").Get(), &null));
    EXPECT_EQ(nullptr, null);
}

TEST_F(RegistryTest, SetsStoreTheNarrowedTextNamesAreCutAndListsStayInBounds) {
    const struct {
        const char* label;
        std::wstring sent;
        std::string stored; // data bytes with the terminating zero
    } cases[] = {
        {"plain", L"C:\\Sounds\\ding.wav", std::string("C:\\Sounds\\ding.wav", 19)},
        {"cut at 259", std::wstring(300, L'w'), std::string(259, 'w') + '\0'},
        {"cut before U+0100", L"ab\u0100cd", std::string("ab", 3)},
        {"Latin-1 byte", L"caf\u00e9", std::string("caf\xe9", 5)},
        {"embedded NUL", std::wstring(L"ab\0cd", 5), std::string("ab", 3)},
        {"empty", L"", std::string(1, '\0')},
    };
    ASSERT_EQ(S_OK, Aim(reg.Get(), kCompany, kProduct, L"1.00.000"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Bstr sent(c.sent.data(), static_cast<UINT>(c.sent.size()));
        EXPECT_EQ(S_OK, reg->SetAppString(Bstr(L"VxText").Get(), sent.Get()));
        DWORD type = 0;
        EXPECT_EQ(c.stored, ReadBytes(HKEY_LOCAL_MACHINE, kAgentPath, "VxText", &type));
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    }
    EXPECT_EQ(S_OK, reg->SetAppString(nullptr, Bstr(L"dflt").Get()));
    EXPECT_EQ(std::string("dflt", 5), ReadBytes(HKEY_LOCAL_MACHINE, kAgentPath, nullptr));
    DWORD type = 0;
    EXPECT_EQ(S_OK, reg->SetAppDWORD(Bstr(std::wstring(300, L'n').c_str()).Get(), -5));
    EXPECT_EQ(Dword(0xFFFFFFFBu),
              ReadBytes(HKEY_LOCAL_MACHINE, kAgentPath, std::string(259, 'n').c_str(), &type));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    const Bstr list(L"VxList");
    Bstr lines;
    ASSERT_EQ(S_OK, reg->SetAppList(list.Get(), Bstr(L"a\r\n\r\nb\n").Get()));
    std::wstring tooMany;
    for (int i = 0; i <= 4096; ++i)
        tooMany += L"x\r\n";
    for (const std::wstring& bad : {tooMany, std::wstring(256, L'a'), std::wstring(L"a\0b", 3)})
        EXPECT_EQ(
            E_INVALIDARG,
            reg->SetAppList(list.Get(), Bstr(bad.data(), static_cast<UINT>(bad.size())).Get()));
    EXPECT_EQ(S_OK, reg->GetAppList(list.Get(), lines.Put()));
    EXPECT_STREQ(L"a\r\nb", lines.Text());
}

// The stand-in "Messenger" service is reconfigured rather than made again:
// a deleted service lingers while its process ends.
class MessengerSwitch : public RegistryTest {
  protected:
    void TearDown() override {
        if (service_) {
            StopOrEnd();
            DeleteService(service_.Get());
        }
        RegistryTest::TearDown();
    }
    // Ended by the control every mode obeys, or killed.
    void StopOrEnd() {
        SERVICE_STATUS_PROCESS process{};
        DWORD needed = 0;
        ControlService(service_.Get(), 200, reinterpret_cast<SERVICE_STATUS*>(&process));
        if (WaitForServiceState(service_.Get(), SERVICE_STOPPED, 5000)) return;
        if (QueryServiceStatusEx(service_.Get(), SC_STATUS_PROCESS_INFO,
                                 reinterpret_cast<BYTE*>(&process), sizeof process, &needed))
            EndProcess(process.dwProcessId);
        WaitForServiceState(service_.Get(), SERVICE_STOPPED, 5000);
    }

    ScopedServiceHandle service_;
};

TEST_F(MessengerSwitch, SwitchesStartTypeAndState) {
    constexpr DWORD kAuto = SERVICE_AUTO_START, kDemand = SERVICE_DEMAND_START,
                    kRunning = SERVICE_RUNNING;
    const struct {
        const char* label;
        const wchar_t* mode; // null: no Messenger service at all
        DWORD startBefore;
        bool runningBefore, disable;
        HRESULT expected;
        DWORD startAfter, stateAfter;
    } cases[] = {
        {"disable, missing", nullptr, 0, false, true, S_FALSE, 0, 0},
        {"enable, missing", nullptr, 0, false, false, S_FALSE, 0, 0},
        {"disable, stopped", L"", kAuto, false, true, S_OK, kDemand, SERVICE_STOPPED},
        {"disable, running", L"", kAuto, true, true, S_OK, kDemand, SERVICE_STOPPED},
        {"disable, refusing the stop", L"refuse", kAuto, true, true, S_FALSE, kAuto, kRunning},
        {"enable, stopped", L"", kDemand, false, false, S_OK, kAuto, kRunning},
        {"enable, disabled", L"", SERVICE_DISABLED, false, false, S_OK, kAuto, kRunning},
        {"enable, running", L"", kDemand, true, false, S_FALSE, kAuto, kRunning},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::wstring command =
            Quoted(BesideTest(L"MessengerTestService.exe")) + L" " + (c.mode ? c.mode : L"");
        if (c.mode && service_) {
            StopOrEnd();
            ASSERT_TRUE(ChangeServiceConfigW(service_.Get(), SERVICE_NO_CHANGE, c.startBefore,
                                             SERVICE_NO_CHANGE, command.c_str(), nullptr, nullptr,
                                             nullptr, nullptr, nullptr, nullptr));
        } else if (c.mode) {
            ScopedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
            service_.Reset(CreateServiceW(manager.Get(), L"Messenger", L"Messenger",
                                          SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                          c.startBefore, SERVICE_ERROR_NORMAL, command.c_str(),
                                          nullptr, nullptr, nullptr, nullptr, nullptr));
            ASSERT_TRUE(service_) << GetLastError();
        }
        if (c.runningBefore) {
            ASSERT_TRUE(StartServiceW(service_.Get(), 0, nullptr)) << GetLastError();
            ASSERT_TRUE(WaitForServiceState(service_.Get(), SERVICE_RUNNING));
        }
        EXPECT_EQ(c.expected, c.disable ? reg->DisableMessenger() : reg->EnableMessenger());
        if (!c.mode) continue;
        EXPECT_EQ(c.startAfter,
                  ReadDword(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\Messenger",
                            L"Start"));
        EXPECT_TRUE(WaitForServiceState(service_.Get(), c.stateAfter, 10000));
    }
}

} // namespace
} // namespace vx::test
