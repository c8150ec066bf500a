// Kodi's JSON-RPC over TCP sends its answers and notifications as JSON objects one after the
// other, with nothing between them, and a read may end anywhere inside one. JsonStream finds
// where each top-level value ends so that every whole value goes to the JSON library on its own;
// it does not read the values itself.
//
// It follows the JSON grammar only as far as framing needs: where a string, a name, a value, a
// comma or a colon may come. That is what notices a message cut short: Kodi writes each message
// whole, so when one is cut (a connection's bytes lost, a peer that stopped half-way), the next
// message's '{' lands where the cut one cannot go on, at the latest after one more message. The
// cut value is then dropped, and the stream is followed again from the last '{' or '[' before
// the byte that broke it: where the new message began. A whole message of Kodi's is never cut by
// this, however long, since it is valid JSON from its first byte to its last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumora::sources {

// Messages larger than this are refused: Kodi's largest answers to the bridge's requests are a
// few kilobytes.
inline constexpr size_t kMaxMessageBytes = 1 << 20;
// Values nested deeper than this are no message of Kodi's (its answers nest five or six deep).
inline constexpr int kMaxJsonDepth = 64;

class JsonStream {
 public:
  enum class Result {
    Value,     // value holds one whole top-level value
    NeedMore,  // nothing whole yet: append more bytes
    TooLong,   // a value grew past kMaxMessageBytes: the stream cannot be followed any more
    Garbage,   // bytes that cannot start a value were dropped up to the next '{' or '['
    Cut,       // a value that the bytes after it could not continue (cut short, or nested deeper
               // than kMaxJsonDepth) was dropped; the stream goes on where the next one began
  };

  void Append(std::string_view bytes);
  // The next whole value, if any; call until it returns NeedMore.
  Result Next(std::string& value);
  void Clear();
  size_t buffered() const { return buffer_.size() - start_; }

 private:
  // What may come next outside strings.
  enum class Expect : uint8_t {
    ValueOrEnd,  // after '[': a value or ']'
    Value,       // after ':' or a ',' in an array
    NameOrEnd,   // after '{': a name or '}'
    Name,        // after a ',' in an object
    Colon,       // after a name
    CommaOrEnd,  // after a value: ',' or the container's end
  };
  // Takes one byte outside a string; false when it cannot continue the value.
  bool Take(char c);
  bool Open(bool object);
  bool Close(bool object);
  // Drops the value being scanned, which broke at scanned_, and starts again where the next one
  // began.
  void DropBroken();

  std::string buffer_;
  size_t start_ = 0;     // where the value being scanned begins
  size_t scanned_ = 0;   // how far it has been scanned
  size_t lastOpen_ = 0;  // the last '{' or '[' after start_ (0: none yet)
  int depth_ = 0;
  uint64_t objects_ = 0;  // bit d: the container at depth d + 1 is an object (a bit per level)
  Expect expect_ = Expect::Value;
  bool inString_ = false;
  bool inName_ = false;  // the string is a member's name
  bool escape_ = false;
  bool inScalar_ = false;  // a number, true, false or null
};

}  // namespace lumora::sources
