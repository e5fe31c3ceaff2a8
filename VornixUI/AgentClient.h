// The control panel's one connection to the agent's automation object.
#pragma once

#include "common/DispatchObject.h"

#include <string>

namespace vx {

// Reaches Krellin.KrellinIF.1 late-bound, waits once for the agent to be
// ready, and reports every failed call in a message box whose caption names
// the operation; a failed read gives its fallback value.
class AgentClient : public DispatchObject {
  public:
    static constexpr int kReadyAttempts = 50;
    static constexpr DWORD kReadyPause = 100;

    AgentClient();

    // The readiness value: nonzero once the agent has said it is ready.
    long CheckReady();

    long ReadAllowSameSite();
    void WriteAllowSameSite(long on);
    long ReadKillFixedSize();
    void WriteKillFixedSize(long on);
    long ReadBypassKeys();
    void WriteBypassKeys(long mask);
    long ReadVisible();
    void WriteVisible(long on);
    long ReadBlockedCount();
    void Quit();
    long ReadMuteAudio();
    void WriteMuteAudio(long on);
    std::string ReadAudioFileName();
    void WriteAudioFileName(const std::string& path);
    long ReadShowTray();
    void WriteShowTray(long on);
    long ReadAllowUserInitiated();
    void WriteAllowUserInitiated(long on);
    long ReadNotifyOnBlock();
    void WriteNotifyOnBlock(long on);
    // The sites whose popups are let through, one per line.
    std::string ReadAllowedSites();
    HRESULT WriteAllowedSites(const std::string& sites);

    // The system's text for hr in a box captioned with the operation.
    static void ReportComError(const char* caption, HRESULT hr);

  private:
    void WarnIfNotReady();
    long ReadShort(const wchar_t* name, const char* caption, long fallback);
    void WriteBool(const wchar_t* name, const char* caption, long on);
    std::string ReadString(const wchar_t* name, const char* caption);
    HRESULT WriteString(const wchar_t* name, const char* caption, const std::string& text);

    long ready_ = 0;
};

} // namespace vx
