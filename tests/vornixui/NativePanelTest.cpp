// The real VornixUI.exe beside the real agent: its native page, chosen where
// the browser's page does not come, with every control bound to its setting.
#include "VornixUI/NativePage.h"
#include "PanelFakes.h"

#include "tests/support/PopupRig.h"
#include "tests/support/ProcessTools.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace vx::test {
namespace {

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                        &copied);
    return text;
}

// VornixUI.exe, the only one running, and its native page once that is shown.
class Panel {
  public:
    explicit Panel(const wchar_t* switches)
        : process_(StartProcess(Quoted(BesideTest(L"VornixUI.exe")) + L" " + switches)) {
        for (int waited = 0; !page_ && waited < 20000 && IsRunning(process_.Get()); waited += 100) {
            PumpFor(100);
            dialog_ = FindWindowW(L"#32770", L"Vornix! Popup Blocker");
            page_ = FindWindowExW(dialog_, nullptr, NativePage::kWindowClass, nullptr);
        }
        // The page is complete, and bound, once the count has been filled.
        for (int waited = 0; page_ && TextOf(Control(L"NumPopups")).empty() && waited < 5000;
             waited += 50)
            PumpFor(50);
    }
    ~Panel() {
        if (!IsRunning(process_.Get())) return;
        PostMessageW(dialog_, WM_CLOSE, 0, 0);
        if (WaitForExit(process_.Get(), 10000) == kNoExitCode) TerminateProcess(process_.Get(), 1);
    }

    HWND Page() const { return page_; }
    HWND Control(const wchar_t* id) const { return GetDlgItem(page_, NativePage::ControlId(id)); }
    HANDLE Process() const { return process_.Get(); }

  private:
    ScopedHandle process_;
    HWND dialog_ = nullptr;
    HWND page_ = nullptr;
};

class NativePanel : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        apartment_ = new ComApartment();
        rig_ = new PopupRig();
        started_ = PopupRig::Install();
        if (SUCCEEDED(started_)) started_ = rig_->Start();
    }
    static void TearDownTestSuite() {
        rig_->Stop();
        delete rig_;
        PopupRig::Uninstall();
        delete apartment_;
    }
    void SetUp() override { ASSERT_EQ(started_, S_OK) << rig_->FailedStep(); }

    static LateBound& Agent() { return rig_->Agent(); }
    // What read() answers once it is `expected`, or its last answer.
    template <typename T, typename Read> static T Settled(Read read, const T& expected) {
        T value = read();
        for (int waited = 0; value != expected && waited < 5000; waited += 50) {
            PumpFor(50);
            value = read();
        }
        return value;
    }

    static ComApartment* apartment_;
    static PopupRig* rig_;
    static HRESULT started_;
};
ComApartment* NativePanel::apartment_ = nullptr;
PopupRig* NativePanel::rig_ = nullptr;
HRESULT NativePanel::started_ = E_FAIL;

TEST_F(NativePanel, ShowsTheAgentsSettingsLaidOutAndEachKindOfControlChangesOne) {
    ASSERT_EQ(Agent().Put(L"MuteAudio", "I", 1), S_OK);
    ASSERT_EQ(Agent().Put(L"AllowSameSite", "I", 0), S_OK);
    ASSERT_EQ(Agent().Put(L"KillFixedSize", "I", 0), S_OK);
    ASSERT_EQ(Agent().Put(L"BypassKeys", "i", 6), S_OK);
    const std::wstring count = std::to_wstring(Agent().Long(L"BlockedCount").value_or(-1));
    Panel panel(L"");
    ASSERT_TRUE(panel.Page()) << "the native page replaced the browser's";
    EXPECT_EQ(TextOf(panel.Control(L"NumPopups")), count);
    EXPECT_EQ(TextOf(panel.Control(L"FileName")), L"");
    // Every element of the page, and whether its box is checked (-1: not a box).
    const std::pair<const wchar_t*, int> controls[] = {
        {L"NoSameSite", 1}, {L"NoFixed", 0},      {L"Ctrl", 0},      {L"Alt", 1},
        {L"Shift", 1},      {L"ShowTray", 1},     {L"ShowDiag", 0},  {L"Quit", 0},
        {L"MuteAudio", 1},  {L"NumPopups", -1},   {L"FileName", -1}, {L"PickFile", -1},
        {L"Play", -1},      {L"Vhelp", -1},       {L"Vabout", -1},   {L"WebSite", -1},
        {L"ButtonOK", -1},  {L"ButtonCancel", -1}};
    for (const auto& [id, checked] : controls) {
        EXPECT_TRUE(IsWindowVisible(panel.Control(id))) << Ascii(id);
        if (checked >= 0) {
            EXPECT_EQ(SendMessageW(panel.Control(id), BM_GETCHECK, 0, 0),
                      checked ? BST_CHECKED : BST_UNCHECKED)
                << Ascii(id);
        }
    }
    // Laid out, not piled up: every window inside the page, none on another.
    RECT page;
    GetWindowRect(panel.Page(), &page);
    std::vector<std::pair<RECT, std::wstring>> placed;
    for (HWND w = GetWindow(panel.Page(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        RECT r, overlap;
        GetWindowRect(w, &r);
        const std::wstring text = TextOf(w);
        EXPECT_TRUE(r.left >= page.left && r.top >= page.top && r.right <= page.right &&
                    r.bottom <= page.bottom)
            << Ascii(text);
        for (const auto& other : placed)
            EXPECT_FALSE(IntersectRect(&overlap, &r, &other.first))
                << Ascii(text) << " on " << Ascii(other.second);
        placed.emplace_back(r, text);
    }
    EXPECT_GE(placed.size(), std::size(controls));

    const struct {
        const wchar_t *id, *member;
        LONG after;
    } clicks[] = {
        {L"NoFixed", L"KillFixedSize", 1},
        {L"Alt", L"BypassKeys", 4},
        {L"MuteAudio", L"MuteAudio", 0},
    };
    for (const auto& c : clicks) {
        SCOPED_TRACE(Ascii(c.id));
        ClickOn(panel.Control(c.id));
        EXPECT_EQ(Settled([&] { return Agent().Long(c.member).value_or(-1); }, c.after), c.after);
    }
    // The count is read again when it is clicked.
    ASSERT_TRUE(rig_->Popup(L"http://ads.unknown.example.com/").Blocked());
    const std::wstring blocked = std::to_wstring(Agent().Long(L"BlockedCount").value_or(-1));
    ClickOn(panel.Control(L"NumPopups"));
    EXPECT_EQ(Settled([&] { return TextOf(panel.Control(L"NumPopups")); }, blocked), blocked);
    PostMessageW(panel.Control(L"NoFixed"), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(WaitForExit(panel.Process(), 10000), 0u) << "Escape closes";
}

} // namespace
} // namespace vx::test
