#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "TestFiles.h"
#include "imaging/PictureStream.h"

namespace {

// The same checks over a memory stream and over a file stream holding the same bytes.
void CheckReads(TPictureStream& stream) {
  EXPECT_EQ(stream.Size(), 6u);
  EXPECT_EQ(stream.ReadU16LE(), 0x0201);
  EXPECT_EQ(stream.ReadU16BE(), 0x0304);
  std::uint8_t four[4] = {9, 9, 9, 9};
  EXPECT_THROW(stream.ReadExact(four), EReadError);
  EXPECT_EQ(stream.Position(), 4u) << "a failed exact read does not move";
  EXPECT_EQ(stream.Read(four), 2u);
  EXPECT_EQ(four[0], 5);
  EXPECT_EQ(four[1], 6);
  stream.Seek(100);
  EXPECT_EQ(stream.Remaining(), 0u);
  EXPECT_EQ(stream.Read(four), 0u);
  EXPECT_TRUE(stream.ReadView(10).empty());
  stream.Seek(1);
  const auto view = stream.ReadView(10);
  ASSERT_EQ(view.size(), 5u);
  EXPECT_EQ(view[0], 2);
  auto [bytes, owner] = stream.ReadShared(3);
  EXPECT_TRUE(bytes.empty());
  stream.Seek(3);
  std::tie(bytes, owner) = stream.ReadShared(2);
  ASSERT_EQ(bytes.size(), 2u);
  EXPECT_EQ(bytes[1], 5);
  EXPECT_NE(owner, nullptr);
}

const std::vector<std::uint8_t> kBytes = {1, 2, 3, 4, 5, 6};

}  // namespace

TEST(PictureStream, MemoryReadsStopAtTheEnd) {
  TPictureStream stream(kBytes);
  CheckReads(stream);
}

TEST(PictureStream, FileReadsStopAtTheEnd) {
  imagingtest::TempFolder folder;
  const std::string path = folder.Write("bytes.bin", kBytes);
  WithPictureFile(path, [](TPictureStream& stream) { CheckReads(stream); });
}

TEST(PictureStream, MissingFileRaisesTheOpenError) {
  imagingtest::TempFolder folder;
  EXPECT_THROW(WithPictureFile((folder.Path() / "none.bmp").string(), [](TPictureStream&) {}), EFOpenError);
}

// A named pipe, a device or a folder in a picture's place fails at once like an unreadable
// file: opening a pipe that has no writer would otherwise wait for ever.
TEST(PictureStream, OnlyRegularFilesOpen) {
  imagingtest::TempFolder folder;
  const std::string dossier = (folder.Path() / "folder.png").string();
  std::filesystem::create_directory(dossier);
  std::vector<std::string> paths{dossier};
#if !defined(_WIN32)
  const std::string pipe = (folder.Path() / "pipe.jpg").string();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string device = (folder.Path() / "zero.bmp").string();
  std::filesystem::create_symlink("/dev/zero", device);
  paths.push_back(pipe);
  paths.push_back(device);
#endif
  for (const std::string& path : paths)
    EXPECT_THROW(WithPictureFile(path, [](TPictureStream&) { FAIL() << "read"; }), EFOpenError) << path;
}
