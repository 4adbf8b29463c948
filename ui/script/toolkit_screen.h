#pragma once

#include <string>

#include "ui/script/script_engine.h"

namespace kestrune {

/// The inputs of a ScriptedScreen passed on to a window toolkit that has the same input
/// operations under the same names (the host toolkit and the Windows one both do). What the
/// screen shows, and how work reaches the UI thread, stay with the toolkit's own adapter.
template <class Toolkit>
class ToolkitScreen : public ScriptedScreen {
 public:
  explicit ToolkitScreen(Toolkit& toolkit) : toolkit_(toolkit) {}

  std::string PressNext(const Accepted& accepted) override { return toolkit_.PressNext(accepted); }
  std::string PressBack(const Accepted& accepted) override { return toolkit_.PressBack(accepted); }
  std::string PressCancel(const Accepted& accepted) override {
    return toolkit_.PressCancel(accepted);
  }
  std::string RequestClose(const Accepted& accepted) override {
    return toolkit_.RequestClose(accepted);
  }
  std::string SelectComboItem(uint32_t id, int index, const Accepted& accepted) override {
    return toolkit_.SelectComboItem(id, index, accepted);
  }
  std::string ClickButton(uint32_t id, bool checked, const Accepted& accepted) override {
    return toolkit_.ClickButton(id, checked, accepted);
  }
  std::string ClickListCheck(uint32_t id, int row, bool tick, const Accepted& accepted) override {
    return toolkit_.ClickListCheck(id, row, tick, accepted);
  }
  std::string AnswerBox(int button, const Accepted& accepted) override {
    return toolkit_.AnswerBox(button, accepted);
  }
  void EndSession() override { toolkit_.EndSession(0); }

 protected:
  Toolkit& toolkit_;
};

}  // namespace kestrune
