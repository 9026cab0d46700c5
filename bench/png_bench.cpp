// Times our PNG decoding against libpng and libspng (both inflating through zlib, like ours)
// and stb_image on the same files, and measures our peak memory.
//
// Every decoder reads the file from memory, so that only decoding is timed; each delivers
// 8-bit samples (16-bit samples cut to 8 bits): ours its surface and alpha plane, libpng rows
// with png_set_strip_16, libspng SPNG_FMT_PNG with its 16-bit output, stb_image its native
// channel count. Per file it prints the best time of each over --repeat runs, and the ratio
// ours / theirs (below 1 means we are faster); the last line gives the median ratios.
//
// Peak memory: a fresh process decodes the file from disk with our reader and reports how far
// its peak resident size rose, against the decoded picture (surface plus alpha plane) plus 1 MiB.
//
//   png-bench [--repeat N] FILE_OR_DIR...

#include <png.h>
#include <spng.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <setjmp.h>
#include <stdexcept>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include "imaging/PictureStream.h"
#include "png/PNGObject.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;

Bytes ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

double BestMilliseconds(int repeat, const std::function<void()>& run) {
  double best = 1e300;
  for (int i = 0; i < repeat; ++i) {
    const auto start = Clock::now();
    run();
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return best;
}

void DecodeOurs(const Bytes& file) {
  TPNGObject picture;
  TPictureStream stream(file);
  picture.ReadPictureStream(stream);
}

struct MemoryReader {
  const Bytes* file;
  std::size_t at;
};

void DecodeLibpng(const Bytes& file) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  MemoryReader reader{&file, 0};
  Bytes pixels;
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error("libpng failed");
  }
  png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, png_size_t count) {
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(p));
    if (r->at + count > r->file->size()) png_error(p, "short file");
    std::memcpy(out, r->file->data() + r->at, count);
    r->at += count;
  });
  png_read_info(png, info);
  png_set_strip_16(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const std::size_t rowBytes = png_get_rowbytes(png, info);
  pixels.resize(rowBytes * height);
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + y * rowBytes;
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, rows[y], nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
}

void DecodeSpng(const Bytes& file) {
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, file.data(), file.size());
  std::size_t size = 0;
  if (spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size) != 0) {
    spng_ctx_free(ctx);
    throw std::runtime_error("libspng failed");
  }
  Bytes pixels(size);
  const int result = spng_decode_image(ctx, pixels.data(), size, SPNG_FMT_PNG, 0);
  spng_ctx_free(ctx);
  if (result != 0) throw std::runtime_error(std::string("libspng: ") + spng_strerror(result));
}

void DecodeStb(const Bytes& file) {
  int w, h, n;
  stbi_uc* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 0);
  if (!pixels) throw std::runtime_error("stb_image failed");
  stbi_image_free(pixels);
}

long StatusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  return -1;
}

// In a fresh process (so that no heap of earlier runs is reused): the rise of the peak
// resident size while our reader decodes `path` from disk, and the decoded picture's size.
int ReportPeakMemory(const std::string& path) {
  const long before = StatusKilobytes("VmRSS:");
  try {
    TPNGObject picture;
    picture.ReadPictureFile(path);
    const long peak = StatusKilobytes("VmHWM:");
    const TChunkIHDR& header = picture.HeaderChunk();
    const std::size_t decoded = header.SurfaceStride() * header.Height +
                                (header.HasAlphaPlane() ? std::size_t{header.Width} * header.Height : 0);
    std::printf("%ld %zu\n", (peak - before) * 1024, decoded);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), error.what());
    return 1;
  }
}

std::pair<long, long> PeakMemory(const std::string& path) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {-1, -1};
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipeFds[1], 1);
    close(pipeFds[0]);
    close(pipeFds[1]);
    execl("/proc/self/exe", "png-bench", "--peak", path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  char text[64] = {};
  const ssize_t got = read(pipeFds[0], text, sizeof text - 1);
  close(pipeFds[0]);
  waitpid(child, nullptr, 0);
  long rise = -1, decoded = -1;
  if (got <= 0 || std::sscanf(text, "%ld %ld", &rise, &decoded) != 2) return {-1, -1};
  return {rise, decoded};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 5;
  std::vector<std::string> files;
  if (argc == 3 && std::string(argv[1]) == "--peak") return ReportPeakMemory(argv[2]);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--repeat" && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
        if (entry.path().extension() == ".png" && entry.is_regular_file()) files.push_back(entry.path().string());
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: png-bench [--repeat N] FILE_OR_DIR...\n");
    return 2;
  }
  std::sort(files.begin(), files.end());

  std::vector<double> vsLibpng, vsSpng, vsStb;
  int overMemory = 0, failures = 0;
  std::printf("%-44s %11s %9s %9s %9s %9s %6s %6s %6s %9s %9s\n", "file", "size", "ours ms", "libpng",
              "libspng", "stb", "/png", "/spng", "/stb", "peak MiB", "pic MiB");
  for (const std::string& path : files) {
    const Bytes file = ReadWhole(path);
    double ours, libpng, spng, stb;
    try {
      ours = BestMilliseconds(repeat, [&] { DecodeOurs(file); });
      libpng = BestMilliseconds(repeat, [&] { DecodeLibpng(file); });
      spng = BestMilliseconds(repeat, [&] { DecodeSpng(file); });
      stb = BestMilliseconds(repeat, [&] { DecodeStb(file); });
    } catch (const std::exception& error) {
      std::printf("%s: %s\n", path.c_str(), error.what());
      ++failures;
      continue;
    }
    const auto [peak, picture] = PeakMemory(path);
    if (peak < 0 || peak > picture + (1 << 20)) ++overMemory;
    vsLibpng.push_back(ours / libpng);
    vsSpng.push_back(ours / spng);
    vsStb.push_back(ours / stb);
    std::string name = std::filesystem::path(path).filename().string();
    if (name.size() > 44) name = name.substr(0, 41) + "...";
    std::printf("%-44s %11zu %9.2f %9.2f %9.2f %9.2f %6.2f %6.2f %6.2f %9.2f %9.2f\n", name.c_str(), file.size(),
                ours, libpng, spng, stb, ours / libpng, ours / spng, ours / stb, peak / 1048576.0,
                picture / 1048576.0);
  }
  std::printf("median ratio over %zu files: ours/libpng %.3f  ours/libspng %.3f  ours/stb %.3f; "
              "%d above picture + 1 MiB; %d failures\n",
              vsLibpng.size(), Median(vsLibpng), Median(vsSpng), Median(vsStb), overMemory, failures);
  return failures == 0 && overMemory == 0 ? 0 : 1;
}
