#include "imaging/JPEGImage.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <exception>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

#include "imaging/FileFormats.h"
#include "imaging/Limits.h"
#include "imaging/PictureStream.h"
#include "imaging/PixelConversion.h"

namespace {

// Colours the one-pass quantiser is asked for when a greyscale picture becomes Indexed8.
constexpr int kGreyLevels = 236;
// Rows handed to the library per call, so that it can emit a whole iMCU row at once.
constexpr int kRowsPerCall = 16;

// The library's error_exit ends the process; ours leaves the library for good.
[[noreturn]] void ErrorExit(j_common_ptr common);
void IgnoreMessage(j_common_ptr) {}
void WatchScans(j_common_ptr common);

}  // namespace

// Everything the library touches while reading one picture. It lives on the heap, outside
// the frames that call setjmp, so nothing the library changes is an automatic variable of a
// frame it jumps back into.
struct JpegSession {
  explicit JpegSession(std::span<const std::uint8_t> bytes) : data(bytes) {
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = ErrorExit;
    // Warnings about corrupt data are not printed; what can be decoded is shown.
    error.manager.output_message = IgnoreMessage;
    progress.manager.progress_monitor = WatchScans;
    progress.session = this;
  }
  JpegSession(const JpegSession&) = delete;
  JpegSession& operator=(const JpegSession&) = delete;
  // Safe in every state, also on a structure the library never initialised.
  ~JpegSession() { jpeg_destroy_decompress(&info); }

  std::span<const std::uint8_t> data;
  jpeg_decompress_struct info{};
  struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
  } error{};
  struct Progress {
    jpeg_progress_mgr manager;
    JpegSession* session;
  } progress{};

  // Results.
  bool failed = false;
  bool tooManyScans = false;
  std::exception_ptr allocationError;
  std::array<std::array<int, 2>, 4> sizes{};
  std::uint64_t fullWidth = 0;
  std::uint64_t fullHeight = 0;
  // The library's buffer of the whole picture's coefficients, for files of several scans.
  std::uint64_t coefficientBytes = 0;
  bool grayscale = false;
  bool progressive = false;
  // Ink pictures (CMYK, or YCCK which the library turns into CMYK) are decoded a few rows at a
  // time into `inkRows` and converted to Bgr24 from there.
  bool inks = false;
  // Adobe's files store every ink sample inverted (255 is no ink), and say so by their APP14
  // marker.
  bool invertedInks = false;
  std::vector<std::uint8_t> inkRows;
};

namespace {

void ErrorExit(j_common_ptr common) {
  auto* error = reinterpret_cast<JpegSession::ErrorManager*>(common->err);
  std::longjmp(error->jump, 1);
}

// Stops progressive files with an absurd number of scans, each a pass over the whole picture.
void WatchScans(j_common_ptr common) {
  if (!common->is_decompressor) return;
  auto* progress = reinterpret_cast<JpegSession::Progress*>(common->progress);
  if (reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > kMaxJpegScans) {
    progress->session->tooManyScans = true;
    std::longjmp(progress->session->error.jump, 1);
  }
}

// Makes the target raster; C++ failures are kept for the caller instead of crossing the
// library's frames.
bool PrepareTarget(JpegSession& session, TBitmap& target) noexcept {
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
    if (session.inks) {
      const std::uint64_t bytes = std::uint64_t{kRowsPerCall} * info.output_width * 4;
      CheckDecoderMemory(bytes, info.output_width, info.output_height);
      session.inkRows.assign(static_cast<std::size_t>(bytes), 0);
    }
    target.SwapRaster(bitmap);
    return true;
  } catch (...) {
    session.allocationError = std::current_exception();
    return false;
  }
}

// Ink rows as the library delivers them to Bgr24 rows of `target` from row `first` on, through
// the same rule as every other CMYK picture.
void ConvertInks(JpegSession& session, JSAMPROW* rows, JDIMENSION count, TBitmap& target, JDIMENSION first) {
  const std::size_t samples = std::size_t{session.info.output_width} * 4;
  for (JDIMENSION i = 0; i < count; ++i) {
    std::uint8_t* inks = rows[i];
    if (session.invertedInks)
      for (std::size_t k = 0; k < samples; ++k) inks[k] = static_cast<std::uint8_t>(255 - inks[k]);
    ConvertCmyk<ByteOrder::LittleEndian>(inks, target.ScanLine(static_cast<int>(first + i)).data(), 8, samples);
  }
}

// Reads the header: size at every scale, colour space, progressive or not. Returns false on a
// library error. Only plain data lives in this frame, so the jump back skips no destructor.
bool ReadHeader(JpegSession& session) {
  jpeg_decompress_struct& info = session.info;
  if (setjmp(session.error.jump)) {
    session.failed = true;
    return false;
  }
  jpeg_create_decompress(&info);
  // Past this the library fails rather than allocate (it has no disk to spill to); the size
  // is checked beforehand, this is the backstop.
  info.mem->max_memory_to_use = static_cast<long>(kMaxDecoderBytes);
  info.progress = &session.progress.manager;
  jpeg_mem_src(&info, session.data.data(), static_cast<unsigned long>(session.data.size()));
  jpeg_read_header(&info, TRUE);
  session.grayscale = info.jpeg_color_space == JCS_GRAYSCALE;
  session.inks = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  session.invertedInks = session.inks && info.saw_Adobe_marker;
  session.progressive = info.progressive_mode != 0;
  session.fullWidth = info.image_width;
  session.fullHeight = info.image_height;
  if (jpeg_has_multiple_scans(&info)) {
    // Every coefficient of every component, in whole blocks of whole iMCUs, is kept until the
    // last scan, whatever the output scale.
    for (int c = 0; c < info.num_components; ++c) {
      const jpeg_component_info& component = info.comp_info[c];
      const std::uint64_t h = static_cast<std::uint64_t>(component.h_samp_factor);
      const std::uint64_t v = static_cast<std::uint64_t>(component.v_samp_factor);
      const std::uint64_t columns = (component.width_in_blocks + h - 1) / h * h;
      const std::uint64_t rows = (component.height_in_blocks + v - 1) / v * v;
      session.coefficientBytes += columns * rows * DCTSIZE2 * sizeof(JCOEF);
    }
  }
  for (unsigned n = 0; n < 4; ++n) {
    info.scale_num = 1;
    info.scale_denom = 1u << n;
    jpeg_calc_output_dimensions(&info);
    session.sizes[n] = {static_cast<int>(info.output_width), static_cast<int>(info.output_height)};
  }
  return true;
}

// Decodes a session whose header has been read, at 1/denominator, into `target`.
bool Decode(JpegSession& session, unsigned denominator, TBitmap& target) {
  jpeg_decompress_struct& info = session.info;
  if (setjmp(session.error.jump)) {
    session.failed = true;
    return false;
  }
  info.scale_num = 1;
  info.scale_denom = denominator;
  info.do_block_smoothing = TRUE;
  info.dct_method = JDCT_ISLOW;
  if (session.grayscale) {
    info.out_color_space = JCS_GRAYSCALE;
    info.quantize_colors = TRUE;
    info.desired_number_of_colors = kGreyLevels;
    info.two_pass_quantize = FALSE;
  } else if (session.inks) {
    info.out_color_space = JCS_CMYK;
  } else {
    info.out_color_space = JCS_EXT_BGR;
  }
  jpeg_start_decompress(&info);
  if (!PrepareTarget(session, target)) return false;
  const std::size_t inkRowBytes = std::size_t{info.output_width} * 4;
  JSAMPROW rows[kRowsPerCall];
  while (info.output_scanline < info.output_height) {
    const JDIMENSION first = info.output_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(kRowsPerCall, info.output_height - first);
    for (JDIMENSION i = 0; i < count; ++i)
      rows[i] = session.inks ? session.inkRows.data() + i * inkRowBytes
                             : target.ScanLine(static_cast<int>(first + i)).data();
    const JDIMENSION read = jpeg_read_scanlines(&info, rows, count);
    if (session.inks) ConvertInks(session, rows, read, target, first);
    if (read == 0) break;
  }
  // The rest of the file (markers after the last scan) is of no interest.
  jpeg_abort_decompress(&info);
  return true;
}

[[noreturn]] void ThrowFailure(const JpegSession& session) {
  if (session.allocationError) std::rethrow_exception(session.allocationError);
  const int code = session.error.manager.msg_code;
  if (code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE)
    CheckDecoderMemory(kMaxDecoderBytes + 1, session.fullWidth, session.fullHeight);
  if (session.tooManyScans)
    throw EJPEG("Erreur JPEG : image progressive de plus de " + std::to_string(kMaxJpegScans) + " passes");
  char text[40];
  std::snprintf(text, sizeof text, "Erreur JPEG #%d", session.error.manager.msg_code);
  throw EJPEG(text);
}

}  // namespace

const TGraphicClass& TJPEGImage::Class() {
  static const TGraphicClass kind = TGraphicClass::Of<TJPEGImage>("TJPEGImage", TGraphic::Class());
  return kind;
}

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

int TJPEGImage::Width() const { return sizes_[static_cast<int>(scale_)].width; }
int TJPEGImage::Height() const { return sizes_[static_cast<int>(scale_)].height; }

void TJPEGImage::SetJpegScale(TJPEGScale scale) {
  if (scale == scale_) return;
  scale_ = scale;
  bitmap_.reset();
}

void TJPEGImage::ReadPictureStream(TPictureStream& stream) {
  auto [data, owner] = stream.ReadShared(stream.Remaining());
  std::unique_ptr<JpegSession> session;
  std::array<Size, 4> sizes{};
  if (!data.empty()) {
    session = std::make_unique<JpegSession>(data);
    if (!ReadHeader(*session)) ThrowFailure(*session);
    CheckPictureSize(session->fullWidth, session->fullHeight);
    CheckDecoderMemory(session->coefficientBytes, session->fullWidth, session->fullHeight);
    for (int n = 0; n < 4; ++n) sizes[n] = {session->sizes[n][0], session->sizes[n][1]};
  }
  grayscale_ = session && session->grayscale;
  progressive_ = session && session->progressive;
  dataOwner_ = std::move(owner);
  data_ = data;
  sizes_ = sizes;
  session_ = std::move(session);
  bitmap_.reset();
}

const TBitmap& TJPEGImage::Bitmap() { return DecodedBitmap(); }

TBitmap& TJPEGImage::DecodedBitmap() {
  if (bitmap_) return *bitmap_;
  auto bitmap = std::make_unique<TBitmap>();
  if (!data_.empty()) {
    std::unique_ptr<JpegSession> session = std::move(session_);
    if (!session) {
      session = std::make_unique<JpegSession>(data_);
      if (!ReadHeader(*session)) ThrowFailure(*session);
    }
    if (!Decode(*session, 1u << static_cast<unsigned>(scale_), *bitmap)) ThrowFailure(*session);
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
