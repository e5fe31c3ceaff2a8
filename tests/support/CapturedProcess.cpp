#include "CapturedProcess.h"

#include "ProcessTools.h"

#include <algorithm>

namespace vx::test {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

bool CapturedProcess::Start(const std::wstring& commandLine) {
    End();
    wchar_t folder[MAX_PATH], name[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"vxo", 0, name)) return false;
    file_ = name;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    ScopedHandle output(CreateFileW(name, GENERIC_WRITE, kShareAll, &inherit, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (!output) return false;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = si.hStdError = output.Get();
    process_ = StartProcess(commandLine, &si, &id_);
    return static_cast<bool>(process_);
}

void CapturedProcess::End() {
    if (IsRunning(process_.Get())) {
        TerminateProcess(process_.Get(), 1);
        WaitForSingleObject(process_.Get(), 10000);
    }
    process_.Reset();
    if (!file_.empty()) DeleteFileW(file_.c_str());
    file_.clear();
}

std::vector<std::string> CapturedProcess::Lines(size_t from) const {
    // Asked before the read: once it has ended, the file holds all it wrote.
    const bool ended = !IsRunning(process_.Get());
    std::string text;
    ScopedHandle file(
        CreateFileW(file_.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[65536];
    for (DWORD got = 0; file && ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got;)
        text.append(buffer, got);
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos && !ended) break;
        end = std::min(end, text.size());
        lines.push_back(text.substr(at, end - at - (end > at && text[end - 1] == '\r')));
    }
    lines.erase(lines.begin(),
                lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())));
    return lines;
}

size_t CapturedProcess::WaitForLine(const std::string& text, size_t from, DWORD timeoutMs) const {
    size_t found = kNotFound;
    WaitUntil(
        [&] {
            const bool ended = !IsRunning(process_.Get());
            std::vector<std::string> lines = Lines();
            for (size_t i = from; i < lines.size() && found == kNotFound; ++i)
                if (lines[i].find(text) != std::string::npos) found = i;
            return found != kNotFound || ended;
        },
        timeoutMs, 5);
    return found;
}

} // namespace vx::test
