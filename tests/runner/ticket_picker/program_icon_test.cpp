// Program icons as PNG files, checked independently of the encoder.

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native/common/com_ptr.h"
#include "runner/ticket_picker/program_icon_png.h"
#include "runner/ticket_picker/program_metadata.h"
#include "tests/runner/ticket_picker/png_check.h"
#include "tests/runner/ticket_picker/reader_fixtures.h"
#include "tests/support/process.h"

namespace orv {
namespace {

class ProgramIcon : public ::testing::Test {
 protected:
  static void ExpectPng(const std::vector<unsigned char>& png, std::uint32_t size) {
    test::PngHeader header;
    EXPECT_EQ(test::CheckPngStructure(png, header), "");
    EXPECT_EQ(header.width, size);
    EXPECT_EQ(header.height, size);
    EXPECT_EQ(header.bitDepth, 8);
    EXPECT_EQ(header.colourType, 6);  // truecolour with alpha
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    ASSERT_TRUE(test::DecodedPngSize(png, width, height));
    EXPECT_EQ(width, size);
    EXPECT_EQ(height, size);
  }

  ComInitScope com_{COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE};
};

TEST_F(ProgramIcon, AnExecutablesOwnIconIsTakenAtItsLargestSize) {
  const ProgramMetadata record = ReadProgramMetadata(test::BinaryFolder() + L"\\" + test::kDescribedProgram);
  ASSERT_EQ(record.status, S_OK) << record.errorMessage;
  EXPECT_TRUE(record.warnings.empty());
  ExpectPng(record.icon, 256);
}

TEST_F(ProgramIcon, AnExecutableWithoutIconsGetsTheSystemApplicationIcon) {
  const ProgramMetadata record = ReadProgramMetadata(test::BinaryFolder() + L"\\" + test::kBareProgram);
  ASSERT_EQ(record.status, S_OK) << record.errorMessage;
  EXPECT_EQ(record.warnings, (std::vector<std::string>{kDescriptionUnavailableWarning, kIconUnavailableWarning}));
  const int systemSize = ::GetSystemMetrics(SM_CXICON);
  ASSERT_GT(systemSize, 0);
  ExpectPng(record.icon, static_cast<std::uint32_t>(systemSize));
}

TEST_F(ProgramIcon, NoIconGivesNoBytes) {
  EXPECT_TRUE(IconToPng(nullptr).empty());
}

}  // namespace
}  // namespace orv
