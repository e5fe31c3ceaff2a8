#include "AgentClient.h"
#include "PanelFakes.h"

#include <gtest/gtest.h>

#include <functional>

namespace vx::test {
namespace {

class AgentClientTest : public ::testing::Test {
  protected:
    ComApartment apartment;
    DesktopRecorder desktop;
};

TEST_F(AgentClientTest, ReadinessIsAwaitedOnceWithFortyNinePausesAtMost) {
    struct Case {
        const char* name;
        int readyAt;
        long readyValue;
        int queries;
        int pauses;
        bool warned;
    };
    const Case cases[] = {
        {"ready at once", 1, 1, 1, 0, false},
        {"ready at the 50th query", 50, 1, 50, 49, false},
        {"never ready", 0, 1, 50, 49, true},
        {"nonzero only above the low half", 1, 0x10000, 50, 49, true},
        {"0xFFFF counts as ready", 1, 0xFFFF, 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desktop.events.clear();
        AgentServer server([&](FakeAgent& a) {
            a.readyAtQuery = c.readyAt;
            a.readyValue = c.readyValue;
        });
        ASSERT_HRESULT_SUCCEEDED(server.Registered());
        AgentClient client;
        ASSERT_TRUE(client.HasReference());
        client.ReadVisible();
        EXPECT_EQ(server.Last().readyQueries, c.queries);
        EXPECT_EQ(desktop.Count("pause:100"), c.pauses);
        // Once ready, never asked again; until then every call waits anew.
        client.WriteMuteAudio(1);
        EXPECT_EQ(server.Last().readyQueries, c.warned ? 2 * c.queries : c.queries);
        const std::vector<std::string> warned = {"Vornix!", "Vornix!"};
        EXPECT_EQ(desktop.Captions(), c.warned ? warned : std::vector<std::string>());
        // The calls are made whether or not the agent said it was ready.
        EXPECT_EQ(server.log.back(), "put MuteAudio=bool:-1");
    }
}

TEST_F(AgentClientTest, WithoutAnAgentEveryCallReportsAndFallsBackWithoutWaiting) {
    NoAgent absent;
    AgentClient client;
    EXPECT_FALSE(client.HasReference());
    ASSERT_EQ(desktop.Captions(), std::vector<std::string>{"VornixUI unexpected creation error"});
    desktop.events.clear();
    EXPECT_EQ(client.ReadBypassKeys(), 1);
    // No readiness queries without an object: one box for the call, no wait.
    EXPECT_EQ(desktop.events,
              std::vector<std::string>{"box:VornixUI unexpected invoke error GBK"});
    EXPECT_EQ(client.CheckReady(), 0);
    // The rest fall back in the same way; their captions are checked below.
    EXPECT_EQ(client.ReadBlockedCount(), 0);
    EXPECT_EQ(client.ReadAudioFileName(), "");
    client.Quit();
    EXPECT_EQ(desktop.Captions().back(), "VornixUI unexpected invoke error QUIT");
}

TEST_F(AgentClientTest, EveryFailedCallIsReportedUnderItsOwnCaption) {
    AgentServer server;
    AgentClient client;
    client.CheckReady();
    struct Op {
        const wchar_t* member;
        const char* code;
        std::function<long()> call; // a write answers 0
        long fallback;
    };
    auto wrote = [](std::function<void()> write) {
        return [write] {
            write();
            return 0L;
        };
    };
    const char* const g = "VornixUI unexpected invoke error ";
    // clang-format off
    const Op ops[] = {
        {L"AllowSameSite", "GSS",  [&] { return client.ReadAllowSameSite(); }, 1},
        {L"AllowSameSite", "SSS",  wrote([&] { client.WriteAllowSameSite(1); }), 0},
        {L"KillFixedSize", "GKFS", [&] { return client.ReadKillFixedSize(); }, 1},
        {L"KillFixedSize", "SKFS", wrote([&] { client.WriteKillFixedSize(1); }), 0},
        {L"BypassKeys",    "GBK",  [&] { return client.ReadBypassKeys(); }, 1},
        {L"BypassKeys",    "SBK",  wrote([&] { client.WriteBypassKeys(3); }), 0},
        {L"Visible",       "GV",   [&] { return client.ReadVisible(); }, 1},
        {L"Visible",       "SV",   wrote([&] { client.WriteVisible(1); }), 0},
        {L"BlockedCount",  "GBC",  [&] { return client.ReadBlockedCount(); }, 0},
        {L"MuteAudio",     "GMA",  [&] { return client.ReadMuteAudio(); }, 1},
        {L"MuteAudio",     "SMA",  wrote([&] { client.WriteMuteAudio(1); }), 0},
        {L"AudioFileName", "SAFN", wrote([&] { client.WriteAudioFileName("a.wav"); }), 0},
        {L"AudioFileName", "GAFN", [&] { return static_cast<long>(client.ReadAudioFileName().size()); }, 0},
        {L"ShowTray",      "GSTI", [&] { return client.ReadShowTray(); }, 1},
        {L"ShowTray",      "SSTI", wrote([&] { client.WriteShowTray(1); }), 0},
        {L"Quit",          "QUIT", wrote([&] { client.Quit(); }), 0},
    };
    // clang-format on
    FakeAgent& agent = server.Last();
    agent.numbers = {{L"Visible", 7},   {L"BlockedCount", 7},  {L"MuteAudio", 7},
                     {L"ShowTray", 7},  {L"AllowSameSite", 7}, {L"KillFixedSize", 7},
                     {L"BypassKeys", 7}};
    agent.audioFileName = L"seven.wav";
    for (const Op& op : ops) {
        const std::string caption = g + std::string(op.code);
        SCOPED_TRACE(caption);
        desktop.events.clear();
        desktop.boxTexts.clear();
        // The server going away mid-call, as when the agent quits.
        agent.failures = {{op.member, RPC_E_SERVER_DIED}};
        EXPECT_EQ(op.call(), op.fallback);
        ASSERT_EQ(desktop.Captions(), std::vector<std::string>{caption});
        EXPECT_FALSE(desktop.boxTexts[0].empty());
    }
    // Nothing is retried, and the client stays usable.
    agent.failures.clear();
    EXPECT_EQ(client.ReadBlockedCount(), 7);
}

TEST_F(AgentClientTest, ValuesTravelInTheirDeclaredForms) {
    AgentServer server;
    AgentClient client;
    FakeAgent& agent = server.Last();
    struct Write {
        std::function<void()> write;
        const char* logged;
    };
    const Write writes[] = {
        {[&] { client.WriteVisible(5); }, "put Visible=bool:-1"},
        {[&] { client.WriteVisible(0); }, "put Visible=bool:0"},
        {[&] { client.WriteMuteAudio(-1); }, "put MuteAudio=bool:-1"},
        {[&] { client.WriteAllowSameSite(2); }, "put AllowSameSite=bool:-1"},
        {[&] { client.WriteKillFixedSize(0); }, "put KillFixedSize=bool:0"},
        {[&] { client.WriteShowTray(1); }, "put ShowTray=bool:-1"},
        {[&] { client.WriteBypassKeys(0x10005); }, "put BypassKeys=i2:5"},
        {[&] { client.WriteBypassKeys(7); }, "put BypassKeys=i2:7"},
        {[&] { client.WriteAudioFileName("C:\\media\\ding.wav"); },
         "put AudioFileName=bstr:C:\\media\\ding.wav"},
    };
    for (const Write& w : writes) {
        w.write();
        EXPECT_EQ(server.log.back(), w.logged);
    }
    client.WriteAudioFileName("");
    EXPECT_FALSE(agent.lastBstrWasNull) << "an empty path is an empty string, not a null";

    struct Read {
        const wchar_t* member;
        long answered;
        std::function<long()> read;
        long expected;
    };
    const Read reads[] = {
        {L"Visible", 1, [&] { return client.ReadVisible(); }, 1},
        {L"Visible", 0xFFFF, [&] { return client.ReadVisible(); }, -1},
        {L"MuteAudio", 0x20001, [&] { return client.ReadMuteAudio(); }, 1},
        {L"BypassKeys", 6, [&] { return client.ReadBypassKeys(); }, 6},
        {L"BlockedCount", 123456, [&] { return client.ReadBlockedCount(); }, 123456},
    };
    for (const Read& r : reads) {
        agent.numbers[r.member] = r.answered;
        EXPECT_EQ(r.read(), r.expected) << Ascii(r.member) << " " << r.answered;
    }
    agent.audioFileNameNull = true;
    EXPECT_EQ(client.ReadAudioFileName(), "");

    client.Quit();
    EXPECT_EQ(server.log.back(), "Quit");
    EXPECT_EQ(agent.quitFlags, DISPATCH_METHOD);
    EXPECT_EQ(agent.quitArgs, 0u);
    EXPECT_TRUE(desktop.events.empty());
}

TEST_F(AgentClientTest, SoundPathsCrossInTheAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs code page 1252";
    AgentServer server;
    AgentClient client;
    FakeAgent& agent = server.Last();
    client.WriteAudioFileName("C:\\Sounds\\caf\xE9.wav");
    EXPECT_EQ(agent.audioFileName, L"C:\\Sounds\\caf\u00E9.wav");
    EXPECT_EQ(client.ReadAudioFileName(), "C:\\Sounds\\caf\xE9.wav");
    // No look-alike may stand in for a missing character: it could name
    // another file that exists.
    agent.audioFileName = L"C:\\Sounds\\\u4E2D\u0100.wav";
    EXPECT_EQ(client.ReadAudioFileName(), "C:\\Sounds\\??.wav");
}

TEST_F(AgentClientTest, ErrorBoxShowsTheSystemTextOrSaysThereIsNone) {
    AgentClient::ReportComError("caption A", E_ACCESSDENIED);
    AgentClient::ReportComError("caption B", static_cast<HRESULT>(0xA0BC1234));
    ASSERT_EQ(desktop.Captions(), (std::vector<std::string>{"caption A", "caption B"}));
    EXPECT_EQ(desktop.boxTexts[0].find("0x"), std::string::npos) << desktop.boxTexts[0];
    EXPECT_NE(desktop.boxTexts[0].find_first_not_of(" \r\n"), std::string::npos);
    EXPECT_NE(desktop.boxTexts[1].find("0xA0BC1234"), std::string::npos) << desktop.boxTexts[1];
}

TEST_F(AgentClientTest, TheAgentObjectIsReleasedWithTheClient) {
    AgentServer server;
    {
        AgentClient client;
        client.ReadVisible();
        EXPECT_GT(server.Last().Refs(), 1u);
    }
    EXPECT_EQ(server.Last().Refs(), 1u);
    ComPtr<FakeAgent> last = server.agents.back();
    server.agents.clear();
    EXPECT_EQ(last.Detach()->Release(), 0u);
}

} // namespace
} // namespace vx::test
