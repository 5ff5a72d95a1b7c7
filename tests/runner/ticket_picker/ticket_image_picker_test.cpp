// Channel "orv.net/ticket_image_picker" over the stand-in engine's messenger,
// with real file dialogs on their own thread, driven as a user would.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native/common/com_ptr.h"
#include "runner/ticket_picker/dialog_platform.h"
#include "tests/runner/ticket_picker/picker_host.h"
#include "tests/runner/ticket_picker/png_check.h"
#include "tests/runner/ticket_picker/reader_fixtures.h"
#include "tests/support/process.h"

namespace orv::test {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr int32_t kInvalidArgument = -2147024809;  // E_INVALIDARG
constexpr wchar_t kCancelClass[] = L"ORV.TicketImagePicker.Cancel";

EncodableValue Arguments(const char* key, EncodableValue value) {
  return EncodableValue(EncodableMap{{EncodableValue(key), std::move(value)}});
}

EncodableValue TextList(const std::vector<std::wstring>& texts) {
  EncodableList list;
  for (const auto& text : texts) list.emplace_back(Narrow(text));
  return EncodableValue(list);
}

const EncodableValue* Entry(const EncodableValue& map, const char* key) {
  const auto* entries = std::get_if<EncodableMap>(&map);
  if (entries == nullptr) return nullptr;
  const auto found = entries->find(EncodableValue(key));
  return found == entries->end() ? nullptr : &found->second;
}

void ExpectError(const ChannelAnswer& answer, const std::string& code, const std::string& message) {
  EXPECT_EQ(answer.count, 1);
  EXPECT_EQ(answer.kind, "error");
  EXPECT_EQ(answer.code, code);
  EXPECT_EQ(answer.message, message);
}

class PickerChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteWholeFile(folder_ / L"empty.jsonl", ""));
    ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_SCRIPT", (folder_ / L"empty.jsonl").c_str());
    ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_TRANSCRIPT", (folder_ / L"transcript.jsonl").c_str());
    host_ = std::make_unique<PickerHost>();
    ASSERT_TRUE(host_->ready());
  }

  std::wstring File(const std::wstring& name) {
    const std::wstring path = folder_ / name;
    EXPECT_TRUE(WriteWholeFile(path, "image"));
    return path;
  }

  // The picker is idle: a new call runs instead of being refused as busy.
  void ExpectIdle() {
    const ChannelAnswer& answer = host_->Call("readProgram", Arguments("path", EncodableValue("x.exe.txt")));
    ASSERT_TRUE(host_->WaitForAnswer(answer));
    EXPECT_EQ(answer.code, "invalid_file");
  }

  TempFolder folder_;
  std::unique_ptr<PickerHost> host_;
};

TEST_F(PickerChannel, PickImagesAnswersEveryChosenPathInOrderAsUtf8) {
  const std::wstring first = File(L"b-first.png");
  const std::wstring second = File(L"a-\u00e9t\u00e9-\u4e2d\u6587.jpg");
  const ChannelAnswer& answer = host_->Call("pickImages");
  const HWND dialog = host_->WaitForDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(::GetWindow(dialog, GW_OWNER), host_->host());
  EXPECT_EQ(answer.count, 0);

  ChooseInDialog(dialog, L"\"" + first + L"\" \"" + second + L"\"");
  ASSERT_TRUE(host_->WaitForAnswer(answer));
  EXPECT_EQ(answer.kind, "success");
  EXPECT_EQ(answer.value, TextList({first, second}));
}

TEST_F(PickerChannel, CancellingAnyDialogAnswersAnEmptyList) {
  const std::vector<std::pair<std::string, EncodableValue>> calls = {
      {"pickImages", EncodableValue()},
      {"pickPrograms", EncodableValue()},
      {"saveReferralPoster", Arguments("suggestedName", EncodableValue("poster"))},
  };
  for (const auto& [method, arguments] : calls) {
    SCOPED_TRACE(method);
    const ChannelAnswer& answer = host_->Call(method, arguments);
    const HWND dialog = host_->WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    CancelDialog(dialog);
    ASSERT_TRUE(host_->WaitForAnswer(answer));
    EXPECT_EQ(answer.kind, "success");
    EXPECT_EQ(answer.value, EncodableValue(EncodableList{}));
  }
}

TEST_F(PickerChannel, TheSaveDialogAnswersThePathWithThePngExtension) {
  const ChannelAnswer& answer = host_->Call("saveReferralPoster", Arguments("suggestedName", EncodableValue("poster")));
  const HWND dialog = host_->WaitForDialog();
  ASSERT_NE(dialog, nullptr);
  ChooseInDialog(dialog, folder_ / L"poster");
  ASSERT_TRUE(host_->WaitForAnswer(answer));
  EXPECT_EQ(answer.kind, "success");
  EXPECT_EQ(answer.value, TextList({folder_ / L"poster.png"}));
}

TEST_F(PickerChannel, WhileADialogIsOpenEveryCallIsBusyAndTheFirstStillCompletes) {
  const std::wstring image = File(L"ticket.png");
  const ChannelAnswer& first = host_->Call("pickImages");
  const HWND dialog = host_->WaitForDialog();
  ASSERT_NE(dialog, nullptr);

  ExpectError(host_->Call("pickImages"), "picker_busy", "An image picker is already open");
  ExpectError(host_->Call("readProgram", Arguments("path", EncodableValue("C:\\a.exe"))), "picker_busy",
              "An image picker is already open");
  ExpectError(host_->Call("saveReferralPoster", Arguments("suggestedName", EncodableValue("x"))), "picker_busy",
              "An image picker is already open");
  EXPECT_EQ(first.count, 0);

  ChooseInDialog(dialog, image);
  ASSERT_TRUE(host_->WaitForAnswer(first));
  EXPECT_EQ(first.value, TextList({image}));

  const ChannelAnswer& next = host_->Call("pickPrograms");
  const HWND nextDialog = host_->WaitForDialog();
  ASSERT_NE(nextDialog, nullptr);
  CancelDialog(nextDialog);
  ASSERT_TRUE(host_->WaitForAnswer(next));
  EXPECT_EQ(next.value, EncodableValue(EncodableList{}));
}

TEST_F(PickerChannel, BadProgramPathsAreRefusedAndLeaveThePickerIdle) {
  const std::vector<EncodableValue> refused = {
      EncodableValue(),
      EncodableValue("C:\\a.exe"),
      EncodableValue(EncodableMap{}),
      Arguments("path", EncodableValue(int32_t{7})),
      Arguments("path", EncodableValue("")),
      Arguments("path", EncodableValue(std::string("C:\\\xff\xfe.exe"))),
      Arguments("path", EncodableValue(std::string("C:\\\xc0\xaf.exe"))),  // overlong '/'
  };
  for (size_t i = 0; i < refused.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    ExpectError(host_->Call("readProgram", refused[i]), "invalid_file", "Missing or invalid program path");
    ExpectIdle();
  }
}

TEST_F(PickerChannel, BadSuggestedNamesAreRefusedAndLeaveThePickerIdle) {
  const std::vector<EncodableValue> refused = {
      EncodableValue(),
      EncodableValue(EncodableList{EncodableValue("poster")}),
      Arguments("name", EncodableValue("poster")),
      Arguments("suggestedName", EncodableValue(true)),
      Arguments("suggestedName", EncodableValue("")),
      Arguments("suggestedName", EncodableValue(std::string("a\0b", 3))),
      Arguments("suggestedName", EncodableValue(std::string("poster\xed\xa0\x80"))),  // encoded surrogate
  };
  for (size_t i = 0; i < refused.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    ExpectError(host_->Call("saveReferralPoster", refused[i]), "invalid_file_name",
                "Missing or invalid suggested file name");
    ExpectIdle();
  }
}

TEST_F(PickerChannel, ReadProgramAnswersTheProgramsMetadata) {
  const std::wstring program = BinaryFolder() + L"\\" + kDescribedProgram;
  const ChannelAnswer& answer = host_->Call("readProgram", Arguments("path", EncodableValue(Narrow(program))));
  ASSERT_TRUE(host_->WaitForAnswer(answer));
  ASSERT_EQ(answer.kind, "success") << answer.code << ": " << answer.message;
  ASSERT_NE(Entry(answer.value, "path"), nullptr);
  EXPECT_EQ(*Entry(answer.value, "path"), EncodableValue(Narrow(program)));
  EXPECT_EQ(*Entry(answer.value, "name"), EncodableValue("Second description"));
  EXPECT_EQ(*Entry(answer.value, "executablePaths"), TextList({program}));
  EXPECT_EQ(*Entry(answer.value, "warnings"), EncodableValue(EncodableList{}));
  EXPECT_EQ(std::get_if<EncodableMap>(&answer.value)->size(), 5u);

  const auto* icon = std::get_if<std::vector<uint8_t>>(Entry(answer.value, "icon"));
  ASSERT_NE(icon, nullptr);
  PngHeader header;
  EXPECT_EQ(CheckPngStructure(std::vector<unsigned char>(icon->begin(), icon->end()), header), "");
  EXPECT_EQ(header.width, 256u);
}

TEST_F(PickerChannel, AReaderFailureAnswersTheReadersCodeAndMessage) {
  const ChannelAnswer& answer = host_->Call("readProgram", Arguments("path", EncodableValue("x.exe.txt")));
  ASSERT_TRUE(host_->WaitForAnswer(answer));
  ExpectError(answer, "invalid_file", "expected .exe; HRESULT=-2147024809");
  EXPECT_EQ(answer.value, EncodableValue(kInvalidArgument));
}

TEST_F(PickerChannel, ADialogThatCannotBeCreatedAnswersPickerFailed) {
  DialogPlatform platform;
  platform.CoCreateInstance = [](REFCLSID, LPUNKNOWN, DWORD, REFIID, void** out) -> HRESULT {
    *out = nullptr;
    return REGDB_E_CLASSNOTREG;
  };
  DialogPlatformOverride override(platform);
  for (const auto& [method, arguments] :
       std::vector<std::pair<std::string, EncodableValue>>{
           {"pickImages", EncodableValue()},
           {"saveReferralPoster", Arguments("suggestedName", EncodableValue("poster"))}}) {
    SCOPED_TRACE(method);
    const ChannelAnswer& answer = host_->Call(method, arguments);
    ASSERT_TRUE(host_->WaitForAnswer(answer));
    ExpectError(answer, "picker_failed", "Could not select images");
    EXPECT_EQ(answer.value, EncodableValue(static_cast<int32_t>(REGDB_E_CLASSNOTREG)));
  }
}

TEST_F(PickerChannel, AnUnknownMethodIsNotImplemented) {
  for (const char* method : {"PickImages", "pickFiles", ""}) {
    const ChannelAnswer& answer = host_->Call(method);
    EXPECT_EQ(answer.count, 1);
    EXPECT_EQ(answer.kind, "notImplemented");
  }
  ExpectIdle();
}

// Destroying the engine closes an open dialog; the call gets no answer, and
// its thread ends without posting a completion.
TEST_F(PickerChannel, DestroyingTheEngineClosesTheOpenDialog) {
  const ChannelAnswer& answer = host_->Call("pickImages");
  const HWND dialog = host_->WaitForDialog();
  ASSERT_NE(dialog, nullptr);
  const DWORD threadId = ::GetWindowThreadProcessId(dialog, nullptr);
  ASSERT_NE(threadId, ::GetCurrentThreadId());
  const HANDLE thread = ::OpenThread(SYNCHRONIZE, FALSE, threadId);
  ASSERT_NE(thread, nullptr);

  const int completions = host_->completions();
  host_->DestroyEngine();
  EXPECT_TRUE(host_->Pump(10000, [&] { return !::IsWindow(dialog); })) << "the dialog stays open";
  EXPECT_EQ(::WaitForSingleObject(thread, 10000), WAIT_OBJECT_0) << "the dialog thread is still running";
  ::CloseHandle(thread);
  EXPECT_EQ(::FindWindowExW(HWND_MESSAGE, nullptr, kCancelClass, nullptr), nullptr);

  // The engine ended the call as it went; nothing answered it later.
  host_->Pump(300);
  EXPECT_EQ(answer.count, 1);
  EXPECT_NE(answer.outcome, kFlutterStandinAnswered);
  EXPECT_EQ(host_->completions(), completions) << "a completion was posted for the gone engine";
}

TEST_F(PickerChannel, DestroyingTheEngineWhileAProgramIsReadSendsNothing) {
  const std::wstring program = BinaryFolder() + L"\\" + kDescribedProgram;
  const ChannelAnswer& answer = host_->Call("readProgram", Arguments("path", EncodableValue(Narrow(program))));
  host_->DestroyEngine();
  host_->Pump(3000);
  EXPECT_EQ(answer.count, 1);
  EXPECT_NE(answer.outcome, kFlutterStandinAnswered);
}

}  // namespace
}  // namespace orv::test
