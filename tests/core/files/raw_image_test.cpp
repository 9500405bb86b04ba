#include "core/files/raw_image.h"

#include <gtest/gtest.h>

#include "core/files/file_fixture.h"
#include "core/files/program_save.h"

namespace kvx {
namespace {

TEST(RawImage, ReadsAtMostTheBufferAndBlanksTheRest) {
  ProgramBytesArray buffer;
  buffer.fill(0);
  EXPECT_EQ(ReadRawImage(std::string_view("\x01\x02\x03", 3), buffer), 3);
  EXPECT_EQ(buffer[2], 0x03);
  EXPECT_EQ(buffer[3], 0xFF);
  EXPECT_EQ(ReadRawImage(std::string(40000, 'x'), buffer), kProgramBufferBytes);
}

TEST(RawImage, WordSplitDropsBitsFourteenAndFifteen) {
  const struct {
    int raw;
    int first, second;
  } cases[] = {{0x0000, 0x00, 0x00}, {0x3FFF, 0x7F, 0x7F}, {0xFFFF, 0x7F, 0x7F},
               {0x1234, 0x34, 0x24}, {0x00FF, 0x7F, 0x01}, {0xC080, 0x00, 0x01}};
  for (const auto& c : cases) {
    ProgramBytesArray buffer;
    ReadRawImage(std::string_view(), buffer);
    buffer[100] = static_cast<std::uint8_t>(c.raw & 0xFF);
    buffer[101] = static_cast<std::uint8_t>(c.raw >> 8);
    SplitWords(buffer);
    EXPECT_EQ(buffer[100], c.first) << std::hex << c.raw;
    EXPECT_EQ(buffer[101], c.second) << std::hex << c.raw;
    EXPECT_EQ(buffer[32764], 0x7F) << "every slot is split, not only the loaded ones";
  }
}

TEST(RawImage, ElevenBitImagesHaveBitsElevenToThirteenAllEqual) {
  ProgramBytesArray buffer;
  ReadRawImage(std::string_view(), buffer);
  EXPECT_TRUE(IsElevenBitImage(buffer));
  buffer[0] = 0xFF;
  buffer[1] = 0x07;  // 0x07FF: top bits clear
  EXPECT_TRUE(IsElevenBitImage(buffer));
  buffer[1] = 0x0F;  // 0x0FFF: bit 11 alone
  EXPECT_FALSE(IsElevenBitImage(buffer));
  MaskElevenBit(buffer);
  EXPECT_EQ(buffer[1], 0x0F);
  EXPECT_EQ(buffer[3], 0x0F);
}

TEST(ProgramImage, BlankBufferSavesAsBlankWordsOfTheDevice) {
  const struct {
    const char* device;
    std::uint8_t high;
    std::size_t size;
  } cases[] = {{"KVX-03", 0x3F, 1024}, {"KVX-19", 0x3F, 8192}, {"KVX-49", 0x07, 1024}};
  for (const auto& c : cases) {
    auto ws = test::WorkspaceFor(c.device);
    const auto image = ProgramImage(*ws);
    ASSERT_EQ(image.size(), c.size) << c.device;
    for (std::size_t i = 0; i < image.size(); i += 2) {
      ASSERT_EQ(image[i], 0xFF) << c.device;
      ASSERT_EQ(image[i + 1], c.high) << c.device;
    }
  }
}

TEST(SaveProgramMemory, RefusesTheConfigFilterAndWritesNothing) {
  test::ScratchDir dir;
  auto ws = test::WorkspaceFor("KVX-03");
  EXPECT_EQ(SaveProgramMemory(*ws, dir.Path("a.cfg"), 1), "Sorry, file can't be saved!");
  EXPECT_EQ(SaveProgramMemory(*ws, "", 2), "Sorry, file can't be saved!");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("a.cfg")));
}

TEST(SaveProgramMemory, FailedWriteNamesTheFileAndKeepsTheOldOne) {
  test::ScratchDir dir;
  auto ws = test::WorkspaceFor("KVX-03");
  const std::string missingDir = dir.Path("no-such-dir/out.bin");
  EXPECT_EQ(SaveProgramMemory(*ws, missingDir), "'" + missingDir + "' file can't be written!");
  std::filesystem::create_directory(dir.Path("taken.bin"));  // a directory cannot be replaced
  EXPECT_FALSE(SaveProgramMemory(*ws, dir.Path("taken.bin")).empty());
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path("taken.bin")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Dir()), {}), 1)
      << "no temporary file is left behind";
}

TEST(SaveProgramMemory, ReplacesAnExistingFile) {
  test::ScratchDir dir;
  auto ws = test::WorkspaceFor("KVX-03");
  dir.Write("out.bin", std::string(5000, 'x'));
  EXPECT_EQ(SaveProgramMemory(*ws, dir.Path("out.bin")), "");
  EXPECT_EQ(dir.Read("out.bin").size(), 1024u);
}

}  // namespace
}  // namespace kvx
