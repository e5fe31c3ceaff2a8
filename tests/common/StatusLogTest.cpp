#include "common/StatusLog.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace vx {
namespace {

const std::regex kStamped("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                          "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                          "\\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4} : (.*)");

// The text after the time stamp, or "<unstamped>".
std::string TextOf(const std::string& line) {
    std::smatch m;
    if (!std::regex_match(line, m, kStamped) || m.position(3) != 27) return "<unstamped>";
    return m[3];
}

class StatusLogTest : public ::testing::Test {
  protected:
    void SetUp() override { SetTheStatusLog(&log_); }
    void TearDown() override { SetTheStatusLog(nullptr); }

    StatusLog log_;
};

TEST_F(StatusLogTest, HeaderComesFirstAndEmptyTextAddsNothingElse) {
    AddStatusLine("");
    ASSERT_EQ(1, log_.LineCount());
    EXPECT_EQ("Krellin Status Log:", log_.Lines()[0]);
    AddStatusLine("");
    AddStatusLine(nullptr);
    EXPECT_EQ(1, log_.LineCount());

    StatusLog fresh;
    fresh.AddStatusLine("first");
    ASSERT_EQ(2, fresh.LineCount());
    EXPECT_EQ(StatusLog::kHeader, fresh.Lines()[0]);
    EXPECT_EQ("first", TextOf(fresh.Lines()[1]));
}

TEST_F(StatusLogTest, WideTextIsNarrowedAndCut) {
    struct Row {
        const char* prefix;
        const wchar_t* text; // null stands for a null BSTR
        std::string logged;
    };
    const Row rows[] = {
        {"Event : ", L"http://a.com/", "Event : http://a.com/"},
        {"Cut : ", L"ab\u0100cd", "Cut : ab"},
        {"Latin : ", L"x\u00ffy", "Latin : x\xffy"},
        {"Empty : ", L"", "Empty : "},
        {"Null : ", nullptr, "Null : "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.prefix);
        AddStatusLineW(row.prefix, row.text ? SysAllocString(row.text) : nullptr);
        EXPECT_EQ(row.logged, TextOf(log_.Lines().back()));
    }
}

TEST_F(StatusLogTest, KeepsTheNewestLinesEachCutToTheBound) {
    constexpr size_t kStamp = 27; // "Wed Jan 02 02:03:55 1980 : "
    const size_t longest = StatusLog::kMaxLineLength;
    struct Row {
        size_t length;
        size_t kept; // of the text
    };
    const Row rows[] = {
        {longest - kStamp, longest - kStamp},
        {longest - kStamp + 1, longest - kStamp},
        {64 * longest, longest - kStamp},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.length);
        AddStatusLine(std::string(row.length, 'w').c_str());
        EXPECT_EQ(std::string(row.kept, 'w'), TextOf(log_.Lines().back()));
    }

    for (size_t i = 0; i <= StatusLog::kMaxLines; ++i)
        AddStatusLine(std::to_string(i).c_str());
    ASSERT_EQ(static_cast<LONG>(StatusLog::kMaxLines), log_.LineCount());
    EXPECT_EQ("1", TextOf(log_.Lines().front()));
    EXPECT_EQ(std::to_string(StatusLog::kMaxLines), TextOf(log_.Lines().back()));
    AddStatusLine("");
    EXPECT_EQ(static_cast<LONG>(StatusLog::kMaxLines), log_.LineCount()) << "no second header";
}

TEST_F(StatusLogTest, ErrorTexts) {
    AddErrorText(static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    std::string known = TextOf(log_.Lines().back());
    EXPECT_NE("<unstamped>", known);
    EXPECT_FALSE(known.empty());
    EXPECT_EQ(std::string::npos, known.find_first_of("\r\n"));
    EXPECT_EQ(std::string::npos, known.find("Unknown error"));

    AddErrorText(static_cast<DWORD>(0x2000ABCD));
    EXPECT_EQ("Unknown error 0x2000ABCD", TextOf(log_.Lines().back()));
}

} // namespace
} // namespace vx
