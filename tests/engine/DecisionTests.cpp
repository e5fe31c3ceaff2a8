#include "PopupTestSupport.h"

namespace vx::test {
namespace {

class DecisionTest : public PopupTest {
  protected:
    // Lines that begin with `text` after the time stamp.
    int LoggedPrefix(const std::string& text) const {
        int n = 0;
        for (const auto& line : log.Lines())
            if (line.size() >= 27 + text.size() && line.compare(27, text.size(), text) == 0) ++n;
        return n;
    }
};

struct Outcome {
    const char* what;
    LONG allowSameSite;
    const wchar_t* url;      // the popup's first navigation
    const wchar_t* location; // the popup's LocationURL then
    bool atComplete;         // judged at NavigateComplete2 instead
    bool shown;
    const char* line;
};

TEST_F(DecisionTest, FirstNavigationOfAPopupShowsOrBlocksIt) {
    const Outcome rows[] = {
        {"same site", 1, L"http://ads.opener.com/a.html", L"", false, true,
         "BeforeNavigate2 Event : Same Site Allowed : .opener.com"},
        {"other site, unknown", 1, L"http://www.elsewhere.net/a.html", L"", false, false,
         "BeforeNavigate2 Event : New Popup Blocked! Total Now 1"},
        {"same site with the rule off", 0, L"http://ads.opener.com/a.html", L"", false, false,
         "BeforeNavigate2 Event : New Popup Blocked! Total Now 1"},
        {"maker's site", 1, L"http://www.Quandrel.com/News", L"", false, true,
         "New IE Window Found : http://www.quandrel.com/news"},
        {"maker's site with the rule off", 0, L"http://www.quandrel.com/news", L"", false, true,
         "New IE Window Found : http://www.quandrel.com/news"},
        {"resource page", 0, L"res://shdoclc.dll/about.htm", L"", false, true,
         "New IE Window Found : res:"},
        {"unknown, judged at completion", 1, L"http://www.elsewhere.net/", L"http://www.elsewhere.net/",
         true, false, "NavigateComplete2 Event : New Popup Blocked! Total Now 1"},
        {"same site by the window's address at completion", 1, L"http://www.elsewhere.net/",
         L"http://shop.opener.com/", true, true,
         "NavigateComplete2 Event : Same Site Allowed : .opener.com"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        store = fakes::RegistryStore();
        StartWith(row.allowSameSite, 1);
        FakeBrowser* popup = OpenPopup();
        ASSERT_TRUE(popup);
        EXPECT_EQ(1, LoggedPrefix("NewWindow2 Event : IE Popup Attempt..."));
        Explorer* record = shell->FindExplorer(popup);
        ASSERT_TRUE(record && record->pending);
        EXPECT_EQ(L"http://www.opener.com/index.html", record->openerUrl.value_or(L"?"));

        popup->locationUrl = row.location;
        VARIANT_BOOL cancel = VARIANT_FALSE;
        if (row.atComplete)
            popup->FireNavigateComplete2(row.url);
        else
            popup->FireBeforeNavigate2(row.url, nullptr, &cancel);

        EXPECT_FALSE(record->pending);
        EXPECT_EQ(row.shown, popup->visible);
        EXPECT_EQ(row.shown ? 0 : 1, popup->quits);
        EXPECT_EQ(!row.shown && !row.atComplete, cancel == VARIANT_TRUE) << "only BeforeNavigate2 cancels";
        EXPECT_EQ(row.shown ? 0 : 1, Count());
        EXPECT_EQ(1, LoggedPrefix(row.line));

        // Later navigations are only logged.
        popup->FireBeforeNavigate2(L"http://www.elsewhere.net/2", nullptr, &cancel);
        EXPECT_EQ(row.shown ? 0 : 1, popup->quits);
        shell.reset();
        for (auto& b : created) collection->Remove(b.Get());
        created.clear();
        log = StatusLog();
    }
}

TEST_F(DecisionTest, WindowsThatAreNotPendingAreOnlyLogged) {
    StartWith(0, 1);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    opener->FireBeforeNavigate2(L"http://www.elsewhere.net/page", nullptr, &cancel);
    opener->FireBeforeNavigate2(L"http://www.elsewhere.net/frame", L"side", &cancel);
    opener->FireNavigateComplete2(L"http://www.elsewhere.net/page");
    EXPECT_EQ(1, Logged("BeforeNavigate2 Event : http://www.elsewhere.net/page"));
    EXPECT_EQ(0, LoggedPrefix("BeforeNavigate2 Event : http://www.elsewhere.net/frame"))
        << "a named frame's navigation is not logged";
    EXPECT_EQ(1, Logged("NavigateComplete2 Event : http://www.elsewhere.net/page"));
    EXPECT_EQ(VARIANT_FALSE, cancel);
    EXPECT_EQ(0, opener->quits);
    EXPECT_EQ(0, Count());
}

TEST_F(DecisionTest, FixedSizeWindowsAreBlockedWhateverTheirState) {
    struct Row {
        LONG killFixedSize;
        bool resizable;
        bool blocked;
    } rows[] = {{1, false, true}, {1, true, false}, {0, false, false}};
    for (const auto& row : rows) {
        store = fakes::RegistryStore();
        StartWith(1, row.killFixedSize);
        opener->quits = 0;
        opener->FireWindowSetResizable(row.resizable);
        EXPECT_EQ(row.blocked ? 1 : 0, opener->quits);
        EXPECT_EQ(row.blocked ? 1 : 0, Count());
        EXPECT_EQ(row.blocked ? 1 : 0,
                  Logged("WindowSetResizable Event : New Popup Blocked! Total Now 1"));
        shell.reset();
        log = StatusLog();
    }

    // An allowed popup that later asks for a fixed size is still blocked.
    store = fakes::RegistryStore();
    StartWith(1, 1);
    FakeBrowser* popup = OpenPopup();
    ASSERT_TRUE(popup);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    popup->FireBeforeNavigate2(L"http://ads.opener.com/", nullptr, &cancel);
    ASSERT_TRUE(popup->visible);
    popup->FireWindowSetResizable(false);
    EXPECT_EQ(1, popup->quits);
    EXPECT_EQ(1, Count());
}

TEST_F(DecisionTest, HeldBypassKeyLetsPopupsThrough) {
    store.dwords[L"BypassKeys"] = 4; // Shift
    StartWith(0, 1);
    keybd_event(VK_SHIFT, 0, 0, 0);
    bool held = shell->BypassKeysDown();
    FakeBrowser* popup = OpenPopup();
    VARIANT_BOOL cancel = VARIANT_FALSE;
    if (popup) popup->FireBeforeNavigate2(L"http://www.elsewhere.net/", nullptr, &cancel);
    if (popup) popup->FireWindowSetResizable(false);
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    if (!held) GTEST_SKIP() << "this desktop does not report injected keys as held";

    ASSERT_TRUE(popup);
    EXPECT_EQ(0, Logged("NewWindow2 Event : IE Popup Attempt..."));
    EXPECT_FALSE(shell->FindExplorer(popup)->openerUrl.has_value()) << "no opener while bypassing";
    EXPECT_TRUE(popup->visible);
    EXPECT_EQ(0, popup->quits) << "not even for a fixed size";
    EXPECT_EQ(VARIANT_FALSE, cancel);
    EXPECT_EQ(1, Logged("New IE Window Found : http://www.elsewhere.net/"));
    EXPECT_FALSE(shell->BypassKeysDown());
}

TEST_F(DecisionTest, BlockedTotalsAreShownSignedAndWrap) {
    struct Row {
        LONG stored;
        const char* line;
    } rows[] = {
        {-1, "BeforeNavigate2 Event : New Popup Blocked! Total Now 0"},
        {0x7FFFFFFF, "BeforeNavigate2 Event : New Popup Blocked! Total Now -2147483648"},
    };
    for (const auto& row : rows) {
        store = fakes::RegistryStore();
        store.dwords[L"BlockCount"] = row.stored;
        StartWith(0, 1);
        FakeBrowser* popup = OpenPopup();
        ASSERT_TRUE(popup);
        VARIANT_BOOL cancel = VARIANT_FALSE;
        popup->FireBeforeNavigate2(L"http://www.elsewhere.net/", nullptr, &cancel);
        EXPECT_EQ(1, Logged(row.line));
        EXPECT_EQ(static_cast<LONG>(static_cast<ULONG>(row.stored) + 1), Count());
        shell.reset();
        for (auto& b : created) collection->Remove(b.Get());
        created.clear();
    }
}

TEST_F(DecisionTest, AFailedCountReadNeverOverwritesTheStoredTotal) {
    store.dwords[L"BlockCount"] = 41;
    StartWith(0, 1);
    store.failures[L"GetAppDWORD"] = RPC_E_DISCONNECTED;
    store.calls.clear();
    FakeBrowser* popup = OpenPopup();
    ASSERT_TRUE(popup);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    popup->FireBeforeNavigate2(L"http://www.elsewhere.net/", nullptr, &cancel);
    EXPECT_EQ(41, Count());
    EXPECT_EQ(VARIANT_TRUE, cancel) << "the popup is still blocked";
    EXPECT_EQ(1, popup->quits);
    EXPECT_EQ(2, Logged("Registry Invoke Error...")) << "the read, and again on a new client";
    EXPECT_EQ(2, store.objects) << "a disconnected client is made afresh";
    for (const auto& call : store.calls) EXPECT_EQ(std::wstring::npos, call.find(L"SetAppDWORD"));

    // The block is not lost: it is stored once the store answers again,
    // also when it is a write that failed.
    store.failures.clear();
    store.failures[L"SetAppDWORD"] = RPC_E_DISCONNECTED;
    EXPECT_EQ(42, shell->AddBlockCount(0));
    EXPECT_EQ(41, Count());
    store.failures.clear();
    EXPECT_EQ(42, shell->AddBlockCount(0));
    EXPECT_EQ(42, Count());
}

TEST_F(DecisionTest, WithoutAWindowToSupplyNewWindow2LeavesTheRequestAlone) {
    StartWith(1, 1);
    browsers->createResult = E_ACCESSDENIED;
    IDispatch* supplied = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    opener->FireNewWindow2(&supplied, &cancel);
    EXPECT_EQ(nullptr, supplied);
    EXPECT_EQ(VARIANT_FALSE, cancel);
    EXPECT_EQ(0, Logged("NewWindow2 Event : IE Popup Attempt..."));
    EXPECT_EQ(1, Logged("AddExplorer:: Explorer Creation Error..."));
}

TEST_F(DecisionTest, BrowsersFailingMidDecisionAreNeverShownByMistake) {
    StartWith(0, 1);
    FakeBrowser* popup = OpenPopup();
    ASSERT_TRUE(popup);
    popup->failures[L"Visible"] = RPC_E_DISCONNECTED;
    popup->failures[L"Quit"] = RPC_E_DISCONNECTED;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    popup->FireBeforeNavigate2(L"http://www.quandrel.com/", nullptr, &cancel);
    EXPECT_FALSE(popup->visible) << "an unreadable Visible counts as shown";
    EXPECT_FALSE(shell->FindExplorer(popup)->pending);

    FakeBrowser* second = OpenPopup();
    ASSERT_TRUE(second);
    second->failures[L"Quit"] = RPC_E_DISCONNECTED;
    second->FireBeforeNavigate2(L"http://www.elsewhere.net/", nullptr, &cancel);
    EXPECT_FALSE(second->visible);
    EXPECT_EQ(VARIANT_TRUE, cancel);
    EXPECT_FALSE(shell->FindExplorer(second)->pending);
    EXPECT_EQ(2, Logged("Explorer Invoke Error...")) << "the Visible read and the second Quit";
}

TEST_F(DecisionTest, MissingAndMalformedEventArgumentsAreJudgedAsEmpty) {
    StartWith(1, 1);
    FakeBrowser* popup = OpenPopup();
    ASSERT_TRUE(popup);
    // The URL argument carries no string at all.
    Variant empty;
    VARIANTARG none[2];
    V_VT(&none[1]) = VT_DISPATCH;
    V_DISPATCH(&none[1]) = popup;
    V_VT(&none[0]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&none[0]) = empty.Get();
    DISPPARAMS params = {none, nullptr, 2, 0};
    EXPECT_EQ(1, popup->Point().Fire(252, &params));
    EXPECT_EQ(1, Logged("NavigateComplete2 Event : "));
    std::wstring huge(100000, L'a');
    huge = L"http://" + huge + L".com/";
    VARIANT_BOOL cancel = VARIANT_FALSE;
    FakeBrowser* other = OpenPopup();
    ASSERT_TRUE(other);
    other->FireBeforeNavigate2(huge.c_str(), nullptr, &cancel);
    EXPECT_FALSE(shell->FindExplorer(other)->pending);
}

} // namespace
} // namespace vx::test
