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

TEST_F(EngineTest, FailedBrowserReadsAreLoggedAndOnlyAnswersCached) {
    Start();
    Window browser = collection->MakeWindow(L"http://www.example.com/", false, false);
    browser->failures = {{L"FullName", E_FAIL}, {L"LocationURL", E_FAIL}};
    Explorer record(engine.get(), browser.Get());
    record.locationUrl = L"http://kept/";
    EXPECT_FALSE(record.IsIE());
    EXPECT_EQ(L"", record.GetLocationURL());
    EXPECT_EQ(L"http://kept/", record.locationUrl.value_or(L""));
    EXPECT_EQ(2, Logged("Explorer Invoke Error..."));
    browser->failures.clear();
    EXPECT_TRUE(record.IsIE()) << "a failure is not cached";
    EXPECT_EQ(L"http://www.example.com/", record.GetLocationURL());
    browser->failures[L"FullName"] = E_FAIL;
    EXPECT_TRUE(record.IsIE()) << "an answer is";
}

TEST_F(EngineTest, AFailingOrMissingCollectionCountsAsNoWindowsOrSkipsTheIndex) {
    Window a = collection->OpenWindow(L"", false, true),
           b = collection->OpenWindow(L"", false, true);
    collection->failingItem = 1;
    Start();
    EXPECT_TRUE(Record(opener) && !Record(a) && Record(b));
    collection->failures[L"Count"] = E_FAIL;
    engine->Update();
    EXPECT_EQ(2, Logged("XShell Invoke Error..."));
    EXPECT_EQ(0u, engine->Explorers().Count()) << "Count failing counts as no windows";
    engine.reset();
    fakes::ProgIdOverride noShell(kShellWindowsProgId, nullptr);
    Start();
    EXPECT_EQ(1, Logged("XShell Create Error..."));
    EXPECT_EQ(0u, engine->Explorers().Count());
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
    // The sinks, as someone may hold them on: a window registered and a
    // fixed-size request for every window would, with an owner, reconcile
    // and close the windows.
    browserdouble::EventPoint shellSinks(nullptr, IID_NULL), browserSinks(nullptr, IID_NULL);
    shellSinks.sinks = collection->events.sinks;
    browserSinks.sinks = browser->events.sinks;
    browserSinks.sinks[0] = opener->events.sinks.begin()->second;
    int fired = 0;
    auto lateEvents = [&] {
        shellSinks.Fire(DISPID_WINDOWREGISTERED, {browserdouble::MakeVariant(VT_I4, 7L)});
        browserSinks.Fire(DISPID_WINDOWSETRESIZABLE,
                          {browserdouble::MakeVariant<VARIANT_BOOL>(VT_BOOL, VARIANT_FALSE)});
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
    lateEvents();
    EXPECT_EQ(countReads, collection->countReads) << "no Update without an owner";
    EXPECT_EQ(0, browser->quits + opener->quits);
}

// A new browser window for a new-window request, announced by the shell or
// not yet; a window another handler supplied; none that can be made.
TEST_F(EngineTest, NewWindowsAreMadeHiddenAndPendingWithoutARescan) {
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
    Window handed = collection->MakeWindow(L"", false, true);
    Explorer* record = engine->AddExplorer(handed.Get());
    EXPECT_TRUE(record->IsConnected() && !record->pending);
    EXPECT_EQ(record, engine->AddExplorer(handed.Get())) << "a known browser is found";

    fakes::ProgIdOverride noBrowser(kBrowserProgId, nullptr);
    EXPECT_EQ(nullptr, engine->AddExplorer(nullptr));
    EXPECT_EQ(1, Logged("AddExplorer:: Explorer Creation Error..."));
    Window other = collection->OpenWindow(L"", false, true, false);
    engine->RunPendingReconciliation();
    EXPECT_TRUE(Record(other)) << "a rescan followed";
    Window popup = Popup(L"http://www.elsewhere.net/");
    EXPECT_EQ(0, Logged("NewWindow2 Event : IE Popup Attempt..."));
    EXPECT_EQ(1, popup->quits) << "the browser's own window, judged as any other";
}

} // namespace
} // namespace vx::test
