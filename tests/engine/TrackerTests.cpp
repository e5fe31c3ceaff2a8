#include "EngineTestSupport.h"

#include <functional>

namespace vx::test {
namespace {

class TrackerTest : public EngineTest {
  protected:
    Explorer* Record(const Window& window) { return engine->FindExplorer(window.Get()); }
    // The shell drops a window and says so, without the window quitting.
    void Revoked(const Window& window) {
        collection->Remove(window.Get());
        collection->FireWindowEvent(DISPID_WINDOWREVOKED, window->id);
    }
};

TEST_F(TrackerTest, StartUpShowsAndTracksEveryWindowAndLaterOnesAwaitTheirDecision) {
    Window hidden = collection->OpenWindow(L"http://a.example.com/", false, false);
    Window folder = collection->OpenWindow(L"file:///C:/", true, false);
    Start();
    EXPECT_EQ(3u, engine->Explorers().Count());
    EXPECT_EQ(3, Logged("Window Opening..."));
    EXPECT_TRUE(hidden->visible && folder->visible);
    for (auto& record : engine->Explorers())
        EXPECT_FALSE(record->pending);
    EXPECT_EQ(1, Sinks(hidden) * Sinks(opener) * collection->events.SinkCount());
    EXPECT_EQ(0, Sinks(folder)) << "folder windows get no sink";
    EXPECT_FALSE(engine->IsStarting());

    // A window the user opens later is judged at its first navigation.
    Window browser = collection->OpenWindow(L"http://c.example.com/", false, false);
    Window later = collection->OpenWindow(L"", true, false);
    EXPECT_EQ(2, Logged("New Window Registered Event..."));
    ASSERT_TRUE(Record(browser) && Record(later));
    EXPECT_TRUE(Record(browser)->pending && Record(browser)->IsConnected());
    EXPECT_FALSE(Record(later)->pending || Record(later)->IsConnected());
    EXPECT_FALSE(browser->visible || later->visible);
}

TEST_F(TrackerTest, ReconciliationKeepsPendingRecordsAndDropsClosedOnes) {
    Window old = collection->OpenWindow(L"", false, true);
    Start();
    Window popup = collection->OpenWindow(L"", false, true);
    Explorer* record = Record(popup);
    ASSERT_TRUE(record && record->pending);
    record->openerUrl = L"http://opener.example.com/";

    // A known window met again keeps its record, its flags and its one sink.
    collection->FireWindowEvent(DISPID_WINDOWREGISTERED, 0);
    EXPECT_EQ(record, Record(popup));
    EXPECT_TRUE(record->pending && record->openerUrl);
    EXPECT_EQ(1, Sinks(popup));

    Revoked(popup);
    Revoked(old);
    EXPECT_TRUE(engine->ReconciliationPending()) << "revocations wait for one rescan";
    engine->RunPendingReconciliation();
    EXPECT_EQ(record, Record(popup)) << "pending survives";
    EXPECT_EQ(nullptr, Record(old));
    EXPECT_EQ(1, Logged("Window Closed..."));
    EXPECT_EQ(0, Sinks(old)) << "a dropped record disconnects its sink";

    record->pending = false;
    collection->FireWindowEvent(DISPID_WINDOWREVOKED, 0);
    engine->RunPendingReconciliation();
    EXPECT_EQ(nullptr, Record(popup));
    EXPECT_EQ(1u, engine->Explorers().Count()) << "the opener";
}

TEST_F(TrackerTest, WindowsThatQuitGoWithTheirRevocationOrTheNextRescan) {
    const struct {
        const char* what;
        bool pending, revoked; // or the window leaves the collection silently
    } rows[] = {{"tracked, shell silent", false, false},
                {"awaiting its decision, shell silent", true, false},
                {"awaiting its decision, revoked", true, true}};
    Start();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Window window = collection->OpenWindow(L"", false, true);
        Explorer* record = Record(window);
        ASSERT_TRUE(record);
        record->pending = row.pending;
        const int closed = Logged("Window Closed...");
        window->FireQuit();
        engine->RunPendingReconciliation();
        EXPECT_EQ(record, Record(window)) << "kept while still listed";
        EXPECT_TRUE(engine->ReconciliationPending()) << "and looked for again later";
        if (row.revoked) collection->Revoke(window.Get());
        collection->Remove(window.Get());
        engine->RunPendingReconciliation();
        EXPECT_EQ(nullptr, Record(window));
        EXPECT_EQ(closed + 1, Logged("Window Closed..."));
        EXPECT_EQ(0, Sinks(window));
    }
}

TEST_F(TrackerTest, IsIEIsACaseInsensitiveSubstringTestCachedOnceAnswered) {
    const std::pair<const wchar_t*, bool> rows[] = {
        {L"C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE", true},
        {L"D:\\tools\\IExplore.exe.old\\other.exe", true},
        {L"C:\\windows\\explorer.exe", false},
        {L"", false},
        {L"iexplore", false},
    };
    Start();
    for (const auto& [fullName, isIE] : rows) {
        Window browser = collection->MakeWindow(L"", false, true);
        browser->fullName = fullName;
        Explorer record(engine.get(), browser.Get());
        EXPECT_EQ(isIE, record.IsIE()) << browser->id;
        browser->failures[L"FullName"] = E_FAIL;
        EXPECT_EQ(isIE, record.IsIE()) << "answer cached";
    }
    EXPECT_EQ(0, Logged("Explorer Invoke Error..."));
}

TEST_F(TrackerTest, FailingBrowserMembersAreLoggedAndDefaulted) {
    Start();
    Window browser = collection->MakeWindow(L"http://www.example.com/", false, false);
    browser->failures = {
        {L"FullName", RPC_E_DISCONNECTED}, {L"Visible", RPC_E_DISCONNECTED}, {L"Quit", E_FAIL}};
    Explorer record(engine.get(), browser.Get());
    EXPECT_FALSE(record.IsIE());
    browser->failures.erase(L"FullName");
    EXPECT_TRUE(record.IsIE()) << "a failed read is not cached";
    EXPECT_TRUE(record.GetVisible()) << "unreadable counts as visible";
    record.PutVisible(true);
    record.Quit();
    EXPECT_EQ(0, browser->quits);
    EXPECT_EQ(4, Logged("Explorer Invoke Error..."));

    record.locationUrl = L"http://kept/";
    browser->failures[L"LocationURL"] = RPC_E_DISCONNECTED;
    EXPECT_EQ(L"", record.GetLocationURL());
    EXPECT_EQ(L"http://kept/", record.locationUrl.value_or(L""));
    browser->failures.clear();
    EXPECT_EQ(L"http://www.example.com/", record.GetLocationURL());
    EXPECT_EQ(L"http://www.example.com/", record.locationUrl.value_or(L""));
}

TEST_F(TrackerTest, FailingCollectionMembersCountAsNoWindowsOrSkipTheIndex) {
    Window a = collection->OpenWindow(L"", false, true),
           b = collection->OpenWindow(L"", false, true);
    collection->failingItem = 1;
    Start();
    EXPECT_EQ(1, Logged("XShell Invoke Error..."));
    EXPECT_TRUE(Record(opener) && !Record(a) && Record(b));
    collection->failures[L"Count"] = E_FAIL;
    engine->Update();
    EXPECT_EQ(2, Logged("XShell Invoke Error..."));
    EXPECT_EQ(0u, engine->Explorers().Count()) << "Count failing counts as no windows";
}

TEST_F(TrackerTest, WithoutACollectionUpdateFindsNothingAndKeepsOnlyPendingRecords) {
    fakes::ProgIdOverride noShell(kShellWindowsProgId, nullptr);
    Start();
    EXPECT_EQ(1, Logged("XShell Create Error..."));
    Window kept = collection->MakeWindow(L"", false, true);
    Window dropped = collection->MakeWindow(L"", false, true);
    engine->AddExplorer(kept.Get())->pending = true;
    Explorer* record = engine->AddExplorer(dropped.Get());
    EXPECT_EQ(2, Logged("New Window Found..."));
    EXPECT_TRUE(record->IsConnected() && !record->pending);
    EXPECT_EQ(record, engine->AddExplorer(dropped.Get())) << "a known browser is found";
    engine->Update();
    EXPECT_TRUE(Record(kept) && !Record(dropped));
}

// The failed sinks themselves are checked by the fixture: nothing may outlive them.
TEST_F(TrackerTest, SinkFailuresAreLoggedAndABrowsersSinkIsRetriedByUpdate) {
    using browserdouble::EventPoint;
    const std::pair<HRESULT EventPoint::*, const char*> rows[] = {
        {&EventPoint::adviseResult, "XShell Advise Error..."},
        {&EventPoint::findResult, "XShell Advise Error..."},
        {&EventPoint::unadviseResult, "XShell Unadvise Error..."}};
    for (const auto& [result, line] : rows) {
        Restart();
        collection->events.*result = E_FAIL;
        Start();
        engine.reset();
        EXPECT_EQ(1, Logged(line));
        EXPECT_EQ(1, Logged("XShell Advise Error...") + Logged("XShell Unadvise Error..."));
        collection->events.*result = S_OK;
    }
    Window browser = collection->OpenWindow(L"", false, true);
    browser->events.adviseResult = CONNECT_E_ADVISELIMIT;
    Start();
    EXPECT_EQ(1, Logged("Event Advise Error..."));
    ASSERT_TRUE(Record(browser) && !Record(browser)->IsConnected());
    browser->events.adviseResult = S_OK;
    collection->FireWindowEvent(DISPID_WINDOWREGISTERED, 0);
    EXPECT_TRUE(Record(browser)->IsConnected() && Sinks(browser) == 1);
}

TEST_F(TrackerTest, EventsDuringAndAfterTheTearDownDoNothing) {
    Window browser = collection->OpenWindow(L"", false, true);
    Start();
    const auto shellSinks = collection->events.Sinks();
    auto browserSinks = browser->events.Sinks();
    browserSinks.push_back(opener->events.Sinks().at(0));
    ASSERT_EQ(1u, shellSinks.size());
    ASSERT_EQ(2u, browserSinks.size());
    // A window registered and a fixed-size request for every window: with
    // an owner, the first would reconcile and the second close the window.
    int fired = 0;
    auto fire = [](const std::vector<ComPtr<IDispatch>>& sinks, DISPID id, VARIANT arg) {
        DISPPARAMS params = {&arg, nullptr, 1, 0};
        for (const auto& sink : sinks)
            EXPECT_EQ(S_OK, sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                                         nullptr, nullptr));
    };
    auto lateEvents = [&] {
        fire(shellSinks, DISPID_WINDOWREGISTERED, browserdouble::MakeVariant(VT_I4, 7L));
        fire(browserSinks, DISPID_WINDOWSETRESIZABLE,
             browserdouble::MakeVariant<VARIANT_BOOL>(VT_BOOL, VARIANT_FALSE));
        ++fired;
    };
    // Events arrive while the tear-down waits in each of its unadvise calls.
    for (auto* point : {&collection->events, &browser->events, &opener->events})
        point->duringUnadvise = lateEvents;
    const int countReads = collection->countReads;
    engine.reset();
    EXPECT_EQ(3, fired);
    EXPECT_EQ(0, collection->events.SinkCount() + Sinks(browser) + Sinks(opener));
    // And through sinks that someone still holds afterwards.
    lateEvents();
    EXPECT_EQ(countReads, collection->countReads) << "no Update without an owner";
    EXPECT_EQ(0, browser->quits + opener->quits);
}

// Creating a new browser window for a new-window request.
TEST_F(TrackerTest, NoBrowserCreatesAHiddenPendingWindowWithoutARescan) {
    for (bool listed : {true, false}) {
        SCOPED_TRACE(listed ? "announced by the shell" : "not yet in the collection");
        Restart();
        browsers.reset();
        browsers = ServeBrowsers([this, listed] {
            if (!listed) collection->Remove(collection->Find(collection->LastId()));
        });
        Start();
        const int countReads = collection->countReads;
        Explorer* record = engine->AddExplorer(nullptr);
        BrowserWindow* made = collection->Find(collection->LastId());
        ASSERT_TRUE(record && made != opener.Get());
        EXPECT_EQ(1, Logged("New Window Creating..."));
        EXPECT_EQ(static_cast<IDispatch*>(made), record->Dispatch());
        EXPECT_TRUE(record->pending && record->IsConnected() && !made->visible);
        EXPECT_EQ(2u, engine->Explorers().Count()) << "one record, though the shell announced it";
        EXPECT_EQ(countReads, collection->countReads) << "no rescan on the popup's path";
        EXPECT_EQ(1, made->events.SinkCount());
        engine->Update();
        EXPECT_EQ(record, engine->FindExplorer(made)) << "pending records stay";
    }
}

TEST_F(TrackerTest, WhenNoWindowCanBeMadeARescanFollowsAndTheBrowsersOwnIsJudged) {
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
