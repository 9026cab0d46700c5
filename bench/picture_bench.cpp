// Times our picture loading against other libraries on the same files and prints, per file,
// the best time of each and their ratio (ours / theirs; below 1 means we are faster):
//   - JPEG: TPicture::LoadPicture plus decoding, against libjpeg-turbo called directly with the
//     same output (BGR, default DCT), at full size and at 1/8;
//   - BMP: TPicture::LoadPicture against stb_image's stbi_load;
//   - GIF: TPicture::LoadPicture against giflib (DGifOpenFileName, DGifSlurp) and stb_image;
//   - Targa: TPicture::LoadPicture against stb_image.
// Both sides read the file from disk in every run.
//
//   picture-bench [--jpeg DIR] [--bmp DIR] [--gif DIR] [--tga DIR] [--repeat N]

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_ONLY_TGA
#include <stb/stb_image.h>

#include "imaging/Bitmap.h"
#include "imaging/JPEGImage.h"
#include "imaging/Picture.h"
#include "imaging/PictureReaders.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best times of `ours` and `theirs`, run alternately so that both meet the same conditions
// (machine load, allocator state, file cache).
std::pair<double, double> BestMilliseconds(int repeat, const std::function<void()>& ours,
                                           const std::function<void()>& theirs) {
  const auto time = [](const std::function<void()>& run) {
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  double bestOurs = 1e300, bestTheirs = 1e300;
  for (int i = 0; i < repeat; ++i) {
    bestOurs = std::min(bestOurs, time(ours));
    bestTheirs = std::min(bestTheirs, time(theirs));
  }
  return {bestOurs, bestTheirs};
}

std::vector<unsigned char> ReadWhole(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw std::runtime_error("cannot open " + path);
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::rewind(file);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  bytes.resize(got);
  return bytes;
}

// The plain way to decode a JPEG with the library: header, start, all scanlines, finish.
std::size_t DirectJpeg(const std::string& path, unsigned denominator) {
  const std::vector<unsigned char> data = ReadWhole(path);
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
  info.scale_num = 1;
  info.scale_denom = denominator;
  info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  const std::size_t stride = (info.output_width * 3 + 3) & ~std::size_t{3};
  std::vector<unsigned char> pixels(stride * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels.data() + info.output_scanline * stride;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return pixels.size();
}

int OurJpeg(const std::string& path, TJPEGScale scale) {
  TPicture picture;
  picture.LoadPicture(path);
  auto& jpeg = dynamic_cast<TJPEGImage&>(*picture.Graphic());
  jpeg.SetJpegScale(scale);
  return jpeg.Bitmap().Width();
}

int OurPicture(const std::string& path) {
  TPicture picture;
  picture.LoadPicture(path);
  return picture.Width();
}

// All images of the file with their pixels, as giflib's one-call reading gives them.
int GiflibSlurp(const std::string& path) {
  int error = 0;
  GifFileType* file = DGifOpenFileName(path.c_str(), &error);
  if (!file) throw std::runtime_error(path + ": " + GifErrorString(error));
  const bool read = DGifSlurp(file) == GIF_OK;
  const int width = read ? file->SavedImages[0].ImageDesc.Width : 0;
  DGifCloseFile(file, &error);
  if (!read) throw std::runtime_error(path + ": giflib cannot read it");
  return width;
}

int StbPicture(const std::string& path) {
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 0);
  if (!pixels) throw std::runtime_error(path + ": " + stbi_failure_reason());
  stbi_image_free(pixels);
  return width;
}

std::vector<std::string> Files(const std::string& folder, const std::string& extension) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == extension) files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

struct Totals {
  double ours = 0, theirs = 0, logRatio = 0;
  int count = 0;
  void Add(double a, double b) {
    ours += a, theirs += b, logRatio += std::log(a / b), ++count;
  }
  void Print(const char* what) const {
    if (count == 0) return;
    std::printf("%-34s total %9.2f ms %9.2f ms  ratio of totals %.3f  geometric mean ratio %.3f\n", what, ours,
                theirs, ours / theirs, std::exp(logRatio / count));
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::string jpegFolder, bmpFolder, gifFolder, tgaFolder;
  int repeat = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--jpeg") jpegFolder = argv[i + 1];
    else if (arg == "--bmp") bmpFolder = argv[i + 1];
    else if (arg == "--gif") gifFolder = argv[i + 1];
    else if (arg == "--tga") tgaFolder = argv[i + 1];
    else if (arg == "--repeat") repeat = std::max(1, std::atoi(argv[i + 1]));
  }
  if (jpegFolder.empty() && bmpFolder.empty() && gifFolder.empty() && tgaFolder.empty()) {
    std::fprintf(stderr, "usage: picture-bench [--jpeg DIR] [--bmp DIR] [--gif DIR] [--tga DIR] [--repeat N]\n");
    return 2;
  }
  RegisterJpegFormats();
  RegisterPictureReaders();

  if (!jpegFolder.empty()) {
    Totals full, eighth;
    std::printf("%-22s %11s | %9s %9s %6s | %9s %9s %6s\n", "JPEG file", "size", "ours", "libjpeg", "ratio",
                "ours 1/8", "lib 1/8", "ratio");
    for (const std::string& file : Files(jpegFolder, ".jpg")) {
      TPicture probe;
      probe.LoadPicture(file);
      const auto [ours, theirs] = BestMilliseconds(
          repeat, [&] { OurJpeg(file, TJPEGScale::FullSize); }, [&] { DirectJpeg(file, 1); });
      const auto [ours8, theirs8] = BestMilliseconds(
          repeat, [&] { OurJpeg(file, TJPEGScale::Eighth); }, [&] { DirectJpeg(file, 8); });
      full.Add(ours, theirs);
      eighth.Add(ours8, theirs8);
      std::printf("%-22s %5dx%-5d | %9.2f %9.2f %6.3f | %9.2f %9.2f %6.3f\n",
                  std::filesystem::path(file).filename().c_str(), probe.Width(), probe.Height(), ours, theirs,
                  ours / theirs, ours8, theirs8, ours8 / theirs8);
    }
    full.Print("JPEG full size (ours vs libjpeg)");
    eighth.Print("JPEG 1/8 (ours vs libjpeg)");
  }
  if (!bmpFolder.empty()) {
    Totals bmp;
    std::printf("\n%-22s %11s | %9s %9s %6s\n", "BMP file", "size", "ours", "stb", "ratio");
    for (const std::string& file : Files(bmpFolder, ".bmp")) {
      TPicture probe;
      probe.LoadPicture(file);
      const auto [ours, theirs] = BestMilliseconds(repeat, [&] { OurPicture(file); }, [&] { StbPicture(file); });
      bmp.Add(ours, theirs);
      std::printf("%-22s %5dx%-5d | %9.2f %9.2f %6.3f\n", std::filesystem::path(file).filename().c_str(),
                  probe.Width(), probe.Height(), ours, theirs, ours / theirs);
    }
    bmp.Print("BMP (ours vs stb_image)");
  }
  if (!gifFolder.empty()) {
    Totals giflib, stb;
    std::printf("\n%-30s %11s | %9s %9s %6s | %9s %6s\n", "GIF file", "size", "ours", "giflib", "ratio", "stb",
                "ratio");
    for (const std::string& file : Files(gifFolder, ".gif")) {
      TPicture probe;
      probe.LoadPicture(file);
      const auto [ours, theirs] = BestMilliseconds(repeat, [&] { OurPicture(file); }, [&] { GiflibSlurp(file); });
      const auto [ours2, stbTime] = BestMilliseconds(repeat, [&] { OurPicture(file); }, [&] { StbPicture(file); });
      giflib.Add(ours, theirs);
      stb.Add(ours2, stbTime);
      std::printf("%-30s %5dx%-5d | %9.2f %9.2f %6.3f | %9.2f %6.3f\n", std::filesystem::path(file).filename().c_str(),
                  probe.Width(), probe.Height(), ours, theirs, ours / theirs, stbTime, ours2 / stbTime);
    }
    giflib.Print("GIF (ours vs giflib DGifSlurp)");
    stb.Print("GIF (ours vs stb_image)");
  }
  if (!tgaFolder.empty()) {
    Totals tga;
    std::printf("\n%-30s %11s | %9s %9s %6s\n", "Targa file", "size", "ours", "stb", "ratio");
    for (const std::string& file : Files(tgaFolder, ".tga")) {
      TPicture probe;
      probe.LoadPicture(file);
      const auto [ours, theirs] = BestMilliseconds(repeat, [&] { OurPicture(file); }, [&] { StbPicture(file); });
      tga.Add(ours, theirs);
      std::printf("%-30s %5dx%-5d | %9.2f %9.2f %6.3f\n", std::filesystem::path(file).filename().c_str(),
                  probe.Width(), probe.Height(), ours, theirs, ours / theirs);
    }
    tga.Print("Targa (ours vs stb_image)");
  }
  return 0;
}
