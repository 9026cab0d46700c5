#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "TestFiles.h"
#include "imaging/Bitmap.h"
#include "imaging/FileFormats.h"
#include "imaging/JPEGImage.h"
#include "imaging/Picture.h"
#include "imaging/PictureReaders.h"
#include "support/Paths.h"

namespace {

// Stands in for the PNG kind, which registers itself as "PNG" from its own module.
class TFakePNG : public TGraphic {
 public:
  static const TGraphicClass& Class() {
    static const TGraphicClass kind = TGraphicClass::Of<TFakePNG>("TFakePNG", TGraphic::Class());
    return kind;
  }
  VERRELUNE_GRAPHIC_CLASS_TYPE
  int Width() const override { return 7; }
  int Height() const override { return 5; }
  void DrawStretched(Canvas&, const Rect&) override {}
  void ReadPictureStream(TPictureStream&) override {}
  void AssignTo(TBitmap&) override {}
};

// The registry as the program builds it at start-up.
TFileFormatsList StartUpRegistry() {
  TFileFormatsList list;
  RegisterJpegFormats(list);
  RegisterPictureReaders(list);
  list.Add("PNG", "Portable Network Graphics", TFakePNG::Class());
  return list;
}

struct Entry {
  std::string extension;
  std::string description;
  std::string_view kind;
};

}  // namespace

TEST(FileFormats, StartUpRegistryHoldsTheCompleteTableInOrder) {
  const std::vector<Entry> expected = {
      {"wmf", "Métafichiers", "TMetafile"},
      {"emf", "Métafichiers évolués", "TMetafile"},
      {"ico", "Icônes", "TIcon"},
      {"bmp", "Bitmaps", "TBitmap"},
      {"jpeg", "Fichier image JPEG", "TJPEGImage"},
      {"jpg", "Fichier image JPEG", "TJPEGImage"},
      {"win", "Truevision images", "TTargaGraphic"},
      {"vst", "Truevision images", "TTargaGraphic"},
      {"vda", "Truevision images", "TTargaGraphic"},
      {"tiff", "TIFF images", "TTIFFGraphic"},
      {"tif", "TIFF images", "TTIFFGraphic"},
      {"tga", "Truevision images", "TTargaGraphic"},
      {"sgi", "SGI true color images", "TSGIGraphic"},
      {"scr", "Word 5.x screen capture images", "TPCXGraphic"},
      {"rpf", "SGI Wavefront images", "TRLAGraphic"},
      {"rle", "Windows bitmap", "TBitmap"},
      {"rla", "SGI Wavefront images", "TRLAGraphic"},
      {"rgba", "SGI true color images", "TSGIGraphic"},
      {"rgb", "SGI true color images", "TSGIGraphic"},
      {"psd", "Photoshop images", "TPSDGraphic"},
      {"ppm", "Portable pixel map images", "TPPMGraphic"},
      {"pgm", "Portable grayscale images", "TPPMGraphic"},
      {"pbm", "Portable b&w images", "TPPMGraphic"},
      {"pic", "Autodesk images", "TAutodeskGraphic"},
      {"pcx", "ZSoft PCX images", "TPCXGraphic"},
      {"pdd", "Photoshop images", "TPSDGraphic"},
      {"pcd", "Kodak Photo-CD images", "TPCDGraphic"},
      {"pcc", "ZSoft PCC images", "TPCXGraphic"},
      {"icb", "Truevision images", "TTargaGraphic"},
      {"gif", "CompuServe images", "TGIFGraphic"},
      {"dib", "Windows bitmap", "TBitmap"},
      {"cut", "Dr. Halo images", "TCUTGraphic"},
      {"cel", "Autodesk images", "TAutodeskGraphic"},
      {"bw", "SGI black/white images", "TSGIGraphic"},
      {"png", "Portable Network Graphics", "TFakePNG"},
  };
  const TFileFormatsList list = StartUpRegistry();
  ASSERT_EQ(list.Entries().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const TFileFormat& entry = list.Entries()[i];
    EXPECT_EQ(entry.extension, expected[i].extension) << "entry " << i + 1;
    EXPECT_EQ(entry.description, expected[i].description) << "entry " << i + 1;
    EXPECT_EQ(entry.readerClass->name, expected[i].kind) << "entry " << i + 1;
    EXPECT_EQ(entry.descriptionResourceId, 0);
  }
}

TEST(FileFormats, ReaderKindsDeriveAsTheClassTreeSays) {
  for (const TGraphicClass* kind : {&TTargaGraphic::Class(), &TGIFGraphic::Class(), &TTIFFGraphic::Class(),
                                    &TPCXGraphic::Class(), &TPSDGraphic::Class()})
    EXPECT_TRUE(kind->InheritsFrom(TBitmap::Class())) << kind->name;
  for (const TGraphicClass* kind : {&TJPEGImage::Class(), &TMetafile::Class(), &TIcon::Class()}) {
    EXPECT_FALSE(kind->InheritsFrom(TBitmap::Class())) << kind->name;
    EXPECT_TRUE(kind->InheritsFrom(TGraphic::Class())) << kind->name;
  }
}

TEST(FileFormats, FindIgnoresLetterCaseAndPrefersTheLatestEntry) {
  TFileFormatsList list = StartUpRegistry();
  EXPECT_EQ(list.Find("JPG"), &TJPEGImage::Class());
  EXPECT_EQ(list.Find("Png"), &TFakePNG::Class());
  EXPECT_EQ(list.Find("xyz"), nullptr);
  EXPECT_EQ(list.Find(""), nullptr);
  list.Add("BMP", "later", TGIFGraphic::Class());
  EXPECT_EQ(list.Find("bmp"), &TGIFGraphic::Class());
}

TEST(FileFormats, UnregisteringAtEndRemovesDescendantsAndKeepsBitmapEntries) {
  TFileFormatsList list = StartUpRegistry();
  list.Remove(TFakePNG::Class());
  UnregisterJpegFormats(list);
  UnregisterPictureReaders(list);
  std::vector<std::string> left;
  for (const TFileFormat& entry : list.Entries()) left.push_back(entry.extension);
  EXPECT_EQ(left, (std::vector<std::string>{"wmf", "emf", "ico", "bmp", "rle", "dib"}));

  // Removing a base kind removes every kind derived from it.
  TFileFormatsList all = StartUpRegistry();
  all.Remove(TBitmap::Class());
  left.clear();
  for (const TFileFormat& entry : all.Entries()) left.push_back(entry.extension);
  EXPECT_EQ(left, (std::vector<std::string>{"wmf", "emf", "ico", "jpeg", "jpg", "png"}));
}

TEST(FileFormats, ExtensionIsTheTextAfterTheLastDotOfTheFileName) {
  EXPECT_EQ(PictureExtension("/home/me/Photo.JPG"), "JPG");
  EXPECT_EQ(PictureExtension("/home/me/a.b.gif"), "gif");
  EXPECT_EQ(PictureExtension("/home/me/dir.tga/picture"), "");
  EXPECT_EQ(PictureExtension("/home/me/noext"), "");
  EXPECT_EQ(PictureExtension("/home/me/trailing."), "");
  EXPECT_EQ(PictureExtension(".bmp"), "bmp");
}

class LoadPictureTest : public ::testing::Test {
 protected:
  TFileFormatsList formats_ = StartUpRegistry();
  imagingtest::TempFolder folder_;
  const std::vector<std::uint8_t> bmp_ = imagingtest::MakeBmp(3, 2, 24, 0, {}, std::vector<std::uint8_t>(24, 9));

  std::string LoadError(TPicture& picture, const std::string& path) {
    try {
      picture.LoadPicture(path);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(LoadPictureTest, PicksTheReaderByExtension) {
  struct Case {
    const char* name;
    std::string_view kind;
  };
  for (const Case& c : {Case{"Photo.BMP", "TBitmap"}, Case{"a.b.dib", "TBitmap"}, Case{"scan.RLE", "TBitmap"},
                        Case{"x.PNG", "TFakePNG"}}) {
    TPicture picture(formats_);
    picture.LoadPicture(folder_.Write(c.name, bmp_));
    ASSERT_NE(picture.Graphic(), nullptr) << c.name;
    EXPECT_EQ(picture.Graphic()->ClassType().name, c.kind) << c.name;
  }
}

TEST_F(LoadPictureTest, GifAndTargaFilesLoadThroughTheirReaders) {
  for (const auto& [file, kind] : {std::pair<std::string, std::string_view>{"gif/bits-4.gif", "TGIFGraphic"},
                                    {"targa/type2-24-top-down.tga", "TTargaGraphic"}}) {
    TPicture picture(formats_);
    picture.LoadPicture(testsupport::corpusDir() + "/" + file);
    ASSERT_NE(picture.Graphic(), nullptr) << file;
    EXPECT_EQ(picture.Graphic()->ClassType().name, kind);
    EXPECT_EQ(picture.Width(), 23) << file;
    EXPECT_EQ(picture.Height(), 17) << file;
  }
}

TEST_F(LoadPictureTest, UnknownOrMissingExtensionNamesItAsWritten) {
  TPicture picture(formats_);
  EXPECT_EQ(LoadError(picture, folder_.Write("notes.TXT", bmp_)), "Extension de fichier image inconnue (.TXT)");
  EXPECT_EQ(LoadError(picture, folder_.Write("dir.tga/picture", bmp_)), "Extension de fichier image inconnue (.)");
  EXPECT_EQ(picture.Graphic(), nullptr);
  EXPECT_EQ(picture.Width(), 0);
}

TEST_F(LoadPictureTest, NeverOfferedKindsStillGoThroughTheirReader) {
  TPicture picture(formats_);
  EXPECT_EQ(LoadError(picture, folder_.Write("old.pcx", bmp_)), "Format d'image non pris en charge (TPCXGraphic)");
  EXPECT_EQ(LoadError(picture, folder_.Write("draw.wmf", bmp_)), "Format d'image non pris en charge (TMetafile)");
}

TEST_F(LoadPictureTest, AFailureKeepsThePreviousPicture) {
  TPicture picture(formats_);
  picture.LoadPicture(folder_.Write("good.bmp", bmp_));
  const TGraphic* before = picture.Graphic();
  std::vector<std::uint8_t> bad = bmp_;
  bad[0] = 'X';
  EXPECT_EQ(LoadError(picture, folder_.Write("bad.bmp", bad)), "Image bitmap incorrecte");
  EXPECT_NE(LoadError(picture, (folder_.Path() / "missing.bmp").string()), "");
  EXPECT_EQ(LoadError(picture, folder_.Write("bad.jpg", {0xFF, 0xD8, 0xFF, 0x00})).rfind("Erreur JPEG #", 0), 0u);
  EXPECT_EQ(picture.Graphic(), before);
  EXPECT_EQ(picture.Width(), 3);
  EXPECT_EQ(picture.Height(), 2);
}

TEST_F(LoadPictureTest, ZeroLengthBitmapIsAnEmptyPicture) {
  TPicture picture(formats_);
  picture.LoadPicture(folder_.Write("empty.bmp", {}));
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_TRUE(picture.Graphic()->Empty());
}

TEST(FileFormats, ProcessWideRegistryStartsWithTheBuiltInKinds) {
  ASSERT_GE(FileFormats().Entries().size(), 4u);
  EXPECT_EQ(FileFormats().Entries()[3].extension, "bmp");
  EXPECT_EQ(FindPictureReader("BMP"), &TBitmap::Class());
}
