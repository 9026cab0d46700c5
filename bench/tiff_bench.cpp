// Times our TIFF reader against libtiff on the same files and prints, per file, the best time of
// each and their ratio (ours / theirs; below 1 means we are faster), then the totals per
// compression. Ours is TPicture::LoadPicture, which reads the file and leaves the whole picture
// decoded in its raster. libtiff is timed two ways, both from TIFFOpen to TIFFClose:
//   - RGBA: TIFFReadRGBAImageOriented, its ready-made whole-picture decoding (top row first);
//   - scanlines: TIFFReadScanline for every row (TIFFReadEncodedTile for every tile) into one
//     buffer for the picture, the samples as the file holds them, without any conversion: the
//     least work a whole picture can cost.
//
// A tiled file named NAME-tiled-REST.tif whose strip twin NAME-REST.tif lies beside it also has
// ours timed on the twin in the same rounds, and the totals end with tiled against strips.
//
//   tiff-bench [--repeat N] DIR...        (bench/prepare-inputs.sh OUT makes OUT/tif, OUT/tif-photos)

#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "imaging/Picture.h"
#include "imaging/PictureReaders.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best time of each run, taken alternately so that all meet the same conditions (machine load,
// allocator state, file cache).
std::vector<double> BestMilliseconds(int repeat, const std::vector<std::function<void()>>& runs) {
  std::vector<double> best(runs.size(), 1e300);
  for (int i = 0; i < repeat; ++i)
    for (std::size_t r = 0; r < runs.size(); ++r) {
      const auto start = Clock::now();
      runs[r]();
      best[r] = std::min(best[r], std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
  return best;
}

using TiffHandle = std::unique_ptr<TIFF, decltype(&TIFFClose)>;

TiffHandle Open(const std::string& path) {
  TiffHandle tif(TIFFOpen(path.c_str(), "r"), &TIFFClose);
  if (!tif) throw std::runtime_error("libtiff cannot open " + path);
  return tif;
}

std::uint32_t LibtiffRgba(const std::string& path) {
  const TiffHandle tif = Open(path);
  std::uint32_t width = 0, height = 0;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  std::vector<std::uint32_t> raster(std::size_t{width} * height);
  if (!TIFFReadRGBAImageOriented(tif.get(), width, height, raster.data(), ORIENTATION_TOPLEFT, 0))
    throw std::runtime_error("libtiff cannot decode " + path);
  return raster[0];
}

std::uint8_t LibtiffScanlines(const std::string& path) {
  const TiffHandle tif = Open(path);
  if (TIFFIsTiled(tif.get())) {
    const auto tileBytes = static_cast<std::size_t>(TIFFTileSize(tif.get()));
    const std::uint32_t tiles = TIFFNumberOfTiles(tif.get());
    const auto pixels = std::make_unique_for_overwrite<std::uint8_t[]>(tileBytes * tiles);
    for (std::uint32_t t = 0; t < tiles; ++t)
      if (TIFFReadEncodedTile(tif.get(), t, pixels.get() + t * tileBytes, static_cast<tmsize_t>(tileBytes)) < 0)
        throw std::runtime_error("libtiff cannot decode " + path);
    return pixels[0];
  }
  std::uint32_t height = 0;
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  const auto rowBytes = static_cast<std::size_t>(TIFFScanlineSize(tif.get()));
  const auto pixels = std::make_unique_for_overwrite<std::uint8_t[]>(rowBytes * height);
  for (std::uint32_t y = 0; y < height; ++y)
    if (TIFFReadScanline(tif.get(), pixels.get() + y * rowBytes, y) < 0)
      throw std::runtime_error("libtiff cannot decode " + path);
  return pixels[0];
}

int Ours(const std::string& path) {
  TPicture picture;
  picture.LoadPicture(path);
  return picture.Width();
}

// The compression, "+ predictor 2" with horizontal differencing, and "tiled" for tiles.
std::string CompressionName(const std::string& path) {
  const TiffHandle tif = Open(path);
  std::uint16_t compression = COMPRESSION_NONE, predictor = PREDICTOR_NONE;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
  std::string name;
  switch (compression) {
    case COMPRESSION_NONE: name = "none"; break;
    case COMPRESSION_PACKBITS: name = "PackBits"; break;
    case COMPRESSION_LZW: name = "LZW"; break;
    case COMPRESSION_ADOBE_DEFLATE: case COMPRESSION_DEFLATE: name = "Deflate"; break;
    default: name = "compression " + std::to_string(compression);
  }
  // Only the codecs with differencing know the field.
  if (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_DEFLATE)
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PREDICTOR, &predictor);
  if (predictor == PREDICTOR_HORIZONTAL) name += " + predictor 2";
  if (TIFFIsTiled(tif.get())) name += " tiled";
  return name;
}

struct Totals {
  double ours = 0, rgba = 0, scanlines = 0;
  int files = 0;
  void Add(const std::vector<double>& t) {
    ours += t[0], rgba += t[1], scanlines += t[2], ++files;
  }
};

// The same picture in strips beside a tiled file: NAME-tiled-REST.tif beside NAME-REST.tif, as
// bench/prepare-inputs.sh names them. Empty when there is none.
std::string StripTwin(const std::string& path) {
  const std::filesystem::path file(path);
  std::string name = file.filename().string();
  const auto at = name.find("-tiled-");
  if (at == std::string::npos) return {};
  name.erase(at, 6);
  const std::filesystem::path twin = file.parent_path() / name;
  return std::filesystem::exists(twin) ? twin.string() : std::string();
}

// Ours on tiled files against ours on their strip twins, timed in the same rounds.
struct TiledTotals {
  double tiled = 0, strips = 0;
  int files = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int repeat = 5;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--repeat" && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
      continue;
    }
    for (const auto& entry : std::filesystem::directory_iterator(arg))
      if (entry.path().extension() == ".tif") files.push_back(entry.path().string());
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: tiff-bench [--repeat N] DIR...\n");
    return 2;
  }
  std::sort(files.begin(), files.end());
  TIFFSetWarningHandler(nullptr);
  RegisterPictureReaders();

  std::map<std::string, Totals> byCompression;
  std::map<std::string, TiledTotals> tiledAgainstStrips;
  Totals all;
  std::printf("%-36s %-28s %11s | %9s | %9s %6s | %9s %6s\n", "TIFF file", "compression", "size", "ours",
              "RGBA", "ratio", "scanlines", "ratio");
  for (const std::string& file : files) {
    TPicture probe;
    probe.LoadPicture(file);
    const std::string compression = CompressionName(file);
    const std::string twin = StripTwin(file);
    std::vector<std::function<void()>> runs = {[&] { Ours(file); }, [&] { LibtiffRgba(file); },
                                               [&] { LibtiffScanlines(file); }};
    if (!twin.empty()) runs.push_back([&] { Ours(twin); });
    const std::vector<double> t = BestMilliseconds(repeat, runs);
    byCompression[compression].Add(t);
    all.Add(t);
    std::printf("%-36s %-28s %5dx%-5d | %9.2f | %9.2f %6.3f | %9.2f %6.3f",
                std::filesystem::path(file).filename().c_str(), compression.c_str(), probe.Width(), probe.Height(),
                t[0], t[1], t[0] / t[1], t[2], t[0] / t[2]);
    if (!twin.empty()) {
      TiledTotals& pair = tiledAgainstStrips[compression];
      pair.tiled += t[0], pair.strips += t[3], ++pair.files;
      std::printf(" | strips %9.2f tiled/strips %6.3f", t[3], t[0] / t[3]);
    }
    std::printf("\n");
  }
  std::printf("\n%-28s %5s | %10s | %10s %6s | %10s %6s\n", "totals", "files", "ours ms", "RGBA ms", "ratio",
              "scan ms", "ratio");
  byCompression["all"] = all;
  for (const auto& [name, t] : byCompression)
    std::printf("%-28s %5d | %10.2f | %10.2f %6.3f | %10.2f %6.3f\n", name.c_str(), t.files, t.ours, t.rgba,
                t.ours / t.rgba, t.scanlines, t.ours / t.scanlines);
  if (!tiledAgainstStrips.empty()) {
    std::printf("\n%-28s %5s | %10s | %10s %12s\n", "ours, tiled", "files", "tiled ms", "strips ms", "tiled/strips");
    for (const auto& [name, t] : tiledAgainstStrips)
      std::printf("%-28s %5d | %10.2f | %10.2f %12.3f\n", name.c_str(), t.files, t.tiled, t.strips, t.tiled / t.strips);
  }
  return 0;
}
