// The interface identifiers of the Windows Runtime, portable: a GUID as a value, its text, and
// the identifier of a parameterized interface (IAsyncOperation<T>, TypedEventHandler<S, A>,
// IVectorView<T>, ...) computed from its type signature the way Windows computes it.
//
// The algorithm is Microsoft's, documented on learn.microsoft.com in "Windows Runtime (WinRT)
// type system" (the interface identifiers of parameterized types) and computed by Windows'
// RoGetParameterizedTypeInstanceIID (roparameterizediid.h): the identifier is a
// name-based UUID of version 5 — SHA-1 over the 16 bytes of the namespace
// {11f47ad5-7b73-42c0-abae-878b1e16adee} (in network order) followed by the UTF-8 of the
// signature, the first 16 bytes of the digest taken, the version nibble set to 5 and the variant
// bits to RFC 4122's. A signature names each type: "pinterface({piid};ARG;...)" for an instance
// of a parameterized interface, "rc(Name;{default interface})" for a runtime class,
// "enum(Name;i4)", "{iid}" for an interface, "f8" for a double, "string" for a text.
//
// Everything is constexpr, so that the identifiers the follower asks for are fixed when it is
// compiled, and the same code is tested on Linux against the identifiers Windows publishes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumora::sources::winrt {

// A GUID in the fields of its text form ({data1-data2-data3-data4[0..1]-data4[2..7]}).
struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};

  friend constexpr bool operator==(const Guid&, const Guid&) = default;
};

namespace detail {

constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr uint32_t RotateLeft(uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

// SHA-1 (FIPS 180-4) of a sequence of bytes, computed block by block.
class Sha1 {
 public:
  constexpr void Add(uint8_t byte) {
    block_[filled_++] = byte;
    ++length_;
    if (filled_ == 64) Compress();
  }
  constexpr std::array<uint8_t, 20> Finish() {
    const uint64_t bits = length_ * 8;
    Add(0x80);
    while (filled_ != 56)
      Add(0);
    for (int i = 7; i >= 0; --i)
      Add(static_cast<uint8_t>(bits >> (i * 8)));
    std::array<uint8_t, 20> digest{};
    for (size_t i = 0; i < 5; ++i) {
      for (size_t j = 0; j < 4; ++j)
        digest[i * 4 + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
    }
    return digest;
  }

 private:
  constexpr void Compress() {
    std::array<uint32_t, 80> w{};
    for (size_t i = 0; i < 16; ++i) {
      w[i] = static_cast<uint32_t>(block_[i * 4]) << 24 |
             static_cast<uint32_t>(block_[i * 4 + 1]) << 16 |
             static_cast<uint32_t>(block_[i * 4 + 2]) << 8 | block_[i * 4 + 3];
    }
    for (size_t i = 16; i < 80; ++i)
      w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (size_t i = 0; i < 80; ++i) {
      uint32_t f = 0;
      uint32_t k = 0;
      if (i < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (i < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (i < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      const uint32_t next = RotateLeft(a, 5) + f + e + k + w[i];
      e = d;
      d = c;
      c = RotateLeft(b, 30);
      b = a;
      a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
    filled_ = 0;
  }

  std::array<uint32_t, 5> state_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::array<uint8_t, 64> block_{};
  size_t filled_ = 0;
  uint64_t length_ = 0;
};

}  // namespace detail

// A GUID from its text, with or without braces ("11f47ad5-7b73-42c0-abae-878b1e16adee"); a
// text of another shape gives the zero GUID.
constexpr Guid ParseGuid(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
    return {};
  std::array<uint8_t, 16> bytes{};
  size_t at = 0;
  for (size_t i = 0; i < 36; ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) continue;
    const int high = detail::HexDigit(text[i]);
    const int low = detail::HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return {};
    bytes[at++] = static_cast<uint8_t>(high * 16 + low);
    ++i;
  }
  Guid guid;
  guid.data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
               static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  guid.data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  guid.data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (size_t i = 0; i < 8; ++i)
    guid.data4[i] = bytes[8 + i];
  return guid;
}

// The namespace of the identifiers of parameterized interfaces.
inline constexpr Guid kParameterizedNamespace = ParseGuid("11f47ad5-7b73-42c0-abae-878b1e16adee");

// The identifier of the parameterized interface whose signature is given (UTF-8).
constexpr Guid ParameterizedIid(std::string_view signature) {
  detail::Sha1 sha;
  const Guid& ns = kParameterizedNamespace;
  for (int shift = 24; shift >= 0; shift -= 8)
    sha.Add(static_cast<uint8_t>(ns.data1 >> shift));
  sha.Add(static_cast<uint8_t>(ns.data2 >> 8));
  sha.Add(static_cast<uint8_t>(ns.data2));
  sha.Add(static_cast<uint8_t>(ns.data3 >> 8));
  sha.Add(static_cast<uint8_t>(ns.data3));
  for (const uint8_t byte : ns.data4)
    sha.Add(byte);
  for (const char c : signature)
    sha.Add(static_cast<uint8_t>(c));
  const std::array<uint8_t, 20> digest = sha.Finish();
  Guid guid;
  guid.data1 = static_cast<uint32_t>(digest[0]) << 24 | static_cast<uint32_t>(digest[1]) << 16 |
               static_cast<uint32_t>(digest[2]) << 8 | digest[3];
  guid.data2 = static_cast<uint16_t>(digest[4] << 8 | digest[5]);
  // Version 5 in the top nibble of data3; the variant 10xx in the top bits of data4[0].
  guid.data3 = static_cast<uint16_t>(((digest[6] & 0x0F) | 0x50) << 8 | digest[7]);
  guid.data4[0] = static_cast<uint8_t>((digest[8] & 0x3F) | 0x80);
  for (size_t i = 1; i < 8; ++i)
    guid.data4[i] = digest[8 + i];
  return guid;
}

// The text form in lower case with braces, as signatures write it.
std::string GuidText(const Guid& guid);

}  // namespace lumora::sources::winrt
