// The follower's command line on Linux: which sources each command follows after its options,
// over what the configuration file set, and the one line said on a usage mistake.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sources/follow/follow_options.h"

namespace lumora::sources {
namespace {

struct ArgumentsCase {
  const char* name;
  const char* command;
  bool configKodi;  // as the configuration file left them
  bool configMpris;
  std::vector<std::string> args;
  bool kodi;  // what is followed after the arguments
  bool mpris;
  const char* error;  // nullptr: accepted
};

TEST(FollowArguments, SourcesAndMistakes) {
  const ArgumentsCase cases[] = {
      {"every source by default", "follow", true, true, {}, true, true, nullptr},
      {"--only kodi", "follow", true, true, {"--only", "kodi"}, true, false, nullptr},
      {"--only mpris over a file that left the players off",
       "follow",
       true,
       false,
       {"--only", "mpris"},
       false,
       true,
       nullptr},
      {"--no-kodi leaves the players", "follow", true, true, {"--no-kodi"}, false, true, nullptr},
      {"--no-mpris leaves Kodi", "follow", true, true, {"--no-mpris"}, true, false, nullptr},
      {"both off",
       "follow",
       true,
       true,
       {"--no-kodi", "--no-mpris"},
       false,
       false,
       "no source left to follow (both kodi and mpris are off)"},
      {"the file left only Kodi, --no-kodi",
       "follow",
       true,
       false,
       {"--no-kodi"},
       false,
       false,
       "no source left to follow (both kodi and mpris are off)"},
      {"an unknown source",
       "follow",
       true,
       true,
       {"--only", "vlc"},
       true,
       true,
       "--only wants kodi or mpris"},
      {"--only without its value",
       "follow",
       true,
       true,
       {"--only"},
       true,
       true,
       "unknown option or missing value: --only"},
      {"--no- of no source",
       "follow",
       true,
       true,
       {"--no-"},
       true,
       true,
       "unknown option or missing value: --no-"},
      {"kodi takes no --only",
       "kodi",
       true,
       false,
       {"--only", "kodi"},
       true,
       false,
       "unknown option or missing value: --only"},
      {"kodi takes no --no-kodi",
       "kodi",
       true,
       false,
       {"--no-kodi"},
       true,
       false,
       "unknown option or missing value: --no-kodi"},
      {"mpris takes no Kodi host",
       "mpris",
       false,
       true,
       {"--host", "x"},
       false,
       true,
       "unknown option or missing value: --host"},
      {"port at its top", "kodi", true, false, {"--port", "65535"}, true, false, nullptr},
      {"port past its top",
       "kodi",
       true,
       false,
       {"--port", "65536"},
       true,
       false,
       "--port wants a number from 1 to 65535"},
      {"port with a letter",
       "follow",
       true,
       true,
       {"--port", "90x"},
       true,
       true,
       "--port wants a number from 1 to 65535"},
  };
  for (const ArgumentsCase& c : cases) {
    SCOPED_TRACE(c.name);
    FollowOptions options;
    options.command = c.command;
    options.kodi = c.configKodi;
    options.mpris = c.configMpris;
    std::string error;
    const bool accepted = ParseFollowArguments(c.args, options, error);
    if (c.error == nullptr) {
      EXPECT_TRUE(accepted) << error;
      EXPECT_EQ(options.kodi, c.kodi);
      EXPECT_EQ(options.mpris, c.mpris);
    } else {
      EXPECT_FALSE(accepted);
      EXPECT_EQ(error, c.error);
    }
  }
}

}  // namespace
}  // namespace lumora::sources
