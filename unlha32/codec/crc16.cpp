// CRC-16 of the LZH format (reflected polynomial 0xA001, initial value 0).
//
// Slice-by-8: eight 256-entry tables let the loop fold eight input bytes per
// step with independent lookups, instead of one byte per dependent lookup.
// Table k maps a byte to its CRC contribution when k more zero bytes follow.
//
// Folding with carry-less multiplication, where the processor has it: the
// CRC of a message depends only on the message polynomial M(x) modulo P(x).
// Four 128-bit accumulators take 64 bytes per step; each step replaces an
// accumulator A = L(x)*x^64 + H(x) (its two halves) by
// L*(x^(64+D) mod P) + H*(x^D mod P), which is congruent to A*x^D, and adds
// the next block, D being the distance folded (512 bits here). The products
// of a 64-bit half and a 16-bit constant fit in 128 bits, so nothing needs
// reducing until the end: the accumulators fold into one, and its 16 bytes,
// congruent to everything before, go through the tables followed by the tail.
// A starting CRC is added into the first two message bytes (the register is
// linear in them). Bits are reflected: the first byte's lowest bit is the
// highest power, so a little-endian load is already in that order, and the
// constants are stored reflected and one power lower (the carry-less product
// of two reflected operands comes out one bit short of the accumulator's order).
// About five times the table speed; the tables serve short inputs and other
// processors.

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "unlha32/codec/lzh_codec.h"

namespace lzh {
namespace {

using Tables = std::array<std::array<std::uint16_t, 256>, 8>;

constexpr Tables makeTables() {
  Tables t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
    t[0][i] = static_cast<std::uint16_t>(c);
  }
  for (unsigned i = 0; i < 256; ++i) {
    for (int k = 1; k < 8; ++k) {
      const std::uint16_t prev = t[k - 1][i];
      t[k][i] = static_cast<std::uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
    }
  }
  return t;
}

constexpr Tables kTables = makeTables();

std::uint16_t crcTables(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
  unsigned c = crc;
  while (n >= 8) {
    const unsigned a = c ^ (p[0] | (p[1] << 8));
    c = kTables[7][a & 0xFF] ^ kTables[6][a >> 8] ^ kTables[5][p[2]] ^ kTables[4][p[3]] ^
        kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]];
    p += 8;
    n -= 8;
  }
  while (n--) c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFF];
  return static_cast<std::uint16_t>(c);
}

#if defined(__x86_64__)

// x^n mod P(x), P = x^16 + x^15 + x^2 + 1, reflected into a 64-bit operand
// whose bit m stands for x^(63-m).
constexpr std::uint64_t reflectedPowerMod(unsigned n) {
  std::uint32_t r = 1;
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if (r & 0x10000) r ^= 0x18005;
  }
  std::uint64_t out = 0;
  for (unsigned e = 0; e < 16; ++e)
    if (r & (1u << e)) out |= std::uint64_t{1} << (63 - e);
  return out;
}

// Folding constants for distance D: (x^(64+D-1) mod P, x^(D-1) mod P).
constexpr std::uint64_t kFold512Low = reflectedPowerMod(575);
constexpr std::uint64_t kFold512High = reflectedPowerMod(511);
constexpr std::uint64_t kFold128Low = reflectedPowerMod(191);
constexpr std::uint64_t kFold128High = reflectedPowerMod(127);

// Inputs shorter than this go through the tables only.
constexpr std::size_t kFoldMinBytes = 128;

__attribute__((target("pclmul,sse2"))) inline __m128i fold(__m128i a, __m128i k) {
  // k holds the constant for the low half in its low 64 bits, for the high half in its high 64 bits.
  return _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11));
}

__attribute__((target("pclmul,sse2"))) std::uint16_t crcFold(std::uint16_t crc, const std::uint8_t* p,
                                                               std::size_t n) {
  const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold512High), static_cast<long long>(kFold512Low));
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold128High), static_cast<long long>(kFold128Low));
  __m128i a0 = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_cvtsi32_si128(crc));
  __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
  __m128i a3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
  p += 64;
  n -= 64;
  while (n >= 64) {
    a0 = _mm_xor_si128(fold(a0, k512), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    a1 = _mm_xor_si128(fold(a1, k512), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
    a2 = _mm_xor_si128(fold(a2, k512), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)));
    a3 = _mm_xor_si128(fold(a3, k512), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)));
    p += 64;
    n -= 64;
  }
  __m128i a = _mm_xor_si128(fold(a0, k128), a1);
  a = _mm_xor_si128(fold(a, k128), a2);
  a = _mm_xor_si128(fold(a, k128), a3);
  while (n >= 16) {
    a = _mm_xor_si128(fold(a, k128), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    p += 16;
    n -= 16;
  }
  std::uint8_t folded[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), a);
  return crcTables(crcTables(0, folded, 16), p, n);
}

bool haveClmul() {
  __builtin_cpu_init();  // this may run among other static initialisers, before the compiler's own
  return __builtin_cpu_supports("pclmul");
}

const bool kHaveClmul = haveClmul();

#endif

}  // namespace

std::uint16_t crc16(std::uint16_t crc, std::span<const std::uint8_t> data) {
#if defined(__x86_64__)
  if (data.size() >= kFoldMinBytes && kHaveClmul) return crcFold(crc, data.data(), data.size());
#endif
  return crcTables(crc, data.data(), data.size());
}

}  // namespace lzh
