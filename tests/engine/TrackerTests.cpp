#include "EngineTestSupport.h"

namespace vx::test {
namespace {

class TrackerTest : public EngineTest {};

TEST_F(TrackerTest, InitialScanTracksEveryWindowShowsHiddenOnesAndMarksNonePending) {
    auto hiddenIE = MakeBrowser(fakes::kIEFullName, L"http://a.example.com/", false);
    auto shownIE = MakeBrowser(fakes::kIEFullName, L"http://b.example.com/", true);
    auto folder = MakeBrowser(fakes::kFolderFullName, L"file:///C:/", false);
    for (auto* b : {hiddenIE.Get(), shownIE.Get(), folder.Get()}) collection->Add(b);

    Start();

    ASSERT_EQ(3u, shell->Explorers().Count());
    EXPECT_EQ(3, Logged("Window Opening..."));
    EXPECT_TRUE(hiddenIE->visible);
    EXPECT_TRUE(folder->visible);
    EXPECT_EQ(0, shownIE->visiblePuts);
    for (auto& record : shell->Explorers()) EXPECT_FALSE(record->pending);
    EXPECT_EQ(1u, hiddenIE->Point().SinkCount());
    EXPECT_EQ(1u, shownIE->Point().SinkCount());
    EXPECT_EQ(0u, folder->Point().SinkCount()) << "folder windows get no sink";
    EXPECT_EQ(1u, collection->Point().SinkCount());
    EXPECT_FALSE(shell->IsStarting());
}

TEST_F(TrackerTest, WindowsSeenAfterStartupBecomePendingWithoutTouchingVisibility) {
    Start();
    auto ie = MakeBrowser(fakes::kIEFullName, L"http://c.example.com/", false);
    auto folder = MakeBrowser(fakes::kFolderFullName, L"", false);

    collection->Register(ie.Get());
    collection->Register(folder.Get());

    EXPECT_EQ(2, Logged("New Window Registered Event..."));
    Explorer* ieRecord = shell->FindExplorer(ie.Get());
    Explorer* folderRecord = shell->FindExplorer(folder.Get());
    ASSERT_TRUE(ieRecord && folderRecord);
    EXPECT_TRUE(ieRecord->pending);
    EXPECT_TRUE(ieRecord->IsConnected());
    EXPECT_FALSE(folderRecord->pending);
    EXPECT_FALSE(folderRecord->IsConnected());
    EXPECT_EQ(0, ie->visiblePuts);
    EXPECT_EQ(0, folder->visiblePuts);
}

TEST_F(TrackerTest, ReconciliationKeepsPendingRecordsAndDropsClosedOnes) {
    auto old = MakeBrowser();
    collection->Add(old.Get());
    Start();
    auto popup = MakeBrowser();
    collection->Register(popup.Get());
    Explorer* popupRecord = shell->FindExplorer(popup.Get());
    ASSERT_TRUE(popupRecord && popupRecord->pending);
    popupRecord->openerUrl = L"http://opener.example.com/";

    // A known window met again keeps its record, its flags and its one sink.
    collection->FireWindowRegistered();
    EXPECT_EQ(popupRecord, shell->FindExplorer(popup.Get()));
    EXPECT_TRUE(popupRecord->pending);
    EXPECT_EQ(L"http://opener.example.com/", popupRecord->openerUrl.value_or(L""));
    EXPECT_EQ(1, popup->Point().advises);

    collection->Revoke(popup.Get());
    collection->Revoke(old.Get());
    EXPECT_TRUE(shell->ReconciliationPending()) << "revocations wait for one rescan";
    shell->RunPendingReconciliation();
    EXPECT_EQ(popupRecord, shell->FindExplorer(popup.Get())) << "pending survives";
    EXPECT_EQ(nullptr, shell->FindExplorer(old.Get()));
    EXPECT_EQ(1, Logged("Window Closed..."));
    EXPECT_EQ(0u, old->Point().SinkCount()) << "a dropped record disconnects its sink";

    popupRecord->pending = false;
    collection->FireWindowRevoked();
    shell->RunPendingReconciliation();
    EXPECT_EQ(nullptr, shell->FindExplorer(popup.Get()));
    EXPECT_EQ(0u, shell->Explorers().Count());
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
        auto window = MakeBrowser();
        collection->Register(window.Get());
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
        EXPECT_EQ(0u, window->Point().SinkCount());
    }
}

TEST_F(TrackerTest, IsIEIsACaseInsensitiveSubstringTestCachedOnceAnswered) {
    struct Case {
        const wchar_t* fullName;
        bool isIE;
    } cases[] = {
        {L"C:\\Program Files\\Internet Explorer\\iexplore.exe", true},
        {L"C:\\PROGRA~1\\INTERN~1\\IEXPLORE.EXE", true},
        {L"D:\\tools\\IExplore.exe.old\\other.exe", true},
        {L"C:\\windows\\explorer.exe", false},
        {L"", false},
        {L"iexplore", false},
    };
    Start();
    for (const auto& c : cases) {
        auto browser = MakeBrowser(c.fullName);
        Explorer record(shell.get(), browser.Get());
        EXPECT_EQ(c.isIE, record.IsIE()) << std::string(c.fullName, c.fullName + wcslen(c.fullName));
        record.IsIE();
        EXPECT_EQ(1, browser->fullNameReads) << "answer cached";
    }
}

TEST_F(TrackerTest, FailingBrowserMembersAreLoggedAndDefaulted) {
    Start();
    auto browser = MakeBrowser(fakes::kIEFullName, L"http://www.example.com/", false);
    browser->failures[L"FullName"] = RPC_E_DISCONNECTED;
    browser->failures[L"Visible"] = RPC_E_DISCONNECTED;
    browser->failures[L"Quit"] = E_FAIL;
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
    auto a = MakeBrowser(), b = MakeBrowser(), c = MakeBrowser();
    for (auto* w : {a.Get(), b.Get(), c.Get()}) collection->Add(w);
    collection->failingItems = {1};
    Start();
    EXPECT_EQ(1, Logged("XShell Invoke Error..."));
    EXPECT_TRUE(shell->FindExplorer(a.Get()));
    EXPECT_FALSE(shell->FindExplorer(b.Get()));
    EXPECT_TRUE(shell->FindExplorer(c.Get()));

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

    auto kept = MakeBrowser(), dropped = MakeBrowser();
    shell->AddExplorer(kept.Get())->pending = true;
    shell->AddExplorer(dropped.Get());
    EXPECT_EQ(2, Logged("New Window Found..."));
    shell->Update();
    EXPECT_TRUE(shell->FindExplorer(kept.Get()));
    EXPECT_FALSE(shell->FindExplorer(dropped.Get()));
}

TEST_F(TrackerTest, CollectionSinkFailuresLeaveNoSinkAlive) {
    struct Case {
        const char* text;
        std::function<void(FakeShellWindows&)> arrange;
    } cases[] = {
        {"XShell Advise Error...", [](FakeShellWindows& c) { c.Point().adviseResult = E_FAIL; }},
        {"XShell Advise Error...",
         [](FakeShellWindows& c) { c.findPointResult = CONNECT_E_NOCONNECTION; }},
    };
    for (const auto& c : cases) {
        c.arrange(*collection.Get());
        int before = Logged(c.text);
        Start();
        EXPECT_EQ(before + 1, Logged(c.text));
        EXPECT_EQ(0, ModuleLockCount()) << "the failed sink is destroyed";
        shell.reset();
        collection->Point().adviseResult = S_OK;
        collection->findPointResult = S_OK;
        EXPECT_EQ(0, Logged("XShell Unadvise Error..."));
        collection = ComPtr<FakeShellWindows>::Attach(new FakeShellWindows());
    }
}

TEST_F(TrackerTest, BrowserSinkFailuresAreRetriedByUpdate) {
    auto browser = MakeBrowser();
    browser->Point().adviseResult = CONNECT_E_ADVISELIMIT;
    collection->Add(browser.Get());
    Start();
    EXPECT_EQ(1, Logged("Event Advise Error..."));
    Explorer* record = shell->FindExplorer(browser.Get());
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->IsConnected());
    EXPECT_EQ(1, ModuleLockCount()) << "only the collection's sink lives";

    browser->Point().adviseResult = S_OK;
    collection->FireWindowRegistered();
    EXPECT_TRUE(record->IsConnected());
    EXPECT_EQ(1u, browser->Point().SinkCount());
    EXPECT_EQ(2, ModuleLockCount());
}

TEST_F(TrackerTest, EventsDuringAndAfterTheTearDownDoNothing) {
    auto browser = MakeBrowser();
    auto other = MakeBrowser();
    collection->Add(browser.Get());
    collection->Add(other.Get());
    Start();
    shell->KillFixedSize = 1;
    auto shellSinks = collection->Point().Sinks();
    auto browserSinks = browser->Point().Sinks();
    for (auto& sink : other->Point().Sinks()) browserSinks.push_back(sink);
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
        EXPECT_EQ(S_OK, shellSinks[0]->Invoke(200, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                                              nullptr, nullptr));
        VARIANTARG resizable;
        V_VT(&resizable) = VT_BOOL;
        V_BOOL(&resizable) = VARIANT_FALSE;
        DISPPARAMS one = {&resizable, nullptr, 1, 0};
        for (auto& sink : browserSinks)
            EXPECT_EQ(S_OK, sink->Invoke(262, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr,
                                         nullptr));
        ++fired;
    };
    // Events arrive while the tear-down waits in each of its unadvise calls.
    collection->Point().duringUnadvise = lateEvents;
    browser->Point().duringUnadvise = lateEvents;
    other->Point().duringUnadvise = lateEvents;
    int countReads = collection->countReads;
    shell.reset();
    EXPECT_EQ(3, fired);
    EXPECT_EQ(0u, collection->Point().SinkCount()) << "unadvised at destruction";
    EXPECT_EQ(0u, browser->Point().SinkCount());
    EXPECT_EQ(0u, other->Point().SinkCount());

    // And through sinks that someone still holds afterwards.
    lateEvents();
    EXPECT_EQ(countReads, collection->countReads) << "no Update without an owner";
    EXPECT_EQ(0, browser->quits + other->quits);

    collection->Point().duringUnadvise = nullptr;
    browser->Point().duringUnadvise = other->Point().duringUnadvise = nullptr;
    shellSinks.clear();
    browserSinks.clear();
}

TEST_F(TrackerTest, SinksDispatchThroughTheTypeLibrary) {
    Start();
    auto sinks = collection->Point().Sinks();
    ASSERT_EQ(1u, sinks.size());
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, sinks[0]->Invoke(4711, IID_NULL, 0, DISPATCH_METHOD, &none,
                                                      nullptr, nullptr, nullptr));
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"WindowRevoked");
    EXPECT_EQ(S_OK, sinks[0]->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    EXPECT_EQ(201, id);
}

TEST_F(TrackerTest, UnadviseFailureAtDestructionIsLogged) {
    Start();
    collection->Point().unadviseResult = E_UNEXPECTED;
    shell.reset();
    EXPECT_EQ(1, Logged("XShell Unadvise Error..."));
}

// Creating a new browser window for NewWindow2.
class AddExplorerTest : public EngineTest {
  protected:
    static constexpr CLSID kFakeBrowserClsid = {
        0x5e1f9a31, 0x27c4, 0x4b8e, {0x9d, 0x11, 0x6a, 0x0c, 0x3e, 0x52, 0x7b, 0x90}};

    void ServeBrowsers(bool registerInCollection) {
        browserClass = std::make_unique<fakes::InProcessClass>(
            kBrowserProgId, kFakeBrowserClsid, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
            [this, registerInCollection](REFIID riid, void** ppv) {
                auto browser = MakeBrowser(fakes::kIEFullName, L"", false);
                created.push_back(browser);
                // The shell announces the new window while its creator still
                // waits: the nested Update takes it in first.
                if (registerInCollection) collection->Register(browser.Get());
                return browser->QueryInterface(riid, ppv);
            });
        ASSERT_TRUE(SUCCEEDED(browserClass->Registered()));
    }

    void TearDown() override {
        shell.reset();
        browserClass.reset();
        created.clear();
        EngineTest::TearDown();
    }

    std::unique_ptr<fakes::InProcessClass> browserClass;
    std::vector<ComPtr<FakeBrowser>> created;
};

TEST_F(AddExplorerTest, AGivenBrowserIsFoundOrAddedConnectedAndNotPending) {
    Start();
    auto browser = MakeBrowser();
    Explorer* record = shell->AddExplorer(browser.Get());
    ASSERT_TRUE(record);
    EXPECT_EQ(1, Logged("New Window Found..."));
    EXPECT_TRUE(record->IsConnected());
    EXPECT_FALSE(record->pending);
    EXPECT_EQ(record, shell->AddExplorer(browser.Get()));
    EXPECT_EQ(1, Logged("New Window Found..."));
}

TEST_F(AddExplorerTest, NoBrowserCreatesAHiddenPendingWindow) {
    ServeBrowsers(true);
    Start();
    int countReads = collection->countReads;
    Explorer* record = shell->AddExplorer(nullptr);
    ASSERT_EQ(1u, created.size());
    ASSERT_TRUE(record);
    EXPECT_EQ(1, Logged("New Window Creating..."));
    EXPECT_EQ(static_cast<IDispatch*>(created[0].Get()), record->Dispatch());
    EXPECT_TRUE(record->pending);
    EXPECT_TRUE(record->IsConnected());
    EXPECT_FALSE(created[0]->visible) << "supplied hidden";
    EXPECT_EQ(1u, shell->Explorers().Count()) << "one record, though the shell announced it";
    EXPECT_EQ(1, Logged("Window Opening...")) << "as a rescan would have logged it";
    EXPECT_EQ(countReads, collection->countReads) << "no rescan on the popup's path";
    EXPECT_EQ(1u, created[0]->Point().SinkCount());
}

TEST_F(AddExplorerTest, ANewWindowNotYetInTheCollectionIsStillTrackedPending) {
    ServeBrowsers(false);
    Start();
    Explorer* record = shell->AddExplorer(nullptr);
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->pending);
    EXPECT_TRUE(record->IsConnected());
    shell->Update();
    EXPECT_EQ(record, shell->FindExplorer(created[0].Get())) << "pending records stay";
}

TEST_F(AddExplorerTest, CreationFailureIsLoggedAndUpdateStillRuns) {
    ServeBrowsers(true);
    browserClass->createResult = E_ACCESSDENIED;
    Start();
    auto other = MakeBrowser();
    collection->Add(other.Get());
    EXPECT_EQ(nullptr, shell->AddExplorer(nullptr));
    EXPECT_EQ(1, Logged("AddExplorer:: Explorer Creation Error..."));
    shell->RunPendingReconciliation();
    EXPECT_TRUE(shell->FindExplorer(other.Get())) << "a reconciliation followed";
}

} // namespace
} // namespace vx::test
