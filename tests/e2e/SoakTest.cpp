#include "AgentSuite.h"

#include <psapi.h>
#include <winternl.h>

#include <cstdio>

using namespace vx;
using namespace vx::test;

namespace {

class Soak : public AgentSuite {};

constexpr int kWarmUp = 100, kPopups = 1000;
// About five log lines of ~80 characters per popup, plus what the heap keeps.
constexpr SIZE_T kMemoryGrowth = 8u << 20;

struct ProcessFigures {
    DWORD handles = 0; // 0: unread
    SIZE_T privateBytes = 0, workingSet = 0;
};

// Wine answers 0 for any process's handle count, so it is read from the
// process list; the page-file usage is the commit (Windows: the private bytes).
ProcessFigures ReadFigures(HANDLE process) {
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, &memory, sizeof memory);
    ProcessFigures figures = {0, memory.PagefileUsage, memory.WorkingSetSize};
    std::vector<BYTE> list(1 << 20);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(SystemProcessInformation, list.data(),
                                              static_cast<ULONG>(list.size()), nullptr)) ==
           static_cast<NTSTATUS>(0xC0000004L)) // STATUS_INFO_LENGTH_MISMATCH
        list.resize(list.size() * 2);
    for (size_t at = 0, next = 1; status >= 0 && next; at += next) {
        auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(list.data() + at);
        if (HandleToULong(entry->UniqueProcessId) == GetProcessId(process))
            figures.handles = entry->HandleCount;
        next = entry->NextEntryOffset;
    }
    return figures;
}

ProcessFigures RunPopups(PopupRig& rig, int from, int to, int* wrong) {
    static const wchar_t* const kAllowed[] = {L"http://shop.opener.com/item",
                                              L"http://news.favourite-paper.com/story",
                                              L"http://www.quandrel.com/page"};
    for (int i = from; i < to; ++i) {
        // A block costs the agent three settings-service round trips; one in
        // four keeps the run short and still blocks 250 popups.
        bool block = i % 4 == 0;
        std::wstring url = block ? L"http://ads" + std::to_wstring(i % 7) +
                                       L".elsewhere-network.net/" + std::to_wstring(i)
                                 : kAllowed[i % 3] + std::to_wstring(i);
        PopupRig::Outcome popup = rig.Popup(url.c_str());
        if (popup.state != (block ? PopupRig::kBlocked : PopupRig::kShown)) ++*wrong;
        if (!block) rig.Browser().Do(L"CloseWindow", "I", popup.id);
    }
    PumpFor(500);
    ProcessFigures figures = ReadFigures(rig.AgentProcess().Process());
    EXPECT_NE(figures.handles, 0u);
    return figures;
}

TEST_F(Soak, AThousandPopupsLeaveHandlesAndMemoryFlat) {
    LONG before = PopupRig::StoredBlockCount();
    int wrong = 0;
    ProcessFigures warm = RunPopups(Rig(), 0, kWarmUp, &wrong);
    ASSERT_EQ(wrong, 0);
    ProcessFigures end = RunPopups(Rig(), kWarmUp, kPopups, &wrong);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(PopupRig::SettledBlockCount(before + kPopups / 4), before + kPopups / 4);
    EXPECT_EQ(Agent().Long(L"IsServeReady"), 1);
    std::printf("agent after warm-up and at the end: handles %lu %lu, private KB %zu %zu\n",
                static_cast<unsigned long>(warm.handles), static_cast<unsigned long>(end.handles),
                warm.privateBytes >> 10, end.privateBytes >> 10);
    EXPECT_LE(end.handles, warm.handles + 20);
    EXPECT_LE(end.privateBytes, warm.privateBytes + kMemoryGrowth);
    EXPECT_LE(end.workingSet, warm.workingSet + kMemoryGrowth);
}

} // namespace
