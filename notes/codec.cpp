#include "notes/codec.h"

#include <cstdio>

namespace omb::notes::codec {

bool Reader::Little(uint64_t& value, int bytes) {
  if (remaining() < static_cast<size_t>(bytes)) return false;
  value = 0;
  for (int i = 0; i < bytes; ++i) {
    value |= static_cast<uint64_t>(static_cast<uint8_t>(data_[pos_ + i])) << (8 * i);
  }
  pos_ += bytes;
  return true;
}

bool Reader::U8(uint8_t& value) {
  uint64_t wide = 0;
  if (!Little(wide, 1)) return false;
  value = static_cast<uint8_t>(wide);
  return true;
}

bool Reader::U16(uint16_t& value) {
  uint64_t wide = 0;
  if (!Little(wide, 2)) return false;
  value = static_cast<uint16_t>(wide);
  return true;
}

bool Reader::U32(uint32_t& value) {
  uint64_t wide = 0;
  if (!Little(wide, 4)) return false;
  value = static_cast<uint32_t>(wide);
  return true;
}

bool Reader::U64(uint64_t& value) { return Little(value, 8); }

bool Reader::Bytes(size_t count, std::string_view& bytes) {
  if (remaining() < count) return false;
  bytes = data_.substr(pos_, count);
  pos_ += count;
  return true;
}

bool Reader::Id(Id16& id) {
  std::string_view bytes;
  if (!Bytes(id.size(), bytes)) return false;
  for (size_t i = 0; i < id.size(); ++i) id[i] = static_cast<uint8_t>(bytes[i]);
  return true;
}

bool Reader::Text(std::string& text, size_t maxLength) {
  uint32_t length = 0;
  std::string_view bytes;
  if (!U32(length) || length > maxLength || !Bytes(length, bytes)) return false;
  text.assign(bytes);
  return true;
}

namespace {

struct CrcTable {
  uint32_t entries[256];
  CrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[i] = c;
    }
  }
};

}  // namespace

uint32_t Crc32(std::string_view data) {
  static const CrcTable table;
  uint32_t crc = 0xFFFFFFFFu;
  for (char byte : data) crc = table.entries[(crc ^ static_cast<uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

uint64_t Fnv1a64(std::string_view data, uint64_t hash) {
  for (char byte : data) {
    hash ^= static_cast<uint8_t>(byte);
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string Hex64(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace omb::notes::codec
