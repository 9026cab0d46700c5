#include "imaging/JPEGImage.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <exception>
#include <string>

#include <jpeglib.h>

#include "imaging/FileFormats.h"
#include "imaging/Limits.h"
#include "imaging/PictureStream.h"

namespace {

// Colours the one-pass quantiser is asked for when a greyscale picture becomes Indexed8.
constexpr int kGreyLevels = 236;
// Rows handed to the library per call, so that it can emit a whole iMCU row at once.
constexpr int kRowsPerCall = 16;

// Everything the library touches during one run, kept outside the frame that calls setjmp so
// that nothing it changes is an automatic variable of that frame.
struct Session {
  std::span<const std::uint8_t> data;
  // Header only, or decode at `denominator` (1, 2, 4, 8) into `target`.
  bool headerOnly = true;
  unsigned denominator = 1;
  TBitmap* target = nullptr;

  jpeg_decompress_struct info{};
  struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
  } error{};
  struct Progress {
    jpeg_progress_mgr manager;
    Session* session;
  } progress{};

  // Results.
  int messageCode = 0;
  bool failed = false;
  bool tooManyScans = false;
  std::exception_ptr allocationError;
  std::array<std::array<int, 2>, 4> sizes{};
  std::uint64_t fullWidth = 0;
  std::uint64_t fullHeight = 0;
  bool grayscale = false;
  bool progressive = false;
};

// The library's own error_exit ends the process; ours leaves the library for good.
[[noreturn]] void ErrorExit(j_common_ptr common) {
  auto* error = reinterpret_cast<Session::ErrorManager*>(common->err);
  std::longjmp(error->jump, 1);
}

// Warnings about corrupt data are not printed; what can be decoded is shown.
void IgnoreMessage(j_common_ptr) {}

// Stops progressive files with an absurd number of scans, each a pass over the whole picture.
void WatchScans(j_common_ptr common) {
  if (!common->is_decompressor) return;
  auto* progress = reinterpret_cast<Session::Progress*>(common->progress);
  if (reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > kMaxJpegScans) {
    progress->session->tooManyScans = true;
    std::longjmp(progress->session->error.jump, 1);
  }
}

// Makes the target raster; C++ failures are kept for the caller instead of crossing the
// library's frames.
bool PrepareTarget(Session& session) noexcept {
  try {
    const jpeg_decompress_struct& info = session.info;
    TBitmap bitmap;
    if (session.grayscale) {
      bitmap.SetPixelLayout(PixelLayout::Indexed8);
      std::vector<Color> palette;
      for (int i = 0; i < info.actual_number_of_colors && i < 256; ++i) {
        const std::uint8_t level = info.colormap[0][i];
        palette.push_back({level, level, level});
      }
      bitmap.SetPalette(palette);
    } else {
      bitmap.SetPixelLayout(PixelLayout::Bgr24);
    }
    bitmap.SetSize(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    session.target->SwapRaster(bitmap);
    return true;
  } catch (...) {
    session.allocationError = std::current_exception();
    return false;
  }
}

// One pass of the library over the data. Only plain data lives in this frame, so the jump
// back from ErrorExit skips no destructor.
void Run(Session& session) {
  jpeg_decompress_struct& info = session.info;
  info.err = jpeg_std_error(&session.error.manager);
  session.error.manager.error_exit = ErrorExit;
  session.error.manager.output_message = IgnoreMessage;
  session.progress.manager.progress_monitor = WatchScans;
  session.progress.session = &session;
  if (setjmp(session.error.jump)) {
    session.messageCode = session.error.manager.msg_code;
    session.failed = true;
    jpeg_destroy_decompress(&info);
    return;
  }
  jpeg_create_decompress(&info);
  info.progress = &session.progress.manager;
  jpeg_mem_src(&info, session.data.data(), static_cast<unsigned long>(session.data.size()));
  jpeg_read_header(&info, TRUE);
  session.grayscale = info.jpeg_color_space == JCS_GRAYSCALE;
  session.progressive = info.progressive_mode != 0;
  session.fullWidth = info.image_width;
  session.fullHeight = info.image_height;

  if (session.headerOnly) {
    for (unsigned n = 0; n < 4; ++n) {
      info.scale_num = 1;
      info.scale_denom = 1u << n;
      jpeg_calc_output_dimensions(&info);
      session.sizes[n] = {static_cast<int>(info.output_width), static_cast<int>(info.output_height)};
    }
    jpeg_destroy_decompress(&info);
    return;
  }

  info.scale_num = 1;
  info.scale_denom = session.denominator;
  info.do_block_smoothing = TRUE;
  info.dct_method = JDCT_ISLOW;
  if (session.grayscale) {
    info.out_color_space = JCS_GRAYSCALE;
    info.quantize_colors = TRUE;
    info.desired_number_of_colors = kGreyLevels;
    info.two_pass_quantize = FALSE;
  } else {
    info.out_color_space = JCS_EXT_BGR;
  }
  jpeg_start_decompress(&info);
  if (!PrepareTarget(session)) {
    jpeg_destroy_decompress(&info);
    return;
  }
  TBitmap& target = *session.target;
  JSAMPROW rows[kRowsPerCall];
  while (info.output_scanline < info.output_height) {
    const JDIMENSION first = info.output_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(kRowsPerCall, info.output_height - first);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = target.ScanLine(static_cast<int>(first + i)).data();
    if (jpeg_read_scanlines(&info, rows, count) == 0) break;
  }
  // The rest of the file (markers after the last scan) is of no interest.
  jpeg_destroy_decompress(&info);
}

[[noreturn]] void ThrowFailure(const Session& session) {
  if (session.allocationError) std::rethrow_exception(session.allocationError);
  if (session.tooManyScans)
    throw EJPEG("Erreur JPEG : image progressive de plus de " + std::to_string(kMaxJpegScans) + " passes");
  char text[40];
  std::snprintf(text, sizeof text, "Erreur JPEG #%d", session.messageCode);
  throw EJPEG(text);
}

}  // namespace

const TGraphicClass& TJPEGImage::Class() {
  static const TGraphicClass kind = TGraphicClass::Of<TJPEGImage>("TJPEGImage", TGraphic::Class());
  return kind;
}

int TJPEGImage::Width() const { return sizes_[static_cast<int>(scale_)].width; }
int TJPEGImage::Height() const { return sizes_[static_cast<int>(scale_)].height; }

void TJPEGImage::SetJpegScale(TJPEGScale scale) {
  if (scale == scale_) return;
  scale_ = scale;
  bitmap_.reset();
}

void TJPEGImage::ReadPictureStream(TPictureStream& stream) {
  const auto bytes = stream.ReadView(stream.Remaining());
  std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  std::array<Size, 4> sizes{};
  bool grayscale = false, progressive = false;
  if (!data.empty()) {
    auto session = std::make_unique<Session>();
    session->data = data;
    Run(*session);
    if (session->failed) ThrowFailure(*session);
    CheckPictureSize(session->fullWidth, session->fullHeight);
    for (int n = 0; n < 4; ++n) sizes[n] = {session->sizes[n][0], session->sizes[n][1]};
    grayscale = session->grayscale;
    progressive = session->progressive;
  }
  data_ = std::move(data);
  sizes_ = sizes;
  grayscale_ = grayscale;
  progressive_ = progressive;
  bitmap_.reset();
}

const TBitmap& TJPEGImage::Bitmap() { return DecodedBitmap(); }

TBitmap& TJPEGImage::DecodedBitmap() {
  if (bitmap_) return *bitmap_;
  auto bitmap = std::make_unique<TBitmap>();
  if (!data_.empty()) {
    auto session = std::make_unique<Session>();
    session->data = data_;
    session->headerOnly = false;
    session->denominator = 1u << static_cast<unsigned>(scale_);
    session->target = bitmap.get();
    Run(*session);
    if (session->failed || session->allocationError) ThrowFailure(*session);
  }
  bitmap_ = std::move(bitmap);
  return *bitmap_;
}

void TJPEGImage::DrawStretched(Canvas& canvas, const Rect& rect) {
  if (Empty()) return;
  DecodedBitmap().DrawStretched(canvas, rect);
}

void TJPEGImage::AssignTo(TBitmap& target) {
  DecodedBitmap().AssignTo(target);
}

void RegisterJpegFormats(TFileFormatsList& list) {
  list.Add("jpeg", "Fichier image JPEG", TJPEGImage::Class());
  list.Add("jpg", "Fichier image JPEG", TJPEGImage::Class());
}

void UnregisterJpegFormats(TFileFormatsList& list) { list.Remove(TJPEGImage::Class()); }
