// The control panel's connection to the agent; what it sends and shows is
// tested through the dialog (ControlPanelDialogTest.cpp).
#include "VornixUI/AgentClient.h"
#include "PanelFakes.h"

#include <gtest/gtest.h>

namespace vx::test {
namespace {

struct AgentClientTest : ::testing::Test {
    ComApartment apartment;
    DesktopRecorder desktop;
};

TEST_F(AgentClientTest, ReadinessIsAwaitedOnceWithFortyNinePausesAtMost) {
    const struct {
        const char* name;
        int readyAt;
        long readyValue;
        int queries;
        bool warned;
    } cases[] = {
        {"ready at once", 1, 1, 1, false},
        {"ready at the 50th query", 50, 1, 50, false},
        {"never ready", 0, 1, 50, true},
        {"nonzero only above the low half", 1, 0x10000, 50, true},
        {"0xFFFF counts as ready", 1, 0xFFFF, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AgentServer server(desktop.log, [&](FakeAgent& a) {
            a.readyAt = c.readyAt;
            a.readyValue = c.readyValue;
        });
        AgentClient client;
        desktop.Forget();
        client.ReadVisible();
        client.WriteMuteAudio(1);
        // Once ready, never asked again; until then every call waits anew,
        // warns, and is made all the same.
        std::string waits;
        for (int i = 1; i < c.queries; ++i)
            waits += "get IsServeReady; pause:100; ";
        waits += "get IsServeReady; " + std::string(c.warned ? "box:Vornix!; " : "");
        EXPECT_EQ(desktop.log,
                  waits + "get Visible; " + (c.warned ? waits : "") + "put MuteAudio=-1; ");
    }
}

TEST_F(AgentClientTest, AFailedCallIsReportedOnceAndTheClientStaysUsableUntilItLetsGo) {
    AgentServer server(desktop.log);
    {
        AgentClient client;
        FakeAgent& agent = server.Last();
        agent.numbers[L"BlockedCount"] = 7;
        // The server going away mid-call, as when the agent quits.
        agent.failures = {{L"BlockedCount", RPC_E_SERVER_DIED}};
        EXPECT_EQ(client.ReadBlockedCount(), 0);
        agent.failures.clear();
        EXPECT_EQ(client.ReadBlockedCount(), 7);
        EXPECT_EQ(desktop.boxTexts.size(), 1u) << "nothing retried";
    }
    EXPECT_EQ(server.Last().Refs(), 1u) << "the client let go of the agent";
}

TEST_F(AgentClientTest, SoundPathsCrossInTheAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs code page 1252";
    AgentServer server(desktop.log);
    AgentClient client;
    FakeAgent& agent = server.Last();
    client.WriteAudioFileName("C:\\Sounds\\caf\xE9.wav");
    EXPECT_EQ(agent.texts[L"AudioFileName"], L"C:\\Sounds\\caf\u00E9.wav");
    EXPECT_EQ(client.ReadAudioFileName(), "C:\\Sounds\\caf\xE9.wav");
    // No look-alike may stand in for a missing character: it could name
    // another file that exists.
    agent.texts[L"AudioFileName"] = L"C:\\Sounds\\\u4E2D\u0100.wav";
    EXPECT_EQ(client.ReadAudioFileName(), "C:\\Sounds\\??.wav");
}

TEST_F(AgentClientTest, ErrorBoxShowsTheSystemTextOrSaysThereIsNone) {
    AgentClient::ReportComError("caption A", E_ACCESSDENIED);
    AgentClient::ReportComError("caption B", static_cast<HRESULT>(0xA0BC1234));
    ASSERT_EQ(desktop.log, "box:caption A; box:caption B; ");
    EXPECT_EQ(desktop.boxTexts[0].find("0x"), std::string::npos) << desktop.boxTexts[0];
    EXPECT_NE(desktop.boxTexts[0].find_first_not_of(" \r\n"), std::string::npos);
    EXPECT_NE(desktop.boxTexts[1].find("0xA0BC1234"), std::string::npos) << desktop.boxTexts[1];
}

} // namespace
} // namespace vx::test
