// A hostile local user against the running servers, from this process and
// from a script: every way out of the product's own settings is tried, and
// nothing outside the product's key may change.
#include "AgentSuite.h"
#include "RegistryTools.h"

#include "KrellinSvc.h"

#include <map>
#include <random>

using namespace vx;
using namespace vx::test;

namespace {

constexpr LONG kMachine = static_cast<LONG>(0x80000002u);
constexpr LONG kUser = static_cast<LONG>(0x80000001u);
constexpr LONG kClasses = static_cast<LONG>(0x80000000u);
constexpr LONG kUsers = static_cast<LONG>(0x80000003u);
const wchar_t kProductKey[] = L"Software\\Quandrel, Inc.\\Vornix! Popup Blocker";

// Every key and value below the roots an attacker would aim at, by path,
// leaving out the product's own key where writing is allowed.
using Snapshot = std::map<std::wstring, std::wstring>;

void Dump(HKEY key, const std::wstring& path, Snapshot* out) {
    out->emplace(path, L"(key)");
    DWORD subkeys = 0, longestKey = 0, values = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestKey, nullptr, &values,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(std::max(longestKey, longestName) + 2);
    std::vector<BYTE> data(longestData + 2);
    for (DWORD i = 0; i < values; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size()), size = longestData, type = 0;
        if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            continue;
        std::wstring text = std::to_wstring(type) + L":";
        for (DWORD b = 0; b < size; ++b) text += static_cast<wchar_t>(data[b]);
        out->emplace(path + L"|" + std::wstring(name.data(), nameLength), text);
    }
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            continue;
        std::wstring child = path + L"\\" + std::wstring(name.data(), nameLength);
        if (_wcsicmp(child.c_str() + child.find(L'\\') + 1, kProductKey) == 0) continue;
        RegKey sub;
        if (RegOpenKeyExW(key, name.data(), REG_OPTION_OPEN_LINK, KEY_READ, sub.Put()) ==
            ERROR_SUCCESS)
            Dump(sub.Get(), child, out);
    }
}

Snapshot TakeSnapshot() {
    Snapshot snapshot;
    const struct {
        HKEY root;
        const wchar_t* name;
        const wchar_t* path;
    } roots[] = {{HKEY_LOCAL_MACHINE, L"HKLM", L"Software"},
                 {HKEY_CURRENT_USER, L"HKCU", L"Software"},
                 {HKEY_LOCAL_MACHINE, L"HKLM", L"System\\CurrentControlSet\\Services"}};
    for (const auto& r : roots) {
        RegKey key;
        if (RegOpenKeyExW(r.root, r.path, 0, KEY_READ, key.Put()) == ERROR_SUCCESS)
            Dump(key.Get(), std::wstring(r.name) + L"\\" + r.path, &snapshot);
    }
    return snapshot;
}

// The first entries that differ, for the failure message; "" when none.
std::string Differences(const Snapshot& before, const Snapshot& after) {
    std::string out;
    int shown = 0;
    auto note = [&](const std::wstring& path, const char* what) {
        if (shown++ < 8) out += std::string(what) + " " + Narrow(path) + "\n";
    };
    for (const auto& [path, value] : after) {
        auto old = before.find(path);
        if (old == before.end())
            note(path, "added");
        else if (old->second != value)
            note(path, "changed");
    }
    for (const auto& entry : before)
        if (!after.count(entry.first)) note(entry.first, "removed");
    return out;
}

// A late-bound call with the member's own result: a failing member reaches
// its caller as an exception that carries the code.
HRESULT Call(IDispatch* target, DISPID id, WORD kind, std::vector<VARIANT> args,
             VARIANT* result = nullptr) {
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = kind == DISPATCH_PROPERTYPUT;
    DISPPARAMS params = {args.data(), put ? &named : nullptr, static_cast<UINT>(args.size()),
                         put ? 1u : 0u};
    EXCEPINFO error = {};
    HRESULT hr = target->Invoke(id, IID_NULL, 0, kind, &params, result, &error, nullptr);
    SysFreeString(error.bstrSource);
    SysFreeString(error.bstrDescription);
    SysFreeString(error.bstrHelpFile);
    return hr == DISP_E_EXCEPTION && FAILED(error.scode) ? error.scode : hr;
}

class Trust : public AgentSuite {
  protected:
    void SetUp() override {
        AgentSuite::SetUp();
        before_ = TakeSnapshot();
    }
    void TearDown() override {
        EXPECT_EQ(Differences(before_, TakeSnapshot()), "") << "written outside the product key";
    }

    // A settings object in the running settings service, pointed at a path.
    static HRESULT Aim(LateBound& reg, LONG root, const wchar_t* const (&parts)[5]) {
        HRESULT hr = reg.Create(L"KrellinSvc.Registry.1", CLSCTX_LOCAL_SERVER);
        if (SUCCEEDED(hr)) hr = reg.Put(L"TopLevelKey", "I", root);
        static const wchar_t* const names[] = {L"TopFolder", L"Company", L"Product", L"Version",
                                               L"SubFolder"};
        for (int i = 0; i < 5 && SUCCEEDED(hr); ++i)
            if (parts[i]) hr = reg.Put(names[i], "s", parts[i]);
        return hr;
    }

    Snapshot before_;
};

TEST_F(Trust, TheSettingsServiceActsOnlyOnTheProductKey) {
    struct Attack {
        const char* what;
        LONG root;
        const wchar_t* parts[5];
    } const attacks[] = {
        {"logon programs", kMachine,
         {L"Software", L"Microsoft", L"Windows", L"CurrentVersion", L"Run"}},
        {"logon programs in one part", kMachine,
         {L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"", L""}},
        {"a service's program", kMachine,
         {L"System", L"CurrentControlSet", L"Services", L"KrellinSvc", nullptr}},
        {"a class's server", kClasses,
         {L"CLSID", L"{E123E9FA-7DAD-4606-8655-073299C61F8B}", L"LocalServer32"}},
        {"a class's server under Software", kMachine,
         {L"Software", L"Classes\\CLSID", L"{E123E9FA-7DAD-4606-8655-073299C61F8B}", L"",
          L"LocalServer32"}},
        {"another user's settings", kUsers, {L".Default", L"Software", L"Wine"}},
        {"the user's own software key", kUser, {L"Software", nullptr, nullptr}},
        {"the company key above the product", kMachine, {L"Software", L"Quandrel, Inc.", L""}},
        {"a look-alike product", kMachine,
         {L"Software", L"Quandrel, Inc.", L"Vornix! Popup Blocker Plus"}},
        {"an empty level", kMachine,
         {L"Software", L"\\Quandrel, Inc.", L"Vornix! Popup Blocker\\..\\..", L"Run"}},
        {"the product path under another root", kUsers,
         {L"Software", L"Quandrel, Inc.", L"Vornix! Popup Blocker"}},
        {"a handle value as the root", 0x100,
         {L"Software", L"Quandrel, Inc.", L"Vornix! Popup Blocker"}},
    };
    for (const Attack& a : attacks) {
        SCOPED_TRACE(a.what);
        LateBound late;
        ASSERT_EQ(Aim(late, a.root, a.parts), S_OK);
        // Through the interface's table: its results as the member gives them.
        ComPtr<IRegistry2> reg;
        ASSERT_EQ(late.Dispatch()->QueryInterface(IID_IRegistry2, reg.PutVoid()), S_OK);
        Bstr name(L"VxAttack"), evil(L"C:\\evil.exe"), secret(L"ProductName");
        EXPECT_EQ(reg->SetAppString(name.Get(), evil.Get()), E_ACCESSDENIED);
        EXPECT_EQ(reg->SetAppDWORD(name.Get(), 1), E_ACCESSDENIED);
        EXPECT_EQ(reg->SetAppList(name.Get(), evil.Get()), E_ACCESSDENIED);
        Bstr lines;
        EXPECT_EQ(reg->GetAppList(secret.Get(), lines.Put()), E_ACCESSDENIED);
        EXPECT_TRUE(lines.IsNull());
        LONG number = 55;
        Bstr text(std::wstring(260, L'k').c_str());
        BSTR raw = text.Detach();
        EXPECT_EQ(reg->GetAppDWORD(name.Get(), &number), E_ACCESSDENIED);
        EXPECT_EQ(reg->GetAppString(secret.Get(), &raw), E_ACCESSDENIED);
        text = Bstr::Attach(raw);
        EXPECT_EQ(number, 55);
        EXPECT_EQ(std::wstring(text.Get() ? text.Get() : L""), std::wstring(260, L'k'));
    }
    // The product's own keys, below both roots, stay reachable.
    for (LONG root : {kMachine, kUser}) {
        LateBound late;
        ASSERT_EQ(Aim(late, root, {L"Software", L"Quandrel, Inc.", L"Vornix! Popup Blocker",
                                   L"no such version"}),
                  S_OK);
        ComPtr<IRegistry2> reg;
        ASSERT_EQ(late.Dispatch()->QueryInterface(IID_IRegistry2, reg.PutVoid()), S_OK);
        EXPECT_EQ(reg->SetAppDWORD(Bstr(L"VxAttack").Get(), 1), S_OK) << "a missing key";
    }
    // A list beyond the bounds writes nothing.
    LateBound late;
    ASSERT_EQ(Aim(late, kMachine,
                  {L"Software", L"Quandrel, Inc.", L"Vornix! Popup Blocker", L"1.00.000"}),
              S_OK);
    ComPtr<IRegistry2> reg;
    ASSERT_EQ(late.Dispatch()->QueryInterface(IID_IRegistry2, reg.PutVoid()), S_OK);
    Bstr name(L"VxList"), lines;
    ASSERT_EQ(reg->SetAppList(name.Get(), Bstr(L"a\r\nb").Get()), S_OK);
    std::wstring tooMany;
    for (int i = 0; i <= 4096; ++i)
        tooMany += L"x\r\n";
    for (const std::wstring& list : {tooMany, std::wstring(256, L'a'), std::wstring(L"a\0b", 3)})
        EXPECT_EQ(
            reg->SetAppList(name.Get(), Bstr(list.data(), static_cast<UINT>(list.size())).Get()),
            E_INVALIDARG);
    EXPECT_EQ(reg->GetAppList(name.Get(), lines.Put()), S_OK);
    EXPECT_STREQ(L"a\r\nb", lines.Text());
    DeleteValue(HKEY_LOCAL_MACHINE, PopupRig::kSettingsKey, L"VxList");
}

// Who may call or start each server, as its registration tells COM: SYSTEM,
// the Administrators and the interactive users, locally, and nobody else.
TEST_F(Trust, OnlyLocalSystemAdministratorsAndInteractiveUsersMayCallTheServers) {
    const WELL_KNOWN_SID_TYPE allowed[] = {WinLocalSystemSid, WinBuiltinAdministratorsSid,
                                           WinInteractiveSid};
    for (const wchar_t* appId : {L"AppID\\{9559EC2F-9842-45B7-98B5-5228E20E1812}",
                                 L"AppID\\{C88DD343-43BB-48EE-8BCE-8DB5EAC74395}"}) {
        for (auto [value, rights] : {std::pair{L"AccessPermission", 0x3u},
                                     std::pair{L"LaunchPermission", 0xBu}}) {
            SCOPED_TRACE(Narrow(appId) + " " + Narrow(value));
            std::vector<BYTE> data(4096);
            DWORD size = static_cast<DWORD>(data.size());
            ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, appId, value, RRF_RT_REG_BINARY, nullptr,
                                   data.data(), &size),
                      ERROR_SUCCESS);
            BOOL present = FALSE, defaulted = FALSE;
            ACL* dacl = nullptr;
            ASSERT_TRUE(GetSecurityDescriptorDacl(data.data(), &present, &dacl, &defaulted));
            ASSERT_TRUE(present && dacl) << "a missing list lets everybody in";
            ASSERT_EQ(dacl->AceCount, std::size(allowed));
            for (DWORD i = 0; i < dacl->AceCount; ++i) {
                ACCESS_ALLOWED_ACE* ace = nullptr;
                ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
                EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
                EXPECT_EQ(ace->Mask, rights) << "local calls and starts only";
                BYTE sid[SECURITY_MAX_SID_SIZE];
                DWORD sidSize = sizeof sid;
                ASSERT_TRUE(CreateWellKnownSid(allowed[i], nullptr, sid, &sidSize));
                EXPECT_TRUE(EqualSid(sid, &ace->SidStart)) << "entry " << i;
            }
        }
    }
}

TEST_F(Trust, AScriptClientGetsNoFurther) {
    const std::wstring script = L"cscript.exe //nologo " + Quoted(BesideTest(L"hostile_user.js"));
    // The scripting host registers its own interfaces on its first run.
    ASSERT_EQ(RunAndWait(script + L" warm-up", 120000), 0u);
    before_ = TakeSnapshot();
    DWORD code = RunAndWait(script, 120000);
    EXPECT_EQ(code, 0u) << "an attack went through (or the script did not run)";
}

TEST_F(Trust, SoundFilesAreLocalFiles) {
    std::optional<std::wstring> before = Agent().Text(L"AudioFileName");
    ASSERT_TRUE(before);
    for (const wchar_t* path :
         {L"\\\\attacker\\share\\a.wav", L"//attacker/share/a.wav", L"\\\\?\\UNC\\attacker\\s\\a.wav",
          L"\\\\.\\pipe\\a", L"\\??\\UNC\\attacker\\s\\a.wav", L"http://attacker/a.wav",
          L"file://attacker/share/a.wav"}) {
        Bstr text(path);
        VARIANT arg;
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = text.Get();
        EXPECT_EQ(Call(Agent().Dispatch(), 5, DISPATCH_PROPERTYPUT, {arg}), E_INVALIDARG)
            << Narrow(path);
        EXPECT_EQ(Agent().Text(L"AudioFileName"), before);
    }
}

// The servers' automation surfaces under random calls: any member, any
// kind of call, arguments of any type and length, embedded NULs and
// non-Latin text. Reproducible from the run number it prints.
class Fuzz {
  public:
    explicit Fuzz(unsigned run) : random_(run) {}

    VARIANT Argument(std::vector<vx::Bstr>* keep, std::vector<LONG>* numbers) {
        VARIANT v;
        VariantInit(&v);
        switch (Pick(8)) {
        case 0: break; // VT_EMPTY
        case 1: V_VT(&v) = VT_NULL; break;
        case 2:
            V_VT(&v) = VT_I4;
            V_I4(&v) = static_cast<LONG>(random_());
            break;
        case 3:
            V_VT(&v) = VT_R8;
            V_R8(&v) = static_cast<double>(static_cast<LONG>(random_())) / 7.0;
            break;
        case 4:
            V_VT(&v) = VT_BOOL;
            V_BOOL(&v) = Pick(2) ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case 5:
            numbers->push_back(static_cast<LONG>(random_()));
            V_VT(&v) = VT_I4 | VT_BYREF;
            V_I4REF(&v) = &numbers->back();
            break;
        default:
            keep->emplace_back(Text());
            V_VT(&v) = VT_BSTR;
            V_BSTR(&v) = keep->back().Get();
            break;
        }
        return v;
    }

    // A path part the attacker would try, or random text.
    vx::Bstr PathPart() {
        static const wchar_t* const parts[] = {L"Software", L"Quandrel, Inc.",
                                               L"Vornix! Popup Blocker", L"1.00.000",
                                               L"Microsoft\\Windows\\CurrentVersion\\Run",
                                               L"System", L"..", L"", L"\\"};
        return Pick(4) ? vx::Bstr(parts[Pick(std::size(parts))]) : Text();
    }

    vx::Bstr Text() {
        static const size_t lengths[] = {0, 1, 3, 259, 260, 261, 1000, 100000};
        size_t length = Pick(3) ? Pick(300) : lengths[Pick(std::size(lengths))];
        std::wstring text(length, L'a');
        for (auto& c : text) {
            switch (Pick(6)) {
            case 0: c = 0; break;
            case 1: c = static_cast<wchar_t>(0x80 + Pick(0x80)); break;
            case 2: c = static_cast<wchar_t>(0x400 + Pick(0x9000)); break;
            case 3: c = L'\\'; break;
            default: c = static_cast<wchar_t>(L' ' + Pick(95)); break;
            }
        }
        return vx::Bstr(text.data(), static_cast<UINT>(text.size()));
    }

    size_t Pick(size_t n) { return static_cast<size_t>(random_() % n); }

  private:
    std::mt19937 random_;
};

HRESULT FuzzCall(Fuzz& fuzz, IDispatch* target, DISPID id, bool pathPut) {
    static const WORD kinds[] = {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                                 DISPATCH_METHOD | DISPATCH_PROPERTYGET};
    WORD kind = pathPut ? DISPATCH_PROPERTYPUT : kinds[fuzz.Pick(std::size(kinds))];
    std::vector<vx::Bstr> keep;
    std::vector<LONG> numbers;
    numbers.reserve(4);
    std::vector<VARIANT> args;
    size_t count = kind == DISPATCH_PROPERTYPUT ? 1 : fuzz.Pick(4);
    for (size_t i = 0; i < count; ++i) args.push_back(fuzz.Argument(&keep, &numbers));
    if (pathPut) {
        keep.push_back(fuzz.PathPart());
        V_VT(&args[0]) = VT_BSTR;
        V_BSTR(&args[0]) = keep.back().Get();
    }
    vx::Variant result;
    return Call(target, id, kind, std::move(args),
                kind == DISPATCH_PROPERTYPUT ? nullptr : result.Get());
}

TEST_F(Trust, RandomCallsCrashNothingAndWriteNothingOutsideTheProductKey) {
    unsigned run = 20261207;
    if (const char* given = getenv("VORNIX_FUZZ_RUN")) run = static_cast<unsigned>(atoi(given));
    std::printf("fuzz run %u (set VORNIX_FUZZ_RUN to repeat it)\n", run);
    Fuzz fuzz(run);

    // The agent's settings, put back afterwards.
    static const wchar_t* const kSettings[] = {L"MuteAudio", L"AllowSameSite", L"KillFixedSize",
                                               L"AllowUserInitiated", L"NotifyOnBlock"};
    std::vector<LONG> settings;
    for (const wchar_t* name : kSettings) settings.push_back(Agent().Long(name).value_or(1));
    std::optional<LONG> keys = Agent().Long(L"BypassKeys");
    std::optional<std::wstring> sound = Agent().Text(L"AudioFileName");
    std::optional<std::wstring> sites = Agent().Text(L"AllowedSites");

    LateBound registries[3];
    for (auto& reg : registries) ASSERT_EQ(reg.Create(L"KrellinSvc.Registry.1", CLSCTX_LOCAL_SERVER), S_OK);
    const DWORD deadline = GetTickCount() + 25000;
    int calls = 0;
    for (; calls < 2000 && GetTickCount() < deadline; ++calls) {
        if (fuzz.Pick(3) == 0) {
            // The agent, but not Quit (1), no hiding of its window or icon
            // (2, 6): each hide costs seconds without a window manager, and
            // no new browser windows (16).
            DISPID id = static_cast<DISPID>(1 + fuzz.Pick(16));
            if (id == 1 || id == 2 || id == 6 || id == 16) id = 3;
            FuzzCall(fuzz, Agent().Dispatch(), id, false);
        } else {
            DISPID id = static_cast<DISPID>(1 + fuzz.Pick(15));
            FuzzCall(fuzz, registries[fuzz.Pick(3)].Dispatch(), id, id >= 6 && id <= 10);
        }
    }
    std::printf("%d calls\n", calls);

    EXPECT_EQ(Agent().Long(L"IsServeReady"), 1) << "the agent still answers";
    LateBound reg;
    ASSERT_EQ(Aim(reg, kMachine, {L"Software", L"Quandrel, Inc.", L"Vornix! Popup Blocker",
                                  L"1.00.000"}),
              S_OK)
        << "the settings service still answers";
    for (size_t i = 0; i < std::size(kSettings); ++i)
        EXPECT_EQ(Agent().Put(kSettings[i], "I", settings[i]), S_OK);
    if (keys) {
        EXPECT_EQ(Agent().Put(L"BypassKeys", "i", static_cast<int>(*keys)), S_OK);
    }
    if (sound) {
        EXPECT_EQ(Agent().Put(L"AudioFileName", "s", sound->c_str()), S_OK);
    }
    if (sites) {
        EXPECT_EQ(Agent().Put(L"AllowedSites", "s", sites->c_str()), S_OK);
    }
}

} // namespace
