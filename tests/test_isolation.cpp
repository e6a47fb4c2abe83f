// Every test starts from a fresh process state, as if it ran alone: the program's state
// record, the renderer, the portable desktop, device failures, worker threads and the
// command line are reset, and the configuration and lock folders point at a new scratch
// folder, so that the whole suite also passes in one process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "app/app_state.h"
#include "platform/portable/control/d3d11_control.h"
#include "platform/portable/control/desktop_control.h"
#include "platform/win32.h"
#include "render/renderer.h"
#include "tests/scratch_directory.h"

namespace {

class FreshState : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    ReleaseRenderer();
    gApp = AppState{};
    PortableResetFailures();
    PortableSetWorkerThreads(0);
    PortableResetDesktop();
    char program[] = "velmora";
    char* arguments[] = {program};
    PortableSetArguments(1, arguments);
    folders_ = std::make_unique<ScratchDirectory>();
    folders_->UseAsConfigHome();
    setenv("XDG_RUNTIME_DIR", folders_->path().c_str(), 1);
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    ReleaseRenderer();
    unsetenv("XDG_RUNTIME_DIR");
    unsetenv("XDG_CONFIG_HOME");
    folders_.reset();
  }
  std::unique_ptr<ScratchDirectory> folders_;
};

const bool kInstalled = (::testing::UnitTest::GetInstance()->listeners().Append(new FreshState),
                         true);

}  // namespace
