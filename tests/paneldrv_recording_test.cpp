// The recording stand-in of the display library (Linux build of the same source as
// PanelDrv.dll): the trace line of each call, the order, the flush of every line, the open
// failure on request, and no recording without a trace file.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "paneldrv/panel_drv.h"

namespace {

class RecordingPanelDrvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "paneldrv_trace_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    std::remove(path_.c_str());
    setenv("LUMORA_PANEL_TRACE", path_.c_str(), 1);
    unsetenv("LUMORA_PANEL_FAIL");
  }
  void TearDown() override {
    unsetenv("LUMORA_PANEL_TRACE");
    unsetenv("LUMORA_PANEL_FAIL");
    std::remove(path_.c_str());
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream file(path_, std::ios::binary);
    std::string line;
    while (std::getline(file, line))
      lines.push_back(line);
    return lines;
  }

  std::string path_;
};

// "cmd " and the 65 packet bytes as 130 lowercase hexadecimal digits.
const std::string kClearLine = "cmd " + std::string(130, '0');
// Command 2 (line 2), scroll 11, text "Ab" (0x41 0x62), then zero bytes.
const std::string kTextLine =
    "cmd 0000020b00"
    "4162" +
    std::string(116, '0');

TEST_F(RecordingPanelDrvTest, RecordsEveryCallInOrder) {
  int error = 0;
  const int handle = OpenVFD(11853, 16, 16, &error);
  ASSERT_NE(handle, -1);
  EXPECT_EQ(error, 0);

  unsigned char text[65] = {0, 0, 2, 11, 0, 'A', 'b'};
  unsigned char clear[65] = {};
  VFD_Cmd(handle, text);
  VFD_Cmd(handle, clear);
  CloseVFD(handle);

  const std::vector<std::string> expected{"open 11853 16 16", kTextLine, kClearLine, "close"};
  EXPECT_EQ(Lines(), expected);
}

TEST_F(RecordingPanelDrvTest, EachLineReachesTheFileBeforeTheCallReturns) {
  // A killed agent loses nothing: the child is killed without closing the device.
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    int error = 0;
    unsigned char clear[65] = {};
    VFD_Cmd(OpenVFD(11853, 16, 16, &error), clear);
    kill(getpid(), SIGKILL);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));

  const std::vector<std::string> expected{"open 11853 16 16", kClearLine};
  EXPECT_EQ(Lines(), expected);
}

TEST_F(RecordingPanelDrvTest, EveryOpenAppendsToTheTrace) {
  int error = 0;
  CloseVFD(OpenVFD(11853, 16, 16, &error));
  CloseVFD(OpenVFD(1, 2, 3, &error));
  const std::vector<std::string> expected{"open 11853 16 16", "close", "open 1 2 3", "close"};
  EXPECT_EQ(Lines(), expected);
}

TEST_F(RecordingPanelDrvTest, FailsTheOpenWhenAskedAndRecordsIt) {
  setenv("LUMORA_PANEL_FAIL", "1", 1);
  int error = 0;
  EXPECT_EQ(OpenVFD(11853, 16, 16, &error), -1);
  EXPECT_EQ(error, 1167);
  const std::vector<std::string> expected{"open 11853 16 16"};
  EXPECT_EQ(Lines(), expected);
}

TEST_F(RecordingPanelDrvTest, FailsTheOpenWhenTheTraceCannotBeWritten) {
  setenv("LUMORA_PANEL_TRACE", (path_ + ".missing/trace.txt").c_str(), 1);
  int error = 0;
  EXPECT_EQ(OpenVFD(11853, 16, 16, &error), -1);
  EXPECT_EQ(error, 110);
}

TEST_F(RecordingPanelDrvTest, WithoutATraceFileSucceedsAndRecordsNothing) {
  unsetenv("LUMORA_PANEL_TRACE");
  int error = 0;
  const int handle = OpenVFD(11853, 16, 16, &error);
  ASSERT_NE(handle, -1);
  unsigned char clear[65] = {};
  EXPECT_EQ(VFD_Cmd(handle, clear), 1);
  EXPECT_EQ(CloseVFD(handle), 1);
  EXPECT_EQ(error, 0);
  EXPECT_FALSE(std::ifstream(path_).good());
}

}  // namespace
