#include "StatusLog.h"

#include "Scoped.h"
#include "TextForms.h"

#include <cstdio>
#include <ctime>

namespace vx {

namespace {

StatusLog* gStatusLog = nullptr;

// The runtime's asctime form without its newline, always in the "C" locale's
// English names and with a two-digit day: "Wed Jan 02 02:03:55 1980".
std::string TimeStamp() {
    time_t now = time(nullptr);
    struct tm local = {};
    localtime_s(&local, &now);
    char text[32] = {};
    strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", &local);
    return text;
}

} // namespace

void StatusLog::Append(std::string line) {
    if (line.size() > kMaxLineLength) line.resize(kMaxLineLength);
    while (lines_.size() >= kMaxLines) {
        if (display_) display_->OldestLineDropped();
        lines_.pop_front();
    }
    lines_.push_back(std::move(line));
    if (display_) display_->LineAppended(lines_.back());
}

void StatusLog::AddStatusLine(const char* text) {
    if (display_) display_->BeginAppend();
    if (lines_.empty()) Append(kHeader);
    if (text && *text) Append(TimeStamp() + " : " + text);
    if (display_) display_->EndAppend();
}

void StatusLog::AddStatusLineW(const char* prefix, BSTR text) {
    Bstr owned = Bstr::Attach(text);
    std::string line = prefix ? prefix : "";
    line += NarrowText(owned.Get());
    AddStatusLine(line.c_str());
}

void StatusLog::AddErrorText(DWORD code) {
    ScopedLocal buffer;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<char*>(buffer.Put()), 0, nullptr);
    std::string text;
    if (n > 0 && buffer.As<char>()) {
        text.assign(buffer.As<char>(), n);
        // The system's texts end in a line break, which a log line cannot hold.
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
    }
    if (text.empty()) {
        char fallback[40];
        snprintf(fallback, sizeof fallback, "Unknown error 0x%08lX", static_cast<unsigned long>(code));
        text = fallback;
    }
    AddStatusLine(text.c_str());
}

StatusLog* TheStatusLog() { return gStatusLog; }
void SetTheStatusLog(StatusLog* log) { gStatusLog = log; }

void AddStatusLine(const char* text) {
    if (gStatusLog) gStatusLog->AddStatusLine(text);
}

void AddStatusLineW(const char* prefix, BSTR text) {
    if (gStatusLog)
        gStatusLog->AddStatusLineW(prefix, text);
    else
        SysFreeString(text);
}

void AddErrorText(DWORD code) {
    if (gStatusLog) gStatusLog->AddErrorText(code);
}

void LogFailure(const char* text, HRESULT hr) {
    AddStatusLine(text);
    AddErrorText(hr);
}

} // namespace vx
