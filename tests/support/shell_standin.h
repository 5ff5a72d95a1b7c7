#pragma once
// Test support: the desktop shell stand-in for tests whose process needs a
// shell window in its session. Started by the constructor, ready once
// GetShellWindow names its window, killed by the destructor.

#include <windows.h>

#include <string>

#include "native/common/unique_resource.h"

namespace orv::test {

class ShellStandIn {
 public:
  explicit ShellStandIn(DWORD readyTimeoutMs = 10000);
  ~ShellStandIn();
  ShellStandIn(const ShellStandIn&) = delete;
  ShellStandIn& operator=(const ShellStandIn&) = delete;

  // True once the desktop's shell window belongs to the stand-in.
  bool ready() const { return ready_; }
  DWORD processId() const { return processId_; }
  // Why it is not ready, for test messages.
  const std::string& problem() const { return problem_; }

 private:
  UniqueHandle process_;
  DWORD processId_ = 0;
  bool ready_ = false;
  std::string problem_;
};

// The process that owns the desktop's shell window, or 0 when there is none.
DWORD ShellWindowProcessId();

}  // namespace orv::test
