#pragma once
// The wire primitives on byte buffers: what a byte, flag, int32, string and
// wide text look like on the wire, independent of any socket. WireWriter
// encodes into a buffer; WireReader decodes from a WireSource, which is a
// socket channel (remote/channel.h) or a buffer (tests, the fuzz target).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/errors.h"

namespace omb::remote {

// The failure texts of the socket layer. Callers tell them apart by text.
inline constexpr const char* kSelectFailed = "select failed";
inline constexpr const char* kRecvTimedOut = "recv timed out";
inline constexpr const char* kSendTimedOut = "send timed out";
inline constexpr const char* kRecvFailed = "recv failed";
inline constexpr const char* kPeerClosed = "client closed the socket";
inline constexpr const char* kSendFailed = "send failed";
inline constexpr const char* kSendFailedInString = "send failed\n";

// A socket-level failure; message() is exactly one of the texts above.
class SocketFailure : public NetworkClientError {
 public:
  explicit SocketFailure(const char* text) : text_(text) {}
  std::string message() const override { return text_; }
  const std::string& text() const { return text_; }
  bool Is(const char* text) const { return text_ == text; }

 private:
  std::string text_;
};

// Where received bytes come from.
class WireSource {
 public:
  virtual ~WireSource() = default;
  // Receives between 1 and `size` bytes, or throws SocketFailure.
  virtual size_t ReceiveSome(char* buffer, size_t size) = 0;
};

// A source over bytes already in memory; running out of them is a peer
// that closed the connection.
class BufferSource : public WireSource {
 public:
  explicit BufferSource(std::string_view bytes) : bytes_(bytes) {}
  size_t ReceiveSome(char* buffer, size_t size) override;
  size_t remaining() const { return bytes_.size() - offset_; }

 private:
  std::string_view bytes_;
  size_t offset_ = 0;
};

class WireReader {
 public:
  explicit WireReader(WireSource& source) : source_(source) {}

  uint8_t Byte();
  // Any non-zero byte is true.
  bool Flag();
  int32_t Int32();
  // Its low, then its high 32 bits.
  uint64_t Uint64();
  // A length or count: negative or beyond `max` throws "recv failed".
  size_t Count(size_t max);
  // A string of at most maxBytes; received in pieces as they arrive, so a
  // length that no data follows allocates nothing beyond what came.
  std::string String(size_t maxBytes);
  // A string converted to UTF-16.
  std::u16string Wide(size_t maxBytes);

 private:
  void Exactly(char* buffer, size_t size);
  WireSource& source_;
};

class WireWriter {
 public:
  void Byte(uint8_t value) { bytes_.push_back(static_cast<char>(value)); }
  void Flag(bool value) { Byte(value ? 1 : 0); }
  void Int32(int32_t value);
  void Uint64(uint64_t value);
  void String(std::string_view text);
  void Wide(std::u16string_view text);

  const std::string& bytes() const { return bytes_; }
  std::string Take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

}  // namespace omb::remote
