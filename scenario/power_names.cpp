#include "scenario/power_names.h"

#include <cstdio>

#include "base/platform.h"
#include "scenario/scenario.h"

namespace lumora::scenario {

const std::array<PowerName, 6> kPowerNames{{
    {"suspend", kPbtApmSuspend, "the computer suspends: the panel runs its own clock"},
    {"resume", kPbtApmResumeSuspend, "the user resumed the computer: the panel is rebuilt"},
    {"resume-automatic", kPbtApmResumeAutomatic, "the computer woke by itself: back to normal"},
    {"resume-critical", kPbtApmResumeCritical, "back after a critical suspend: back to normal"},
    {"enter-quiet", kPowerEnterQuiet, "the quiet state begins: only date, time and mark"},
    {"leave-quiet", kPowerLeaveQuiet, "the quiet state ends: the panel is rebuilt"},
}};

bool ParsePowerCode(std::string_view word, uint64_t& code) {
  for (const PowerName& power : kPowerNames) {
    if (word == power.name) {
      code = power.code;
      return true;
    }
  }
  return scenario::ParseDecimal(word, code);
}

std::string PowerNameList(std::string_view indent) {
  std::string text;
  char line[160];
  for (const PowerName& power : kPowerNames) {
    const std::string name(power.name);
    const std::string meaning(power.meaning);
    std::snprintf(line, sizeof line, "%-18s%2u  %s\n", name.c_str(),
                  static_cast<unsigned>(power.code), meaning.c_str());
    text += indent;
    text += line;
  }
  return text;
}

}  // namespace lumora::scenario
