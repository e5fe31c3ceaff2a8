// One agent, one browser double and the settings service per test suite:
// starting them costs seconds, so a suite's tests share them and leave the
// agent's settings as they found them.
#pragma once

#include "PopupRig.h"
#include "ProcessTools.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vx::test {

class AgentSuite : public testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    static PopupRig& Rig() { return *rig_; }
    static LateBound& Agent() { return rig_->Agent(); }
    static LateBound& Browser() { return rig_->Browser(); }
    static CapturedProcess& Log() { return rig_->AgentProcess(); }
    // Closes a window the agent let through, so that the agent's window list
    // (and each of its rescans) stays short.
    static void CloseWindow(LONG id) { Browser().Do(L"CloseWindow", "I", id); }

  private:
    static inline PopupRig* rig_ = nullptr;
    static inline HRESULT started_ = E_FAIL;
};

// The text of a status-log line "<24-character time stamp> : <text>", or
// nothing for a line of another form.
std::optional<std::string> LogText(const std::string& line);
std::string Narrow(const std::wstring& text);

} // namespace vx::test
