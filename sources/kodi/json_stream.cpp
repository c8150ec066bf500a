#include "sources/kodi/json_stream.h"

namespace lumora::sources {

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
  start_ = scanned_ = 0;
  depth_ = 0;
  inString_ = escape_ = false;
}

JsonStream::Result JsonStream::Next(std::string& value) {
  if (depth_ == 0) {
    // Between values: blanks are skipped; anything but an object or an array is not a message.
    size_t at = start_;
    while (at < buffer_.size() && (buffer_[at] == ' ' || buffer_[at] == '\n' ||
                                   buffer_[at] == '\r' || buffer_[at] == '\t'))
      ++at;
    if (at < buffer_.size() && buffer_[at] != '{' && buffer_[at] != '[') {
      const size_t next = buffer_.find_first_of("{[", at);
      start_ = scanned_ = next == std::string::npos ? buffer_.size() : next;
      return Result::Garbage;
    }
    start_ = scanned_ = at;
    if (at == buffer_.size()) {
      Clear();
      return Result::NeedMore;
    }
  }
  for (; scanned_ < buffer_.size(); ++scanned_) {
    const char c = buffer_[scanned_];
    if (inString_) {
      if (escape_)
        escape_ = false;
      else if (c == '\\')
        escape_ = true;
      else if (c == '"')
        inString_ = false;
      continue;
    }
    if (c == '"') {
      inString_ = true;
    } else if (c == '{' || c == '[') {
      ++depth_;
    } else if (c == '}' || c == ']') {
      if (--depth_ == 0) {
        ++scanned_;
        value.assign(buffer_, start_, scanned_ - start_);
        start_ = scanned_;
        return Result::Value;
      }
    }
  }
  if (scanned_ - start_ > kMaxMessageBytes) {
    Clear();
    return Result::TooLong;
  }
  return Result::NeedMore;
}

}  // namespace lumora::sources
