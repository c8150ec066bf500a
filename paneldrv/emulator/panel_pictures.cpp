#include "paneldrv/emulator/panel_pictures.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "panel/trace_line.h"

namespace lumora::emulator {

namespace {

// What a trace line was, by the first word of its readable form: "text3", "icons", "sleep".
std::string KindOf(std::string_view line) {
  const std::string readable = DecodeTraceLine(line);
  return readable.substr(0, readable.find(' '));
}

void Count(std::vector<std::pair<std::string, size_t>>& counts, std::string kind, size_t n) {
  for (auto& [known, count] : counts) {
    if (known == kind) {
      count += n;
      return;
    }
  }
  counts.emplace_back(std::move(kind), n);
}

}  // namespace

void PictureBook::EndStep(PanelPicture step, int64_t nowMs) {
  step.svg = RenderPanelSvg(state_, nowMs);
  step.calls = std::move(calls_);
  calls_.clear();
  const ShownLines shown(state_, nowMs, 0, kPanelColumns);
  step.panelClock.clear();
  if (shown.panelClock()) {
    step.panelClock.append(shown.line2());
    step.panelClock += ' ';
    step.panelClock.append(shown.line3());
  }
  playMs_ += step.waitMs;
  step.playMs = playMs_;

  PanelPicture* fold = steps_.empty() ? nullptr : &steps_.back();
  if (fold == nullptr || fold->ticks == 0 || step.ticks == 0 || !step.captions.empty() ||
      step.waitMs != 0) {
    steps_.push_back(std::move(step));
    return;
  }
  // The earlier ticks' calls are counted by kind; the last tick line's are kept whole.
  for (const std::string& call : fold->calls)
    Count(fold->foldedCalls, KindOf(call), 1);
  fold->calls = std::move(step.calls);
  fold->svg = std::move(step.svg);
  fold->ticks += step.ticks;
  fold->lastLine = step.line;
  fold->virtualTime = std::move(step.virtualTime);
  fold->panelClock = std::move(step.panelClock);
}

bool WriteSvgFolder(const std::string& folder, const std::vector<PanelPicture>& steps,
                    std::string& error) {
  namespace fs = std::filesystem;
  std::error_code failed;
  fs::create_directories(folder, failed);
  if (failed) {
    error = "cannot create " + folder + ": " + failed.message();
    return false;
  }
  // The frames of an earlier run: a reused folder must not show old steps beyond this run's.
  for (fs::directory_iterator it(folder, failed), end; !failed && it != end; it.increment(failed)) {
    const std::string name = it->path().filename().string();
    const size_t digits = name.find_first_not_of("0123456789");
    if (digits >= 4 && digits != std::string::npos && name.substr(digits) == ".svg" &&
        !it->is_directory()) {
      std::error_code removeFailed;
      fs::remove(it->path(), removeFailed);
      if (removeFailed) {
        error = "cannot remove " + it->path().string() + ": " + removeFailed.message();
        return false;
      }
    }
  }
  if (failed) {
    error = "cannot read " + folder + ": " + failed.message();
    return false;
  }
  std::unordered_map<std::string_view, std::string> written;  // a picture -> its first file
  for (size_t i = 0; i < steps.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/%04zu.svg", i + 1);
    const std::string path = folder + name;
    const std::string_view svg = steps[i].svg;
    if (const auto first = written.find(svg); first != written.end()) {
      std::error_code linkFailed;
      fs::create_hard_link(first->second, path, linkFailed);
      if (!linkFailed) continue;
    }
    // The reason of the first failure: opening, writing, or the flush at the close.
    int reason = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
      reason = errno != 0 ? errno : EIO;
    } else {
      if (std::fwrite(svg.data(), 1, svg.size(), file) != svg.size())
        reason = errno != 0 ? errno : EIO;
      if (std::fclose(file) != 0 && reason == 0) reason = errno != 0 ? errno : EIO;
    }
    if (reason != 0) {
      error = "cannot write " + path + ": " + std::strerror(reason);
      return false;
    }
    written.emplace(svg, path);
  }
  return true;
}

}  // namespace lumora::emulator
