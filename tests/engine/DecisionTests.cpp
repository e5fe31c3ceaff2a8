#include "EngineTestSupport.h"

#include "RegistryTools.h"

#include "common/UrlForms.h"

namespace vx::test {
namespace {

const wchar_t kOpener[] = L"http://www.opener.com/index.html", kBare[] = L"http://example.com/",
              kWww[] = L"http://www.example.com/", kUk[] = L"http://www.example.co.uk/",
              kElsewhere[] = L"http://www.elsewhere.net/";
const char kShown[] = "visible", kBlocked[] = "hidden cancelled quit closed",
           kRefused[] = "hidden cancelled closed";
const std::string kBefore = "BeforeNavigate2 Event : ", kSame = kBefore + "Same Site Allowed : ",
                  kSite = kBefore + "Allowed Site : ",
                  kClickedFor = kBefore + "User Initiated Popup Allowed",
                  kFound = "New IE Window Found : ",
                  kUnknown = "New IE Window Blocked, unknown URL : ",
                  kAtFirst = kBefore + "New Popup Blocked! Total Now 1",
                  kAtNewWindow3 = "NewWindow3 Event : New Popup Blocked! Total Now 1";
// NewWindow3's flags: the user clicked for the window; an override key was held.
constexpr LONG kClicked = 0x2, kOverride = 0x8;

struct Row {
    const char* what;
    const wchar_t* url; // the popup's address: NewWindow3's, and its first navigation's
    const char* state;  // the popup's in the end
    std::string line;   // logged once
    const wchar_t* opener = kOpener;
    LONG sameSite = 1;            // AllowSameSite
    const wchar_t* allowed = L""; // AllowedSites
    int order = 2;                // the new-window events, see BrowserWindow::OpenPopup
    LONG flags = 0, clicked = 1;  // NewWindow3's; AllowUserInitiated
};

// clang-format off
const Row kRows[] = {
    {"same site", L"http://ads.opener.com/a", kShown, kSame + ".opener.com"},
    {"unknown site", L"http://www.elsewhere.net/a", kBlocked, kAtFirst},
    {"same site, rule off", L"http://ads.opener.com/a", kBlocked, kAtFirst, kOpener, 0},
    {"opener's bare domain", L"http://example.com/x", kShown, kSame + ".example.com", kWww},
    {"www of a bare opener", L"http://www.example.com/x", kShown, kSame + "example.com", kBare},
    {"same host, co.uk", L"http://www.example.co.uk/x", kShown, kSame + "www.example.co.uk", kUk},
    {"sibling host, co.uk", L"http://shop.example.co.uk/x", kBlocked,
     kUnknown + "http://shop.example.co.uk/x", kUk},
    {"host too short", L"http://abc/x", kBlocked, kUnknown + "http://abc/x", L"http://abc/"},
    {"site in a query", L"http://ads.other.net/?r=example.com", kBlocked, kAtFirst, kWww},
    {"site as a sub-domain", L"http://example.com.other.net/", kBlocked, kAtFirst, kWww},
    {"look-alike host", L"http://badexample.com/", kBlocked, kAtFirst, kWww},
    {"opener without an address", kWww, kBlocked, kAtFirst, L""},
    {"allowed site", kElsewhere, kShown, kSite + "example.com", kWww, 0, L"example.com"},
    {"allowed site's sub-domain", kElsewhere, kShown, kSite + "example.com",
     L"http://a.b.example.com/", 1, L"other.org\r\nexample.com", 3},
    {"allowed look-alike", kElsewhere, kBlocked, kAtFirst, L"http://notexample.com/", 1, L"example.com"},
    {"NewWindow3 alone", kElsewhere, kRefused, kAtNewWindow3, kOpener, 1, L"", 3},
    {"NewWindow3 alone, clicked", kElsewhere, kShown, kClickedFor, kOpener, 1, L"", 3, kClicked},
    {"clicked, setting off", kElsewhere, kRefused, kAtNewWindow3, kOpener, 1, L"", 3, kClicked, 0},
    {"override key", kElsewhere, kShown, kFound + "http://www.elsewhere.net/", kOpener, 1, L"", 3,
     kOverride},
    {"NewWindow3 alone, same site", L"http://ads.opener.com/", kShown, kSame + ".opener.com",
     kOpener, 1, L"", 3},
    {"NewWindow3 alone, blank", L"about:blank", kBlocked, kAtFirst, kOpener, 1, L"", 3},
    {"both, clicked", kElsewhere, kShown, kClickedFor, kOpener, 1, L"", 23, kClicked},
    {"both the other way round", kElsewhere, kShown, kClickedFor, kOpener, 1, L"", 32, kClicked},
    {"both, override key", kElsewhere, kShown, kFound + "http://www.elsewhere.net/", kOpener, 1,
     L"", 23, kOverride},
    {"both, unrequested", kElsewhere, kBlocked, kAtNewWindow3, kOpener, 1, L"", 23},
};
// clang-format on

TEST_F(EngineTest, EachPopupIsShownBlockedAtItsFirstNavigationOrRefused) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        Restart();
        Start(row.sameSite);
        engine->settings.AllowUserInitiated = row.clicked;
        ASSERT_EQ(S_OK, ParseSiteList(row.allowed, &engine->settings.AllowedSites));
        opener->url = row.opener;
        const LONG last = collection->LastId();
        Window popup = Popup(row.url, row.order, row.flags);
        ASSERT_TRUE(popup);
        EXPECT_EQ(last + 1, collection->LastId()) << "one window (or record) for one request";
        EXPECT_EQ(row.state, State(popup));
        EXPECT_EQ(row.state == kShown ? 0 : 1, Count());
        EXPECT_EQ(1, Logged(row.line));
        EXPECT_EQ(row.order == 3 && row.flags == kOverride ? 0 : 1,
                  Logged("NewWindow2 Event : IE Popup Attempt...") +
                      Logged("NewWindow3 Event : IE Popup Attempt..."))
            << "one attempt for one request";
        // Later navigations are only logged.
        if (row.state == kShown) popup->Navigate(L"http://www.elsewhere.net/2");
        EXPECT_EQ(row.state, State(popup));
    }
}

TEST_F(EngineTest, AtCompletionTheWindowsOwnAddressDecidesTheSameSite) {
    Start();
    Window blocked = Popup(L"", 2, 0, false), shown = Popup(L"", 2, 0, false);
    blocked->url = kElsewhere;
    shown->url = L"http://shop.opener.com/";
    for (const Window& popup : {blocked, shown})
        popup->FireNavigateComplete2(kElsewhere);
    EXPECT_EQ("hidden quit closed", State(blocked)) << "only BeforeNavigate2 cancels";
    EXPECT_EQ("visible", State(shown));
    EXPECT_EQ(1, Logged("NavigateComplete2 Event : Same Site Allowed : .opener.com"));
}

// A text value the test changes, put back as it was afterwards.
class ScopedText {
  public:
    ScopedText(HKEY root, const wchar_t* path, const wchar_t* name)
        : root_(root), path_(path), name_(name), old_(ReadText(root, path, name)) {}
    ~ScopedText() { old_ ? Write(*old_) : void(DeleteValue(root_, path_, name_)); }
    void Write(const std::wstring& text) { WriteText(root_, path_, name_, text); }

  private:
    HKEY root_;
    const wchar_t *path_, *name_;
    std::optional<std::wstring> old_;
};

TEST_F(EngineTest, AddressesAlwaysAllowedAreMatchedWholeOrOnTheHost) {
    ScopedText start(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main",
                     L"Start Page");
    ScopedText folder(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion",
                      L"ProgramFilesDir");
    start.Write(L"http://start.example.net/home");
    folder.Write(L"C:\\Program Files");
    favorites = {{L"Short", L"a.b"},
                 {L"Tiny host", L"http://abc/"},
                 {L"News", L"", {{L"Paper", L"http://www.daily-paper.com/front"}}},
                 {L"Ended", L"", {{L"", L""}, {L"Hidden", L"http://www.after-end.org/"}}},
                 {L"Shop", L"http://shop.example.org/"},
                 {L"Maker", L"http://www.quandrel.com/"}}; // asked only when no other rule allows
    Start(0);
    favorites.push_back({L"Late", L"http://late.example.com/"}); // read at start-up only
    // clang-format off
    const std::pair<const wchar_t*, bool> rows[] = {
        {L"http://start.example.net/home", true}, {L"HTTP://START.EXAMPLE.NET/home", true},
        {L"http://start.example.net/home?x=1", false}, {L"http://start.example.net/home#top", false},
        {L"C:\\Program Files\\Quandrel\\help.htm", true}, {L"C:\\windows\\help.htm", false},
        {L"file:///C:/Program Files/Other/page.htm", true},
        {L"http://www.elsewhere.net/C:/Program Files/", false},
        {L"RES://ieframe.dll/navcancl.htm", true}, {L"http://Support.Quandrel.com/X", true},
        {L"http://ads.example.net/?r=quandrel.com", false}, {L"http://notquandrel.com/", false},
        {L"http://quandrel.com.example.net/", false}, {L"http://quandrel.com@example.net/", false},
        {L"http://sport.daily-paper.com/today", true}, {L"http://daily-paper.com/", true},
        {L"http://www.elsewhere.net/?ref=.daily-paper.com", false}, {L"http://a.b/", false},
        {L"http://www.example.org/", true}, {L"http://abc/", false},
        {L"http://www.after-end.org/", false}, // behind the item that ends its folder
        {L"http://late.example.com/", false}};
    // clang-format on
    for (const auto& [url, known] : rows)
        EXPECT_EQ(known, engine->IsKnownUrl(CanonicalUrl(url))) << url;
    EXPECT_EQ(1, Logged("New IE Window Found : http://support.quandrel.com/x")) << "in lower case";
    // A start page that does not fit counts as missing; without a Program
    // Files folder every local page is known.
    const std::wstring longPage = L"http://start.example.net/" + std::wstring(240, L'p');
    start.Write(longPage);
    folder.Write(L"C:\\" + std::wstring(270, L'd'));
    EXPECT_FALSE(engine->IsKnownUrl(longPage));
    EXPECT_TRUE(engine->IsKnownUrl(L"file:///C:/windows/help.htm"));
}

TEST_F(EngineTest, WithoutTheFavouritesReaderTheOtherRulesStillWork) {
    reader.reset();
    Start(0);
    EXPECT_FALSE(engine->IsKnownUrl(L"http://www.elsewhere.net/"));
    EXPECT_TRUE(engine->IsKnownUrl(L"http://www.quandrel.com/"));
    EXPECT_EQ(1, Logged("Marklor Creation Error..."));
}

TEST_F(EngineTest, FixedSizeWindowsAreBlockedWhateverTheirStateWhileTheSettingIsOn) {
    Window early = collection->OpenWindow(L"http://early.example.com/", false, true);
    Start();
    Window popup = Popup(L"http://ads.opener.com/");
    // KillFixedSize, resizable, and the window's state after the request.
    const std::tuple<Window, LONG, bool, const char*> rows[] = {
        {early, 0, false, "visible"},
        {early, 1, true, "visible"},
        {early, 1, false, "visible quit closed"},
        {popup, 1, false, "visible quit closed"}};
    for (const auto& [window, kill, resizable, state] : rows) {
        engine->settings.KillFixedSize = kill;
        window->FireWindowSetResizable(resizable);
        EXPECT_EQ(state, State(window));
    }
    EXPECT_EQ(1, Logged("WindowSetResizable Event : New Popup Blocked! Total Now 1"));
    EXPECT_EQ(L"http://ads.opener.com/", engine->Recent().At(0)->url);
    EXPECT_EQ(L"http://early.example.com/", engine->Recent().At(1)->url);
}

TEST_F(EngineTest, HeldBypassKeysLetPopupsThrough) {
    Start(0);
    // BypassKeys, the key held, and whether it counts.
    // clang-format off
    const std::tuple<unsigned short, BYTE, bool> rows[] = {
        {1, VK_CONTROL, true}, {2, VK_MENU, true}, {4, VK_SHIFT, true}, {2, VK_CONTROL, false},
        {0, VK_CONTROL, false}, {8, VK_CONTROL, false}, {0xFFF8, VK_SHIFT, false}};
    // clang-format on
    for (const auto& [keys, key, counts] : rows) {
        engine->settings.BypassKeys = keys;
        keybd_event(key, 0, 0, 0);
        const bool held = GetAsyncKeyState(key) & 0x8000, down = engine->BypassKeysDown();
        Window popup = Popup(kElsewhere), third = Popup(kElsewhere, 3);
        popup->FireWindowSetResizable(false);
        keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
        if (!held) GTEST_SKIP() << "this desktop does not report injected keys as held";
        EXPECT_EQ(counts, down) << keys << " with " << key;
        EXPECT_EQ(counts ? "visible" : kBlocked, State(popup)) << "not even for a fixed size";
        EXPECT_EQ(counts ? "visible" : kRefused, State(third));
    }
    EXPECT_FALSE(engine->BypassKeysDown());
}

TEST_F(EngineTest, BlockedPopupsAreListedAnnouncedOncePerPageAndShownOnRequest) {
    Start();
    for (int i = 0; i <= 20; ++i)
        Popup((L"http://ads.elsewhere.net/" + std::to_wstring(i)).c_str());
    const BlockedPopups& recent = engine->Recent();
    ASSERT_EQ(20u, recent.Entries().size()) << "21 blocks keep 20";
    EXPECT_EQ(L"http://ads.elsewhere.net/20", recent.At(0)->url) << "newest first";
    EXPECT_EQ(L"http://ads.elsewhere.net/1", recent.At(19)->url);
    EXPECT_EQ(21, lastTotal);
    EXPECT_EQ(std::vector<std::wstring>{L"opener.com"}, notices) << "one notice for one page";
    engine->settings.NotifyOnBlock = 0;
    opener->url = L"http://www.opener.com/other.html";
    Popup(L"http://ads.elsewhere.net/21");
    EXPECT_EQ(1u, notices.size()) << "none with the setting off";
    // Opened anyway: visible, neither judged nor counted.
    ASSERT_EQ(S_OK, engine->ShowBlocked(1));
    Window shown(collection->Find(collection->LastId()));
    EXPECT_EQ("visible", State(shown));
    EXPECT_EQ(L"http://ads.elsewhere.net/20", shown->url);
    EXPECT_EQ(22, Count());
    EXPECT_EQ(E_INVALIDARG, engine->ShowBlocked(20));
    // Its opener's site, allowed: the next popup from there is shown.
    EXPECT_EQ(S_OK, engine->AllowSite(recent.At(0)->openerSite));
    EXPECT_EQ(S_FALSE, engine->AllowSite(L"Opener.com "));
    EXPECT_EQ(E_INVALIDARG, engine->AllowSite(L"opener.com/x"));
    EXPECT_EQ(L"opener.com", store.lists[L"AllowedSites"]);
    EXPECT_EQ("visible", State(Popup(L"http://ads.elsewhere.net/23")));
}

TEST(BlockedPopupsTest, APageIsAnnouncedOnceInItsQuietTime) {
    const std::tuple<const wchar_t*, ULONGLONG, bool> rows[] = {
        {L"http://a/", 1000, true},  {L"http://a/", 10999, false}, {L"http://b/", 11000, true},
        {L"http://a/", 11000, true}, {L"http://b/", 20999, false}, {L"http://b/", 21000, true}};
    BlockedPopups popups;
    for (const auto& [page, at, announced] : rows)
        EXPECT_EQ(announced, popups.Add({L"http://ad/", L"", {}}, page, at)) << at;
}

TEST_F(EngineTest, AFailedCountReadNeverOverwritesTheStoredTotal) {
    store.dwords[L"BlockCount"] = 41;
    Start(0);
    store.failures[L"GetAppDWORD"] = RPC_E_DISCONNECTED;
    store.calls.clear();
    EXPECT_EQ(kBlocked, State(Popup(kElsewhere)));
    EXPECT_EQ(41, Count());
    EXPECT_EQ(2, Logged("Registry Invoke Error...")) << "the read, and again on a new client";
    EXPECT_EQ(L"TopLevelKey -2147483646", store.calls.at(1)) << "the new client";
    // The block is not lost: it is stored once the store answers again,
    // also when it is a write that failed.
    store.failures = {{L"SetAppDWORD", RPC_E_DISCONNECTED}};
    EXPECT_EQ(42, engine->AddBlockCount(0));
    EXPECT_EQ(41, Count());
    store.failures.clear();
    EXPECT_EQ(42, engine->AddBlockCount(0));
    EXPECT_EQ(42, Count());
}

TEST_F(EngineTest, BrowsersFailingMidDecisionAndArgumentsMissingOrTooLongAreSafe) {
    Start(0);
    Window popup = Popup(L"", 2, 0, false), second = Popup(L"", 2, 0, false),
           third = Popup(L"", 2, 0, false), fourth = Popup(L"", 2, 0, false);
    popup->failures = {{L"Visible", RPC_E_DISCONNECTED}, {L"Quit", RPC_E_DISCONNECTED}};
    second->failures[L"Quit"] = RPC_E_DISCONNECTED;
    popup->Navigate(L"http://www.quandrel.com/");
    second->Navigate(kElsewhere);
    EXPECT_EQ("hidden", State(popup)) << "an unreadable Visible counts as shown";
    EXPECT_EQ("hidden cancelled", State(second));
    EXPECT_FALSE(Record(popup)->pending || Record(second)->pending);
    EXPECT_EQ(2, Logged("Explorer Invoke Error...")) << "the Visible read and the second Quit";
    Variant empty; // the URL argument carries no string at all
    third->events.Fire(
        DISPID_NAVIGATECOMPLETE2,
        {browserdouble::MakeVariant(VT_DISPATCH, static_cast<IDispatch*>(third.Get())),
         browserdouble::MakeVariant(VT_BYREF | VT_VARIANT, empty.Get())});
    EXPECT_EQ(1, Logged("NavigateComplete2 Event : "));
    fourth->Navigate(L"http://" + std::wstring(100000, L'a') + L".com/");
    EXPECT_EQ(kBlocked, State(fourth));
}

} // namespace
} // namespace vx::test
