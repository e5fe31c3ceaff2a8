#include "common/Registrar.h"
#include "common/ServiceModule.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

const CLSID kNoSuchClass = {
    0x3c1d0e55, 0x8d2a, 0x4f61, {0x9b, 0x0e, 0x27, 0x44, 0xa1, 0x5c, 0x6e, 0x12}};

struct RecordingHost : ServiceModule {
    bool OnServing() override {
        served = true;
        return false;
    }
    bool served = false;
};

TEST(ServerHost, ClassesThatCannotBeRegisteredEndTheRunWithTheFailure) {
    // No class object to hand over.
    const ServerClass classes[] = {{&kNoSuchClass, nullptr, {}}};
    RecordingHost host;
    host.Init(ServerIdentity{"{3C1D0E55-8D2A-4F61-9B0E-2744A15C6E12}", {}, classes, 1},
              GetModuleHandleW(nullptr));
    host.Start(); // not by the service control manager: an ordinary run
    EXPECT_FALSE(host.IsService());
    EXPECT_FALSE(host.served) << "served nothing, so it must not say it started";
    EXPECT_TRUE(FAILED(host.RunResult()));
}

// tests/host sees the short form of a real program's path.
TEST(ServerHost, AProgramPathWithoutShortFormIsQuoted) {
    EXPECT_EQ("\"C:\\no such folder\\Krellin.exe\"",
              CommandLinePath("C:\\no such folder\\Krellin.exe"));
}

} // namespace
} // namespace vx
