#include "PopupTestSupport.h"

#include "common/UrlForms.h"

namespace vx::test {
namespace {

using fakes::Folder;
using fakes::Link;

// Sets a string value for the test, putting the old state back afterwards.
class ScopedRegistryText {
  public:
    ScopedRegistryText(HKEY root, const char* path, const char* name, const std::string& value)
        : root_(root), path_(path), name_(name) {
        RegKey key;
        RegCreateKeyExA(root_, path_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
        char old[1024] = {};
        DWORD size = sizeof old - 1;
        had_ = RegQueryValueExA(key.Get(), name_, nullptr, nullptr, reinterpret_cast<BYTE*>(old),
                                &size) == ERROR_SUCCESS;
        old_ = old;
        RegSetValueExA(key.Get(), name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    ~ScopedRegistryText() {
        RegKey key;
        RegOpenKeyExA(root_, path_, 0, KEY_ALL_ACCESS, key.Put());
        if (had_)
            RegSetValueExA(key.Get(), name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(old_.c_str()),
                           static_cast<DWORD>(old_.size() + 1));
        else
            RegDeleteValueA(key.Get(), name_);
    }

  private:
    HKEY root_;
    const char* path_;
    const char* name_;
    bool had_;
    std::string old_;
};

class AllowRuleTest : public PopupTest {
  protected:
    bool Known(const wchar_t* url) { return shell->IsKnownUrl(CanonicalUrl(url)); }
};

TEST_F(AllowRuleTest, SameSiteMatchesTheHostOnLabelBoundaries) {
    struct Row {
        const wchar_t* opener;
        const wchar_t* popup;
        bool shown;
    } rows[] = {
        {L"http://www.example.com/", L"http://example.com/x", true},
        {L"http://example.com/", L"http://www.example.com/x", true},
        {L"http://www.example.co.uk/", L"http://www.example.co.uk/x", true},
        {L"http://www.example.co.uk/", L"http://shop.example.co.uk/x", false},
        {L"http://www.example.com/", L"http://abc/x", false},
        {L"http://abc/", L"http://abc/x", false},
        {L"http://www.example.com/", L"http://ads.other.net/?r=example.com", false},
        {L"http://www.example.com/", L"http://example.com.other.net/", false},
        {L"http://www.example.com/", L"http://badexample.com/", false},
    };
    StartWith(1, 1);
    for (const auto& row : rows) {
        opener->locationUrl = row.opener;
        FakeBrowser* popup = OpenPopup();
        ASSERT_TRUE(popup);
        VARIANT_BOOL cancel = VARIANT_FALSE;
        popup->FireBeforeNavigate2(row.popup, nullptr, &cancel);
        EXPECT_EQ(row.shown, popup->visible)
            << std::string(row.opener, row.opener + wcslen(row.opener)) << " -> "
            << std::string(row.popup, row.popup + wcslen(row.popup));
    }
}

TEST_F(AllowRuleTest, APopupWithoutAnOpenerAddressIsNeverOnItsSite) {
    StartWith(1, 1);
    opener->failures[L"LocationURL"] = RPC_E_DISCONNECTED;
    FakeBrowser* popup = OpenPopup();
    ASSERT_TRUE(popup);
    EXPECT_EQ(L"", shell->FindExplorer(popup)->openerUrl.value_or(L"?"));
    VARIANT_BOOL cancel = VARIANT_FALSE;
    popup->FireBeforeNavigate2(L"http://www.example.com/", nullptr, &cancel);
    EXPECT_FALSE(popup->visible);
    EXPECT_GE(Logged("Marklor CrackURL Error..."), 1) << "the empty opener address cannot be split";
}

TEST_F(AllowRuleTest, StartPageMatchesOnlyTheWholeAddress) {
    ScopedRegistryText start(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main",
                             "Start Page", "http://start.example.net/home");
    StartWith(0, 1);
    EXPECT_TRUE(Known(L"http://start.example.net/home"));
    EXPECT_TRUE(Known(L"HTTP://START.EXAMPLE.NET/home"));
    EXPECT_FALSE(Known(L"http://start.example.net/home?x=1"));
    EXPECT_FALSE(Known(L"http://start.example.net/home#top"));
}

TEST_F(AllowRuleTest, AStartPageThatDoesNotFitCountsAsMissing) {
    std::string longPage = "http://start.example.net/" + std::string(240, 'p');
    ScopedRegistryText start(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\Main",
                             "Start Page", longPage);
    StartWith(0, 1);
    std::wstring wide(longPage.begin(), longPage.end());
    EXPECT_FALSE(Known(wide.c_str()));
}

TEST_F(AllowRuleTest, LocalPagesInsideProgramFilesAndResourcePagesAreKnown) {
    ScopedRegistryText folder(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                              "ProgramFilesDir", "C:\\Program Files");
    StartWith(0, 1);
    EXPECT_TRUE(Known(L"C:\\Program Files\\Quandrel\\help.htm"));
    EXPECT_TRUE(Known(L"file:///C:/Program Files/Other/page.htm"));
    EXPECT_FALSE(Known(L"C:\\windows\\help.htm"));
    EXPECT_FALSE(Known(L"http://www.elsewhere.net/C:/Program Files/")) << "only file: URLs";
    EXPECT_TRUE(Known(L"res://ieframe.dll/navcancl.htm"));
    EXPECT_TRUE(Known(L"RES://ieframe.dll/navcancl.htm"));
}

TEST_F(AllowRuleTest, WithoutAProgramFilesValueEveryLocalPageIsKnown) {
    std::string tooLong = "C:\\" + std::string(270, 'd');
    ScopedRegistryText folder(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                              "ProgramFilesDir", tooLong);
    StartWith(0, 1);
    EXPECT_TRUE(Known(L"C:\\windows\\help.htm"));
}

TEST_F(AllowRuleTest, FavouritesAllowTheirWholeSiteAcrossFolders) {
    *favorites = {
        Link(L"Short", L"a.b"),
        Link(L"Tiny host", L"http://abc/"),
        Folder(L"News", {Link(L"Paper", L"http://www.daily-paper.com/front")}),
        Folder(L"Ended", {Link(L"", L""), Link(L"Hidden", L"http://www.after-end.org/")}),
        Link(L"Shop", L"http://shop.example.org/"),
    };
    StartWith(0, 1);
    struct Row {
        const wchar_t* url;
        bool known;
    } rows[] = {
        {L"http://sport.daily-paper.com/today", true},
        {L"http://daily-paper.com/", true},
        {L"http://www.elsewhere.net/?ref=.daily-paper.com", false}, // the host alone counts
        {L"http://daily-paper.com.elsewhere.net/", false},
        {L"http://www.example.org/", true},
        {L"http://www.after-end.org/", false}, // behind the item that ends its folder
        {L"http://a.b/", false},
        {L"http://abc/", false},
        {L"http://www.elsewhere.net/", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.known, Known(row.url)) << std::string(row.url, row.url + wcslen(row.url));
    EXPECT_EQ(3, Logged("Favorite Popup Allowed..."));
}

TEST_F(AllowRuleTest, TheMakersSiteIsMatchedOnTheHost) {
    StartWith(0, 1);
    EXPECT_TRUE(Known(L"http://quandrel.com/"));
    EXPECT_TRUE(Known(L"http://support.quandrel.com/x"));
    for (const wchar_t* url : {L"http://ads.example.net/?r=quandrel.com",
                               L"http://quandrel.com.example.net/", L"http://notquandrel.com/",
                               L"http://quandrel.com@example.net/", L"http://example.net/quandrel.com"})
        EXPECT_FALSE(Known(url)) << std::string(url, url + wcslen(url));
}

// Read once at start-up: decisions look at the sites read then.
TEST_F(AllowRuleTest, FavouritesAreReadOnceAndNotConsultedWhenAnotherRuleAllows) {
    *favorites = {Link(L"Shop", L"http://shop.example.org/"),
                  Link(L"Maker", L"http://www.quandrel.com/")};
    StartWith(0, 1);
    EXPECT_EQ(1, favoriteWalks);
    EXPECT_TRUE(Known(L"http://www.quandrel.com/"));
    EXPECT_TRUE(Known(L"res://x.dll/y"));
    EXPECT_EQ(0, Logged("Favorite Popup Allowed...")) << "another rule allowed first";
    EXPECT_FALSE(Known(L"http://www.elsewhere.net/"));
    EXPECT_TRUE(Known(L"http://shop.example.org/"));
    EXPECT_EQ(1, Logged("Favorite Popup Allowed..."));
    EXPECT_EQ(1, favoriteWalks) << "no walk per decision";
}

TEST_F(AllowRuleTest, WithoutTheFavouritesReaderTheOtherRulesStillWork) {
    reader.reset();
    StartWith(0, 1);
    EXPECT_EQ(1, Logged("Marklor Creation Error..."));
    int before = Logged("Marklor Invoke Error...");
    EXPECT_FALSE(Known(L"http://www.elsewhere.net/"));
    EXPECT_EQ(before + 1, Logged("Marklor Invoke Error...")) << "First fails";
    EXPECT_TRUE(Known(L"http://www.quandrel.com/"));
}

TEST_F(AllowRuleTest, VerdictsAreLoggedWithTheAddressInLowerCase) {
    StartWith(0, 1);
    EXPECT_FALSE(Known(L"http://www.elsewhere.net/Some/PAGE.html"));
    EXPECT_EQ(1, Logged("New IE Window Blocked, unknown URL : http://www.elsewhere.net/some/page.html"));
    EXPECT_TRUE(Known(L"http://www.Quandrel.com/Help"));
    EXPECT_EQ(1, Logged("New IE Window Found : http://www.quandrel.com/help"));
}

TEST_F(AllowRuleTest, WindowsOpenAtStartUpAreLoggedAsAllowed) {
    opener->locationUrl = L"http://www.elsewhere.net/";
    StartWith(0, 1);
    EXPECT_EQ(1, Logged("New IE Window Found : http://www.elsewhere.net/"));
}

} // namespace
} // namespace vx::test
