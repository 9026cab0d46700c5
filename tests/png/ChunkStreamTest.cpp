// Reading the chunk stream: signature, order rules, CRCs, the class registry and the limits
// on what a chunk may claim.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PngFiles.h"
#include "imaging/FileFormats.h"
#include "png/PNGObject.h"

namespace {

using namespace pngtest;

// A 2 x 2 8-bit grey picture: rows {10, 20} and {30, 40}, no filter.
const Bytes kGreyRows = {0, 10, 20, 0, 30, 40};

PngFile GreyPicture() { return PngFile().Ihdr(2, 2, 8, 0); }

std::vector<std::string> Types(const TPNGObject& picture) {
  std::vector<std::string> types;
  for (const auto& chunk : picture.ChunkList())
    types.emplace_back(reinterpret_cast<const char*>(chunk->ChunkType().data()), 4);
  return types;
}

TEST(PngChunkStream, SignatureOnlyIsAnUnexpectedEnd) {
  EXPECT_THROW(Load(PngFile().Data()), EPngUnexpectedEnd);
}

TEST(PngChunkStream, BadSignatureIsAnInvalidHeader) {
  Bytes file = GreyPicture().Idat(kGreyRows).End().Data();
  file[1] = 'p';
  EXPECT_THROW(Load(file), EPNGInvalidFileHeader);
  EXPECT_THROW(Load({137, 80, 78}), EPNGInvalidFileHeader);
}

TEST(PngChunkStream, FirstChunkMustBeTheHeader) {
  TPNGObject picture;
  const Bytes streamBytes = PngFile().Chunk("gAMA", BigEndian(45455)).Ihdr(2, 2, 8, 0).Idat(kGreyRows).End().Data();
  TPictureStream stream(streamBytes);
  EXPECT_THROW(picture.ReadPictureStream(stream), EPNGIHDRNotFirst);
  EXPECT_TRUE(picture.ChunkList().empty());
  EXPECT_EQ(picture.Width(), 0);
}

TEST(PngChunkStream, MissingEndFailsAfterTheImageWasDecoded) {
  TPNGObject picture;
  const Bytes streamBytes = GreyPicture().Idat(kGreyRows).Data();
  TPictureStream stream(streamBytes);
  EXPECT_THROW(picture.ReadPictureStream(stream), EPngUnexpectedEnd);
  ASSERT_EQ(Types(picture), (std::vector<std::string>{"IHDR", "IDAT"}));
  EXPECT_EQ(SurfaceColour(picture.HeaderChunk(), 1, 1), (Color{40, 40, 40}));
}

TEST(PngChunkStream, UnknownAncillaryChunksAreKeptAndUnknownCriticalOnesFail) {
  auto picture = Load(GreyPicture().Chunk("prVt", {1, 2, 3}).Idat(kGreyRows).End().Data());
  EXPECT_EQ(Types(*picture), (std::vector<std::string>{"IHDR", "prVt", "IDAT", "IEND"}));
  EXPECT_EQ(picture->ChunkList()[1]->Body().size(), 3u);

  TPNGObject critical;
  const Bytes streamBytes = GreyPicture().Chunk("ABCD", {1}).Idat(kGreyRows).End().Data();
  TPictureStream stream(streamBytes);
  EXPECT_THROW(critical.ReadPictureStream(stream), EPNGUnknownCriticalChunk);
  EXPECT_EQ(Types(critical), (std::vector<std::string>{"IHDR", "ABCD"}));
}

TEST(PngChunkStream, ChromaticitiesAreSkippedEvenWithABadCrc) {
  auto picture = Load(GreyPicture().ChunkWithCrc("cHRM", Bytes(32, 7), 12345).Idat(kGreyRows).End().Data());
  EXPECT_EQ(Types(*picture), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
}

TEST(PngChunkStream, ImageDataAfterATextChunkAreSkippedUnchecked) {
  auto picture = Load(GreyPicture()
                          .Idat(kGreyRows)
                          .Chunk("tEXt", {'a', 0, 'b'})
                          .ChunkWithCrc("IDAT", {1, 2, 3}, 0)
                          .End()
                          .Data());
  EXPECT_EQ(Types(*picture), (std::vector<std::string>{"IHDR", "IDAT", "tEXt", "IEND"}));
  auto* text = dynamic_cast<const TChunktEXt*>(picture->ChunkList()[2].get());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->Keyword, "a");
  EXPECT_EQ(text->Text, "b");
}

TEST(PngChunkStream, TransparencyBeforeThePaletteIsAccepted) {
  auto picture = Load(PngFile()
                          .Ihdr(1, 1, 8, 3)
                          .Chunk("tRNS", {0})
                          .Chunk("PLTE", {1, 2, 3})
                          .Idat({0, 0})
                          .End()
                          .Data());
  EXPECT_EQ(picture->TransparencyKind(), TTransparencyKind::KeyTransparency);
  EXPECT_EQ(picture->KeyColour(), (Color{1, 2, 3}));
}

TEST(PngChunkStream, HeaderLimits) {
  EXPECT_NO_THROW(Load(PngFile().Ihdr(65535, 1, 1, 0).Idat(Bytes(1 + 8192, 0)).End().Data()));
  EXPECT_THROW(Load(PngFile().Ihdr(65536, 1, 1, 0).Idat({0, 0}).End().Data()), EPNGSizeExceeds);
  EXPECT_THROW(Load(PngFile().Ihdr(1, 65536, 1, 0).Idat({0, 0}).End().Data()), EPNGSizeExceeds);
  // A longer header body is accepted; a shorter one is not.
  Bytes header = {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 0, 99};
  EXPECT_NO_THROW(Load(PngFile().Chunk("IHDR", header).Idat({0, 5}).End().Data()));
  header.resize(12);
  EXPECT_THROW(Load(PngFile().Chunk("IHDR", header).Idat({0, 5}).End().Data()), EPngInvalidIHDR);
  header = {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 1, 0, 0};
  EXPECT_THROW(Load(PngFile().Chunk("IHDR", header).Idat({0, 5}).End().Data()), EPNGUnknownCompression);
  header = {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 2};
  EXPECT_THROW(Load(PngFile().Chunk("IHDR", header).Idat({0, 5}).End().Data()), EPNGUnknownInterlace);
}

TEST(PngChunkStream, PicturesBeyondTheSizeLimitFailBeforeTheSurfaceIsMade) {
  // 65535 x 65535 RGBA would need 16 GiB: refused at once.
  EXPECT_THROW(Load(PngFile().Ihdr(65535, 65535, 8, 6).Idat({0}).End().Data()), EPNGOutMemory);
}

TEST(PngChunkStream, RepeatedHeaderChangesNothing) {
  const Bytes second = {0, 0, 1, 0, 0, 0, 1, 0, 8, 6, 0, 0, 1};  // 256 x 256 RGBA, interlaced
  auto picture = Load(GreyPicture().Chunk("IHDR", second).Idat(kGreyRows).End().Data());
  EXPECT_EQ(picture->Width(), 2);
  EXPECT_EQ(picture->InterlaceKind, 0);
  EXPECT_EQ(SurfaceColour(picture->HeaderChunk(), 1, 1), (Color{40, 40, 40}));
  auto* repeated = dynamic_cast<const TChunkIHDR*>(picture->ChunkList()[1].get());
  ASSERT_NE(repeated, nullptr);
  EXPECT_EQ(repeated->SurfaceStride(), 0u);
}

TEST(PngChunkStream, ColourTypeAndDepthWithoutRowWriterFail) {
  const std::pair<int, int> pairs[] = {{2, 4}, {5, 8}, {4, 4}, {6, 2}, {0, 3}, {3, 32}, {1, 8}};
  for (const auto& [colourType, depth] : pairs)
    EXPECT_THROW(Load(PngFile().Ihdr(1, 1, depth, colourType).Idat({0, 0}).End().Data()), EPngInvalidIHDR)
        << colourType << "/" << depth;
}

TEST(PngChunkStream, EveryBitOfAKeptChunkIsCovered) {
  const Bytes clean = GreyPicture().Chunk("tEXt", {'k', 'e', 'y', 0, 'v'}).Idat(kGreyRows).End().Data();
  const std::size_t textStart = 8 + 25 + 8;  // body of the tEXt chunk
  for (std::size_t at = textStart; at < textStart + 5 + 4; ++at)
    for (int bit = 0; bit < 8; ++bit) {
      Bytes file = clean;
      file[at] ^= static_cast<std::uint8_t>(1 << bit);
      EXPECT_THROW(Load(file), EPngInvalidCRC) << at << ":" << bit;
    }
}

TEST(PngChunkStream, LengthsOf2To31OrBeyondTheFileAreRefused) {
  for (const char* type : {"tEXt", "cHRM", "IDAT"})
    for (std::uint32_t length : {0x80000000u, 0xFFFFFFFFu}) {
      const Bytes file = GreyPicture().Raw(BigEndian(length)).Raw({std::uint8_t(type[0]), std::uint8_t(type[1]),
                                                                   std::uint8_t(type[2]), std::uint8_t(type[3])})
                             .Raw(Bytes(16, 0))
                             .Data();
      EXPECT_THROW(Load(file), EPngInvalidCRC) << type << " " << length;
    }
  // Below 2^31 but more than the file holds: the body is never allocated, the CRC fails.
  EXPECT_THROW(Load(GreyPicture().Raw(BigEndian(0x7FFFFFF0)).Raw({'z', 'Z', 'z', 'z', 1, 2}).Data()), EPngInvalidCRC);
}

TEST(PngChunkStream, FileEndingInsideABodyIsACrcError) {
  Bytes file = GreyPicture().Chunk("tEXt", Bytes(40, 'a')).Idat(kGreyRows).End().Data();
  file.resize(8 + 25 + 8 + 20);
  EXPECT_THROW(Load(file), EPngInvalidCRC);
}

TEST(PngChunkStream, ReadingAgainDiscardsThePreviousChunks) {
  TPNGObject picture;
  const Bytes firstBytes = GreyPicture().Chunk("tEXt", {'a', 0, 'b'}).Idat(kGreyRows).End().Data();
  TPictureStream first(firstBytes);
  picture.ReadPictureStream(first);
  const Bytes secondBytes = PngFile().Ihdr(1, 1, 8, 2).Idat({0, 1, 2, 3}).End().Data();
  TPictureStream second(secondBytes);
  picture.ReadPictureStream(second);
  EXPECT_EQ(Types(picture), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ(picture.Width(), 1);
}

TEST(PngChunkStream, CompressedTextIsInflatedWithinItsCap) {
  auto zText = [](const Bytes& text) {
    Bytes body = {'k', 0, 0};
    const Bytes z = Compress(text);
    body.insert(body.end(), z.begin(), z.end());
    return body;
  };
  auto textOf = [](const TPNGObject& picture) { return picture.FirstOfClass<TChunkzTXt>()->Text; };
  EXPECT_EQ(textOf(*Load(GreyPicture().Chunk("zTXt", zText({'h', 'i'})).Idat(kGreyRows).End().Data())), "hi");
  // Two MiB of zeros compress to about 2 KiB: too much text, dropped.
  EXPECT_EQ(textOf(*Load(GreyPicture().Chunk("zTXt", zText(Bytes(2 << 20, 0))).Idat(kGreyRows).End().Data())), "");
  EXPECT_EQ(textOf(*Load(GreyPicture().Chunk("zTXt", {'k', 0, 0, 1, 2, 3}).Idat(kGreyRows).End().Data())), "");
}

TEST(PngChunkStream, ErrorTextsAreTheFixedOnes) {
  EXPECT_STREQ(EPngInvalidCRC().what(),
               "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of data "
               "(crc error)");
  EXPECT_STREQ(EPNGIHDRNotFirst().what(),
               "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n(IHDR chunk is "
               "not the first)");
  EXPECT_STREQ(EPNGZLIBError(-3).what(),
               "Could not decompress the image because it contains invalid compressed data.\r\n Description: data "
               "error (-3)");
}

TEST(PngFormatRegistry, PngIsRegisteredLastAndFoundInAnyCase) {
  TFileFormatsList list;
  RegisterPngFormat(list);
  EXPECT_EQ(list.Entries().back().extension, "png");
  EXPECT_EQ(list.Entries().back().description, "Portable Network Graphics");
  EXPECT_EQ(list.Find("PNG"), &TPNGObject::Class());
  UnregisterPngFormat(list);
  EXPECT_EQ(list.Find("png"), nullptr);
}

}  // namespace
