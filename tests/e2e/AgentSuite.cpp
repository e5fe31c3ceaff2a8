#include "AgentSuite.h"

#include <cstdio>
#include <memory>

namespace vx::test {

namespace {

class EndToEndEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        apartment_.emplace();
        ASSERT_EQ(PopupRig::Install(), S_OK) << "registering the programs";
    }
    void TearDown() override {
        PopupRig::Uninstall();
        size_t left = 0;
        for (const wchar_t* program : {L"Krellin.exe", L"KrellinSvc.exe", L"BrowserDouble.exe"}) {
            size_t ended = EndProcesses(program);
            EXPECT_EQ(ended, 0u) << Narrow(program) << " was left running";
            left += ended;
        }
        // Later test programs of the session would meet the killed servers'
        // registrations.
        if (left) RestartRpcss();
        apartment_.reset();
    }

  private:
    std::optional<ComApartment> apartment_;
};
const auto* const gEnvironment = testing::AddGlobalTestEnvironment(new EndToEndEnvironment);

} // namespace

void AgentSuite::SetUpTestSuite() {
    rig_ = new PopupRig();
    started_ = rig_->Start();
}

void AgentSuite::TearDownTestSuite() {
    EXPECT_EQ(rig_->Stop(), 0u) << "the agent's exit code";
    // The agent's whole status log, for a look after a failure.
    const testing::TestSuite* suite = testing::UnitTest::GetInstance()->current_test_suite();
    std::string name = std::string(suite ? suite->name() : "agent") + "-status-log.txt";
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(name.c_str(), "w"), std::fclose);
    for (const std::string& line : Log().Lines())
        if (file) std::fprintf(file.get(), "%s\n", line.c_str());
    delete rig_;
    rig_ = nullptr;
}

void AgentSuite::SetUp() {
    ASSERT_EQ(started_, S_OK) << rig_->FailedStep();
    ASSERT_TRUE(IsRunning(Log().Process())) << "the agent has ended";
}

std::optional<std::string> LogText(const std::string& line) {
    // "Sun Dec 06 21:04:50 2026 : text"
    static const char kShape[] = "aaa aaa dd dd:dd:dd dddd : ";
    if (line.size() < sizeof kShape - 1) return std::nullopt;
    for (size_t i = 0; i + 1 < sizeof kShape; ++i) {
        char c = line[i];
        bool fits = kShape[i] == 'a'   ? isalpha(static_cast<unsigned char>(c))
                    : kShape[i] == 'd' ? isdigit(static_cast<unsigned char>(c)) || c == ' '
                                       : c == kShape[i];
        if (!fits) return std::nullopt;
    }
    return line.substr(sizeof kShape - 1);
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

} // namespace vx::test
