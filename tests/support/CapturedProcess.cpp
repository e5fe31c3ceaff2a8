#include "CapturedProcess.h"

#include "ProcessTools.h"

#include <algorithm>
#include <chrono>

namespace vx::test {

bool CapturedProcess::Start(const std::wstring& commandLine) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    ScopedHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0); // only the write end goes
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = si.hStdError = writeEnd;
    PROCESS_INFORMATION pi = {};
    if (!CreateProgramProcess(commandLine, true, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    process_.Reset(pi.hProcess);
    id_ = pi.dwProcessId;
    writer.Reset(); // with our copy gone, the pipe ends with the program
    output_->pipe = std::move(reader);
    reader_ = std::thread(&CapturedProcess::Read, output_);
    return true;
}

void CapturedProcess::End() {
    if (IsRunning(process_.Get())) {
        TerminateProcess(process_.Get(), 1);
        WaitForSingleObject(process_.Get(), 10000);
    }
    if (reader_.joinable()) {
        if (WaitForEndOfOutput(10000))
            reader_.join();
        else
            reader_.detach();
    }
    process_.Reset();
}

void CapturedProcess::Read(std::shared_ptr<Output> output) {
    std::string pending;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(output->pipe.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        pending.append(buffer, got);
        std::lock_guard<std::mutex> hold(output->lock);
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
            output->lines.push_back(
                pending.substr(0, end > 0 && pending[end - 1] == '\r' ? end - 1 : end));
        output->changed.notify_all();
    }
    std::lock_guard<std::mutex> hold(output->lock);
    if (!pending.empty()) output->lines.push_back(pending);
    output->closed = true;
    output->changed.notify_all();
}

size_t CapturedProcess::LineCount() const {
    std::lock_guard<std::mutex> hold(output_->lock);
    return output_->lines.size();
}

std::vector<std::string> CapturedProcess::Lines(size_t from) const {
    std::lock_guard<std::mutex> hold(output_->lock);
    const auto& lines = output_->lines;
    return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end()};
}

size_t CapturedProcess::WaitForLine(const std::string& text, size_t from, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> hold(output_->lock);
    size_t found = kNotFound;
    output_->changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] {
        for (; from < output_->lines.size(); ++from)
            if (output_->lines[from].find(text) != std::string::npos) {
                found = from;
                return true;
            }
        return output_->closed;
    });
    return found;
}

bool CapturedProcess::WaitForEndOfOutput(DWORD timeoutMs) const {
    std::unique_lock<std::mutex> hold(output_->lock);
    return output_->changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                     [&] { return output_->closed; });
}

} // namespace vx::test
