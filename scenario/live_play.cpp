#include "scenario/live_play.h"

namespace lumora::scenario {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// What a live play leaves out, by kind, and why; said once per kind.
enum Left { kLang, kDevice, kTimer, kTime, kRun, kLeftKinds };

struct LeftOut {
  const char* name;
  const char* why;
};

constexpr LeftOut kLeftOut[kLeftKinds] = {
    {"lang", "left out: the running agent asks its own machine for its locale"},
    {"device", "left out: the running agent has its panel open"},
    {"timer", "left out: the running agent's timer is its own"},
    {"time",
     "set no clock: the running agent keeps its own; each waited as long as it moves the "
     "time on, at most 600 seconds"},
    {"run",
     "left out: the running agent is not started again, the runs go to it one after the "
     "other"},
};

class Planner {
 public:
  Planner(bool restarts, LivePlay& play) : restarts_(restarts), play_(play) {}

  void Caption(std::string_view text) {
    LiveStep step;
    step.kind = LiveStep::Kind::Caption;
    step.caption = text;
    play_.steps.push_back(std::move(step));
  }

  void Wait(double seconds) {
    clock_ += seconds;
    if (!play_.steps.empty() && play_.steps.back().kind == LiveStep::Kind::Wait) {
      play_.steps.back().seconds += seconds;
      return;
    }
    LiveStep step;
    step.kind = LiveStep::Kind::Wait;
    step.seconds = seconds;
    play_.steps.push_back(std::move(step));
  }

  void Take(const Directive& d) {
    if (IsLiveMessage(d.kind)) {
      messageSent_ = true;
      LiveStep step;
      step.message = d;
      play_.steps.push_back(std::move(step));
      return;
    }
    switch (d.kind) {
      case DirectiveKind::Tick:
        if (d.number > 0) Wait(static_cast<double>(d.number));
        break;
      case DirectiveKind::Time: {
        ++left_[kTime];
        const double ahead = static_cast<double>(d.epochSeconds) - clock_;
        if (messageSent_ && ahead > 0) {
          Wait(ahead < kLongestLiveWait ? ahead : kLongestLiveWait);
        }
        clock_ = static_cast<double>(d.epochSeconds);
        break;
      }
      case DirectiveKind::Lang:
      case DirectiveKind::LangNone:
        ++left_[kLang];
        break;
      case DirectiveKind::DeviceNone:
        ++left_[kDevice];
        break;
      case DirectiveKind::Timer:
        ++left_[kTimer];
        break;
      case DirectiveKind::Run:
        // A fresh machine: the time starts again where the replay starts it.
        messageSent_ = false;
        clock_ = static_cast<double>(EpochSecondsOf(kDefaultTime));
        if (!restarts_) {
          ++left_[kRun];
          break;
        }
        {
          LiveStep step;
          step.kind = LiveStep::Kind::Restart;
          step.message = d;
          play_.steps.push_back(std::move(step));
        }
        break;
      default:
        break;
    }
  }

  void Finish() {
    for (size_t kind = 0; kind < kLeftKinds; ++kind) {
      if (left_[kind] == 0) continue;
      play_.skipped.push_back(std::to_string(left_[kind]) + " " + kLeftOut[kind].name +
                              (left_[kind] == 1 ? " line " : " lines ") + kLeftOut[kind].why);
    }
  }

 private:
  bool restarts_;
  LivePlay& play_;
  bool messageSent_ = false;
  // The scenario's time, in seconds, as the replay's virtual clock would have it.
  double clock_ = static_cast<double>(EpochSecondsOf(kDefaultTime));
  size_t left_[kLeftKinds] = {};
};

}  // namespace

bool IsLiveMessage(DirectiveKind kind) {
  switch (kind) {
    case DirectiveKind::Event:
    case DirectiveKind::CopyData:
    case DirectiveKind::Power:
    case DirectiveKind::EndSession:
    case DirectiveKind::Close:
      return true;
    default:
      return false;
  }
}

bool PlanLivePlay(std::string_view text, LivePlayer player, LivePlay& play, std::string& error) {
  const bool demo = player == LivePlayer::Demo;
  play = LivePlay{};
  Scenario scenario;
  ParseError parseError;
  if (!ParseScenario(text, scenario, parseError)) {
    error = "line " + std::to_string(parseError.line) + ": " + parseError.reason;
    return false;
  }
  Planner planner(demo, play);
  size_t next = 0;  // the next directive of the scenario
  size_t number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(start, end - start));
    ++number;
    start = end + 1;
    if (line.starts_with("#") && !demo) continue;  // a sender's comments are comments
    if (line.starts_with("#>")) {
      planner.Caption(Trim(line.substr(2)));
    } else if (line.starts_with("#")) {
      const std::string_view rest = Trim(line.substr(1));
      if (!rest.starts_with("wait ")) continue;  // any other comment
      const std::string_view value = Trim(rest.substr(5));
      int64_t ms = 0;
      if (!ParseSeconds(value, static_cast<int64_t>(kLongestLiveWait), ms)) {
        play = LivePlay{};
        error = "line " + std::to_string(number) + ": wait wants seconds from 0 to 600";
        return false;
      }
      planner.Wait(static_cast<double>(ms) / 1000);
    } else if (next < scenario.directives.size() && scenario.directives[next].line == number) {
      planner.Take(scenario.directives[next++]);
    }
  }
  planner.Finish();
  return true;
}

}  // namespace lumora::scenario
