#include "EngineTestSupport.h"

namespace vx::test {
namespace {

using Counts = std::vector<LONG>;

TEST_F(EngineTest, StartUpShowsAndTracksEveryWindowAndOnesOpenedLaterAwaitTheirDecision) {
    Window hidden = collection->OpenWindow(L"http://a.example.com/", false, false);
    Window folder = collection->OpenWindow(L"file:///C:/", true, false);
    hidden->fullName = L"C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE";
    Start();
    EXPECT_TRUE(hidden->visible && folder->visible);
    ASSERT_TRUE(Record(hidden) && Record(folder));
    EXPECT_FALSE(Record(opener)->pending || Record(hidden)->pending);
    EXPECT_EQ((Counts{1, 1, 0}), Sinks()) << "folder windows get none";
    EXPECT_EQ(1, collection->events.sinks.size());
    opener->Navigate(L"http://www.elsewhere.net/");
    EXPECT_EQ("visible", State(opener)) << "open at start-up: never judged";
    // Opened later: a browser is judged at its first navigation, a folder never.
    Window browser = collection->OpenWindow(L"http://c.example.com/", false, false);
    Window later = collection->OpenWindow(L"", true, false);
    Explorer* record = Record(browser);
    ASSERT_TRUE(record && Record(later));
    record->openerUrl = L"http://opener.example.com/";
    collection->FireWindowEvent(DISPID_WINDOWREGISTERED, 0); // met again: kept as they are
    EXPECT_TRUE(record == Record(browser) && record->pending && record->openerUrl);
    EXPECT_FALSE(Record(later)->pending);
    EXPECT_EQ((Counts{1, 1, 0, 1, 0}), Sinks());
    EXPECT_EQ("hidden", State(browser));
}

// A window leaves the collection, saying first that it quits or not, with
// the shell's revocation or silently, awaiting its decision or not.
TEST_F(EngineTest, RecordsOfWindowsGoneGoWithTheirRevocationOrTheNextRescan) {
    // pending, quit, revoked; whether the record survives the next rescan
    const std::tuple<bool, bool, bool, bool> rows[] = {{false, false, true, false},
                                                       {true, false, true, true},
                                                       {false, true, false, false},
                                                       {true, true, false, false},
                                                       {true, true, true, false}};
    Start();
    for (const auto& [pending, quit, revoked, kept] : rows) {
        Window window = collection->OpenWindow(L"", false, true);
        Explorer* record = Record(window);
        ASSERT_TRUE(record);
        record->pending = pending;
        if (quit) window->FireQuit();
        engine->RunPendingReconciliation();
        EXPECT_EQ(record, Record(window)) << "kept while listed";
        EXPECT_EQ(quit, engine->ReconciliationPending()) << "a quit window is looked for again";
        collection->Remove(window.Get());
        if (revoked) collection->FireWindowEvent(DISPID_WINDOWREVOKED, window->id);
        EXPECT_EQ(!(quit && revoked), Record(window) != nullptr) << "a quit one goes at once";
        engine->RunPendingReconciliation();
        EXPECT_EQ(kept, Record(window) == record && window->events.sinks.size() == 1);
    }
    EXPECT_EQ(4, Logged("Window Closed..."));
}

TEST_F(EngineTest, FailingBrowserMembersAreLoggedAndDefaultedAndOnlyAnswersCached) {
    Start();
    Window browser = collection->MakeWindow(L"http://www.example.com/", false, false);
    browser->failures = {
        {L"FullName", E_FAIL}, {L"Visible", E_FAIL}, {L"Quit", E_FAIL}, {L"LocationURL", E_FAIL}};
    Explorer record(engine.get(), browser.Get());
    record.locationUrl = L"http://kept/";
    EXPECT_FALSE(record.IsIE());
    EXPECT_TRUE(record.GetVisible()) << "unreadable counts as visible";
    record.PutVisible(true);
    record.Quit();
    EXPECT_EQ(L"", record.GetLocationURL());
    EXPECT_EQ(L"http://kept/", record.locationUrl.value_or(L""));
    EXPECT_EQ(5, Logged("Explorer Invoke Error..."));
    EXPECT_EQ("hidden", State(browser));
    browser->failures.clear();
    EXPECT_TRUE(record.IsIE()) << "a failure is not cached";
    EXPECT_EQ(L"http://www.example.com/", record.GetLocationURL());
    EXPECT_EQ(L"http://www.example.com/", record.locationUrl.value_or(L""));
    browser->failures[L"FullName"] = E_FAIL;
    EXPECT_TRUE(record.IsIE()) << "an answer is";
}

TEST_F(EngineTest, FailingCollectionMembersCountAsNoWindowsOrSkipTheIndex) {
    Window a = collection->OpenWindow(L"", false, true),
           b = collection->OpenWindow(L"", false, true);
    collection->failingItem = 1;
    Start();
    EXPECT_TRUE(Record(opener) && !Record(a) && Record(b));
    collection->failures[L"Count"] = E_FAIL;
    engine->Update();
    EXPECT_EQ(2, Logged("XShell Invoke Error..."));
    EXPECT_EQ(0u, engine->Explorers().Count()) << "Count failing counts as no windows";
}

TEST_F(EngineTest, WithoutACollectionBrowsersHandedInAreStillTracked) {
    fakes::ProgIdOverride noShell(kShellWindowsProgId, nullptr);
    Start();
    EXPECT_EQ(1, Logged("XShell Create Error..."));
    Window kept = collection->MakeWindow(L"", false, true);
    Window dropped = collection->MakeWindow(L"", false, true);
    engine->AddExplorer(kept.Get())->pending = true;
    Explorer* record = engine->AddExplorer(dropped.Get());
    EXPECT_TRUE(record->IsConnected() && !record->pending);
    EXPECT_EQ(record, engine->AddExplorer(dropped.Get())) << "a known browser is found";
    engine->Update();
    EXPECT_TRUE(Record(kept) && !Record(dropped));
}

// The failed sinks themselves are checked by the fixture: nothing may outlive them.
TEST_F(EngineTest, SinkFailuresAreLoggedAndABrowsersSinkIsRetriedByUpdate) {
    using browserdouble::EventPoint;
    for (auto result :
         {&EventPoint::adviseResult, &EventPoint::findResult, &EventPoint::unadviseResult}) {
        collection->events.*result = E_FAIL;
        Start();
        engine.reset();
        collection->events.*result = S_OK;
    }
    EXPECT_EQ(2, Logged("XShell Advise Error..."));
    EXPECT_EQ(1, Logged("XShell Unadvise Error..."));
    Window browser = collection->OpenWindow(L"", false, true);
    browser->events.adviseResult = CONNECT_E_ADVISELIMIT;
    Start();
    EXPECT_EQ(1, Logged("Event Advise Error..."));
    ASSERT_TRUE(Record(browser) && !Record(browser)->IsConnected());
    browser->events.adviseResult = S_OK;
    collection->FireWindowEvent(DISPID_WINDOWREGISTERED, 0);
    EXPECT_EQ((Counts{1, 1}), Sinks());
}

TEST_F(EngineTest, EventsDuringAndAfterTheTearDownDoNothing) {
    Window browser = collection->OpenWindow(L"", false, true);
    Start();
    // A window registered and a fixed-size request for every window: with
    // an owner, the first would reconcile and the second close the window.
    const auto shellSinks = collection->events.sinks, browserSinks = browser->events.sinks,
               openerSinks = opener->events.sinks;
    auto fire = [](const std::map<DWORD, ComPtr<IDispatch>>& sinks, DISPID id, VARIANT arg) {
        DISPPARAMS params = {&arg, nullptr, 1, 0};
        for (const auto& [cookie, sink] : sinks)
            EXPECT_EQ(S_OK, sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                                         nullptr, nullptr));
    };
    int fired = 0;
    auto lateEvents = [&] {
        fire(shellSinks, DISPID_WINDOWREGISTERED, browserdouble::MakeVariant(VT_I4, 7L));
        for (const auto* sinks : {&browserSinks, &openerSinks})
            fire(*sinks, DISPID_WINDOWSETRESIZABLE,
                 browserdouble::MakeVariant<VARIANT_BOOL>(VT_BOOL, VARIANT_FALSE));
        ++fired;
    };
    // Events arrive while the tear-down waits in each of its unadvise calls.
    for (auto* point : {&collection->events, &browser->events, &opener->events})
        point->duringUnadvise = lateEvents;
    const int countReads = collection->countReads;
    engine.reset();
    EXPECT_EQ(3, fired);
    EXPECT_EQ((Counts{0, 0}), Sinks());
    EXPECT_TRUE(collection->events.sinks.empty());
    // And through sinks that someone still holds afterwards.
    lateEvents();
    EXPECT_EQ(countReads, collection->countReads) << "no Update without an owner";
    EXPECT_EQ(0, browser->quits + opener->quits);
}

// A new browser window for a new-window request, announced by the shell or not yet.
TEST_F(EngineTest, NoBrowserCreatesAHiddenPendingWindowWithoutARescan) {
    for (bool listed : {true, false}) {
        Restart();
        unlisted = !listed;
        Start();
        const int countReads = collection->countReads;
        Explorer* record = engine->AddExplorer(nullptr);
        BrowserWindow* made = collection->Find(collection->LastId());
        ASSERT_TRUE(record && made != opener.Get()) << listed;
        EXPECT_EQ(static_cast<IDispatch*>(made), record->Dispatch());
        EXPECT_TRUE(record->pending && record->IsConnected() && !made->visible);
        EXPECT_EQ(1u, made->events.sinks.size());
        EXPECT_EQ(2u, engine->Explorers().Count()) << "one record, though the shell announced it";
        EXPECT_EQ(countReads, collection->countReads) << "no rescan on the popup's path";
        engine->Update();
        EXPECT_EQ(record, engine->FindExplorer(made)) << "pending records stay";
    }
}

TEST_F(EngineTest, WhenNoWindowCanBeMadeARescanFollowsAndTheBrowsersOwnIsJudged) {
    Start();
    fakes::ProgIdOverride noBrowser(kBrowserProgId, nullptr);
    EXPECT_EQ(nullptr, engine->AddExplorer(nullptr));
    EXPECT_EQ(1, Logged("AddExplorer:: Explorer Creation Error..."));
    Window other = collection->OpenWindow(L"", false, true, false);
    engine->RunPendingReconciliation();
    EXPECT_TRUE(Record(other));
    Window popup = Popup(L"http://www.elsewhere.net/");
    EXPECT_EQ(0, Logged("NewWindow2 Event : IE Popup Attempt..."));
    EXPECT_EQ(1, popup->quits);
}

} // namespace
} // namespace vx::test
