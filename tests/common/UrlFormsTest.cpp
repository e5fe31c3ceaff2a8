#include "common/StatusLog.h"
#include "common/UrlForms.h"

#include <gtest/gtest.h>

#include <string>

namespace vx {
namespace {

class UrlFormsTest : public ::testing::Test {
  protected:
    void SetUp() override { SetTheStatusLog(&log_); }
    void TearDown() override { SetTheStatusLog(nullptr); }

    bool Logged(const std::string& text) const {
        for (const std::string& line : log_.Lines())
            if (line.size() >= text.size() &&
                line.compare(line.size() - text.size(), text.size(), text) == 0)
                return true;
        return false;
    }

    StatusLog log_;
};

TEST_F(UrlFormsTest, SiteKeys) {
    struct Row {
        const wchar_t* url;
        const wchar_t* key;
    };
    const Row rows[] = {
        {L"http://www.example.com/path", L".example.com"},
        {L"http://a.b.example.org/", L".example.org"},
        {L"https://WWW.Example.NET/x", L".Example.NET"},
        {L"http://example.com/", L"example.com"},
        {L"http://x.com", L"x.com"},
        {L"http://user:pw@www.example.com:8080/p?q#f", L".example.com"},
        {L"http://abc/", L""},
        {L"http://abcd/", L"abcd"},
        {L"http://www.example.co.uk/", L"www.example.co.uk"},
        {L"http://192.168.0.1/", L"192.168.0.1"},
        {L"http://www.example.community/", L"www.example.community"},
        {L"about:blank", L"about:blank"},                // no host: the whole URL
        {L"http://www.exam\u0100ple.com/", L"www.exam"}, // cut before U+0100
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        EXPECT_EQ(row.key, SiteKey(row.url));
    }
    EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(UrlFormsTest, UnparsableUrlIsLoggedAndIsItsOwnKey) {
    for (const wchar_t* url : {L"not a url", L""}) {
        SCOPED_TRACE(url);
        LONG before = log_.LineCount();
        EXPECT_EQ(url, SiteKey(url));
        ASSERT_GE(log_.LineCount(), before + 2);
        const std::string& marker = log_.Lines()[log_.LineCount() - 2];
        EXPECT_NE(std::string::npos, marker.find(" : Marklor CrackURL Error..."));
        EXPECT_GT(log_.Lines().back().size(), 27u); // time stamp, " : ", message
    }
}

TEST_F(UrlFormsTest, CanonicalForms) {
    struct Row {
        const wchar_t* url;
        const wchar_t* canonical;
    };
    const Row rows[] = {
        {L"http://www.example.com/a\\b", L"http://www.example.com/a/b"},
        {L"http://www.example.com/%41%42", L"http://www.example.com/AB"},
        {L"http://a", L"http://a/"},
        // The platform writes a local path as "file://C:/..."; one more '/'
        // makes it the three-slash form.
        {L"C:\\Program Files\\x", L"file:///C:/Program%20Files/x"},
        {L"file:C:\\x", L"file:/C:/x"},
        {L"http://www.example.com/ab\u0100cd", L"http://www.example.com/ab"},
        {L"", L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        EXPECT_EQ(row.canonical, CanonicalUrl(row.url));
    }
    // The same folder reached as a path and as a URL comes out the same.
    EXPECT_EQ(CanonicalUrl(L"C:\\Program Files\\x"), CanonicalUrl(L"file:///C:/Program Files/x"));
}

TEST_F(UrlFormsTest, HugeUrlsStayWithinBounds) {
    const std::wstring path(100000, L'a');
    const std::wstring url = L"http://www.example.com/" + path;
    EXPECT_EQ(url, CanonicalUrl(url.c_str()));
    EXPECT_EQ(L".example.com", SiteKey(url.c_str()));
    EXPECT_EQ(path, CanonicalUrl(path.c_str()));

    const std::wstring junk = L"no scheme " + path;
    EXPECT_EQ(junk, SiteKey(junk.c_str()));
    EXPECT_TRUE(Logged("Marklor CrackURL Error..."));
}

} // namespace
} // namespace vx
