#pragma once
// The LZH codec core: streaming encoder and decoder for -lh5-, -lh6- and -lh7-
// (and -lh0-, stored), decoders for the older methods, plus the format's
// CRC-16. No file or archive knowledge here: the archive writer feeds bytes in
// and takes bytes out.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

#include "unlha32/codec/large_buffer.h"

namespace lzh {

// Lh0 to Lh7 can be encoded and decoded; the rest are older methods that are
// only decoded: -lh1- (4 KiB dictionary, adaptive Huffman codes), -lh2- (8 KiB,
// adaptive codes), -lh3- (8 KiB, static Huffman codes per block), and the LZSS methods -lzs- (2 KiB) and
// -lz5- (4 KiB) of LArc.
enum class Method { Lh0, Lh5, Lh6, Lh7, Lh1, Lh2, Lh3, Lzs, Lz5 };

// Receives encoded (or decoded) bytes; throws to abort the work.
using ByteSink = std::function<void(std::span<const std::uint8_t> bytes)>;
// Fills `buffer` with up to buffer.size() bytes; returns 0 at the end.
using ByteSource = std::function<std::size_t(std::span<std::uint8_t> buffer)>;

// Corrupt or truncated compressed data.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// CRC-16 of the format (reflected polynomial 0xA001, initial value 0), continued from `crc`.
std::uint16_t crc16(std::uint16_t crc, std::span<const std::uint8_t> data);

// Cheap guess, from a sample of the data (its first 64 KiB are enough), that
// LZ77 + Huffman coding will not make it smaller: the bytes are spread almost
// evenly over all 256 values and almost no four-byte sequence repeats. A
// writer can then store the data without trying. A guess only: data that
// passes may still not shrink, so a writer must still compare sizes.
bool looksIncompressible(std::span<const std::uint8_t> sample);

// A stretch of a member's packed data that ends where a block ends: `bits`
// bits long, the unused low bits of its last byte zero.
struct PackedRun {
  LargeBytes bytes;
  std::uint64_t bits = 0;
};

class Encoder;

// Working memory of an encoder: the match finder's tables, the input buffer,
// the block's items and the output bits. An encoder made with a workspace
// borrows these and hands them back, still allocated, when it is destroyed; a
// thread that compresses many small members in a row then allocates them (and
// the system maps and clears their pages) once instead of once per member.
// One encoder at a time per workspace; the workspace must outlive it.
class EncoderWorkspace {
 public:
  EncoderWorkspace();
  ~EncoderWorkspace();
  EncoderWorkspace(const EncoderWorkspace&) = delete;
  EncoderWorkspace& operator=(const EncoderWorkspace&) = delete;

 private:
  friend class Encoder;
  struct Storage;
  Storage* storage_;
};

// Streaming compressor. Memory stays bounded whatever the input size.
class Encoder {
 public:
  // Without a workspace the encoder allocates its own memory.
  Encoder(Method method, ByteSink sink, EncoderWorkspace* workspace = nullptr);
  ~Encoder();
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  void write(std::span<const std::uint8_t> data);
  // Flushes the last block and the padding bits. No write after this.
  void finish();
  // Bytes handed to the sink so far (after finish: the exact packed size).
  std::uint64_t packedSize() const;

 private:
  friend PackedRun encodeRun(Method, std::span<const std::uint8_t>, std::span<const std::uint8_t>,
                             EncoderWorkspace*, LargeBytes);
  struct Impl;
  Impl* impl_;
};

// Compresses `data` as whole blocks that go on from the packed data of the
// bytes before it in the member: matches may reach back into `history` (those
// bytes; only the last dictionary's worth is used), which is not encoded
// again. The runs of consecutive stretches of a member, joined bit by bit
// (RunJoiner), are the member's packed data, so they can be made on several
// threads at once. Each run ends a block, which costs a few bytes of tables.
// `storage`: memory for the run's bytes (what it holds is dropped), such as
// an earlier run's, so that a long member does not map fresh pages per run.
PackedRun encodeRun(Method method, std::span<const std::uint8_t> history, std::span<const std::uint8_t> data,
                    EncoderWorkspace* workspace = nullptr, LargeBytes storage = {});

// Joins runs, in member order, into one packed stream for `sink`.
class RunJoiner {
 public:
  explicit RunJoiner(ByteSink sink) : sink_(std::move(sink)) {}
  void append(const PackedRun& run);
  // Passes on the last bits, padded with zero bits to a whole byte.
  void finish();
  // Bytes the joined stream has once finished.
  std::uint64_t packedSize() const { return passed_ + out_.size() + (count_ != 0); }

 private:
  void pass();

  // Bytes gathered before they are passed on.
  static constexpr std::size_t kPiece = std::size_t{1} << 16;

  ByteSink sink_;
  std::vector<std::uint8_t> out_;  // whole bytes not yet passed on
  std::uint64_t passed_ = 0;
  std::uint8_t partial_ = 0;  // the last `count_` bits, from the top
  unsigned count_ = 0;
};

namespace detail {
struct DecoderCore;
}  // namespace detail

// Memory a decoder borrows and gives back when it ends (its input and output
// buffers, its code tables): a thread that decodes many small members in a
// row then allocates them, and the system maps their pages, once instead of
// once per member. One decoder at a time per workspace; the workspace must
// outlive it.
class DecoderWorkspace {
 public:
  DecoderWorkspace();
  ~DecoderWorkspace();
  DecoderWorkspace(const DecoderWorkspace&) = delete;
  DecoderWorkspace& operator=(const DecoderWorkspace&) = delete;

 private:
  friend class Decoder;
  friend struct detail::DecoderCore;
  struct Storage;
  Storage* storage_;
};

// Streaming decompressor of one member of `originalSize` bytes whose packed
// data (`packedSize` bytes) comes from `source`.
class Decoder {
 public:
  // Without a workspace the decoder allocates its own memory.
  Decoder(Method method, ByteSource source, std::uint64_t packedSize, std::uint64_t originalSize,
          DecoderWorkspace* workspace = nullptr);
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Decodes up to out.size() bytes; returns 0 once originalSize bytes were
  // produced. Throws FormatError on corrupt or truncated data.
  std::size_t read(std::span<std::uint8_t> out);
  // Decodes more and returns the new bytes where the decoder holds them, valid
  // until the next call; empty once originalSize bytes were produced. For a
  // caller that only looks at the bytes (a CRC check), this saves read()'s copy.
  // Throws FormatError as read() does.
  std::span<const std::uint8_t> readView();

 private:
  detail::DecoderCore* impl_;
};

}  // namespace lzh
