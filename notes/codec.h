#pragma once
// Little-endian encoding of the runtime's files, with bounds-checked
// reading: a Reader never reads past its data and reports failure instead.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace omb::notes::codec {

using Id16 = std::array<uint8_t, 16>;

class Writer {
 public:
  void U8(uint8_t value) { out_.push_back(static_cast<char>(value)); }
  void U16(uint16_t value) { Little(value, 2); }
  void U32(uint32_t value) { Little(value, 4); }
  void U64(uint64_t value) { Little(value, 8); }
  void Bytes(std::string_view bytes) { out_.append(bytes); }
  void Id(const Id16& id) { out_.append(reinterpret_cast<const char*>(id.data()), id.size()); }
  // A length-prefixed text.
  void Text(std::string_view text) {
    U32(static_cast<uint32_t>(text.size()));
    Bytes(text);
  }
  std::string& buffer() { return out_; }

 private:
  void Little(uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}
  bool U8(uint8_t& value);
  bool U16(uint16_t& value);
  bool U32(uint32_t& value);
  bool U64(uint64_t& value);
  bool Bytes(size_t count, std::string_view& bytes);
  bool Id(Id16& id);
  // A length-prefixed text of at most maxLength bytes.
  bool Text(std::string& text, size_t maxLength);
  size_t remaining() const { return data_.size() - pos_; }
  size_t offset() const { return pos_; }

 private:
  bool Little(uint64_t& value, int bytes);
  std::string_view data_;
  size_t pos_ = 0;
};

uint32_t Crc32(std::string_view data);

constexpr uint64_t kFnvOffset = 14695981039346656037ull;
uint64_t Fnv1a64(std::string_view data, uint64_t hash = kFnvOffset);
std::string Hex64(uint64_t value);

}  // namespace omb::notes::codec
