// KrellinSvc's form of the process host: a single-instance mutex around the
// run, and a main thread that only hosts the Registry class.
#pragma once

#include "common/ServiceModule.h"

namespace vx {

class KrellinSvcModule : public ServiceModule {
  public:
    static constexpr const char* kInstanceMutex = "KrellinSvc Instance";

    void Init(HINSTANCE instance);

  protected:
    bool BeforeStart(int* exitCode) override;
    void AfterStart() override { instanceMutex_.Reset(); }

  private:
    ScopedHandle instanceMutex_;
};

} // namespace vx
