#include "ui/host/terminal_layout.h"

#include <gtest/gtest.h>

#include <clocale>

#include "wizard/strings.h"

namespace kestrune::ui::host {
namespace {

/// A window as the host toolkit builds it from a template, with its texts in `language`.
HostWindow FromTemplate(uint32_t templateId, Language language = Language::kEnglish) {
  HostWindow window;
  const DialogTemplate* layout = FindDialogTemplate(templateId);
  for (const TemplateControl& source : layout->controls) {
    ControlModel control;
    control.id = source.id;
    control.kind = source.kind;
    control.x = source.x;
    control.y = source.y;
    control.width = source.width;
    control.height = source.height;
    control.style = source.style;
    control.text = source.textId != 0 ? LoadText(source.textId, language) : L"";
    control.visible = (source.style & control_style::kHidden) == 0;
    window.controls.push_back(control);
  }
  return window;
}

ControlModel& Control(HostWindow& window, uint32_t id) { return *window.Control(id); }

bool Inside(const LayoutItem& inner, const LayoutItem& outer) {
  return inner.row > outer.row && inner.row + inner.height < outer.row + outer.height &&
         inner.column > outer.column && inner.column + inner.width < outer.column + outer.width;
}

bool Overlap(const LayoutItem& a, const LayoutItem& b) {
  return a.row < b.row + b.height && b.row < a.row + a.height && a.column < b.column + b.width &&
         b.column < a.column + a.width;
}

class TerminalLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }
};

// Whatever the size, a control sits inside its group box's frame, apart from the controls
// beside it, and the page uses no more rows than it has unless it cannot shrink any further.
TEST_F(TerminalLayoutTest, ControlsStayInsideTheirFramesAndApartAtEverySize) {
  for (const Language language : {Language::kEnglish, Language::kJapanese}) {
    for (const uint32_t id : {102u, 103u, 106u, 107u, 122u}) {
      HostWindow window = FromTemplate(id, language);
      if (id == 102)
        Control(window, 1101).text = LoadText(205, language) + L"\r\n" + LoadText(206, language);
      for (int width = 30; width <= 96; width += 11) {
        for (int height = 8; height <= 26; height += 3) {
          const WindowLayout layout = LayoutWindow(window, width, height);
          SCOPED_TRACE("template " + std::to_string(id) + " at " + std::to_string(width) + "x" +
                       std::to_string(height));
          std::vector<const LayoutItem*> groups;
          for (const LayoutItem& item : layout.items) {
            EXPECT_GE(item.column, 0);
            EXPECT_LE(item.column + item.width, width) << item.control->id;
            EXPECT_GE(item.height, 1) << item.control->id;
            if (item.control->kind == ControlKind::kGroupBox) groups.push_back(&item);
          }
          for (size_t i = 0; i < layout.items.size(); ++i) {
            const LayoutItem& a = layout.items[i];
            for (size_t j = i + 1; j < layout.items.size(); ++j) {
              const LayoutItem& b = layout.items[j];
              if (a.control->kind == ControlKind::kGroupBox ||
                  b.control->kind == ControlKind::kGroupBox) {
                continue;
              }
              // Only the two progress bars of the Write page share their place.
              if (a.control->kind == ControlKind::kProgress &&
                  b.control->kind == ControlKind::kProgress) {
                continue;
              }
              EXPECT_FALSE(Overlap(a, b)) << a.control->id << " and " << b.control->id;
            }
            if (a.control->kind == ControlKind::kGroupBox) continue;
            for (const LayoutItem* group : groups) {
              const bool heldInTemplate = a.control->x >= group->control->x &&
                                          a.control->y >= group->control->y &&
                                          a.control->y < group->control->y + group->control->height;
              if (heldInTemplate) {
                EXPECT_TRUE(Inside(a, *group)) << a.control->id;
              }
            }
          }
        }
      }
    }
  }
}

TEST_F(TerminalLayoutTest, ListsShrinkToTheirRowsThenScrollWhenThePageIsShort) {
  HostWindow drive = FromTemplate(106);
  ControlModel& list = Control(drive, 1202);
  list.columns = {{L"Disc No.", ColumnAlign::kLeft, 300}, {L"Status", ColumnAlign::kCenter, 200}};
  for (int i = 0; i < 3; ++i) list.rows.push_back({{L"Writing recovery disc", L"Not written"}});

  // Room enough: the list keeps the template's height (40 units, five rows).
  const WindowLayout roomy = LayoutWindow(drive, 76, 30);
  EXPECT_EQ(roomy.Find(1202)->height, 5);
  // Short of room: first the list gives up its empty rows, keeping header and three discs.
  const WindowLayout shorter = LayoutWindow(drive, 76, roomy.height - 1);
  EXPECT_EQ(shorter.Find(1202)->height, 4);
  EXPECT_LE(shorter.height, roomy.height - 1);
  // Shorter still: it keeps three rows and scrolls.
  const WindowLayout tight = LayoutWindow(drive, 76, 12);
  EXPECT_EQ(tight.Find(1202)->height, 3);
  // A hidden control keeps its place: showing it moves nothing.
  Control(drive, 1252).visible = true;
  EXPECT_EQ(LayoutWindow(drive, 76, 30).Find(1202)->row, roomy.Find(1202)->row);
}

TEST_F(TerminalLayoutTest, ANoteBelowACheckBoxLinesUpWithItsLabel) {
  const HostWindow drive = FromTemplate(106);
  const WindowLayout layout = LayoutWindow(drive, 76, 30);
  EXPECT_EQ(layout.Find(1602)->column, layout.Find(1601)->column + kCheckPrefixWidth);
  // The information box: the icon takes two cells and its text follows at once.
  const HostWindow information = FromTemplate(122);
  const WindowLayout box = LayoutWindow(information, 40, 10);
  EXPECT_EQ(box.Find(1501)->width, 2);
  EXPECT_EQ(box.Find(1502)->column, box.Find(1501)->column + 3);
  EXPECT_EQ(box.Find(1502)->row, box.Find(1501)->row);
}

}  // namespace
}  // namespace kestrune::ui::host
