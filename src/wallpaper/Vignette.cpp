#include "wallpaper/Vignette.h"

#include <exception>

#include "imaging/ImageList.h"
#include "imaging/JPEGImage.h"
#include "imaging/Picture.h"
#include "wallpaper/Ajustement.h"

std::optional<Canvas> FabriquerVignette(const std::string& chemin, const TFileFormatsList& formats,
                                        int largeurEcran, int hauteurEcran) {
  try {
    TPicture image(formats);
    image.LoadPicture(chemin);
    TGraphic& graphique = *image.Graphic();
    // A width or height of 0 would divide by zero below.
    if (graphique.Width() <= 0 || graphique.Height() <= 0) return std::nullopt;
    const ModeAjustement mode =
        ChoisirMode(graphique.Width(), graphique.Height(), largeurEcran, hauteurEcran);
    if (auto* jpeg = dynamic_cast<TJPEGImage*>(&graphique))
      jpeg->SetJpegScale(EchelleApercu(jpeg->Width(), jpeg->Height()));
    if (graphique.Width() <= 0 || graphique.Height() <= 0) return std::nullopt;
    const int cw = TImageList::kThumbnailWidth;
    const int ch = TImageList::kThumbnailHeight;
    Canvas cellule(cw, ch);
    if (mode == ModeAjustement::Stretch) {
      graphique.DrawStretched(cellule, Rect{0, 0, cw, ch});
    } else {
      cellule.FillRect(Rect{0, 0, cw, ch}, kThumbnailMaskColour);
      graphique.DrawStretched(cellule, RectangleCentre(graphique.Width(), graphique.Height(),
                                                       largeurEcran, hauteurEcran, cw, ch));
    }
    return cellule;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}
