#include "imaging/PictureReaders.h"

#include <string>

namespace {

[[noreturn]] void Refuse(const TGraphic& picture) {
  throw EInvalidGraphic("Format d'image non pris en charge (" + std::string(picture.ClassType().name) + ")");
}

}  // namespace

void TUnsupportedBitmap::ReadPictureStream(TPictureStream&) { Refuse(*this); }
void TUnsupportedGraphic::ReadPictureStream(TPictureStream&) { Refuse(*this); }
void TUnsupportedGraphic::AssignTo(TBitmap& target) {
  TBitmap empty;
  target.SwapRaster(empty);
}

#define VERRELUNE_DEFINE_CLASS(Name, Base)                                                 \
  const TGraphicClass& Name::Class() {                                                     \
    static const TGraphicClass kind = TGraphicClass::Of<Name>(#Name, Base::Class());      \
    return kind;                                                                           \
  }

VERRELUNE_DEFINE_CLASS(TTIFFGraphic, TBitmap)
VERRELUNE_DEFINE_CLASS(TSGIGraphic, TBitmap)
VERRELUNE_DEFINE_CLASS(TPCXGraphic, TBitmap)
VERRELUNE_DEFINE_CLASS(TAutodeskGraphic, TBitmap)
VERRELUNE_DEFINE_CLASS(TPCDGraphic, TBitmap)
VERRELUNE_DEFINE_CLASS(TPPMGraphic, TBitmap)
VERRELUNE_DEFINE_CLASS(TCUTGraphic, TBitmap)
VERRELUNE_DEFINE_CLASS(TRLAGraphic, TBitmap)
VERRELUNE_DEFINE_CLASS(TPSDGraphic, TBitmap)
VERRELUNE_DEFINE_CLASS(TMetafile, TGraphic)
VERRELUNE_DEFINE_CLASS(TIcon, TGraphic)

#undef VERRELUNE_DEFINE_CLASS

void RegisterPictureReaders(TFileFormatsList& list) {
  list.Add("win", "Truevision images", TTargaGraphic::Class());
  list.Add("vst", "Truevision images", TTargaGraphic::Class());
  list.Add("vda", "Truevision images", TTargaGraphic::Class());
  list.Add("tiff", "TIFF images", TTIFFGraphic::Class());
  list.Add("tif", "TIFF images", TTIFFGraphic::Class());
  list.Add("tga", "Truevision images", TTargaGraphic::Class());
  list.Add("sgi", "SGI true color images", TSGIGraphic::Class());
  list.Add("scr", "Word 5.x screen capture images", TPCXGraphic::Class());
  list.Add("rpf", "SGI Wavefront images", TRLAGraphic::Class());
  list.Add("rle", "Windows bitmap", TBitmap::Class());
  list.Add("rla", "SGI Wavefront images", TRLAGraphic::Class());
  list.Add("rgba", "SGI true color images", TSGIGraphic::Class());
  list.Add("rgb", "SGI true color images", TSGIGraphic::Class());
  list.Add("psd", "Photoshop images", TPSDGraphic::Class());
  list.Add("ppm", "Portable pixel map images", TPPMGraphic::Class());
  list.Add("pgm", "Portable grayscale images", TPPMGraphic::Class());
  list.Add("pbm", "Portable b&w images", TPPMGraphic::Class());
  list.Add("pic", "Autodesk images", TAutodeskGraphic::Class());
  list.Add("pcx", "ZSoft PCX images", TPCXGraphic::Class());
  list.Add("pdd", "Photoshop images", TPSDGraphic::Class());
  list.Add("pcd", "Kodak Photo-CD images", TPCDGraphic::Class());
  list.Add("pcc", "ZSoft PCC images", TPCXGraphic::Class());
  list.Add("icb", "Truevision images", TTargaGraphic::Class());
  list.Add("gif", "CompuServe images", TGIFGraphic::Class());
  list.Add("dib", "Windows bitmap", TBitmap::Class());
  list.Add("cut", "Dr. Halo images", TCUTGraphic::Class());
  list.Add("cel", "Autodesk images", TAutodeskGraphic::Class());
  list.Add("bw", "SGI black/white images", TSGIGraphic::Class());
}

void UnregisterPictureReaders(TFileFormatsList& list) {
  for (const TGraphicClass* kind :
       {&TTargaGraphic::Class(), &TTIFFGraphic::Class(), &TSGIGraphic::Class(), &TPCXGraphic::Class(),
        &TAutodeskGraphic::Class(), &TPCDGraphic::Class(), &TPPMGraphic::Class(), &TCUTGraphic::Class(),
        &TGIFGraphic::Class(), &TRLAGraphic::Class(), &TPSDGraphic::Class()})
    list.Remove(*kind);
}
