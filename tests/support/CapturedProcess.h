// A program whose standard output (and error) goes to a file of its own, so
// that a test can wait for a line and read everything written.
#pragma once

#include "common/Scoped.h"

#include <string>
#include <vector>

namespace vx::test {

class CapturedProcess {
  public:
    static constexpr size_t kNotFound = static_cast<size_t>(-1);

    CapturedProcess() = default;
    ~CapturedProcess() { End(); }
    CapturedProcess(const CapturedProcess&) = delete;
    CapturedProcess& operator=(const CapturedProcess&) = delete;

    bool Start(const std::wstring& commandLine);
    // Terminates the program if it still runs; its output is gone.
    void End();

    HANDLE Process() const { return process_.Get(); }
    DWORD Id() const { return id_; }
    size_t LineCount() const { return Lines().size(); }
    std::vector<std::string> Lines(size_t from = 0) const;
    // The first line at or after `from` that contains text, waiting up to
    // timeoutMs for it; kNotFound when none came before the program ended.
    size_t WaitForLine(const std::string& text, size_t from, DWORD timeoutMs) const;

  private:
    ScopedHandle process_;
    DWORD id_ = 0;
    std::wstring file_;
};

} // namespace vx::test
