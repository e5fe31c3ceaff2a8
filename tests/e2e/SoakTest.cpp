// A thousand popups, one in four blocked, against one running agent:
// after a warm-up its handle count must stay flat and its memory grow by
// little more than its status log does.
#include "AgentSuite.h"

#include <cstdio>

using namespace vx;
using namespace vx::test;

namespace {

class Soak : public AgentSuite {};

constexpr int kWarmUp = 100;
constexpr int kPopups = 1000;
constexpr DWORD kHandleGrowth = 20;
// About five log lines of ~80 characters per popup, plus what the heap keeps.
constexpr SIZE_T kMemoryGrowth = 8u << 20;

// Answers how many popups were judged otherwise than expected.
int RunPopups(PopupRig& rig, int from, int to) {
    static const wchar_t* const kAllowed[] = {L"http://shop.opener.com/item",
                                              L"http://news.favourite-paper.com/story",
                                              L"http://www.quandrel.com/page"};
    int wrong = 0;
    for (int i = from; i < to; ++i) {
        // A block costs the agent three settings-service round trips; one in
        // four keeps the run short and still blocks 250 popups.
        bool block = i % 4 == 0;
        std::wstring url = block ? L"http://ads" + std::to_wstring(i % 7) +
                                       L".elsewhere-network.net/" + std::to_wstring(i)
                                 : kAllowed[i % 3] + std::to_wstring(i);
        LateBound& browser = rig.Browser();
        LONG id = browser.Long(L"OpenPopup", "Is", rig.Opener(), url.c_str()).value_or(0);
        // One question per popup: only a block cancels, only an allowed
        // popup is made visible.
        if (browser.Bool(block ? L"WasCancelled" : L"IsVisible", "I", id) != true) ++wrong;
        if (!block) browser.Do(L"CloseWindow", "I", id);
    }
    return wrong;
}

ProcessFigures Measure(HANDLE process) {
    // Lets the agent finish what the last popup left (releases, repaints).
    PumpFor(500);
    ProcessFigures figures;
    EXPECT_TRUE(ReadProcessFigures(process, &figures)) << "error " << GetLastError();
    return figures;
}

void Print(const char* when, const ProcessFigures& f, size_t logLines) {
    std::printf("agent after %-9s handles %5lu  private %8.1f KB  working set %8.1f KB  "
                "log lines %zu\n",
                when, static_cast<unsigned long>(f.handles), f.privateBytes / 1024.0,
                f.workingSet / 1024.0, logLines);
}

TEST_F(Soak, AThousandPopupsLeaveHandlesAndMemoryFlat) {
    HANDLE agent = Log().Process();
    LONG before = PopupRig::StoredBlockCount();
    DWORD started = GetTickCount();
    ASSERT_EQ(RunPopups(Rig(), 0, kWarmUp), 0);
    ProcessFigures warm = Measure(agent);
    Print("warm-up", warm, Log().LineCount());
    EXPECT_EQ(RunPopups(Rig(), kWarmUp, kPopups), 0);
    ProcessFigures end = Measure(agent);
    Print("1,000", end, Log().LineCount());
    std::printf("%d popups in %.1f s\n", kPopups, (GetTickCount() - started) / 1000.0);

    EXPECT_EQ(PopupRig::SettledBlockCount(before + kPopups / 4), before + kPopups / 4);
    EXPECT_EQ(Agent().Long(L"IsServeReady"), 1);
    EXPECT_LE(end.handles, warm.handles + kHandleGrowth);
    EXPECT_LE(end.privateBytes, warm.privateBytes + kMemoryGrowth);
    EXPECT_LE(end.workingSet, warm.workingSet + kMemoryGrowth);
}

} // namespace
