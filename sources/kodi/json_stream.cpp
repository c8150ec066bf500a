#include "sources/kodi/json_stream.h"

namespace lumora::sources {

namespace {

bool Blank(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// The bytes of a number or of true, false and null (the JSON library checks their spelling).
bool ScalarByte(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
         c == '+' || c == '-';
}

}  // namespace

void JsonStream::Append(std::string_view bytes) {
  // Drop what was handed out before growing the buffer.
  if (start_ > 0 && start_ == scanned_) {
    buffer_.erase(0, start_);
    scanned_ -= start_;
    start_ = 0;
  }
  buffer_.append(bytes);
}

void JsonStream::Clear() {
  buffer_.clear();
  start_ = scanned_ = lastOpen_ = 0;
  depth_ = 0;
  objects_ = 0;
  expect_ = Expect::Value;
  inString_ = inName_ = escape_ = inScalar_ = false;
}

bool JsonStream::Open(bool object) {
  if (expect_ != Expect::Value && expect_ != Expect::ValueOrEnd) return false;
  if (depth_ == kMaxJsonDepth) return false;
  const uint64_t bit = uint64_t{1} << depth_;
  objects_ = object ? objects_ | bit : objects_ & ~bit;
  ++depth_;
  expect_ = object ? Expect::NameOrEnd : Expect::ValueOrEnd;
  return true;
}

bool JsonStream::Close(bool object) {
  const bool isObject = (objects_ >> (depth_ - 1) & 1u) != 0;
  if (isObject != object) return false;
  if (expect_ != Expect::CommaOrEnd && expect_ != (object ? Expect::NameOrEnd : Expect::ValueOrEnd))
    return false;
  --depth_;
  expect_ = Expect::CommaOrEnd;
  return true;
}

bool JsonStream::Take(char c) {
  if (inScalar_) {
    if (ScalarByte(c)) return true;
    inScalar_ = false;  // the scalar ended at this byte, which is taken as what follows it
    expect_ = Expect::CommaOrEnd;
  }
  if (Blank(c)) return true;
  const bool object = depth_ > 0 && (objects_ >> (depth_ - 1) & 1u) != 0;
  switch (c) {
    case '{':
      return Open(true);
    case '[':
      return Open(false);
    case '}':
      return Close(true);
    case ']':
      return Close(false);
    case ',':
      if (expect_ != Expect::CommaOrEnd) return false;
      expect_ = object ? Expect::Name : Expect::Value;
      return true;
    case ':':
      if (expect_ != Expect::Colon) return false;
      expect_ = Expect::Value;
      return true;
    case '"':
      if (expect_ == Expect::Name || expect_ == Expect::NameOrEnd) {
        inName_ = true;
      } else if (expect_ == Expect::Value || expect_ == Expect::ValueOrEnd) {
        inName_ = false;
      } else {
        return false;
      }
      inString_ = true;
      return true;
    default:
      if (!ScalarByte(c) || (expect_ != Expect::Value && expect_ != Expect::ValueOrEnd))
        return false;
      inScalar_ = true;
      return true;
  }
}

void JsonStream::DropBroken() {
  // The message that cut this one short began at the last '{' or '[' before the byte that broke
  // it (that byte included); with none, the next one that comes.
  size_t next = lastOpen_;
  if (next <= start_) {
    next = buffer_.find_first_of("{[", scanned_ + 1);
    if (next == std::string::npos) next = buffer_.size();
  }
  start_ = scanned_ = next;
  lastOpen_ = 0;
  depth_ = 0;
  objects_ = 0;
  expect_ = Expect::Value;
  inString_ = inName_ = escape_ = inScalar_ = false;
}

JsonStream::Result JsonStream::Next(std::string& value) {
  if (depth_ == 0) {
    // Between values: blanks are skipped; anything but an object or an array is not a message.
    size_t at = start_;
    while (at < buffer_.size() && Blank(buffer_[at]))
      ++at;
    if (at < buffer_.size() && buffer_[at] != '{' && buffer_[at] != '[') {
      const size_t next = buffer_.find_first_of("{[", at);
      start_ = scanned_ = next == std::string::npos ? buffer_.size() : next;
      return Result::Garbage;
    }
    start_ = scanned_ = at;
    lastOpen_ = 0;
    expect_ = Expect::Value;
    if (at == buffer_.size()) {
      Clear();
      return Result::NeedMore;
    }
  }
  for (; scanned_ < buffer_.size(); ++scanned_) {
    const char c = buffer_[scanned_];
    if ((c == '{' || c == '[') && scanned_ > start_) lastOpen_ = scanned_;
    if (inString_) {
      if (escape_) {
        // The escapes JSON has; any other byte here is a string cut short.
        switch (c) {
          case '"':
          case '\\':
          case '/':
          case 'b':
          case 'f':
          case 'n':
          case 'r':
          case 't':
          case 'u':
            escape_ = false;
            continue;
          default:
            DropBroken();
            return Result::Cut;
        }
      }
      if (c == '\\') {
        escape_ = true;
      } else if (c == '"') {
        inString_ = false;
        expect_ = inName_ ? Expect::Colon : Expect::CommaOrEnd;
      }
      continue;
    }
    if (!Take(c)) {
      DropBroken();
      return Result::Cut;
    }
    if (depth_ == 0) {
      ++scanned_;
      value.assign(buffer_, start_, scanned_ - start_);
      start_ = scanned_;
      return Result::Value;
    }
  }
  if (scanned_ - start_ > kMaxMessageBytes) {
    Clear();
    return Result::TooLong;
  }
  return Result::NeedMore;
}

}  // namespace lumora::sources
