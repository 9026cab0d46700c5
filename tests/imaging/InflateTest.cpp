#include "imaging/Inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// What zlib makes of a stream decoded as the TIFF reader wants it: in one call into the whole
// output, the checksum not verified, data that ends early or runs past the output no error.
// Nothing for invalid data, else the output with zeros after what was written.
std::optional<Bytes> ZlibInflate(const Bytes& in, std::size_t outSize) {
  Bytes out(outSize + 1);
  z_stream z{};
  inflateInit(&z);
  inflateValidate(&z, 0);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(outSize);
  const int result = inflate(&z, Z_FINISH);
  const std::size_t written = outSize - z.avail_out;
  inflateEnd(&z);
  if (result == Z_DATA_ERROR || result == Z_NEED_DICT || result == Z_MEM_ERROR || result == Z_STREAM_ERROR)
    return std::nullopt;
  out.resize(written);
  out.resize(outSize);
  return out;
}

// Ours, the same way, with guard bytes after the output that must stay as they were.
std::optional<Bytes> OurInflate(const Bytes& in, std::size_t outSize) {
  Bytes out(outSize + 64, 0xEE);
  const std::optional<std::size_t> written = TInflater().Inflate(in, {out.data(), outSize});
  for (std::size_t i = outSize; i < out.size(); ++i)
    if (out[i] != 0xEE) ADD_FAILURE() << "written past the output at " << i;
  if (!written) return std::nullopt;
  out.resize(*written);
  out.resize(outSize);
  return out;
}

// Canonical Huffman codes of the given lengths, for writing streams.
struct Code {
  std::vector<unsigned> lengths, codes;
};
Code Canonical(const std::vector<unsigned>& lengths) {
  Code c{lengths, std::vector<unsigned>(lengths.size())};
  unsigned code = 0;
  for (unsigned length = 1; length <= 15; ++length, code <<= 1)
    for (std::size_t s = 0; s < lengths.size(); ++s)
      if (lengths[s] == length) c.codes[s] = code++;
  return c;
}

std::vector<unsigned> Lengths(std::initializer_list<std::pair<unsigned, unsigned>> runs) {
  std::vector<unsigned> lengths;
  for (const auto& [count, length] : runs) lengths.insert(lengths.end(), count, length);
  return lengths;
}

const Code kFixedLitLen = Canonical(Lengths({{144, 8}, {112, 9}, {24, 7}, {8, 8}}));
const Code kFixedDistance = Canonical(Lengths({{32, 5}}));
// The code length code of every dynamic block written here: lengths 0-12 in 4 bits, the rest in 5.
const Code kCodeLengths = Canonical(Lengths({{13, 4}, {6, 5}}));

// A zlib stream written bit by bit.
class Writer {
 public:
  Writer& Put(unsigned value, unsigned bits) {
    for (unsigned i = 0; i < bits; ++i, ++used_) {
      if (used_ % 8 == 0) bytes_.push_back(0);
      bytes_.back() |= static_cast<std::uint8_t>((value >> i & 1) << used_ % 8);
    }
    return *this;
  }
  Writer& Symbol(const Code& code, unsigned symbol) {
    for (unsigned i = code.lengths[symbol]; i-- > 0;) Put(code.codes[symbol] >> i & 1, 1);
    return *this;
  }
  Writer& Stored(bool last, const Bytes& data) {
    Put(last, 1).Put(0, 2);
    used_ = 0;
    Put(static_cast<unsigned>(data.size()), 16).Put(~static_cast<unsigned>(data.size()), 16);
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
  }
  Writer& Fixed(bool last) { return Put(last, 1).Put(1, 2); }
  // A dynamic block's header with the code lengths written one symbol each.
  Writer& Dynamic(bool last, const std::vector<unsigned>& litLen, const std::vector<unsigned>& distance) {
    DynamicCounts(last, static_cast<unsigned>(litLen.size()), static_cast<unsigned>(distance.size()));
    for (const unsigned length : litLen) Symbol(kCodeLengths, length);
    for (const unsigned length : distance) Symbol(kCodeLengths, length);
    return *this;
  }
  Writer& DynamicCounts(bool last, unsigned litLen, unsigned distance) {
    Put(last, 1).Put(2, 2).Put(litLen - 257, 5).Put(distance - 1, 5).Put(19 - 4, 4);
    for (const unsigned symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15})
      Put(kCodeLengths.lengths[symbol], 3);
    return *this;
  }
  Bytes Done() const { return bytes_; }

 private:
  Bytes bytes_{0x78, 0x01};
  unsigned used_ = 0;
};

// Literal/length lengths of 1 to 15 bits: the bytes 0-13 in 1-14 bits, 'Z' and the end code in 15.
const std::vector<unsigned> kLongestCodes = [] {
  std::vector<unsigned> lengths(257, 0);
  for (unsigned s = 0; s < 14; ++s) lengths[s] = s + 1;
  lengths['Z'] = lengths[256] = 15;
  return lengths;
}();
const Code kLongest = Canonical(kLongestCodes);

struct StreamCase {
  const char* name;
  Bytes stream;
  std::size_t outSize;
  bool valid;
};
void PrintTo(const StreamCase& c, std::ostream* out) { *out << c.name; }

class InflateStreams : public ::testing::TestWithParam<StreamCase> {};

// For each distance from 1 to 16, sixteen different literals and a match of length 25 at that
// distance; then the end code.
Bytes ShortDistances() {
  Writer w;
  w.Fixed(true);
  for (unsigned d = 1; d <= 16; ++d) {
    for (unsigned b = 0; b < 16; ++b) w.Symbol(kFixedLitLen, 'a' + b);
    w.Symbol(kFixedLitLen, 270).Put(2, 2);
    // Symbols 0-3 are distances 1-4; 4 and 5 start at 5 and 7 with one extra bit, 6 and 7 at 9
    // and 13 with two.
    if (d <= 4) w.Symbol(kFixedDistance, d - 1);
    else if (d <= 8) w.Symbol(kFixedDistance, d <= 6 ? 4 : 5).Put((d - 5) % 2, 1);
    else w.Symbol(kFixedDistance, d <= 12 ? 6 : 7).Put((d - 9) % 4, 2);
  }
  return w.Symbol(kFixedLitLen, 256).Done();
}

TEST_P(InflateStreams, DecodeAsZlibDoes) {
  const StreamCase& c = GetParam();
  const std::optional<Bytes> ours = OurInflate(c.stream, c.outSize);
  EXPECT_EQ(ours.has_value(), c.valid);
  EXPECT_EQ(ours, ZlibInflate(c.stream, c.outSize));
}

INSTANTIATE_TEST_SUITE_P(
    Handmade, InflateStreams,
    ::testing::Values(
        StreamCase{"StoredBlocks", Writer().Stored(false, {1, 2, 3}).Stored(false, {}).Stored(true, {4, 5}).Done(), 5,
                   true},
        StreamCase{"FixedLiteralsAndMatch",
                   Writer().Fixed(true).Symbol(kFixedLitLen, 'a').Symbol(kFixedLitLen, 'b')
                       .Symbol(kFixedLitLen, 258).Symbol(kFixedDistance, 1).Symbol(kFixedLitLen, 256).Done(),
                   6, true},
        StreamCase{"CodesOfFifteenBits",
                   Writer().Dynamic(true, kLongestCodes, {0}).Symbol(kLongest, 'Z').Symbol(kLongest, 13)
                       .Symbol(kLongest, 0).Symbol(kLongest, 'Z').Symbol(kLongest, 256).Done(),
                   4, true},
        // Length 258 from 285, and from 284 with all its extra bits; distance 1 repeats one byte.
        StreamCase{"RunsOfDistanceOne",
                   Writer().Fixed(true).Symbol(kFixedLitLen, 7).Symbol(kFixedLitLen, 285).Symbol(kFixedDistance, 0)
                       .Symbol(kFixedLitLen, 284).Put(31, 5).Symbol(kFixedDistance, 0).Symbol(kFixedLitLen, 256).Done(),
                   1 + 2 * 258, true},
        StreamCase{"DistanceOfTheWholeWindow",
                   [] {
                     Bytes window(32768);
                     for (std::size_t i = 0; i < window.size(); ++i) window[i] = static_cast<std::uint8_t>(i * 31 >> 3);
                     return Writer().Stored(false, window).Fixed(true).Symbol(kFixedLitLen, 285)
                         .Symbol(kFixedDistance, 29).Put(8191, 13).Symbol(kFixedLitLen, 256).Done();
                   }(),
                   32768 + 258, true},
        // Distances 1 to 16, each over a length of 25, which none but 1 and 5 divides, the first
        // with room enough after them for the fast loop, the last near the end.
        StreamCase{"ShortDistances", ShortDistances(), 16 * (16 + 25), true},
        StreamCase{"EmptyLastBlock", Writer().Stored(false, {9}).Fixed(true).Symbol(kFixedLitLen, 256).Done(), 1, true},
        StreamCase{"OnlyTheEndCodeInOneBit",
                   Writer().Dynamic(true, Lengths({{256, 0}, {1, 1}}), {0}).Put(0, 1).Done(), 4, true},
        StreamCase{"OneDistanceCodeOfOneBit",
                   [] {
                     // 'x', the end code and length 3; distance 1 alone.
                     const std::vector<unsigned> litLen = Lengths({{'x', 0}, {1, 1}, {135, 0}, {1, 2}, {1, 2}});
                     const Code l = Canonical(litLen), d = Canonical({1});
                     return Writer().Dynamic(true, litLen, {1}).Symbol(l, 'x').Symbol(l, 257).Symbol(d, 0)
                         .Symbol(l, 256).Done();
                   }(),
                   5, true},
        StreamCase{"StreamLongerThanTheOutput", Writer().Stored(true, {1, 2, 3, 4}).Done(), 2, true},
        StreamCase{"MatchPastTheOutputEnd",
                   Writer().Fixed(true).Symbol(kFixedLitLen, 1).Symbol(kFixedLitLen, 285).Symbol(kFixedDistance, 0).Done(),
                   100, true},
        // With the output full the match is not written, and its distance not looked at.
        StreamCase{"FarMatchWithoutRoom",
                   Writer().Fixed(true).Symbol(kFixedLitLen, 1).Symbol(kFixedLitLen, 257).Symbol(kFixedDistance, 9)
                       .Put(0, 3).Put(0, 8).Done(),
                   1, true},
        StreamCase{"CutInsideAStoredBlock", [] { Bytes s = Writer().Stored(true, {1, 2, 3, 4}).Done(); s.resize(s.size() - 2); return s; }(),
                   4, true},
        StreamCase{"CutBeforeAFarDistanceEnds",
                   [] { Bytes s = Writer().Fixed(true).Symbol(kFixedLitLen, 1).Symbol(kFixedLitLen, 285).Symbol(kFixedDistance, 29).Put(0, 13).Done();
                        s.resize(s.size() - 1); return s; }(),
                   300, true},
        StreamCase{"PresetDictionaryCutShort", {0x78, 0xBB, 0, 0}, 4, true},
        StreamCase{"HeaderCheckFails", {0x78, 0x02, 0x03, 0x00}, 4, false},
        StreamCase{"MethodSeven", {0x77, 0x09, 0x03, 0x00}, 4, false},
        StreamCase{"WindowOf64KiB", {0x88, 0x1C, 0x03, 0x00}, 4, false},
        StreamCase{"PresetDictionary", {0x78, 0xBB, 0, 0, 0, 1, 0x03, 0x00}, 4, false},
        StreamCase{"BlockType3", Writer().Put(1, 1).Put(3, 2).Put(0, 16).Done(), 4, false},
        StreamCase{"StoredLengthsDisagree", [] { Bytes s = Writer().Stored(true, {1, 2}).Done(); s[4] ^= 1; return s; }(), 4,
                   false},
        StreamCase{"TooManyCodes", Writer().Dynamic(true, Lengths({{3, 1}, {253, 0}, {1, 1}}), {1, 1}).Put(0, 8).Done(), 4,
                   false},
        StreamCase{"TooFewCodes", Writer().Dynamic(true, Lengths({{2, 2}, {254, 0}, {1, 2}}), {1, 1}).Put(0, 8).Done(), 4,
                   false},
        StreamCase{"IncompleteDistanceCode",
                   Writer().Dynamic(true, Lengths({{256, 0}, {1, 1}, {1, 1}}), {2, 2, 2}).Put(0, 8).Done(), 4, false},
        StreamCase{"NoEndCode", Writer().Dynamic(true, Lengths({{2, 1}, {255, 0}}), {1, 1}).Put(0, 8).Done(), 4, false},
        StreamCase{"RepeatWithNothingBefore",
                   Writer().DynamicCounts(true, 257, 1).Symbol(kCodeLengths, 16).Put(0, 2).Put(0, 8).Done(), 4, false},
        StreamCase{"RepeatPastTheLastLength",
                   Writer().DynamicCounts(true, 257, 1).Symbol(kCodeLengths, 18).Put(127, 7).Symbol(kCodeLengths, 18)
                       .Put(127, 7).Symbol(kCodeLengths, 18).Put(127, 7).Put(0, 8).Done(),
                   4, false},
        StreamCase{"FixedLengthSymbol286", Writer().Fixed(true).Symbol(kFixedLitLen, 286).Put(0, 8).Done(), 4, false},
        StreamCase{"FixedDistanceSymbol30",
                   Writer().Fixed(true).Symbol(kFixedLitLen, 1).Symbol(kFixedLitLen, 257).Symbol(kFixedDistance, 30)
                       .Put(0, 8).Done(),
                   4, false},
        StreamCase{"DistanceBeforeTheFirstByte",
                   Writer().Fixed(true).Symbol(kFixedLitLen, 1).Symbol(kFixedLitLen, 257).Symbol(kFixedDistance, 1)
                       .Put(0, 8).Done(),
                   8, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Real streams cut after every byte, into outputs smaller than, as large as and larger than
// what they hold: the same bytes as zlib each time.
TEST(Inflate, CutAndShortStreamsGiveWhatZlibGives) {
  Bytes rows(3000);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint8_t>(i % 7 == 0 ? i * 13 : i / 100);
  for (const int level : {0, 1, 9}) {
    uLongf size = compressBound(rows.size());
    Bytes packed(size);
    compress2(packed.data(), &size, rows.data(), rows.size(), level);
    packed.resize(size);
    for (std::size_t cut = 0; cut <= packed.size(); ++cut) {
      const Bytes in(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut));
      for (const std::size_t outSize : {std::size_t{0}, std::size_t{700}, rows.size(), rows.size() + 5}) {
        ASSERT_EQ(OurInflate(in, outSize), ZlibInflate(in, outSize)) << "level " << level << ", cut at " << cut
                                                                      << ", output " << outSize;
      }
    }
    EXPECT_EQ(OurInflate(packed, rows.size()), rows);
  }
}

}  // namespace
