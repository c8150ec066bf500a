// Kodi's JSON-RPC over TCP sends its answers and notifications as JSON objects one after the
// other, with nothing between them, and a read may end anywhere inside one. JsonStream finds
// where each top-level value ends (by its brackets, outside strings) so that every whole value
// goes to the JSON library on its own; it does not read the values itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lumora::sources {

// Messages larger than this are refused: Kodi's largest answers to the bridge's requests are a
// few kilobytes.
inline constexpr size_t kMaxMessageBytes = 1 << 20;

class JsonStream {
 public:
  enum class Result {
    Value,     // value holds one whole top-level value
    NeedMore,  // nothing whole yet: append more bytes
    TooLong,   // a value grew past kMaxMessageBytes: the stream cannot be followed any more
    Garbage,   // bytes that cannot start a value were dropped up to the next '{' or '['
  };

  void Append(std::string_view bytes);
  // The next whole value, if any; call until it returns NeedMore.
  Result Next(std::string& value);
  void Clear();
  size_t buffered() const { return buffer_.size() - start_; }

 private:
  std::string buffer_;
  size_t start_ = 0;    // where the value being scanned begins
  size_t scanned_ = 0;  // how far it has been scanned
  int depth_ = 0;
  bool inString_ = false;
  bool escape_ = false;
};

}  // namespace lumora::sources
