// Shared set-up of the engine tests: an apartment, the status log, and the
// shell window collection double served in place of the shell's.
#pragma once

#include "FakeBrowser.h"
#include "FakeShellWindows.h"
#include "InProcessClass.h"

#include "common/StatusLog.h"
#include "common/ComObject.h"
#include "engine/ShellIds.h"
#include "engine/XShell.h"

#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace vx::test {

using fakes::FakeBrowser;
using fakes::FakeShellWindows;

// A browser double owned by the test.
inline ComPtr<FakeBrowser> MakeBrowser(const wchar_t* fullName = fakes::kIEFullName,
                                       const wchar_t* url = L"http://www.example.com/",
                                       bool visible = true) {
    return ComPtr<FakeBrowser>::Attach(new FakeBrowser(fullName, url, visible));
}

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com_.Result()));
        SetTheStatusLog(&log);
        collection = ComPtr<FakeShellWindows>::Attach(new FakeShellWindows());
        shellClass = std::make_unique<fakes::InProcessClass>(
            kShellWindowsProgId, kClsidShellWindows, CLSCTX_INPROC_SERVER,
            [this](REFIID riid, void** ppv) { return collection->QueryInterface(riid, ppv); });
        ASSERT_TRUE(SUCCEEDED(shellClass->Registered()));
    }

    void TearDown() override {
        shell.reset();
        shellClass.reset();
        collection.Reset();
        SetTheStatusLog(nullptr);
        // Every sink the engine made is gone with it.
        EXPECT_EQ(0, ModuleLockCount());
    }

    void Start() { shell = std::make_unique<XShell>(); }

    // Lines whose text (after the time stamp) is exactly `text`.
    int Logged(const std::string& text) const {
        return static_cast<int>(std::count_if(log.Lines().begin(), log.Lines().end(),
                                              [&](const std::string& line) {
                                                  return line.size() >= text.size() + 27 &&
                                                         line.compare(24, 3, " : ") == 0 &&
                                                         line.compare(27, std::string::npos,
                                                                      text) == 0;
                                              }));
    }
    // The text of the line after the first one reading `text` (the error
    // text that follows a failure line), or "".
    std::string LineAfter(const std::string& text) const {
        const auto& lines = log.Lines();
        for (size_t i = 0; i + 1 < lines.size(); ++i)
            if (lines[i].size() > 27 && lines[i].compare(27, std::string::npos, text) == 0)
                return lines[i + 1].size() > 27 ? lines[i + 1].substr(27) : "";
        return "";
    }

    ComApartment com_;
    StatusLog log;
    ComPtr<FakeShellWindows> collection;
    std::unique_ptr<fakes::InProcessClass> shellClass;
    std::unique_ptr<XShell> shell;
};

} // namespace vx::test
