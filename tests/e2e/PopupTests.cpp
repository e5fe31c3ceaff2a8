// The road of a popup through the real programs: a page in the double asks
// for a window, the agent supplies it hidden, judges its first navigation,
// shows it or cancels and quits it, and counts the block in the registry.
#include "AgentSuite.h"

#include <functional>
#include <iterator>

using namespace vx::test;

namespace {

class Popups : public AgentSuite {};

const wchar_t* const kUnknownSite = L"http://ads.elsewhere-network.net/banner.html";
const wchar_t* const kSameSite = L"http://shop.opener.com/offer.html";

// Runs the undo step when the scope ends, also on a failed assertion or a skip.
class Finally {
  public:
    explicit Finally(std::function<void()> undo) : undo_(std::move(undo)) {}
    ~Finally() { undo_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

  private:
    std::function<void()> undo_;
};

// NewWindow3's flags: the user clicked; an override key was held.
constexpr LONG kClicked = 0x2, kOverride = 0x8;

TEST_F(Popups, EachPopupIsJudgedAtItsFirstNavigationOrRefused) {
    struct {
        const char* why;
        const wchar_t* url;
        LONG allowSameSite;
        bool blocked;
        LONG events = 2, flags = 0; // the new-window events the browser fires, in order
        const wchar_t* allowed = L"";
    } const cases[] = {
        {"unknown site", kUnknownSite, 1, true},
        {"opener's site", kSameSite, 1, false},
        {"opener's bare domain", L"http://opener.com/", 1, false},
        {"look-alike of the opener's site", L"http://opener.com.elsewhere.net/", 1, true},
        {"opener's site, rule off", kSameSite, 0, true},
        {"favourite's site", L"http://news.favourite-paper.com/today", 1, false},
        {"start page", PopupRig::kStartPage, 1, false},
        {"start page with a query", L"http://start.example.net/home?from=ad", 1, true},
        {"maker's site", L"http://www.quandrel.com/", 0, false},
        {"maker's name in a query", L"http://ads.example.net/?r=quandrel.com", 1, true},
        {"favourite's name in a query", L"http://ads.example.net/?r=favourite-paper.com", 1, true},
        {"host too short to be a site", L"http://abc/", 1, true},
        {"resource page", L"res://krellin.exe/about.htm", 0, false},
        {"NewWindow3 alone, unrequested", kUnknownSite, 1, true, 3},
        {"NewWindow3 alone, user-initiated", kUnknownSite, 1, false, 3, kClicked},
        {"NewWindow3 alone, override key", kUnknownSite, 1, false, 3, kOverride},
        {"both events, user-initiated", kUnknownSite, 1, false, 23, kClicked},
        {"both events the other way round", kUnknownSite, 1, false, 32, kClicked},
        {"both events, unrequested", kUnknownSite, 1, true, 23},
        {"opener's site allowed", kUnknownSite, 0, false, 3, 0, L"opener.com"},
        {"opener's host allowed", kUnknownSite, 0, false, 2, 0, L"www.opener.com"},
        {"a look-alike allowed", kUnknownSite, 0, true, 2, 0, L"pener.com"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_EQ(Agent().Put(L"AllowSameSite", "I", c.allowSameSite), S_OK);
        ASSERT_EQ(Agent().Put(L"AllowedSites", "s", c.allowed), S_OK);
        LONG before = PopupRig::StoredBlockCount();
        LONG last = Browser().Long(L"LastWindow").value_or(0);
        PopupRig::Outcome popup =
            Rig().StateOf(Browser()
                              .Long(L"OpenPopup", "IsII", Rig().Opener(), c.url, c.events, c.flags)
                              .value_or(0));
        ASSERT_NE(popup.id, 0);
        EXPECT_EQ(Browser().Long(L"LastWindow"), last + 1) << "one window for the request";
        if (c.blocked) {
            EXPECT_TRUE(popup.Blocked()) << "quit " << popup.quit << ", cancelled "
                                         << popup.cancelled << ", ever shown " << popup.everShown;
        } else {
            EXPECT_TRUE(popup.Shown());
            CloseWindow(popup.id);
        }
        // Refused at NewWindow3 alone: no window was there to navigate.
        if (c.blocked && c.events == 3) {
            EXPECT_EQ(Browser().Double(L"NavigateTime", "I", popup.id), 0.0);
        }
        EXPECT_EQ(PopupRig::StoredBlockCount(), before + (c.blocked ? 1 : 0));
    }
    EXPECT_EQ(Agent().Put(L"AllowSameSite", "I", 1L), S_OK);
    EXPECT_EQ(Agent().Put(L"AllowedSites", "s", L""), S_OK);
    EXPECT_EQ(Agent().Long(L"BlockedCount"), PopupRig::StoredBlockCount());
}

// What was blocked is listed newest first and can be opened anyway: a
// visible window that is neither judged nor counted.
TEST_F(Popups, BlockedPopupsAreListedAndCanBeOpenedAnyway) {
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(Rig()
                        .Popup((std::wstring(kUnknownSite) + L"?n=" + std::to_wstring(i)).c_str())
                        .Blocked());
    EXPECT_EQ(Agent().Text(L"RecentBlockedUrl", "I", 0L), std::wstring(kUnknownSite) + L"?n=1");
    EXPECT_EQ(Agent().Text(L"RecentBlockedUrl", "I", 1L), std::wstring(kUnknownSite) + L"?n=0");
    LONG before = PopupRig::StoredBlockCount();
    size_t from = Log().LineCount();
    ASSERT_EQ(Agent().Do(L"ShowBlocked", "I", 1L), S_OK);
    LONG shown = Browser().Long(L"LastWindow").value_or(0);
    EXPECT_TRUE(Rig().StateOf(shown).Shown());
    EXPECT_EQ(Browser().Text(L"LocationURL", "I", shown), std::wstring(kUnknownSite) + L"?n=0");
    EXPECT_NE(Log().WaitForLine("Blocked Popup Shown : ", from, 5000), CapturedProcess::kNotFound);
    EXPECT_EQ(Log().WaitForLine("New Popup Blocked!", from, 500), CapturedProcess::kNotFound);
    EXPECT_EQ(PopupRig::StoredBlockCount(), before);
    CloseWindow(shown);
}

TEST_F(Popups, FixedSizeWindowsAreKilledAndCountedWhileTheSettingIsOn) {
    for (LONG kill : {0L, 1L}) {
        SCOPED_TRACE(kill);
        ASSERT_EQ(Agent().Put(L"KillFixedSize", "I", kill), S_OK);
        PopupRig::Outcome popup = Rig().Popup(kSameSite);
        ASSERT_TRUE(popup.Shown());
        LONG before = PopupRig::StoredBlockCount();
        size_t from = Log().LineCount();
        ASSERT_EQ(Browser().Do(L"AskFixedSize", "I", popup.id), S_OK);
        popup = Rig().StateOf(popup.id);
        EXPECT_EQ(popup.quit, kill == 1);
        EXPECT_EQ(PopupRig::StoredBlockCount(), before + kill);
        std::string line =
            "WindowSetResizable Event : New Popup Blocked! Total Now " + std::to_string(before + 1);
        EXPECT_EQ(Log().WaitForLine(line, from, kill ? 5000 : 200) != CapturedProcess::kNotFound,
                  kill == 1);
        if (!popup.quit) CloseWindow(popup.id);
    }
}

// The agent reads the favourites once and again when the folder changes.
TEST_F(Popups, AFavouriteSavedWhileTheAgentRunsLetsItsSiteThrough) {
    const wchar_t* url = L"http://news.fresh-favourite.org/story.html";
    ASSERT_TRUE(Rig().Popup(url).Blocked()) << "not a favourite yet";
    Finally remove([] { PopupRig::RemoveFavourite(L"Fresh"); });
    ASSERT_EQ(PopupRig::WriteFavourite(L"Fresh", L"http://www.fresh-favourite.org/"), S_OK);
    // The folder's change notification may be delivered a moment after the
    // write; until then the popup is still blocked.
    PopupRig::Outcome popup;
    for (int tries = 0; tries < 20; ++tries) {
        popup = Rig().Popup(url);
        if (!popup.Blocked()) break;
        PumpFor(100);
    }
    EXPECT_TRUE(popup.Shown());
    CloseWindow(popup.id);
}

// A window that turns up by other means after start-up is pending too;
// folder windows are tracked but never judged.
TEST_F(Popups, WindowsOpenedAfterStartUpAreJudgedAtTheirFirstNavigation) {
    struct {
        const char* why;
        bool folder;
        const wchar_t* url;
        bool blocked, shown;
    } const cases[] = {
        {"browser, unknown site", false, L"http://pop.elsewhere-network.net/", true, false},
        {"browser, maker's site", false, L"http://www.quandrel.com/", false, true},
        {"folder", true, L"file:///C:/users", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        LONG before = PopupRig::StoredBlockCount();
        std::optional<LONG> id = Browser().Long(L"OpenWindow", "sbb", L"", c.folder, 0);
        ASSERT_TRUE(id);
        EXPECT_EQ(Browser().Bool(L"Navigate", "Is", *id, c.url), c.blocked);
        PopupRig::Outcome window = Rig().StateOf(*id);
        EXPECT_EQ(window.Blocked(), c.blocked);
        EXPECT_EQ(window.Shown(), c.shown);
        EXPECT_EQ(PopupRig::StoredBlockCount(), before + (c.blocked ? 1 : 0));
        if (window.open) CloseWindow(*id);
    }
}

TEST_F(Popups, StatusLogTellsTheRoadOfOneBlockedPopupInOrder) {
    const std::string url = "http://ads.elsewhere-network.net/log-check.html";
    size_t from = Log().LineCount();
    ASSERT_TRUE(Rig().Popup(std::wstring(url.begin(), url.end()).c_str()).Blocked());
    const std::string expected[] = {
        "NewWindow2 Event : IE Popup Attempt...",
        "BeforeNavigate2 Event : " + url,
        "New IE Window Blocked, unknown URL : " + url,
        "BeforeNavigate2 Event : New Popup Blocked! Total Now " +
            std::to_string(PopupRig::StoredBlockCount()),
    };
    ASSERT_NE(Log().WaitForLine(expected[3], from, 5000), CapturedProcess::kNotFound);
    size_t next = 0;
    for (const std::string& line : Log().Lines(from)) {
        std::optional<std::string> text = LogText(line);
        ASSERT_TRUE(text) << "not a status-log line: " << line;
        if (next < std::size(expected) && *text == expected[next]) ++next;
    }
    EXPECT_EQ(next, std::size(expected)) << "missing or out of order: " << expected[next];
}

// The key state is the desktop's, shared by every process of the session:
// a key pressed here is held for the agent as well.
TEST_F(Popups, HeldBypassKeyLetsEveryPopupThrough) {
    Finally restoreKeys([] { Agent().Put(L"BypassKeys", "i", 1); });
    keybd_event(VK_SHIFT, 0, 0, 0);
    Finally release([] { keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0); });
    if (!(GetAsyncKeyState(VK_SHIFT) & 0x8000)) GTEST_SKIP() << "Shift does not read as held here";

    struct {
        int keys;
        bool shown;
    } const cases[] = {{1, false}, {4, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        ASSERT_EQ(Agent().Put(L"BypassKeys", "i", c.keys), S_OK);
        size_t from = Log().LineCount();
        LONG before = PopupRig::StoredBlockCount();
        PopupRig::Outcome popup = Rig().Popup(kUnknownSite);
        if (c.shown && !popup.Shown() &&
            Log().WaitForLine("IE Popup Attempt", from, 1000) != CapturedProcess::kNotFound)
            GTEST_SKIP() << "the agent's process does not see the Shift key pressed by the test "
                            "(it logged a popup attempt while Shift was held)";
        EXPECT_EQ(popup.Shown(), c.shown);
        EXPECT_EQ(popup.Blocked(), !c.shown);
        EXPECT_EQ(PopupRig::StoredBlockCount(), before + (c.shown ? 0 : 1));
        if (c.shown) {
            EXPECT_NE(Log().WaitForLine("New IE Window Found : http://ads.elsewhere-network.net",
                                        from, 5000),
                      CapturedProcess::kNotFound);
            CloseWindow(popup.id);
        }
    }
}

} // namespace
