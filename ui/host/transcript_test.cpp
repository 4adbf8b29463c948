#include "ui/host/transcript.h"

#include <gtest/gtest.h>

#include "ui/host/device_watcher.h"
#include "wizard/window_messages.h"

namespace kestrune::ui::host {
namespace {

TEST(TranscriptTest, TextsAreQuotedWithLineBreaksAndQuotesEscaped) {
  EXPECT_EQ(Quote(L"a\nb"), "\"a\\nb\"");
  EXPECT_EQ(Quote(L"line\r\nnext"), "\"line\\nnext\"") << "the edit control's CR LF is one break";
  EXPECT_EQ(Quote(L"label it 'x' \"y\""), "\"label it 'x' \\\"y\\\"\"");
  EXPECT_EQ(Quote(L"( E:\\ ) DVD"), "\"( E:\\ ) DVD\"") << "backslashes stay as they are";
  EXPECT_EQ(Quote(L"\u30c7\u30a3\u30b9\u30af"),
            "\"\xe3\x83\x87\xe3\x82\xa3\xe3\x82\xb9\xe3\x82\xaf\"");
}

TEST(TranscriptTest, BoxLinesNameButtonsAndDefault) {
  MessageBoxState box{400, L"Stop?\nReally?", wm::kMbYesNo | wm::kMbDefButton2};
  EXPECT_EQ(BoxLine(box), "box 400 buttons=YesNo default=No text=\"Stop?\\nReally?\"");
  box = {266, L"Wipe", wm::kMbOkCancel | wm::kMbIconWarning | wm::kMbDefButton2};
  EXPECT_EQ(BoxLine(box), "box 266 buttons=OKCancel default=Cancel text=\"Wipe\"");
  box = {406, L"Done", wm::kMbOk | wm::kMbTopmost};
  EXPECT_EQ(BoxLine(box), "box 406 buttons=OK default=OK text=\"Done\"");
  box = {401, L"", wm::kMbYesNo};
  EXPECT_EQ(box.DefaultButton(), wm::kIdYes);
}

TEST(TranscriptTest, PageDriveRowAndStatusLines) {
  EXPECT_EQ(PageLine("drive", 3, true), "page drive buttons=Back,Next cancel=on");
  EXPECT_EQ(PageLine("write", 0, false), "page write buttons=none cancel=off");
  EXPECT_EQ(PageLine("start", 2, true), "page start buttons=Next cancel=on");
  EXPECT_EQ(PageLine("drive", 1 | 4, true), "page drive buttons=Back cancel=on");
  EXPECT_EQ(DrivesLine({L"( E:\\ ) A ", L"B"}), "drives [\"( E:\\ ) A \",\"B\"]");
  EXPECT_EQ(DrivesLine({}), "drives []");
  EXPECT_EQ(RowLine(2, L"Disc", L""), "row 2 \"Disc\" \"\"");
  EXPECT_EQ(StatusLine(L"Writing (5%)"), "status \"Writing (5%)\"");
  EXPECT_EQ(ButtonFromName("default"), 0);
  EXPECT_EQ(ButtonFromName("yes"), wm::kIdYes);
}

/// Notifications the watcher derives from a sequence of snapshots.
class DeviceWatcherTest : public ::testing::Test {
 protected:
  DeviceWatcherTest()
      : watcher([this](DeviceSnapshot& s) { return s = current, true; },
                [this](uint32_t event, uint32_t mask, uint16_t flags) {
                  events.push_back(std::to_string(event) + "/" + std::to_string(mask) + "/" +
                                   std::to_string(flags));
                }) {
    current.volumes['E'].medium = "blank";
    current.volumes['C'];
    current.devices = "R;";
    watcher.PollNow();
  }

  DeviceSnapshot current;
  std::vector<std::string> events;
  DeviceWatcher watcher;
};

TEST_F(DeviceWatcherTest, NothingChangedNothingPosted) {
  watcher.PollNow();
  EXPECT_TRUE(events.empty());
}

TEST_F(DeviceWatcherTest, APluggedStickIsANewDeviceAndANewVolume) {
  current.devices = "R;D1;";
  current.volumes['F'];
  watcher.PollNow();
  EXPECT_EQ(events, (std::vector<std::string>{"7/0/0", "32768/32/0"}));
  events.clear();
  current.devices = "R;";
  current.volumes.erase('F');
  watcher.PollNow();
  EXPECT_EQ(events, (std::vector<std::string>{"7/0/0", "32772/32/0"}));
}

TEST_F(DeviceWatcherTest, ADiscTakenOutAndAnotherPutInAreMediaEvents) {
  current.volumes['E'].medium = "";
  watcher.PollNow();
  current.volumes['E'].medium = "other";
  watcher.PollNow();
  current.volumes['E'].medium = "third";
  watcher.PollNow();
  EXPECT_EQ(events,
            (std::vector<std::string>{"32772/16/1", "32768/16/1", "32772/16/1", "32768/16/1"}));
}

TEST_F(DeviceWatcherTest, AVanishedDriveTakesItsDiscWithIt) {
  current.volumes.erase('E');
  watcher.PollNow();
  EXPECT_EQ(events, (std::vector<std::string>{"32772/16/1", "32772/16/0"}));
}

}  // namespace
}  // namespace kestrune::ui::host
