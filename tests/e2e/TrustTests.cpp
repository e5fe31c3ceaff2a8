#include "AgentSuite.h"
#include "tests/support/RegistryTools.h"

#include <algorithm>
#include <map>
#include <random>

using namespace vx;
using namespace vx::test;

namespace {

const wchar_t kProductKey[] = L"Software\\Quandrel, Inc.\\Vornix! Popup Blocker";

using Snapshot = std::map<std::wstring, std::wstring>;

void Dump(HKEY parent, const wchar_t* subKey, const std::wstring& path, Snapshot* out) {
    RegKey key;
    DWORD keys = 0, keyLength = 0, values = 0, valueLength = 0, dataSize = 0;
    if (RegOpenKeyExW(parent, subKey, REG_OPTION_OPEN_LINK, KEY_READ, key.Put()) != ERROR_SUCCESS ||
        RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &keys, &keyLength, nullptr, &values,
                         &valueLength, &dataSize, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    (*out)[path] = L"(key)";
    std::vector<wchar_t> name(std::max(keyLength, valueLength) + 2);
    std::vector<BYTE> data(dataSize + 2);
    for (DWORD i = 0; i < values; ++i) {
        DWORD length = static_cast<DWORD>(name.size()), size = dataSize, type = 0;
        if (!RegEnumValueW(key.Get(), i, name.data(), &length, nullptr, &type, data.data(), &size))
            (*out)[path + L"|" + name.data()] =
                std::to_wstring(type) + L":" + std::wstring(data.begin(), data.begin() + size);
    }
    for (DWORD i = 0; i < keys; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        if (!RegEnumKeyExW(key.Get(), i, name.data(), &length, nullptr, nullptr, nullptr,
                           nullptr) &&
            _wcsicmp((path.substr(5) + L"\\" + name.data()).c_str(), kProductKey) != 0)
            Dump(key.Get(), name.data(), path + L"\\" + name.data(), out);
    }
}

Snapshot TakeSnapshot() {
    Snapshot snapshot;
    for (auto [root, path] :
         {std::pair{HKEY_LOCAL_MACHINE, L"HKLM\\Software"},
          std::pair{HKEY_CURRENT_USER, L"HKCU\\Software"},
          std::pair{HKEY_LOCAL_MACHINE, L"HKLM\\System\\CurrentControlSet\\Services"}})
        Dump(root, path + 5, path, &snapshot);
    return snapshot;
}

class Trust : public AgentSuite {};

std::mt19937 gRandom;
size_t Pick(size_t n) {
    return static_cast<size_t>(gRandom() % n);
}

// A path part's put is mostly a part an attacker would try.
void RandomCall(IDispatch* target, DISPID id, bool pathPut) {
    static const WORD kKinds[] = {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                                  DISPATCH_METHOD | DISPATCH_PROPERTYGET};
    static const VARTYPE kTypes[] = {VT_EMPTY, VT_NULL,          VT_I4,   VT_R8,
                                     VT_BOOL,  VT_I4 | VT_BYREF, VT_BSTR, VT_BSTR};
    static const size_t kLengths[] = {0, 1, 3, 259, 260, 261, 1000, 100000};
    // First and count: NUL, Latin-1, other scripts, the path separator, printable ASCII.
    static const std::pair<wchar_t, size_t> kChars[] = {{0, 1},     {0x80, 0x80}, {0x400, 0x9000},
                                                        {L'\\', 1}, {L' ', 95},   {L' ', 95}};
    static const wchar_t* const kParts[] = {
        L"",   L"Software", L"Quandrel, Inc.",     L"Vornix! Popup Blocker", L"1.00.000", L"System",
        L"..", L"\\",       L"Microsoft\\Windows", L"CurrentVersion\\Run"};
    WORD kind = pathPut ? DISPATCH_PROPERTYPUT : kKinds[Pick(std::size(kKinds))];
    bool put = kind == DISPATCH_PROPERTYPUT;
    std::vector<Bstr> texts;
    LONG numbers[3];
    std::vector<VARIANT> args(put ? 1 : Pick(4));
    for (size_t i = 0; i < args.size(); ++i) {
        VARIANT& v = args[i];
        V_VT(&v) = pathPut ? VARTYPE{VT_BSTR} : kTypes[Pick(std::size(kTypes))];
        LONG number = static_cast<LONG>(gRandom());
        if (V_VT(&v) == VT_I4) V_I4(&v) = number;
        if (V_VT(&v) == VT_R8) V_R8(&v) = number / 7.0;
        if (V_VT(&v) == VT_BOOL) V_BOOL(&v) = number & 1 ? VARIANT_TRUE : VARIANT_FALSE;
        if (V_VT(&v) == (VT_I4 | VT_BYREF)) V_I4REF(&v) = &(numbers[i] = number);
        if (V_VT(&v) != VT_BSTR) continue;
        std::wstring text(Pick(3) ? Pick(300) : kLengths[Pick(std::size(kLengths))], L'a');
        for (wchar_t& c : text) {
            auto [first, count] = kChars[Pick(std::size(kChars))];
            c = static_cast<wchar_t>(first + Pick(count));
        }
        if (pathPut && Pick(4)) text = kParts[Pick(std::size(kParts))];
        texts.emplace_back(text.data(), static_cast<UINT>(text.size()));
        V_BSTR(&v) = texts.back().Get();
    }
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {args.data(), put ? &named : nullptr, static_cast<UINT>(args.size()),
                         put ? 1u : 0u};
    Variant result;
    target->Invoke(id, IID_NULL, 0, kind, &params, put ? nullptr : result.Get(), nullptr, nullptr);
}

TEST_F(Trust, HostileAndRandomCallsCrashNothingAndWriteNothingOutsideTheProductKey) {
    // The scripting host registers its own interfaces on its first run.
    ASSERT_EQ(RunAndWait(Script(L"warm-up"), 120000), 2u);
    const Snapshot before = TakeSnapshot();
    EXPECT_EQ(RunAndWait(Script(L"hostile"), 120000), 2u) << "an attack went through";
    const char* given = getenv("VORNIX_FUZZ_RUN");
    unsigned run = given ? static_cast<unsigned>(atoi(given)) : 20261207;
    std::printf("fuzz run %u (set VORNIX_FUZZ_RUN to repeat it)\n", run);
    gRandom = std::mt19937(run);

    const wchar_t* const kSettings[] = {L"MuteAudio",          L"AllowSameSite", L"KillFixedSize",
                                        L"AllowUserInitiated", L"NotifyOnBlock", L"BypassKeys",
                                        L"AudioFileName",      L"AllowedSites"};
    std::vector<std::wstring> settings;
    for (const wchar_t* name : kSettings)
        settings.push_back(Agent().Text(name).value_or(L"1"));

    LateBound registries[3];
    for (auto& reg : registries)
        ASSERT_EQ(reg.Create(L"KrellinSvc.Registry.1", CLSCTX_LOCAL_SERVER), S_OK);
    const DWORD deadline = GetTickCount() + 25000;
    for (int calls = 0; calls < 2000 && GetTickCount() < deadline; ++calls) {
        // One call in three to the agent, but not Quit (1), no hiding of its
        // window or icon (2, 6): each hide costs seconds without a window
        // manager, and no new browser windows (16).
        bool agent = Pick(3) == 0;
        DISPID id = static_cast<DISPID>(1 + Pick(agent ? 16 : 15));
        if (agent && (id == 1 || id == 2 || id == 6 || id == 16)) id = 3;
        RandomCall((agent ? Agent() : registries[Pick(3)]).Dispatch(), id,
                   !agent && id >= 6 && id <= 10);
    }

    EXPECT_EQ(Agent().Long(L"IsServeReady"), 1) << "the agent still answers";
    // The objects made before the calls: a service that died and came back
    // would no longer answer them.
    EXPECT_TRUE(registries[0].Text(L"TopFolder").has_value()) << "the settings service answers";
    for (size_t i = 0; i < std::size(kSettings); ++i)
        EXPECT_EQ(Agent().Put(kSettings[i], "s", settings[i].c_str()), S_OK);
    const Snapshot after = TakeSnapshot();
    auto [b, a] = std::mismatch(before.begin(), before.end(), after.begin(), after.end());
    EXPECT_TRUE(b == before.end() && a == after.end())
        << "written outside the product key: " << (a == after.end() ? b : a)->first;
}

} // namespace
