#include "common/StatusLog.h"
#include "common/UrlForms.h"

#include <gtest/gtest.h>

#include <string>

namespace vx {
namespace {

// The URL forms write into the process's log too.
class StatusLogTest : public ::testing::Test {
  protected:
    void SetUp() override { SetTheStatusLog(&log_); }
    void TearDown() override { SetTheStatusLog(nullptr); }
    // The text after the time stamp, which tests/e2e checks on every line.
    std::string Last() const { return log_.Lines().back().substr(27); }

    StatusLog log_;
};

TEST_F(StatusLogTest, LinesAreStampedNarrowedAndCut) {
    AddStatusLine("");
    AddStatusLine(nullptr);
    ASSERT_EQ(1, log_.LineCount());
    // The wide text, null standing for a null BSTR, and what is logged.
    // clang-format off
    const std::pair<const wchar_t*, std::string> wide[] = {
        {L"http://a.com/", "Event : http://a.com/"}, {L"ab\u0100cd", "Event : ab"},
        {L"x\u00ffy", "Event : x\xffy"}, {nullptr, "Event : "}};
    // clang-format on
    for (const auto& [text, logged] : wide) {
        AddStatusLineW("Event : ", text ? SysAllocString(text) : nullptr);
        EXPECT_EQ(logged, Last());
    }
    const size_t longest = StatusLog::kMaxLineLength - 27; // after the time stamp
    for (size_t length : {longest, longest + 1, 64 * StatusLog::kMaxLineLength}) {
        AddStatusLine(std::string(length, 'w').c_str());
        EXPECT_EQ(std::string(longest, 'w'), Last()) << length;
    }
    // Error texts are the system's (tests/e2e sees them on one line), or say there is none.
    AddErrorText(static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(std::string::npos, Last().find("Unknown error")) << Last();
    AddErrorText(static_cast<DWORD>(0x2000ABCD));
    EXPECT_EQ("Unknown error 0x2000ABCD", Last());
}

TEST_F(StatusLogTest, SiteKeysAndCanonicalFormsOfAnySize) {
    // clang-format off
    const std::pair<const wchar_t*, const wchar_t*> keys[] = {
        {L"http://www.example.com/path", L".example.com"},
        {L"http://a.b.example.org/", L".example.org"},
        {L"https://WWW.Example.NET/x", L".Example.NET"}, {L"http://example.com/", L"example.com"},
        {L"http://user:pw@www.example.com:8080/p?q#f", L".example.com"}, {L"http://abc/", L""},
        {L"http://abcd/", L"abcd"}, {L"http://www.example.co.uk/", L"www.example.co.uk"},
        {L"http://192.168.0.1/", L"192.168.0.1"},
        {L"http://www.example.community/", L"www.example.community"},
        {L"about:blank", L"about:blank"},                 // no host: the whole URL
        {L"http://www.exam\u0100ple.com/", L"www.exam"}}; // cut before U+0100
    // clang-format on
    for (const auto& [url, key] : keys)
        EXPECT_EQ(key, SiteKey(url)) << url;
    const std::pair<const wchar_t*, const wchar_t*> forms[] = {
        {L"http://www.example.com/a\\b", L"http://www.example.com/a/b"},
        {L"http://www.example.com/%41%42", L"http://www.example.com/AB"},
        {L"http://a", L"http://a/"},
        // The platform writes a local path as "file://C:/..."; one more '/'
        // makes it the three-slash form.
        {L"C:\\Program Files\\x", L"file:///C:/Program%20Files/x"},
        {L"file:///C:/Program Files/x", L"file:///C:/Program%20Files/x"},
        {L"file:C:\\x", L"file:/C:/x"},
        {L"http://www.example.com/ab\u0100cd", L"http://www.example.com/ab"},
        {L"", L""}};
    for (const auto& [url, canonical] : forms)
        EXPECT_EQ(canonical, CanonicalUrl(url)) << url;
    EXPECT_EQ(0, log_.LineCount());
    // An unparsable URL is its own key, and logged.
    for (const wchar_t* url : {L"not a url", L""}) {
        EXPECT_EQ(url, SiteKey(url));
        ASSERT_GE(log_.LineCount(), 3);
        EXPECT_NE("", Last());
    }
    // Huge ones stay within bounds.
    const std::wstring path(100000, L'a'), url = L"http://www.example.com/" + path;
    EXPECT_EQ(url, CanonicalUrl(url.c_str()));
    EXPECT_EQ(L".example.com", SiteKey(url.c_str()));
    EXPECT_EQ(path, CanonicalUrl(path.c_str()));
    const std::wstring junk = L"no scheme " + path;
    EXPECT_EQ(junk, SiteKey(junk.c_str()));
}

} // namespace
} // namespace vx
