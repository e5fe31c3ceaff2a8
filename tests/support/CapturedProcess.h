// A program whose standard output (and error) a background thread reads
// into lines, so that a test can wait for a line and read everything written.
#pragma once

#include "common/Scoped.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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
    // Terminates the program if it still runs and waits for its output to end.
    void End();

    HANDLE Process() const { return process_.Get(); }
    DWORD Id() const { return id_; }

    size_t LineCount() const;
    std::vector<std::string> Lines(size_t from = 0) const;
    // The first line at or after `from` that contains text, waiting up to
    // timeoutMs for it; kNotFound when none came.
    size_t WaitForLine(const std::string& text, size_t from, DWORD timeoutMs) const;
    // Waits until the program has closed its output (it has ended).
    bool WaitForEndOfOutput(DWORD timeoutMs) const;

  private:
    // Shared with the reader, which may outlive this object when a process
    // the program started has inherited the pipe and keeps it open.
    struct Output {
        ScopedHandle pipe;
        std::mutex lock;
        std::condition_variable changed;
        std::vector<std::string> lines;
        bool closed = false;
    };
    static void Read(std::shared_ptr<Output> output);

    ScopedHandle process_;
    DWORD id_ = 0;
    std::shared_ptr<Output> output_ = std::make_shared<Output>();
    std::thread reader_;
};

} // namespace vx::test
