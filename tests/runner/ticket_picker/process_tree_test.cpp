// The executables that belong to a running program, from real processes.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native/common/unique_resource.h"
#include "runner/ticket_picker/process_tree.h"
#include "tests/runner/ticket_picker/reader_fixtures.h"
#include "tests/support/process.h"

namespace orv {
namespace {

using test::BinaryFolder;
using test::Narrow;

std::wstring Upper(std::wstring text) {
  ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring Lower(std::wstring text) {
  ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// A named manual-reset event the fixture programs open by name.
struct NamedEvent {
  explicit NamedEvent(const std::wstring& role)
      : name(L"KilnaReaderTest-" + role + L"-" + std::to_wstring(::GetCurrentProcessId())),
        handle(::CreateEventW(nullptr, TRUE, FALSE, name.c_str())) {}
  bool WaitSet() const { return ::WaitForSingleObject(handle.get(), 20000) == WAIT_OBJECT_0; }
  std::wstring name;
  UniqueHandle handle;
};

TEST(ProcessTree, AProgramThatIsNotRunningIsJustItsOwnPath) {
  test::TempFolder folder;
  const std::wstring path = folder / L"Idle.exe";
  ASSERT_TRUE(::CopyFileW((BinaryFolder() + L"\\" + test::kBareProgram).c_str(), path.c_str(), FALSE));
  EXPECT_EQ(CollectProcessTreePaths(path), std::vector<std::string>{Narrow(path)});
}

TEST(ProcessTree, ARunningLauncherBringsItsSpellingAndItsChild) {
  const NamedEvent quit(L"quit");
  const NamedEvent childReady(L"child");
  const NamedEvent otherReady(L"other");
  ASSERT_TRUE(quit.handle && childReady.handle && otherReady.handle);

  const std::wstring launcher = BinaryFolder() + L"\\" + test::kBareProgram;
  const std::wstring child = BinaryFolder() + L"\\" + test::kDescribedProgram;
  const std::wstring other = BinaryFolder() + L"\\" + test::kUnlistedDescriptionProgram;
  // The image path keeps the file name as it was spelled at start; folders
  // come back in their stored case.
  const std::wstring upper = BinaryFolder() + L"\\" + Upper(test::kBareProgram);
  const std::wstring lower = Lower(launcher);

  test::StartedProcess unrelated = test::StartProcess(other, {L"--wait", quit.name, otherReady.name});
  test::StartedProcess running = test::StartProcess(upper, {L"--launch", child, quit.name, childReady.name});
  ASSERT_TRUE(unrelated.started());
  ASSERT_TRUE(running.started());
  ASSERT_TRUE(childReady.WaitSet());
  ASSERT_TRUE(otherReady.WaitSet());

  const std::vector<std::string> paths = CollectProcessTreePaths(lower);
  ::SetEvent(quit.handle.get());

  // Ordered by code units: upper-case letters sort before lower-case ones.
  EXPECT_EQ(paths, (std::vector<std::string>{Narrow(upper), Narrow(child), Narrow(lower)}));
  EXPECT_EQ(running.Wait(10000).exitCode, 0u);
  EXPECT_EQ(unrelated.Wait(10000).exitCode, 0u);
}

}  // namespace
}  // namespace orv
