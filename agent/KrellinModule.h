// Krellin's process host: its identity, its three classes, and the agent
// window that runs between class registration and revocation.
#pragma once

#include "common/ServiceModule.h"

namespace vx {

class KrellinModule : public ServiceModule {
  public:
    static constexpr const char* kSettingsService = "KrellinSvc";

    void Init(HINSTANCE instance);

    // Sets the settings service to start automatically and starts it,
    // without waiting: the engine's first settings call reaches it via COM.
    static void StartSettingsService();

  protected:
    bool OnServing() override;
    void MessageLoop() override;
    void OnLoopEnded() override;
};

} // namespace vx
