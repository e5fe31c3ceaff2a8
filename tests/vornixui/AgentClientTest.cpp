// The control panel's connection to the agent; what it sends and shows is
// tested through the dialog (ControlPanelDialogTest.cpp).
#include "VornixUI/AgentClient.h"
#include "PanelFakes.h"

#include <gtest/gtest.h>

namespace vx::test {
namespace {

class AgentClientTest : public ::testing::Test {
  protected:
    ComApartment apartment;
    DesktopRecorder desktop;
};

TEST_F(AgentClientTest, ReadinessIsAwaitedOnceWithFortyNinePausesAtMost) {
    const struct {
        const char* name;
        int readyAt;
        long readyValue;
        int queries, pauses;
        bool warned;
    } cases[] = {
        {"ready at once", 1, 1, 1, 0, false},
        {"ready at the 50th query", 50, 1, 50, 49, false},
        {"never ready", 0, 1, 50, 49, true},
        {"nonzero only above the low half", 1, 0x10000, 50, 49, true},
        {"0xFFFF counts as ready", 1, 0xFFFF, 1, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        desktop.events.clear();
        AgentServer server([&](FakeAgent& a) {
            a.readyAtQuery = c.readyAt;
            a.readyValue = c.readyValue;
        });
        ASSERT_HRESULT_SUCCEEDED(server.Registered());
        AgentClient client;
        client.ReadVisible();
        EXPECT_EQ(server.Last().readyQueries, c.queries);
        EXPECT_EQ(desktop.Count("pause:100"), c.pauses);
        // Once ready, never asked again; until then every call waits anew.
        client.WriteMuteAudio(1);
        EXPECT_EQ(server.Last().readyQueries, c.warned ? 2 * c.queries : c.queries);
        EXPECT_EQ(desktop.Count("box:"), c.warned ? 2 : 0) << "a warning for each call";
        // The calls are made whether or not the agent said it was ready.
        EXPECT_EQ(server.log.back(), "put MuteAudio=bool:-1");
    }
}

TEST_F(AgentClientTest, AFailedCallIsReportedOnceAndTheClientStaysUsableUntilItLetsGo) {
    AgentServer server;
    {
        AgentClient client;
        FakeAgent& agent = server.Last();
        agent.numbers[L"BlockedCount"] = 7;
        // The server going away mid-call, as when the agent quits.
        agent.failures = {{L"BlockedCount", RPC_E_SERVER_DIED}};
        EXPECT_EQ(client.ReadBlockedCount(), 0);
        EXPECT_EQ(desktop.boxTexts.size(), 1u);
        agent.failures.clear();
        EXPECT_EQ(client.ReadBlockedCount(), 7);
        EXPECT_EQ(desktop.boxTexts.size(), 1u) << "nothing retried";
    }
    EXPECT_EQ(server.Last().Refs(), 1u) << "the client let go of the agent";
}

TEST_F(AgentClientTest, SoundPathsCrossInTheAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs code page 1252";
    AgentServer server;
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
    ASSERT_EQ(desktop.events, (std::vector<std::string>{"box:caption A", "box:caption B"}));
    EXPECT_EQ(desktop.boxTexts[0].find("0x"), std::string::npos) << desktop.boxTexts[0];
    EXPECT_NE(desktop.boxTexts[0].find_first_not_of(" \r\n"), std::string::npos);
    EXPECT_NE(desktop.boxTexts[1].find("0xA0BC1234"), std::string::npos) << desktop.boxTexts[1];
}

} // namespace
} // namespace vx::test
