#include "AgentSuite.h"

#include <atomic>
#include <regex>
#include <thread>

using namespace vx;
using namespace vx::test;

namespace {

class Faults : public AgentSuite {};

// A block that arrives while the agent reads the count for a client still counts.
TEST_F(Faults, ClientsComingGoingAndDyingDoNotDisturbTheJudging) {
    constexpr int kPopups = 30, kBlocked = 20;
    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0}, failures{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 3; ++i)
        clients.emplace_back([&] {
            ComApartment apartment(COINIT_MULTITHREADED);
            for (; !stop; ++rounds) {
                LateBound client;
                if (FAILED(client.Create(L"Krellin.KrellinIF.1", CLSCTX_LOCAL_SERVER)) ||
                    client.Long(L"IsServeReady") != 1 || !client.Long(L"BlockedCount"))
                    ++failures;
            }
        });
    ScopedHandle script = StartProcess(Script(L"churn"));
    EXPECT_TRUE(script);
    LONG before = PopupRig::StoredBlockCount();
    int wrong = 0;
    for (int i = 0; i < kPopups; ++i) {
        bool block = i % 3 != 2;
        std::wstring site = block ? L"http://ad.elsewhere.net/" : L"http://shop.opener.com/";
        PopupRig::Outcome popup = Rig().Popup((site + std::to_wstring(i)).c_str());
        if (popup.state != (block ? PopupRig::kBlocked : PopupRig::kShown)) ++wrong;
        if (!block) CloseWindow(popup.id);
        if (i == kPopups / 2 && script) TerminateProcess(script.Get(), 1);
    }
    stop = true;
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(PopupRig::SettledBlockCount(before + kBlocked), before + kBlocked);
    EXPECT_GT(rounds.load(), 0);
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(Agent().Long(L"IsServeReady"), 1);
}

// Wine's RpcSs may still hand out a killed server's registration, so that no
// new one can start: the agent must then say so and leave the stored count be.
TEST_F(Faults, SettingsServiceGoneWhileTheAgentRunsLosesNoCount) {
    for (bool kill : {false, true}) {
        SCOPED_TRACE(kill ? "killed" : "ended");
        ASSERT_EQ(Rig().Popup(L"http://ads.elsewhere-network.net/before").state,
                  PopupRig::kBlocked);
        ASSERT_FALSE(FindProcesses(L"KrellinSvc.exe").empty()) << "no settings service runs";
        LONG before = PopupRig::StoredBlockCount();
        Rig().EndSettingsService(kill);
        ASSERT_TRUE(FindProcesses(L"KrellinSvc.exe").empty());
        size_t from = Log().Lines().size();
        EXPECT_EQ(Rig().Popup(L"http://ads.elsewhere-network.net/after").state, PopupRig::kBlocked);
        EXPECT_EQ(Agent().Long(L"IsServeReady"), 1);
        bool restarted = !kill || !FindProcesses(L"KrellinSvc.exe").empty();
        EXPECT_EQ(PopupRig::StoredBlockCount(), before + restarted);
        EXPECT_TRUE(restarted || Log().WaitForLine("Explorer Creation Error...", from, 5000) !=
                                     CapturedProcess::kNotFound);
        EXPECT_TRUE(!restarted || Agent().Long(L"BlockedCount") == before + 1);
    }
}

// Last in the suite: the agent quits cleanly although the browser it watched
// cannot be disconnected from.
TEST_F(Faults, BrowserVanishingMidEventLeavesTheAgentServingUntilItQuits) {
    size_t from = Log().Lines().size();
    HANDLE browserProcess = Rig().DoubleProcess();
    std::thread killer([&] {
        Log().WaitForLine("NewWindow2 Event : IE Popup Attempt...", from, 10000);
        TerminateProcess(browserProcess, 1);
    });
    Rig().Popup(L"http://ads.elsewhere-network.net/vanishing");
    killer.join();
    Rig().KillDouble();
    Rig().ForgetDeadServers();
    EXPECT_TRUE(IsRunning(Log().Process()));
    EXPECT_EQ(Agent().Long(L"IsServeReady"), 1);
    EXPECT_TRUE(Agent().Long(L"BlockedCount"));

    ASSERT_EQ(Rig().StartDouble(), S_OK) << Rig().FailedStep();
    LONG page = Browser().Long(L"OpenWindow", "sbb", PopupRig::kOpenerUrl, 0, 1).value_or(0);
    EXPECT_TRUE(Browser().Long(L"OpenPopup", "Is", page, L"http://ads.elsewhere-network.net/"));
    EXPECT_EQ(Browser().Long(L"Navigate", "Is", page, L"http://www.opener.com/next"), 0L);
    EXPECT_EQ(Agent().Long(L"IsServeReady"), 1);
    EXPECT_EQ(Agent().Do(L"Quit"), S_OK);
    EXPECT_EQ(WaitForExit(Log().Process(), 20000), 0u);
    EXPECT_NE(Log().WaitForLine("XShell Unadvise Error...", from, 5000),
              CapturedProcess::kNotFound);
    const std::regex stamped(
        "[A-Za-z]{3} [A-Za-z]{3} [0-9 ]{2} [0-9 ]{2}:[0-9 ]{2}:[0-9 ]{2} [0-9 ]{4} : .*");
    std::vector<std::string> lines = Log().Lines();
    for (size_t i = from; i < lines.size(); ++i)
        EXPECT_TRUE(std::regex_match(lines[i], stamped)) << "not a status-log line: " << lines[i];
    EXPECT_FALSE(Agent().Long(L"IsServeReady"));
}

} // namespace
