#include "ui/script/script_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrune {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr int kIdNo = 7;

/// A screen on a UI thread of its own: a page whose Next works once it is "ready", a drive
/// list, and message boxes that a test opens. After each posted work it reports idle, as the
/// toolkits do when their queue runs empty.
class FakeScreen : public ScriptedScreen {
 public:
  FakeScreen() : thread_([this] { Loop(); }) {}
  ~FakeScreen() override {
    {
      std::lock_guard lock(mutex_);
      quitting_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  /// The engine to report to (set on the UI thread, which reports).
  void Attach(ScriptEngine* engine) {
    RunOnUi([this, engine] { engine_ = engine; });
  }

  void Post(std::function<void()> work) override {
    {
      std::lock_guard lock(mutex_);
      work_.push_back(std::move(work));
    }
    changed_.notify_all();
  }
  /// Runs `work` on the UI thread and waits for it.
  void RunOnUi(const std::function<void()>& work) {
    std::promise<void> done;
    Post([&] {
      work();
      done.set_value();
    });
    done.get_future().wait();
  }

  std::string PressNext(const Accepted& accepted) override {
    if (!ready) {
      ++refusedNexts;
      return "Next is disabled";
    }
    if (accepted) accepted();
    page = "drive";
    inputs.push_back("next");
    return {};
  }
  std::string PressBack(const Accepted&) override { return "Back is disabled"; }
  std::string PressCancel(const Accepted& accepted) override {
    if (accepted) accepted();
    inputs.push_back("cancel");
    return {};
  }
  std::string RequestClose(const Accepted&) override { return {}; }
  std::string SelectComboItem(uint32_t id, int index, const Accepted& accepted) override {
    if (accepted) accepted();
    inputs.push_back("select " + std::to_string(id) + " " + std::to_string(index));
    return {};
  }
  std::string ClickButton(uint32_t id, bool checked, const Accepted& accepted) override {
    if (accepted) accepted();
    inputs.push_back("click " + std::to_string(id) + (checked ? " on" : " off"));
    return {};
  }
  std::string ClickListCheck(uint32_t id, int row, bool tick, const Accepted& accepted) override {
    if (accepted) accepted();
    inputs.push_back((tick ? "tick " : "untick ") + std::to_string(id) + " " + std::to_string(row));
    return {};
  }
  std::string AnswerBox(int button, const Accepted& accepted) override {
    if (boxes.empty()) return "no box";
    if (accepted) accepted();
    const uint32_t id = boxes.back();
    boxes.pop_back();
    engine_->OnBoxClosed(id, button);
    return {};
  }
  void EndSession() override {
    inputs.push_back("end-session");
    engine_->OnSheetEnded(0);
  }
  std::optional<DriveList> ActiveDriveList() override {
    if (page != "drive") return std::nullopt;
    return drives;
  }
  std::optional<int> OpenBoxDefault() override {
    if (boxes.empty()) return std::nullopt;
    return kIdNo;
  }
  Look LookAtScreen() override {
    Look look;
    look.pageLine = "page " + page + " buttons=Next cancel=on";
    look.status = status;
    return look;
  }
  bool DumpPage(std::vector<std::string>& lines) override {
    lines.push_back("text 1102 \"hello\"");
    return true;
  }
  std::string Snapshot(const std::string& name) override {
    inputs.push_back("snapshot " + name);
    return {};
  }

  /// Opens box `id` (on the UI thread) as the toolkit reports it.
  void OpenBox(uint32_t id) {
    RunOnUi([&] {
      boxes.push_back(id);
      engine_->OnBoxOpened(id, "box " + std::to_string(id), kIdNo);
    });
  }

  // UI thread state (tests change it through RunOnUi).
  std::string page = "start";
  bool ready = false;
  std::wstring status;
  DriveList drives;
  std::vector<uint32_t> boxes;
  std::vector<std::string> inputs;
  int refusedNexts = 0;

 private:
  void Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return quitting_ || !work_.empty(); });
      if (quitting_) return;
      auto work = std::move(work_.front());
      work_.pop_front();
      lock.unlock();
      work();
      if (engine_ != nullptr) engine_->OnIdle();
      lock.lock();
    }
  }

  ScriptEngine* engine_ = nullptr;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> work_;
  bool quitting_ = false;
  std::thread thread_;
};

class ScriptEngineTest : public ::testing::Test {
 protected:
  ScriptEngineTest() { screen_.Attach(&engine_); }
  ~ScriptEngineTest() override {
    engine_.Stop();
    screen_.Attach(nullptr);
  }

  /// Feeds `script` and ends it.
  void Run(const std::string& script) {
    engine_.lines()->Append(script.data(), script.size());
    engine_.lines()->Finish();
    engine_.Start();
  }
  /// Waits until the transcript has a line starting with `prefix`; false after 10 s.
  bool WaitForLine(const std::string& prefix) {
    for (int i = 0; i < 1000; ++i) {
      for (const std::string& line : transcript_.Lines()) {
        if (line.rfind(prefix, 0) == 0) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  /// Waits until `condition` holds on the UI thread; false after 10 s.
  bool WaitOnUi(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000; ++i) {
      bool holds = false;
      screen_.RunOnUi([&] { holds = condition(); });
      if (holds) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  std::vector<std::string> Inputs() {
    std::vector<std::string> inputs;
    screen_.RunOnUi([&] { inputs = screen_.inputs; });
    return inputs;
  }

  Transcript transcript_{nullptr, false};
  FakeScreen screen_;
  ScriptEngine engine_{screen_, transcript_, Options()};

 private:
  static ScriptEngine::Options Options() {
    ScriptEngine::Options options;
    options.timeout = std::chrono::seconds(2);
    return options;
  }
};

TEST(ScriptLinesTest, SplitsAtLineBreaksWhateverTheChunksAndKeepsAnUnendedLastLine) {
  ScriptLines lines;
  const std::string text = "next\r\nwait pa";
  lines.Append(text.data(), text.size());
  lines.Append("ge drive\n\nselect E", 18);
  lines.Finish();
  std::vector<std::string> got;
  for (std::string line; lines.Next(line);) got.push_back(line);
  EXPECT_THAT(got, ElementsAre("next", "wait page drive", "", "select E"));

  ScriptLines interrupted;
  std::thread reader([&] {
    std::string line;
    EXPECT_FALSE(interrupted.Next(line));
  });
  interrupted.Interrupt();
  reader.join();
}

TEST_F(ScriptEngineTest, ACommandThatDoesNotFitYetIsTriedAgainWhenTheScreenChanges) {
  Run("# comments and blank lines are skipped\n\nnext\nselect e\nselect #2\ntick 3\n"
      "compare off\ndisc-type dvd\nsnapshot drive\n");
  // Next was pressed while it was disabled, and nothing after it ran.
  ASSERT_TRUE(WaitOnUi([&] { return screen_.refusedNexts > 0; }));
  EXPECT_THAT(Inputs(), IsEmpty());
  screen_.RunOnUi([&] {
    screen_.drives.entries = {{L"( D:\\ ) DISC", 'D'}, {L"( E:\\ ) DISC", 'E'}};
    screen_.ready = true;
  });
  ASSERT_TRUE(WaitForLine("page drive"));
  // The end of the script waits for the wizard to end; end it once the last command ran.
  ASSERT_TRUE(WaitOnUi(
      [&] { return !screen_.inputs.empty() && screen_.inputs.back() == "snapshot drive"; }));
  screen_.RunOnUi([&] { screen_.EndSession(); });
  engine_.Stop();
  EXPECT_FALSE(engine_.Failed());
  EXPECT_THAT(Inputs(),
              ElementsAre("next", "select 1201 1", "select 1201 1", "tick 1202 2", "click 1601 off",
                          "click 1252 on", "snapshot drive", "end-session"));
}

TEST_F(ScriptEngineTest, AnAnswerGivenBeforeItsBoxOpensAnswersItAsItOpens) {
  Run("answer default\nwait box 400\nanswer yes\n");
  // The answer is kept and the script waits for the box before it opens.
  ASSERT_TRUE(WaitOnUi([&] { return engine_.Waiting(); }));
  screen_.OpenBox(400);  // answered at once with the default button
  screen_.OpenBox(400);  // the wait sees it; the next answer closes it
  ASSERT_TRUE(WaitForLine("answer Yes"));
  screen_.RunOnUi([&] { screen_.EndSession(); });
  engine_.Stop();
  EXPECT_FALSE(engine_.Failed());
  EXPECT_THAT(transcript_.Lines(), ElementsAre("page start buttons=Next cancel=on", "box 400",
                                               "answer No", "box 400", "answer Yes", "end 0"));
}

TEST_F(ScriptEngineTest, AWaitCountsWhatShowedSinceItBeganEvenIfItIsGoneAgain) {
  Run("next\nwait status Burning\nwait box 406\nanswer yes\n");
  screen_.RunOnUi([&] { screen_.ready = true; });
  ASSERT_TRUE(WaitForLine("page drive"));
  ASSERT_TRUE(WaitOnUi([&] { return engine_.Waiting(); })) << "the status wait has begun";
  // Shown and gone again before the script looks: the history still has it.
  screen_.RunOnUi([&] { screen_.status = L"Burning (10%)"; });
  screen_.RunOnUi([&] { screen_.status = L"Verifying"; });
  screen_.OpenBox(406);
  // The session ends only once the script is past its waits.
  ASSERT_TRUE(WaitForLine("answer Yes"));
  screen_.RunOnUi([&] { screen_.EndSession(); });
  engine_.Stop();
  EXPECT_FALSE(engine_.Failed());
  EXPECT_THAT(transcript_.Lines(), Contains("status \"Burning (10%)\""));
}

TEST_F(ScriptEngineTest, ScriptErrorsNameTheirLineAndEndTheSession) {
  struct Case {
    std::string script;
    std::string error;
  };
  const Case cases[] = {
      {"next\n", "script-error 1: Next is disabled"},
      {"\nfly away\n", "script-error 2: unknown command \"fly\""},
      {"wait box 5\n", "script-error 1: waited 1 s for box 5"},
      {"wait status (\n", "script-error 1: bad pattern ("},
      {"tick 0\n", "script-error 1: usage: tick N | untick N"},
      {"select E\n", "script-error 1: the drive list is not showing"},
      {"machine plug usb\n", "script-error 1: no machine to change"},
      {"snapshot ../x\n", "script-error 1: bad snapshot name ../x"},
      {"dump\nwait end\n", "script-error 2: waited 1 s for the end of the wizard"},
  };
  for (const Case& c : cases) {
    Transcript transcript(nullptr, false);
    FakeScreen screen;
    ScriptEngine::Options options;
    options.timeout = std::chrono::milliseconds(1000);
    ScriptEngine engine(screen, transcript, options);
    screen.Attach(&engine);
    engine.lines()->Append(c.script.data(), c.script.size());
    engine.lines()->Finish();
    engine.Start();
    for (int i = 0; i < 500 && !engine.Failed(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    engine.Stop();
    EXPECT_TRUE(engine.Failed()) << c.script;
    EXPECT_THAT(transcript.Lines(), Contains(c.error)) << c.script;
    std::vector<std::string> inputs;
    screen.RunOnUi([&] { inputs = screen.inputs; });
    EXPECT_THAT(inputs, Contains("end-session")) << c.script;
    screen.Attach(nullptr);
  }
}

TEST(ScriptEngineMachineTest, MachineRunsTheToolThenLooksAtTheDevices) {
  std::vector<std::string> ran;
  int polls = 0;
  Transcript transcript(nullptr, false);
  FakeScreen screen;
  ScriptEngine::Options options;
  options.timeout = std::chrono::seconds(2);
  options.runMachineTool = [&](const std::vector<std::string>& arguments) {
    ran.push_back(arguments[0] + " " + arguments[1]);
    return arguments[1] == "broken" ? 3 : 0;
  };
  options.pollDevices = [&] { ++polls; };
  ScriptEngine engine(screen, transcript, options);
  screen.Attach(&engine);
  const std::string script = "machine plug usb\nmachine eject broken\n";
  engine.lines()->Append(script.data(), script.size());
  engine.lines()->Finish();
  engine.Start();
  for (int i = 0; i < 500 && !engine.Failed(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  engine.Stop();
  screen.Attach(nullptr);
  EXPECT_THAT(ran, ElementsAre("plug usb", "eject broken"));
  EXPECT_EQ(polls, 1);
  EXPECT_THAT(transcript.Lines(),
              Contains("script-error 2: kestrune-machine eject failed (exit 3)"));
}

}  // namespace
}  // namespace kestrune
