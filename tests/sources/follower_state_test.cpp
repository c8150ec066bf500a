// The follower's word to `lumora status`: the line it writes beside the agent's socket, read
// back; a follower that is gone, a file that is not its line, or a link in its place is no
// follower.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/posix/status_command.h"
#include "sources/follow/follower_state.h"

namespace lumora::sources {
namespace {

class FollowerStateFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/lumora-follower-state-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    folder_ = folder;
    path_ = FollowerStatePath(folder_ + "/agent.sock");
  }
  void TearDown() override { std::system(("rm -rf " + folder_).c_str()); }
  void WriteRaw(const std::string& text) { std::ofstream(path_) << text; }

  std::string folder_;
  std::string path_;
};

TEST_F(FollowerStateFile, ReadsBackWhatTheFollowerWroteAndStatusSaysIt) {
  EXPECT_EQ(path_, folder_ + "/agent.sock.follow");
  FollowerState written;
  written.pid = ::getpid();
  written.session = 3;
  written.application = "desktop players";
  written.player = "chromium\tinstance\n12";  // a name with a tab and a line break
  std::string error;
  ASSERT_TRUE(WriteFollowerState(path_, written, error)) << error;
  FollowerState read;
  ASSERT_TRUE(ReadFollowerState(path_, read));
  EXPECT_EQ(read.pid, written.pid);
  EXPECT_EQ(read.session, 3);
  EXPECT_EQ(read.application, "desktop players");
  EXPECT_EQ(read.player, "chromium instance 12");
  EXPECT_EQ(posix::FormatFollower(read),
            "player: chromium instance 12 (desktop players), session 3\n");

  written.session = -1;
  written.application.clear();
  written.player.clear();
  ASSERT_TRUE(WriteFollowerState(path_, written, error)) << error;
  ASSERT_TRUE(ReadFollowerState(path_, read));
  EXPECT_EQ(posix::FormatFollower(read),
            "player: none (the follower runs; no player has the panel)\n");
}

TEST_F(FollowerStateFile, NoFollowerWithoutALiveProcessOrItsLine) {
  FollowerState read;
  EXPECT_FALSE(ReadFollowerState(path_, read));  // no file
  // A follower killed before it removed its file: its process is gone.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"its process is gone", std::to_string(child) + "\t2\tKodi\tKodi\n"},
      {"three fields", std::to_string(::getpid()) + "\t2\tKodi\n"},
      {"no line end", std::to_string(::getpid()) + "\t2\tKodi\tKodi"},
      {"a pid that is not a number", "me\t2\tKodi\tKodi\n"},
      {"a session that is not a number", std::to_string(::getpid()) + "\ttwo\tKodi\tKodi\n"},
      {"empty", ""},
  };
  for (const auto& c : cases) {
    WriteRaw(c.text);
    EXPECT_FALSE(ReadFollowerState(path_, read)) << c.name;
  }
  // A link in the file's place is not followed, for reading or writing.
  ::unlink(path_.c_str());
  WriteRaw("");
  const std::string target = folder_ + "/elsewhere";
  std::ofstream(target) << ::getpid() << "\t2\tKodi\tKodi\n";
  ::unlink(path_.c_str());
  ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
  EXPECT_FALSE(ReadFollowerState(path_, read));
  ASSERT_EQ(::symlink(target.c_str(), (path_ + ".new").c_str()), 0);
  FollowerState written;
  written.pid = ::getpid();
  std::string error;
  ASSERT_TRUE(WriteFollowerState(path_, written, error)) << error;  // the link is replaced
  std::ifstream kept(target);
  std::string line;
  std::getline(kept, line);
  EXPECT_EQ(line, std::to_string(::getpid()) + "\t2\tKodi\tKodi");
}

}  // namespace
}  // namespace lumora::sources
