// One agent, browser double and settings service per suite (starting them
// costs seconds): a suite's tests leave the agent's settings as they found them.
#pragma once

#include "tests/support/PopupRig.h"
#include "tests/support/ProcessTools.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace vx::test {

class AgentSuite : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        apartment_.emplace();
        rig_ = std::make_unique<PopupRig>();
        started_ = PopupRig::Install();
        if (SUCCEEDED(started_)) started_ = rig_->Start();
    }
    static void TearDownTestSuite() {
        EXPECT_EQ(rig_->Stop(), 0u) << "the agent's exit code";
        rig_.reset();
        PopupRig::Uninstall();
        bool left = false;
        for (const wchar_t* program : {L"Krellin.exe", L"KrellinSvc.exe", L"BrowserDouble.exe"})
            for (DWORD id : FindProcesses(program)) {
                ADD_FAILURE() << program << " was left running";
                EndProcess(id);
                left = true;
            }
        // Later test programs would meet the killed servers' registrations.
        if (left) RestartRpcss();
        apartment_.reset();
    }
    void SetUp() override {
        ASSERT_EQ(started_, S_OK) << "installing or starting: " << rig_->FailedStep();
        ASSERT_TRUE(IsRunning(Log().Process())) << "the agent has ended";
    }

    static PopupRig& Rig() { return *rig_; }
    static LateBound& Agent() { return rig_->Agent(); }
    static LateBound& Browser() { return rig_->Browser(); }
    static CapturedProcess& Log() { return rig_->AgentProcess(); }
    static void CloseWindow(LONG id) { Browser().Do(L"CloseWindow", "I", id); }
    static std::wstring Script(const wchar_t* mode = L"") {
        return L"cscript.exe //nologo " + Quoted(BesideTest(L"krellin_check.js")) + L" " + mode;
    }

  private:
    static inline std::unique_ptr<PopupRig> rig_;
    static inline HRESULT started_ = E_FAIL;
    static inline std::optional<ComApartment> apartment_;
};

} // namespace vx::test
