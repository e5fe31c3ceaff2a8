// The agent's status log: the only diagnostic channel of Krellin.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <deque>
#include <string>

namespace vx {

// Whoever shows the log (the diagnostics window) is told of each append.
class StatusLogDisplay {
  public:
    virtual void BeginAppend() = 0;
    virtual void LineAppended(const std::string& line) = 0;
    // The oldest line is about to leave the log (it is still Lines().front()).
    virtual void OldestLineDropped() = 0;
    virtual void EndAppend() = 0;

  protected:
    ~StatusLogDisplay() = default;
};

class StatusLog {
  public:
    static constexpr const char* kHeader = "Krellin Status Log:";
    // The agent runs for weeks and anything it is handed may end up in a
    // line, so the log keeps only the newest lines, each cut to a bound.
    static constexpr size_t kMaxLines = 5000;
    static constexpr size_t kMaxLineLength = 1024;

    // Appends the header first if the log is empty, then "<asctime> : text"
    // unless text is empty; the oldest lines go once there are kMaxLines.
    void AddStatusLine(const char* text);
    // Narrows text, appends it to prefix and logs the result; frees text.
    void AddStatusLineW(const char* prefix, BSTR text);
    // Logs the system's message text for a Win32 code or HRESULT.
    void AddErrorText(DWORD code);

    const std::deque<std::string>& Lines() const { return lines_; }
    LONG LineCount() const { return static_cast<LONG>(lines_.size()); }

    void SetDisplay(StatusLogDisplay* display) { display_ = display; }

  private:
    void Append(std::string line);

    std::deque<std::string> lines_;
    StatusLogDisplay* display_ = nullptr;
};

// The process's log, reached by the engine and the agent window alike. The
// owner of the log installs it; with none installed, lines are dropped.
StatusLog* TheStatusLog();
void SetTheStatusLog(StatusLog* log);

// Free forms of the three operations on the process's log.
void AddStatusLine(const char* text);
void AddStatusLineW(const char* prefix, BSTR text);
void AddErrorText(DWORD code);
inline void AddErrorText(HRESULT hr) { AddErrorText(static_cast<DWORD>(hr)); }

// The agent's failure convention: a fixed line, then the code's message text.
void LogFailure(const char* text, HRESULT hr);

} // namespace vx
