#include "scenario/scenario_input.h"

#include <sys/stat.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace lumora::scenario {

namespace {

std::string LineTooLong() {
  return "line too long (more than " + std::to_string(kScenarioLineMax) + " bytes)";
}

// Appends a chunk, keeping count of lines and of the current line's length; false when a bound
// is crossed.
bool Take(const char* data, size_t size, std::string& text, size_t& line, size_t& lineLength,
          InputError& error) {
  // The byte that would cross the input bound, if this chunk holds it.
  const size_t room = kScenarioInputMax - text.size();
  for (size_t i = 0; i < size; ++i) {
    if (i == room) {
      error = {line, "input larger than " + std::to_string(kScenarioInputMax) + " bytes"};
      return false;
    }
    if (data[i] == '\n') {
      ++line;
      lineLength = 0;
    } else if (++lineLength > kScenarioLineMax) {
      error = {line, LineTooLong()};
      return false;
    }
  }
  text.append(data, size);
  return true;
}

// The one check of the path before it is opened: a folder opens on some systems.
bool IsFolder(std::string_view path) {
  // One check of the path; the file system library would triple the size of the Windows
  // sender for it.
  struct stat status;
  return stat(std::string(path).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Whether a stream can be read again from where it is now: a regular file.
bool IsRegularFile(std::FILE* file) {
#ifdef _WIN32
  const int descriptor = _fileno(file);
#else
  const int descriptor = fileno(file);
#endif
  struct stat status;
  return descriptor >= 0 && fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
}

// A temporary file for reading and writing, gone when it is closed (or the program ends).
std::FILE* TemporaryFile() {
#ifdef _WIN32
  // The C library's own would be made in the root of the drive, which users may not write.
  char folder[MAX_PATH + 1];
  char path[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameA(folder, "lum", 0, path) == 0) {
    return nullptr;
  }
  HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DeleteFileA(path);
    return nullptr;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(descriptor, "w+b");
  if (file == nullptr) _close(descriptor);
  return file;
#else
  return std::tmpfile();
#endif
}

}  // namespace

ScenarioLines::~ScenarioLines() {
  if (ownsFile_) std::fclose(file_);
  if (copy_ != nullptr) std::fclose(copy_);
}

bool ScenarioLines::Open(std::string_view path, InputError& error) {
  file_ = stdin;
  if (path != "-") {
    if (IsFolder(path)) {
      error = {0, "it is a folder"};
      return false;
    }
    file_ = std::fopen(std::string(path).c_str(), "rb");
    if (file_ == nullptr) {
      error = {0, std::strerror(errno)};
      return false;
    }
    ownsFile_ = true;
  }
  if (IsRegularFile(file_) && std::fgetpos(file_, &start_) == 0) return true;
  copy_ = TemporaryFile();
  if (copy_ == nullptr) {
    error = {0, std::string("no temporary file to read it twice: ") + std::strerror(errno)};
    return false;
  }
  copying_ = true;
  return true;
}

bool ScenarioLines::Refill(InputError& error) {
  chunkPos_ = 0;
  chunkEnd_ = 0;
  if (atEnd_) return true;
  size_t want = sizeof chunk_;
  if (secondReading_ && firstBytes_ - bytes_ < want)
    want = static_cast<size_t>(firstBytes_ - bytes_);
  errno = 0;
  const size_t n = want == 0 ? 0 : std::fread(chunk_, 1, want, file_);
  if (n < want) {
    if (std::ferror(file_) != 0) {
      error = {0, std::strerror(errno != 0 ? errno : EIO)};
      return false;
    }
    if (secondReading_) {
      error = {0, "it became shorter while it was read"};
      return false;
    }
  }
  if (n < want || want == 0) atEnd_ = true;
  if (copying_ && n > 0 && std::fwrite(chunk_, 1, n, copy_) != n) {
    error = {0, std::string("cannot keep a copy to read it twice: ") +
                    std::strerror(errno != 0 ? errno : EIO)};
    return false;
  }
  bytes_ += n;
  chunkEnd_ = n;
  return true;
}

bool ScenarioLines::Next(std::string_view& line, InputError& error) {
  size_t length = 0;
  bool started = false;  // the line has bytes
  for (;;) {
    if (chunkPos_ == chunkEnd_) {
      if (!Refill(error)) return false;
      if (chunkEnd_ == 0) {
        // The end: a last line without its line feed is a line all the same.
        if (!started) return false;
        ++lineNumber_;
        line = std::string_view(line_, length);
        return true;
      }
    }
    const char* start = chunk_ + chunkPos_;
    const size_t available = chunkEnd_ - chunkPos_;
    const auto* feed = static_cast<const char*>(std::memchr(start, '\n', available));
    const size_t take = feed != nullptr ? static_cast<size_t>(feed - start) : available;
    if (length + take > kScenarioLineMax) {
      error = {lineNumber_ + 1, LineTooLong()};
      return false;
    }
    std::memcpy(line_ + length, start, take);
    length += take;
    started = true;
    chunkPos_ += take;
    if (feed != nullptr) {
      ++chunkPos_;
      ++lineNumber_;
      line = std::string_view(line_, length);
      return true;
    }
  }
}

bool ScenarioLines::Rewind(InputError& error) {
  firstBytes_ = bytes_;
  bytes_ = 0;
  lineNumber_ = 0;
  chunkPos_ = 0;
  chunkEnd_ = 0;
  atEnd_ = false;
  secondReading_ = true;
  if (copying_) {
    copying_ = false;
    if (std::fflush(copy_) != 0 || std::fseek(copy_, 0, SEEK_SET) != 0) {
      error = {0, std::string("cannot read its copy again: ") + std::strerror(errno)};
      return false;
    }
    if (ownsFile_) std::fclose(file_);
    file_ = copy_;
    ownsFile_ = true;
    copy_ = nullptr;
    return true;
  }
  std::clearerr(file_);
  if (std::fsetpos(file_, &start_) != 0) {
    error = {0, std::string("cannot read it again: ") + std::strerror(errno)};
    return false;
  }
  return true;
}

bool ReadScenarioInput(std::string_view path, std::string& text, InputError& error) {
  text.clear();
  std::FILE* file = stdin;
  const bool standardInput = path == "-";
  if (!standardInput) {
    if (IsFolder(path)) {
      error = {0, "it is a folder"};
      return false;
    }
    file = std::fopen(std::string(path).c_str(), "rb");
    if (file == nullptr) {
      error = {0, std::strerror(errno)};
      return false;
    }
  }
  size_t line = 1;
  size_t lineLength = 0;
  char chunk[65536];
  bool ok = true;
  for (;;) {
    const size_t n = std::fread(chunk, 1, sizeof chunk, file);
    if (n > 0 && !Take(chunk, n, text, line, lineLength, error)) {
      ok = false;
      break;
    }
    if (n < sizeof chunk) {
      if (std::ferror(file) != 0) {
        error = {0, std::strerror(errno != 0 ? errno : EIO)};
        ok = false;
      }
      break;
    }
  }
  if (!standardInput) std::fclose(file);
  if (!ok) text.clear();
  return ok;
}

std::string DescribeInputError(std::string_view path, const InputError& error, bool pathOnLines) {
  if (error.line != 0) {
    const std::string where = pathOnLines ? std::string(path) + ": " : std::string();
    return where + "line " + std::to_string(error.line) + ": " + error.reason;
  }
  const std::string name = path == "-" ? std::string("standard input") : std::string(path);
  return "cannot read " + name + ": " + error.reason;
}

}  // namespace lumora::scenario
