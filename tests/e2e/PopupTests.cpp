#include "AgentSuite.h"

#include <shobjidl.h>

using namespace vx::test;

namespace {

class Popups : public AgentSuite {};

const std::wstring kUnknownSite = L"http://ads.elsewhere-network.net/banner.html";

// Each rule once through the real neighbours; the engine's table holds the
// finer host rows.
TEST_F(Popups, EachWindowIsJudgedAtItsFirstNavigationOrRefused) {
    constexpr LONG kOpened = 0, kFolder = 1; // not asked for by a page
    const wchar_t *shown = PopupRig::kShown, *blocked = PopupRig::kBlocked,
                  *refused = PopupRig::kRefused, *sameSite = L"http://shop.opener.com/offer.html";
    struct {
        const char* why;
        const wchar_t* state;
        LONG events = 2, flags = 0; // the new-window events the browser fires, in order
        const wchar_t* allowed = L"";
        const wchar_t* url = kUnknownSite.c_str();
        LONG allowSameSite = 1;
    } const cases[] = {
        {"unknown site", blocked},
        {"opener's site", shown, 2, 0, L"", sameSite},
        {"opener's site, rule off", blocked, 2, 0, L"", sameSite, 0},
        {"NewWindow3 alone, unrequested", refused, 3},
        {"NewWindow3 alone, user-initiated", shown, 3, NWMF_USERINITED},
        {"NewWindow3 alone, override key", shown, 3, NWMF_OVERRIDEKEY},
        {"both events, user-initiated", shown, 23, NWMF_USERINITED},
        {"both events the other way round", shown, 32, NWMF_USERINITED},
        {"both events, unrequested", blocked, 23},
        {"opener's site allowed", shown, 3, 0, L"opener.com"},
        {"opener's host allowed", shown, 2, 0, L"www.opener.com"},
        {"a look-alike allowed", blocked, 2, 0, L"pener.com"},
        {"after start-up, unknown site", blocked, kOpened},
        {"after start-up, maker's site", shown, kOpened, 0, L"", L"http://www.quandrel.com/"},
        {"folder", L"hidden", kFolder, 0, L"", L"file:///C:/users"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_EQ(Agent().Put(L"AllowSameSite", "I", c.allowSameSite), S_OK);
        ASSERT_EQ(Agent().Put(L"AllowedSites", "s", c.allowed), S_OK);
        LONG before = PopupRig::StoredBlockCount();
        LONG last = Browser().Long(L"LastWindow").value_or(0);
        const bool asked = c.events > kFolder;
        LONG id =
            (asked ? Browser().Long(L"OpenPopup", "IsII", Rig().Opener(), c.url, c.events, c.flags)
                   : Browser().Long(L"OpenWindow", "sbb", L"", c.events == kFolder, 0))
                .value_or(0);
        ASSERT_NE(id, 0);
        EXPECT_EQ(Browser().Long(L"LastWindow"), last + 1) << "one window for the request";
        if (!asked) Browser().Do(L"Navigate", "Is", id, c.url);
        EXPECT_EQ(Rig().StateOf(id).state, c.state);
        CloseWindow(id);
        EXPECT_EQ(PopupRig::StoredBlockCount(),
                  before + (c.state == blocked || c.state == refused));
    }
    EXPECT_EQ(Agent().Put(L"AllowSameSite", "I", 1L), S_OK);
    EXPECT_EQ(Agent().Put(L"AllowedSites", "s", L""), S_OK);
    EXPECT_EQ(Agent().Long(L"BlockedCount"), PopupRig::StoredBlockCount());
}

// Opened anyway: a visible window, neither judged nor counted.
TEST_F(Popups, BlockedPopupsAreListedAndCanBeOpenedAnyway) {
    for (const wchar_t* n : {L"?n=0", L"?n=1"})
        ASSERT_EQ(Rig().Popup((kUnknownSite + n).c_str()).state, PopupRig::kBlocked);
    EXPECT_EQ(Agent().Text(L"RecentBlockedUrl", "I", 0L), kUnknownSite + L"?n=1");
    EXPECT_EQ(Agent().Text(L"RecentBlockedUrl", "I", 1L), kUnknownSite + L"?n=0");
    LONG before = PopupRig::StoredBlockCount();
    ASSERT_EQ(Agent().Do(L"ShowBlocked", "I", 1L), S_OK);
    LONG shown = Browser().Long(L"LastWindow").value_or(0);
    EXPECT_EQ(Rig().StateOf(shown).state, PopupRig::kShown);
    EXPECT_EQ(Browser().Text(L"LocationURL", "I", shown), kUnknownSite + L"?n=0");
    EXPECT_EQ(PopupRig::StoredBlockCount(), before);
    CloseWindow(shown);
}

// The folder's change notification may come a moment after the write.
TEST_F(Popups, AFavouriteSavedWhileTheAgentRunsLetsItsSiteThrough) {
    const wchar_t* url = L"http://news.fresh-favourite.org/story.html";
    ASSERT_EQ(Rig().Popup(url).state, PopupRig::kBlocked) << "not a favourite yet";
    EXPECT_EQ(PopupRig::WriteFavourite(L"Fresh", L"http://www.fresh-favourite.org/"), S_OK);
    PopupRig::Outcome popup;
    for (int tries = 0; tries < 20 && (popup = Rig().Popup(url)).state == PopupRig::kBlocked;
         ++tries)
        PumpFor(100);
    EXPECT_EQ(popup.state, PopupRig::kShown);
    CloseWindow(popup.id);
    PopupRig::RemoveFavourite(L"Fresh");
}

TEST_F(Popups, AllowedSitesAreStoredAsOneListAndReadBack) {
    std::wstring put, stored;
    for (int i = 0; i < 1000; ++i) {
        put += L"  Site" + std::to_wstring(i) + L".Example.COM \r\n\r\n";
        stored += (i ? L"\r\n" : L"") + (L"site" + std::to_wstring(i) + L".example.com");
    }
    ASSERT_EQ(Agent().Put(L"AllowedSites", "s", put.c_str()), S_OK);
    EXPECT_EQ(Agent().Text(L"AllowedSites"), stored);
    std::vector<wchar_t> data(64 * 1024);
    DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, PopupRig::kSettingsKey, L"AllowedSites",
                           RRF_RT_REG_MULTI_SZ, nullptr, data.data(), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(L"site0.example.com", data.data());
    EXPECT_EQ(Agent().Put(L"AllowedSites", "s", L""), S_OK);
}

// Last in the suite: the script ends the agent.
TEST_F(Popups, ScriptClientUsesEveryMemberAndQuitEndsTheAgent) {
    EXPECT_EQ(RunAndWait(Script(), 120000), 0u);
    EXPECT_EQ(WaitForExit(Log().Process(), 20000), 0u);
    EXPECT_FALSE(Agent().Long(L"IsServeReady"));
}

} // namespace
