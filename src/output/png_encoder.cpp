// The result pictures' PNG encoder: row filters, a run-length deflate with a Huffman table per
// strip, and the PNG chunks around it.

#include "output/png_encoder.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include <zlib.h>

#include "image/png_structure.hpp"
#include "parallel/executor.hpp"

namespace superpixels {

namespace {

// Raw bytes (filter bytes included) of the image data per strip: large enough that a strip's
// Huffman table and its 5-byte flush cost nothing measurable, small enough that a photo of a few
// hundred thousand pixels gives every thread a strip.
constexpr std::size_t stripBytes = 256 * 1024;

// The row filters of PNG that the encoder uses. On the result pictures of BSDS500 photos (count
// 200), against cv::imencode (libpng's choice among all five filters, zlib level 1 with Z_RLE),
// encoding time and bytes: Sub or Up chosen per row, both made in one pass, 0.14-0.19 x the time
// for 0.976 x the bytes; Sub on every row saved little time for 1.004 x the bytes; Paeth on every
// row took 0.41-0.55 x for 0.945 x, and Sub, Up or Paeth chosen per row 0.53-0.73 x for 0.940 x:
// Paeth's prediction costs more time than its bytes save.
enum Filter : std::uint8_t { sub = 1, up = 2 };

// `row` (`n` bytes, RGB) filtered by Sub into `bySub` and by Up (against `above`, the row above:
// zeros for the first row) into `byUp`. Returns the filter whose bytes are the smaller taken as
// signed, libpng's estimate of how well a row compresses (Sub on a tie).
Filter filterRow(const std::uint8_t* row, const std::uint8_t* above, std::size_t n,
                 std::uint8_t* bySub, std::uint8_t* byUp) {
  std::uint32_t subSum = 0;
  std::uint32_t upSum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const auto s = static_cast<std::uint8_t>(row[i] - (i >= 3 ? row[i - 3] : 0));
    const auto u = static_cast<std::uint8_t>(row[i] - above[i]);
    bySub[i] = s;
    byUp[i] = u;
    subSum += std::abs(static_cast<std::int8_t>(s));
    upSum += std::abs(static_cast<std::int8_t>(u));
  }
  return upSum < subSum ? up : sub;
}

// ---- Deflate (RFC 1951) ----

constexpr int literalCodes = 286;  // literals, end of block, lengths
constexpr int endOfBlock = 256;
constexpr int maxCodeBits = 15;
constexpr int maxLengthCodeBits = 7;  // of the code-length code
constexpr int maxRun = 258;

// The length code of a match length (3 .. 258): symbol, extra bits and their value.
struct LengthCode {
  std::uint16_t symbol = 0;
  std::uint8_t extraBits = 0;
  std::uint16_t extra = 0;
};

constexpr std::array<LengthCode, maxRun + 1> makeLengthCodes() {
  constexpr int base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  constexpr int extraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  std::array<LengthCode, maxRun + 1> codes{};
  for (int length = 3; length <= maxRun; ++length) {
    int k = 28;
    while (base[k] > length) --k;
    codes[length] = {static_cast<std::uint16_t>(257 + k), static_cast<std::uint8_t>(extraBits[k]),
                     static_cast<std::uint16_t>(length - base[k])};
  }
  return codes;
}

constexpr std::array<LengthCode, maxRun + 1> lengthCodes = makeLengthCodes();

// A canonical Huffman code: per symbol its length in bits (0: unused) and its code, bit-reversed
// for writing least significant bit first as deflate packs bits.
struct HuffmanCode {
  std::vector<std::uint8_t> lengths;
  std::vector<std::uint16_t> codes;
};

}  // namespace

std::vector<std::uint8_t> huffmanLengths(const std::vector<std::uint32_t>& frequencies,
                                         int maxBits) {
  std::vector<std::uint8_t> lengths(frequencies.size(), 0);
  std::vector<std::pair<std::uint32_t, int>> used;  // frequency, symbol; rarest first
  for (std::size_t s = 0; s < frequencies.size(); ++s) {
    if (frequencies[s] > 0) used.emplace_back(frequencies[s], static_cast<int>(s));
  }
  if (used.empty()) return lengths;
  if (used.size() == 1) {
    lengths[used[0].second] = 1;
    lengths[used[0].second == 0 ? 1 : 0] = 1;
    return lengths;
  }
  std::sort(used.begin(), used.end());
  // Two queues: the leaves in order, and the inner nodes, made in order of weight.
  const std::size_t m = used.size();
  std::vector<std::uint64_t> weight(2 * m - 1);
  std::vector<std::size_t> parent(2 * m - 1, 0);
  for (std::size_t i = 0; i < m; ++i) weight[i] = used[i].first;
  std::size_t leaf = 0;
  std::size_t inner = m;
  for (std::size_t next = m; next < 2 * m - 1; ++next) {
    std::size_t pair[2];
    for (std::size_t& taken : pair) {
      taken = leaf < m && (inner >= next || weight[leaf] <= weight[inner]) ? leaf++ : inner++;
    }
    weight[next] = weight[pair[0]] + weight[pair[1]];
    parent[pair[0]] = parent[pair[1]] = next;
  }
  std::vector<std::size_t> depth(2 * m - 1, 0);
  std::vector<std::uint32_t> counts(maxBits + 1, 0);  // leaves per depth, the deeper at maxBits
  for (std::size_t i = 2 * m - 1; i-- > 0;) {
    if (i != 2 * m - 2) depth[i] = depth[parent[i]] + 1;
    if (i < m) ++counts[std::min<std::size_t>(depth[i], maxBits)];
  }
  // Leaves deeper than maxBits moved up to it overfill the code (Kraft's sum passes 1); each round
  // takes a leaf off the deepest level and splits the deepest shorter one into two, one level
  // down, until the sum is 1 again.
  std::uint64_t kraft = 0;  // in units of 2^-maxBits
  for (int bits = 1; bits <= maxBits; ++bits) {
    kraft += std::uint64_t{counts[bits]} << (maxBits - bits);
  }
  while (kraft > (std::uint64_t{1} << maxBits)) {
    --counts[maxBits];
    for (int bits = maxBits - 1; bits > 0; --bits) {
      if (counts[bits] > 0) {
        --counts[bits];
        counts[bits + 1] += 2;
        break;
      }
    }
    --kraft;
  }
  // The longest codes to the rarest symbols.
  std::size_t i = 0;
  for (int bits = maxBits; bits > 0; --bits) {
    for (std::uint32_t k = 0; k < counts[bits]; ++k) {
      lengths[used[i++].second] = static_cast<std::uint8_t>(bits);
    }
  }
  return lengths;
}

namespace {

HuffmanCode canonicalCode(std::vector<std::uint8_t> lengths) {
  HuffmanCode code;
  code.codes.assign(lengths.size(), 0);
  std::uint32_t perLength[maxCodeBits + 2] = {};
  for (const std::uint8_t l : lengths) ++perLength[l];
  perLength[0] = 0;
  std::uint32_t next[maxCodeBits + 2] = {};
  std::uint32_t value = 0;
  for (int bits = 1; bits <= maxCodeBits; ++bits) {
    value = (value + perLength[bits - 1]) << 1;
    next[bits] = value;
  }
  for (std::size_t s = 0; s < lengths.size(); ++s) {
    const int bits = lengths[s];
    if (bits == 0) continue;
    std::uint32_t c = next[bits]++;
    std::uint32_t reversed = 0;
    for (int b = 0; b < bits; ++b, c >>= 1) reversed = (reversed << 1) | (c & 1);
    code.codes[s] = static_cast<std::uint16_t>(reversed);
  }
  code.lengths = std::move(lengths);
  return code;
}

// Writes bits least significant first into a buffer sized beforehand with 8 bytes to spare: each
// put stores a whole word and moves on by the bytes it completed, without a branch.
class BitWriter {
 public:
  explicit BitWriter(std::uint8_t* out) : out_(out) {}
  // `count` (at most 32) bits of `bits`.
  void put(std::uint32_t bits, std::uint32_t count) {
    pending_ |= std::uint64_t{bits} << used_;
    used_ += count;
    std::memcpy(out_, &pending_, 8);
    const std::uint32_t bytes = used_ / 8;
    out_ += bytes;
    pending_ >>= 8 * bytes;
    used_ -= 8 * bytes;
  }
  // Pads to a whole byte with zero bits; returns the end.
  std::uint8_t* finish() {
    if (used_ > 0) put(0, 8 - used_);
    return out_;
  }

 private:
  std::uint8_t* out_;
  std::uint64_t pending_ = 0;
  std::uint32_t used_ = 0;
};

// One strip's filtered rows as deflate blocks that end on a byte boundary: the last of the image
// with the final-block bit, the others followed by an empty stored block (a full flush), so that
// the strips' outputs are joined as they are.
std::string deflateStrip(const std::uint8_t* data, std::size_t n, bool last) {
  // Literals and runs of the previous byte (distance 1), 3 to 258 long: token 256 + length - 3.
  // Runs are found 8 bytes at a time: the bytes of a word equal to the byte before `i` are the
  // zero bytes of their difference (`data` has 8 readable bytes past `n` for the last word).
  // Not zeroed first: every token is written before it is read (zeroing cost 5 % of the time).
  const std::unique_ptr<std::uint16_t[]> tokens(new std::uint16_t[n]);
  std::uint16_t* token = tokens.get();
  std::vector<std::uint32_t> tokenCounts(512, 0);
  const auto sameBytes = [&](std::size_t at, std::uint8_t b) {
    std::uint64_t word;
    std::memcpy(&word, data + at, 8);
    const std::uint64_t differ = word ^ (0x0101010101010101ull * b);
    return differ == 0 ? std::size_t{8} : static_cast<std::size_t>(__builtin_ctzll(differ) / 8);
  };
  for (std::size_t i = 0; i < n;) {
    std::size_t length = 0;
    if (i > 0) {
      const std::uint8_t b = data[i - 1];
      length = sameBytes(i, b);
      if (length == 8) {
        for (std::size_t more = 8; length < maxRun && i + length < n && more == 8;) {
          more = sameBytes(i + length, b);
          length += more;
        }
      }
      length = std::min({length, n - i, std::size_t{maxRun}});
    }
    if (length >= 3) {
      *token = static_cast<std::uint16_t>(256 + length - 3);
      i += length;
    } else {
      *token = data[i];
      ++i;
    }
    ++tokenCounts[*token++];
  }
  const std::uint16_t* const tokensEnd = token;
  std::vector<std::uint32_t> frequencies(literalCodes, 0);
  frequencies[endOfBlock] = 1;
  std::size_t runs = 0;
  for (int t = 0; t < 256; ++t) frequencies[t] = tokenCounts[t];
  for (int length = 3; length <= maxRun; ++length) {
    frequencies[lengthCodes[length].symbol] += tokenCounts[256 + length - 3];
    runs += tokenCounts[256 + length - 3];
  }
  const HuffmanCode literals = canonicalCode(huffmanLengths(frequencies, maxCodeBits));

  // The code lengths of the literal/length code and of two distance codes (1 bit each, of which
  // only distance 1 is used), run-length coded as symbols 0 .. 18 with their extra bits.
  int literalCount = literalCodes;
  while (literals.lengths[literalCount - 1] == 0) --literalCount;
  std::vector<std::uint8_t> sequence(literals.lengths.begin(),
                                     literals.lengths.begin() + literalCount);
  sequence.push_back(1);
  sequence.push_back(1);
  struct LengthSymbol {
    std::uint8_t symbol, extraBits, extra;
  };
  std::vector<LengthSymbol> lengthSymbols;
  std::vector<std::uint32_t> lengthFrequencies(19, 0);
  for (std::size_t i = 0; i < sequence.size();) {
    const std::uint8_t value = sequence[i];
    std::size_t j = i + 1;
    while (j < sequence.size() && sequence[j] == value) ++j;
    std::size_t count = j - i;
    i = j;
    if (value == 0) {
      for (; count >= 11; count -= std::min<std::size_t>(count, 138)) {
        lengthSymbols.push_back(
            {18, 7, static_cast<std::uint8_t>(std::min<std::size_t>(count, 138) - 11)});
      }
      if (count >= 3) {
        lengthSymbols.push_back({17, 3, static_cast<std::uint8_t>(count - 3)});
        count = 0;
      }
      for (; count > 0; --count) lengthSymbols.push_back({0, 0, 0});
    } else {
      lengthSymbols.push_back({value, 0, 0});
      for (--count; count >= 3; count -= std::min<std::size_t>(count, 6)) {
        lengthSymbols.push_back(
            {16, 2, static_cast<std::uint8_t>(std::min<std::size_t>(count, 6) - 3)});
      }
      for (; count > 0; --count) lengthSymbols.push_back({value, 0, 0});
    }
  }
  for (const LengthSymbol& s : lengthSymbols) ++lengthFrequencies[s.symbol];
  const HuffmanCode lengthCode =
      canonicalCode(huffmanLengths(lengthFrequencies, maxLengthCodeBits));
  constexpr std::uint8_t lengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                            11, 4,  12, 3, 13, 2, 14, 1, 15};
  int lengthCount = 19;
  while (lengthCount > 4 && lengthCode.lengths[lengthOrder[lengthCount - 1]] == 0) --lengthCount;

  // The exact size of the Huffman block, against the bytes stored as they are.
  std::uint64_t bits = 3 + 5 + 5 + 4 + 3 * lengthCount;
  for (const LengthSymbol& s : lengthSymbols) bits += lengthCode.lengths[s.symbol] + s.extraBits;
  for (int s = 0; s < literalCodes; ++s)
    bits += std::uint64_t{frequencies[s]} * literals.lengths[s];
  for (int s = 265; s < 285; ++s) bits += std::uint64_t{frequencies[s]} * ((s - 261) / 4);
  bits += runs;  // the distance code of every run
  const std::size_t storedBlocks = std::max<std::size_t>(1, (n + 65534) / 65535);
  const std::size_t storedSize = n + 5 * storedBlocks;
  const std::size_t flushSize = last ? 0 : 5;

  std::string out;
  if ((bits + 7) / 8 + flushSize >= storedSize) {
    // Stored blocks: noise that does not compress. Each ends on a byte boundary by itself.
    out.resize(storedSize);
    auto* o = reinterpret_cast<std::uint8_t*>(out.data());
    for (std::size_t block = 0, at = 0; block < storedBlocks; ++block) {
      const std::size_t size = std::min<std::size_t>(65535, n - at);
      *o++ = last && block + 1 == storedBlocks ? 1 : 0;
      for (const std::size_t v : {size, size ^ 0xFFFF}) {
        *o++ = static_cast<std::uint8_t>(v);
        *o++ = static_cast<std::uint8_t>(v >> 8);
      }
      std::copy(data + at, data + at + size, o);
      o += size;
      at += size;
    }
    return out;
  }
  out.resize((bits + 7) / 8 + flushSize + 16);
  BitWriter writer(reinterpret_cast<std::uint8_t*>(out.data()));
  writer.put(last ? 1 : 0, 1);
  writer.put(2, 2);  // dynamic Huffman codes
  writer.put(literalCount - 257, 5);
  writer.put(2 - 1, 5);
  writer.put(lengthCount - 4, 4);
  for (int k = 0; k < lengthCount; ++k) writer.put(lengthCode.lengths[lengthOrder[k]], 3);
  for (const LengthSymbol& s : lengthSymbols) {
    writer.put(lengthCode.codes[s.symbol], lengthCode.lengths[s.symbol]);
    if (s.extraBits > 0) writer.put(s.extra, s.extraBits);
  }
  // Every token's bits, one table lookup each: a run is its length code, its extra bits and
  // distance code 0 (distance 1), the first of two 1-bit codes: a single 0 bit.
  struct Bits {
    std::uint32_t bits, count;
  };
  std::vector<Bits> tokenBits(512);
  for (int t = 0; t < 256; ++t) tokenBits[t] = {literals.codes[t], literals.lengths[t]};
  for (int length = 3; length <= maxRun; ++length) {
    const LengthCode& l = lengthCodes[length];
    const std::uint32_t codeBits = literals.lengths[l.symbol];
    tokenBits[256 + length - 3] = {literals.codes[l.symbol] | (std::uint32_t{l.extra} << codeBits),
                                   codeBits + l.extraBits + 1};
  }
  for (const std::uint16_t* t = tokens.get(); t != tokensEnd; ++t) {
    writer.put(tokenBits[*t].bits, tokenBits[*t].count);
  }
  writer.put(literals.codes[endOfBlock], literals.lengths[endOfBlock]);
  if (!last) writer.put(0, 3);  // an empty stored block: the flush
  std::uint8_t* end = writer.finish();
  if (!last) {
    for (const std::uint8_t b : {0x00, 0x00, 0xFF, 0xFF}) *end++ = b;
  }
  out.resize(end - reinterpret_cast<std::uint8_t*>(out.data()));
  return out;
}

// A compressed strip and the Adler-32 of its filtered bytes.
struct Strip {
  std::string bytes;
  uLong adler = 1;
  std::size_t rawBytes = 0;
};

Strip encodeStrip(const cv::Mat& bgr, int firstRow, int endRow, bool last) {
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(bgr.cols);
  std::vector<std::uint8_t> rgb(2 * rowBytes, 0);  // the row above, then the row
  const auto toRgb = [&](int y, std::uint8_t* out) {
    const std::uint8_t* in = bgr.ptr<std::uint8_t>(y);
    for (std::size_t i = 0; i < rowBytes; i += 3) {
      out[i] = in[i + 2];
      out[i + 1] = in[i + 1];
      out[i + 2] = in[i];
    }
  };
  std::uint8_t* above = rgb.data();
  std::uint8_t* row = rgb.data() + rowBytes;
  if (firstRow > 0) toRgb(firstRow - 1, above);
  // 8 bytes to spare for deflateStrip's word reads.
  const std::size_t rawBytes = static_cast<std::size_t>(endRow - firstRow) * (1 + rowBytes);
  const std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[rawBytes + 8]);
  std::fill(data.get() + rawBytes, data.get() + rawBytes + 8, 0);
  std::vector<std::uint8_t> byUp(rowBytes);
  std::uint8_t* at = data.get();
  for (int y = firstRow; y < endRow; ++y) {
    toRgb(y, row);
    *at = filterRow(row, above, rowBytes, at + 1, byUp.data());
    if (*at == up) std::copy(byUp.begin(), byUp.end(), at + 1);
    at += 1 + rowBytes;
    std::swap(above, row);
  }
  Strip strip;
  strip.rawBytes = rawBytes;
  strip.adler = adler32_z(1, data.get(), rawBytes);
  strip.bytes = deflateStrip(data.get(), rawBytes, last);
  return strip;
}

}  // namespace

std::string pngImageData(const cv::Mat& bgr, Executor* executor, int threads) {
  if (bgr.type() != CV_8UC3 || bgr.empty()) {
    throw std::invalid_argument(
        "a PNG picture must be an 8-bit, 3-channel image of a pixel or more");
  }
  const std::size_t rowBytes = 1 + 3 * static_cast<std::size_t>(bgr.cols);
  const int rowsPerStrip =
      static_cast<int>(std::clamp<std::size_t>(stripBytes / rowBytes, 1, bgr.rows));
  const int stripCount = (bgr.rows + rowsPerStrip - 1) / rowsPerStrip;
  std::vector<Strip> strips(stripCount);
  const auto task = [&](std::int64_t k) {
    const int first = static_cast<int>(k) * rowsPerStrip;
    strips[k] =
        encodeStrip(bgr, first, std::min(bgr.rows, first + rowsPerStrip), k + 1 == stripCount);
  };
  if (executor != nullptr && threads > 1 && stripCount > 1) {
    executor->run(stripCount, threads, task);
  } else {
    for (int k = 0; k < stripCount; ++k) task(k);
  }
  std::size_t size = 2 + 4;
  for (const Strip& strip : strips) size += strip.bytes.size();
  std::string stream;
  stream.reserve(size);
  stream += '\x78';  // deflate, 32 KiB window
  stream += '\x01';  // the fastest level, and the check bits
  uLong adler = 1;
  for (Strip& strip : strips) {
    stream += strip.bytes;
    strip.bytes = {};
    adler = adler32_combine(adler, strip.adler, static_cast<z_off_t>(strip.rawBytes));
  }
  for (const int shift : {24, 16, 8, 0}) stream += static_cast<char>(adler >> shift);
  return stream;
}

std::string pngFile(int width, int height, std::string_view imageData, std::string_view keyword,
                    std::string_view text) {
  static constexpr char signature[] = "\x89PNG\r\n\x1a\n";
  std::string header;
  for (const int value : {width, height}) {
    for (const int shift : {24, 16, 8, 0}) header += static_cast<char>(value >> shift);
  }
  header.append({8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, not interlaced
  // IDAT chunks of at most 1 MiB: no chunk may pass 2^31 - 1 bytes, and a reader streaming the
  // file checks each CRC as its chunk arrives.
  constexpr std::size_t chunkBytes = 1 << 20;
  std::string png;
  png.reserve(8 + 25 + 13 + keyword.size() + text.size() + imageData.size() +
              12 * (imageData.size() / chunkBytes + 1) + 12);
  png.append(signature, 8);
  appendPngChunk(png, "IHDR", header);
  if (!keyword.empty()) {
    std::string body;
    body.reserve(keyword.size() + 1 + text.size());
    body.append(keyword).append(1, '\0').append(text);
    appendPngChunk(png, "tEXt", body);
  }
  for (std::size_t at = 0; at < imageData.size(); at += chunkBytes) {
    appendPngChunk(png, "IDAT", imageData.substr(at, chunkBytes));
  }
  appendPngChunk(png, "IEND", {});
  return png;
}

}  // namespace superpixels
