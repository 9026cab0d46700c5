#include "support/Entourage.h"

#include "imaging/JPEGImage.h"
#include "imaging/PictureReaders.h"
#include "png/PNGObject.h"

namespace testsupport {

Entourage::Entourage(platform::DateTime debut) : horloge(debut) {
  RegisterJpegFormats(formats);
  RegisterPictureReaders(formats);
  RegisterPngFormat(formats);
  etat.TexteErreur = "Error";
  etat.TexteChoixDossier = "Select folder which contains your wallpapers.";
}

}  // namespace testsupport
