#include "remote/wire.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace omb::remote {

namespace {

// Largest piece received at once into a growing string.
constexpr size_t kPieceBytes = 64 * 1024;

}  // namespace

size_t BufferSource::ReceiveSome(char* buffer, size_t size) {
  if (offset_ >= bytes_.size()) throw SocketFailure(kPeerClosed);
  const size_t count = std::min(size, bytes_.size() - offset_);
  std::memcpy(buffer, bytes_.data() + offset_, count);
  offset_ += count;
  return count;
}

void WireReader::Exactly(char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) done += source_.ReceiveSome(buffer + done, size - done);
}

uint8_t WireReader::Byte() {
  char value = 0;
  Exactly(&value, 1);
  return static_cast<uint8_t>(value);
}

bool WireReader::Flag() { return Byte() != 0; }

int32_t WireReader::Int32() {
  unsigned char bytes[4];
  Exactly(reinterpret_cast<char*>(bytes), sizeof bytes);
  const uint32_t value = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                         uint32_t{bytes[3]} << 24;
  return static_cast<int32_t>(value);
}

uint64_t WireReader::Uint64() {
  const uint32_t low = static_cast<uint32_t>(Int32());
  const uint32_t high = static_cast<uint32_t>(Int32());
  return uint64_t{high} << 32 | low;
}

size_t WireReader::Count(size_t max) {
  const int32_t value = Int32();
  if (value < 0 || static_cast<size_t>(value) > max) throw SocketFailure(kRecvFailed);
  return static_cast<size_t>(value);
}

std::string WireReader::String(size_t maxBytes) {
  const size_t length = Count(maxBytes);
  std::string text;
  while (text.size() < length) {
    const size_t piece = std::min(length - text.size(), kPieceBytes);
    const size_t start = text.size();
    text.resize(start + piece);
    const size_t received = source_.ReceiveSome(text.data() + start, piece);
    text.resize(start + received);
  }
  return text;
}

std::u16string WireReader::Wide(size_t maxBytes) {
  return platform::Utf8ToUtf16(String(maxBytes), platform::InvalidUtf8::Latin1);
}

void WireWriter::Int32(int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) Byte(static_cast<uint8_t>(bits >> shift));
}

void WireWriter::Uint64(uint64_t value) {
  Int32(static_cast<int32_t>(value & 0xFFFFFFFFu));
  Int32(static_cast<int32_t>(value >> 32));
}

void WireWriter::String(std::string_view text) {
  Int32(static_cast<int32_t>(text.size()));
  bytes_.append(text);
}

void WireWriter::Wide(std::u16string_view text) { String(platform::Utf16ToUtf8(text)); }

}  // namespace omb::remote
