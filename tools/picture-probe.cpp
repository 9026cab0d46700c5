// picture-probe FILE... [--scale 1|2|4|8] [--ppm OUT]
//
// Loads each file through the format registry, as the program does, and prints its kind, size,
// pixel layout, palette size and the time taken to load and to decode it. With --ppm, writes
// the picture's Bgr24 copy as a binary PPM: to OUT for a single file, or into the folder OUT as
// <file name>.ppm for several. --scale sets the JPEG decoding scale first. The exit status is 1
// when any file fails (its error text is printed), 2 for a bad command line.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "imaging/Bitmap.h"
#include "imaging/JPEGImage.h"
#include "imaging/Picture.h"
#include "imaging/PictureReaders.h"
#include "png/PNGObject.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Usage() {
  std::fprintf(stderr, "usage: picture-probe FILE... [--scale 1|2|4|8] [--ppm OUT]\n");
}

bool WritePpm(const std::string& path, TBitmap& bitmap) {
  bitmap.SetPixelLayout(PixelLayout::Bgr24);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  std::fprintf(file, "P6\n%d %d\n255\n", bitmap.Width(), bitmap.Height());
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(bitmap.Width()) * 3);
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* row = bitmap.ScanLine(y).data();
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
      rgb[i] = row[i + 2];
      rgb[i + 1] = row[i + 1];
      rgb[i + 2] = row[i];
    }
    std::fwrite(rgb.data(), 1, rgb.size(), file);
  }
  return std::fclose(file) == 0;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  std::string ppm;
  TJPEGScale scale = TJPEGScale::FullSize;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--ppm" && i + 1 < argc) {
      ppm = argv[++i];
    } else if (arg == "--scale" && i + 1 < argc) {
      const std::string value = argv[++i];
      if (value == "1") scale = TJPEGScale::FullSize;
      else if (value == "2") scale = TJPEGScale::Half;
      else if (value == "4") scale = TJPEGScale::Quarter;
      else if (value == "8") scale = TJPEGScale::Eighth;
      else return Usage(), 2;
    } else if (arg.starts_with("--")) {
      return Usage(), 2;
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) return Usage(), 2;

  RegisterJpegFormats();
  RegisterPictureReaders();
  RegisterPngFormat();

  int status = 0;
  for (const std::string& file : files) {
    try {
      TPicture picture;
      const auto start = Clock::now();
      picture.LoadPicture(file);
      const auto loaded = Clock::now();
      TGraphic& graphic = *picture.Graphic();
      if (auto* jpeg = dynamic_cast<TJPEGImage*>(&graphic)) jpeg->SetJpegScale(scale);
      TBitmap copy;
      copy.CopyToBitmap(graphic);
      const auto decoded = Clock::now();
      std::printf("%s: %s %d x %d %s palette %zu load %.2f ms decode %.2f ms\n", file.c_str(),
                  std::string(graphic.ClassType().name).c_str(), graphic.Width(), graphic.Height(),
                  PixelLayoutName(copy.Layout()), copy.Palette().size(), Milliseconds(loaded - start),
                  Milliseconds(decoded - loaded));
      if (!ppm.empty()) {
        const std::string out = files.size() == 1 ? ppm : ppm + "/" + BaseName(file) + ".ppm";
        if (!WritePpm(out, copy)) {
          std::fprintf(stderr, "%s: cannot write %s: %s\n", file.c_str(), out.c_str(), std::strerror(errno));
          status = 1;
        }
      }
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s: %s\n", file.c_str(), error.what());
      status = 1;
    }
  }
  return status;
}
