#include "EngineTestSupport.h"

#include "DoubleIds.h"

#include <olectl.h>

#include <functional>

namespace vx::test {
namespace {

using browserdouble::kDispWindowRegistered;
using browserdouble::kDispWindowRevoked;

class TrackerTest : public EngineTest {
  protected:
    // The shell drops a window and says so, without the window quitting.
    void Revoked(BrowserWindow* window) {
        collection->Remove(window);
        collection->FireWindowEvent(kDispWindowRevoked, window->Id());
    }
};

TEST_F(TrackerTest, InitialScanTracksEveryWindowShowsHiddenOnesAndMarksNonePending) {
    Window hiddenIE = collection->OpenWindow(L"http://a.example.com/", false, false);
    Window folder = collection->OpenWindow(L"file:///C:/", true, false);
    Start();
    ASSERT_EQ(3u, shell->Explorers().Count());
    EXPECT_EQ(3, Logged("Window Opening..."));
    EXPECT_TRUE(hiddenIE->IsVisible());
    EXPECT_TRUE(folder->IsVisible());
    EXPECT_EQ(0, opener->visiblePuts);
    for (auto& record : shell->Explorers()) EXPECT_FALSE(record->pending);
    EXPECT_EQ(1, hiddenIE->SinkCount());
    EXPECT_EQ(1, opener->SinkCount());
    EXPECT_EQ(0, folder->SinkCount()) << "folder windows get no sink";
    EXPECT_EQ(1, collection->Events().SinkCount());
    EXPECT_FALSE(shell->IsStarting());

    // Seen after start-up: pending, visibility untouched.
    Window ie = collection->OpenWindow(L"http://c.example.com/", false, false);
    Window later = collection->OpenWindow(L"", true, false);
    EXPECT_EQ(2, Logged("New Window Registered Event..."));
    Explorer* ieRecord = shell->FindExplorer(ie.Get());
    Explorer* folderRecord = shell->FindExplorer(later.Get());
    ASSERT_TRUE(ieRecord && folderRecord);
    EXPECT_TRUE(ieRecord->pending && ieRecord->IsConnected());
    EXPECT_FALSE(folderRecord->pending || folderRecord->IsConnected());
    EXPECT_EQ(0, ie->visiblePuts + later->visiblePuts);
}

TEST_F(TrackerTest, ReconciliationKeepsPendingRecordsAndDropsClosedOnes) {
    Window old = collection->OpenWindow(L"", false, true);
    Start();
    Window popup = collection->OpenWindow(L"", false, true);
    Explorer* popupRecord = shell->FindExplorer(popup.Get());
    ASSERT_TRUE(popupRecord && popupRecord->pending);
    popupRecord->openerUrl = L"http://opener.example.com/";

    // A known window met again keeps its record, its flags and its one sink.
    collection->FireWindowEvent(kDispWindowRegistered, 0);
    EXPECT_EQ(popupRecord, shell->FindExplorer(popup.Get()));
    EXPECT_TRUE(popupRecord->pending);
    EXPECT_EQ(L"http://opener.example.com/", popupRecord->openerUrl.value_or(L""));
    EXPECT_EQ(1, popup->Events().advises);

    Revoked(popup.Get());
    Revoked(old.Get());
    EXPECT_TRUE(shell->ReconciliationPending()) << "revocations wait for one rescan";
    shell->RunPendingReconciliation();
    EXPECT_EQ(popupRecord, shell->FindExplorer(popup.Get())) << "pending survives";
    EXPECT_EQ(nullptr, shell->FindExplorer(old.Get()));
    EXPECT_EQ(1, Logged("Window Closed..."));
    EXPECT_EQ(0, old->SinkCount()) << "a dropped record disconnects its sink";

    popupRecord->pending = false;
    collection->FireWindowEvent(kDispWindowRevoked, 0);
    shell->RunPendingReconciliation();
    EXPECT_EQ(nullptr, shell->FindExplorer(popup.Get()));
    EXPECT_EQ(1u, shell->Explorers().Count()) << "the opener";
}

TEST_F(TrackerTest, WindowsThatQuitGoWithTheirRevocationOrTheNextRescan) {
    struct Row {
        const char* what;
        bool pending;
        bool revokedEvent; // or the window leaves the collection silently
    } rows[] = {
        {"tracked, shell silent", false, false},
        {"awaiting its decision, shell silent", true, false},
        {"awaiting its decision, revoked", true, true},
    };
    Start();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Window window = collection->OpenWindow(L"", false, true);
        Explorer* record = shell->FindExplorer(window.Get());
        ASSERT_TRUE(record);
        record->pending = row.pending;
        int closed = Logged("Window Closed...");
        window->FireQuit();
        shell->RunPendingReconciliation();
        EXPECT_EQ(record, shell->FindExplorer(window.Get())) << "kept while still listed";
        EXPECT_TRUE(shell->ReconciliationPending()) << "and looked for again later";
        if (row.revokedEvent) {
            collection->Revoke(window.Get());
        } else {
            collection->Remove(window.Get());
            shell->RunPendingReconciliation();
        }
        EXPECT_EQ(nullptr, shell->FindExplorer(window.Get()));
        EXPECT_EQ(closed + 1, Logged("Window Closed..."));
        EXPECT_EQ(0, window->SinkCount());
    }
}

TEST_F(TrackerTest, IsIEIsACaseInsensitiveSubstringTestCachedOnceAnswered) {
    struct Case {
        const wchar_t* fullName;
        bool isIE;
    } cases[] = {
        {L"C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE", true},
        {L"D:\\tools\\IExplore.exe.old\\other.exe", true},
        {L"C:\\windows\\explorer.exe", false},
        {L"", false},
        {L"iexplore", false},
    };
    Start();
    for (const auto& c : cases) {
        Window browser = collection->MakeWindow(L"", false, true);
        browser->fullName = c.fullName;
        Explorer record(shell.get(), browser.Get());
        EXPECT_EQ(c.isIE, record.IsIE()) << std::string(c.fullName, c.fullName + wcslen(c.fullName));
        record.IsIE();
        EXPECT_EQ(1, browser->fullNameReads) << "answer cached";
    }
}

TEST_F(TrackerTest, FailingBrowserMembersAreLoggedAndDefaulted) {
    Start();
    Window browser = collection->MakeWindow(L"http://www.example.com/", false, false);
    browser->failures = {
        {L"FullName", RPC_E_DISCONNECTED}, {L"Visible", RPC_E_DISCONNECTED}, {L"Quit", E_FAIL}};
    Explorer record(shell.get(), browser.Get());

    EXPECT_FALSE(record.IsIE());
    EXPECT_EQ(1, Logged("Explorer Invoke Error..."));
    EXPECT_FALSE(LineAfter("Explorer Invoke Error...").empty()) << "error text follows";
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
    browser->failures.erase(L"LocationURL");
    EXPECT_EQ(L"http://www.example.com/", record.GetLocationURL());
    EXPECT_EQ(L"http://www.example.com/", record.locationUrl.value_or(L""));
}

TEST_F(TrackerTest, FailingCollectionMembersCountAsNoWindowsOrSkipTheIndex) {
    Window a = collection->OpenWindow(L"", false, true),
           b = collection->OpenWindow(L"", false, true);
    collection->failingItem = 1;
    Start();
    EXPECT_EQ(1, Logged("XShell Invoke Error..."));
    EXPECT_TRUE(shell->FindExplorer(opener.Get()));
    EXPECT_FALSE(shell->FindExplorer(a.Get()));
    EXPECT_TRUE(shell->FindExplorer(b.Get()));

    collection->failures[L"Count"] = E_FAIL;
    shell->Update();
    EXPECT_EQ(2, Logged("XShell Invoke Error..."));
    EXPECT_EQ(0u, shell->Explorers().Count()) << "Count failing counts as no windows";
}

TEST_F(TrackerTest, WithoutACollectionUpdateFindsNothingAndKeepsOnlyPendingRecords) {
    fakes::ProgIdOverride noShell(kShellWindowsProgId, nullptr);
    Start();
    EXPECT_EQ(1, Logged("XShell Create Error..."));
    EXPECT_FALSE(LineAfter("XShell Create Error...").empty());

    Window kept = collection->MakeWindow(L"", false, true),
           dropped = collection->MakeWindow(L"", false, true);
    shell->AddExplorer(kept.Get())->pending = true;
    Explorer* record = shell->AddExplorer(dropped.Get());
    EXPECT_EQ(2, Logged("New Window Found..."));
    EXPECT_TRUE(record->IsConnected() && !record->pending);
    EXPECT_EQ(record, shell->AddExplorer(dropped.Get())) << "a known browser is found";
    shell->Update();
    EXPECT_TRUE(shell->FindExplorer(kept.Get()));
    EXPECT_FALSE(shell->FindExplorer(dropped.Get()));
}

// The failed sink itself is checked by the fixture: nothing may outlive it.
TEST_F(TrackerTest, CollectionSinkFailuresLeaveNoSinkAliveAndAreLogged) {
    struct Case {
        std::function<void(browserdouble::EventPoint&)> arrange;
        const char* atStart;
        const char* atEnd;
    } cases[] = {
        {[](browserdouble::EventPoint& p) { p.adviseResult = E_FAIL; }, "XShell Advise Error...",
         nullptr},
        {[](browserdouble::EventPoint& p) { p.findResult = CONNECT_E_NOCONNECTION; },
         "XShell Advise Error...", nullptr},
        {[](browserdouble::EventPoint& p) { p.unadviseResult = E_UNEXPECTED; }, nullptr,
         "XShell Unadvise Error..."},
    };
    for (const auto& c : cases) {
        Restart();
        c.arrange(collection->Events());
        Start();
        EXPECT_EQ(c.atStart ? 1 : 0, Logged("XShell Advise Error..."));
        shell.reset();
        EXPECT_EQ(c.atEnd ? 1 : 0, Logged("XShell Unadvise Error..."));
        auto& point = collection->Events();
        point.adviseResult = point.unadviseResult = point.findResult = S_OK;
    }
}

TEST_F(TrackerTest, BrowserSinkFailuresAreRetriedByUpdate) {
    Window browser = collection->OpenWindow(L"", false, true);
    browser->Events().adviseResult = CONNECT_E_ADVISELIMIT;
    Start();
    EXPECT_EQ(1, Logged("Event Advise Error..."));
    Explorer* record = shell->FindExplorer(browser.Get());
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->IsConnected());

    browser->Events().adviseResult = S_OK;
    collection->FireWindowEvent(kDispWindowRegistered, 0);
    EXPECT_TRUE(record->IsConnected());
    EXPECT_EQ(1, browser->SinkCount());
}

TEST_F(TrackerTest, EventsDuringAndAfterTheTearDownDoNothing) {
    Window browser = collection->OpenWindow(L"", false, true);
    Start();
    auto shellSinks = collection->Events().Sinks();
    auto browserSinks = browser->Events().Sinks();
    for (auto& sink : opener->Events().Sinks())
        browserSinks.push_back(sink);
    ASSERT_EQ(1u, shellSinks.size());
    ASSERT_EQ(2u, browserSinks.size());

    // A window registered and a fixed-size request for every window: with
    // an owner, the first would reconcile and the second close the window.
    int fired = 0;
    auto lateEvents = [&] {
        VARIANTARG arg;
        V_VT(&arg) = VT_I4;
        V_I4(&arg) = 7;
        DISPPARAMS params = {&arg, nullptr, 1, 0};
        EXPECT_EQ(S_OK, shellSinks[0]->Invoke(kDispWindowRegistered, IID_NULL, 0, DISPATCH_METHOD,
                                              &params, nullptr, nullptr, nullptr));
        V_VT(&arg) = VT_BOOL;
        V_BOOL(&arg) = VARIANT_FALSE;
        for (auto& sink : browserSinks)
            EXPECT_EQ(S_OK, sink->Invoke(browserdouble::kDispWindowSetResizable, IID_NULL, 0,
                                         DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
        ++fired;
    };
    // Events arrive while the tear-down waits in each of its unadvise calls.
    for (auto* point : {&collection->Events(), &browser->Events(), &opener->Events()})
        point->duringUnadvise = lateEvents;
    int countReads = collection->countReads;
    shell.reset();
    EXPECT_EQ(3, fired);
    EXPECT_EQ(0, collection->Events().SinkCount()) << "unadvised at destruction";
    EXPECT_EQ(0, browser->SinkCount() + opener->SinkCount());

    // And through sinks that someone still holds afterwards.
    lateEvents();
    EXPECT_EQ(countReads, collection->countReads) << "no Update without an owner";
    EXPECT_EQ(0, browser->quits + opener->quits);
    for (auto* point : {&collection->Events(), &browser->Events(), &opener->Events()})
        point->duringUnadvise = nullptr;
}

TEST_F(TrackerTest, SinksDispatchThroughTheEnginesTypeLibrary) {
    Start();
    auto sinks = collection->Events().Sinks();
    ASSERT_EQ(1u, sinks.size());
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, sinks[0]->Invoke(4711, IID_NULL, 0, DISPATCH_METHOD, &none,
                                                      nullptr, nullptr, nullptr));
    struct {
        ComPtr<IDispatch> sink;
        const wchar_t* name;
        DISPID id;
    } const members[] = {{sinks[0], L"WindowRevoked", 201},
                         {opener->Events().Sinks()[0], L"NewWindow3", 273}};
    for (const auto& m : members) {
        DISPID id = 0;
        LPOLESTR name = const_cast<LPOLESTR>(m.name);
        EXPECT_EQ(S_OK, m.sink->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
        EXPECT_EQ(m.id, id);
    }
}

// Creating a new browser window for a new-window request.
TEST_F(TrackerTest, NoBrowserCreatesAHiddenPendingWindowWithoutARescan) {
    struct {
        const char* what;
        bool listed;
    } const rows[] = {{"announced by the shell", true}, {"not yet in the collection", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Restart();
        browsers.reset();
        browsers =
            Serve(kBrowserProgId, kClsid(1), kAnywhere, [this, row](REFIID riid, void** ppv) {
                HRESULT hr = BrowserWindow::CreateInstance(nullptr, riid, ppv);
                if (!row.listed) collection->Remove(collection->Find(collection->LastId()));
                return hr;
            });
        Start();
        int countReads = collection->countReads;
        Explorer* record = shell->AddExplorer(nullptr);
        BrowserWindow* made = collection->Find(collection->LastId());
        ASSERT_TRUE(record && made != opener.Get());
        EXPECT_EQ(1, Logged("New Window Creating..."));
        EXPECT_EQ(static_cast<IDispatch*>(made), record->Dispatch());
        EXPECT_TRUE(record->pending && record->IsConnected());
        EXPECT_FALSE(made->IsVisible()) << "supplied hidden";
        EXPECT_EQ(2u, shell->Explorers().Count()) << "one record, though the shell announced it";
        EXPECT_EQ(countReads, collection->countReads) << "no rescan on the popup's path";
        EXPECT_EQ(1, made->SinkCount());
        shell->Update();
        EXPECT_EQ(record, shell->FindExplorer(made)) << "pending records stay";
    }
}

TEST_F(TrackerTest, CreationFailureIsLoggedAndUpdateStillRuns) {
    browsers->createResult = E_ACCESSDENIED;
    Start();
    Window other = collection->OpenWindow(L"", false, true, false);
    EXPECT_EQ(nullptr, shell->AddExplorer(nullptr));
    EXPECT_EQ(1, Logged("AddExplorer:: Explorer Creation Error..."));
    shell->RunPendingReconciliation();
    EXPECT_TRUE(shell->FindExplorer(other.Get())) << "a reconciliation followed";
}

} // namespace
} // namespace vx::test
