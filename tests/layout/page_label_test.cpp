#include "layout/page_label.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "fake_drawing_host.h"
#include "support/accessibility.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

class FakeLabelHost : public LabelHost {
 public:
  void ToolEnable(bool enable, int slot) override { log << QStringLiteral("tools %1 %2").arg(enable).arg(slot); }
  void PlaySound(Sound sound, Wait wait) override {
    log << QStringLiteral("sound %1%2").arg(static_cast<int>(sound)).arg(wait == Wait::Yes ? " wait" : "");
  }
  std::optional<LabelEntry> ShowLabelDialog(const LabelEntry& shown) override {
    preset = shown;
    log << QStringLiteral("dialog");
    return answer;
  }
  void EnableCommand(const QString& itemOrKey) override { enabled << itemOrKey; }
  void SetPageCrossPointer() override { log << QStringLiteral("cross"); }

  std::optional<LabelEntry> answer;
  LabelEntry preset;
  QStringList log, enabled;
};

struct LabelRig : test::DrawingRig {
  LabelRig() { refresh.Run(); }
  FakeLabelHost labelHost;
  PageLabelCommand command{model, refresh, label, labelHost};
};

const QString kOpen = QStringLiteral("sound %1").arg(static_cast<int>(Sound::Open));
const QString kCloseWaited = QStringLiteral("sound %1 wait").arg(static_cast<int>(Sound::Close));

TEST(PageLabelTest, DialogGrowsWithTheFont) {
  const struct { double size, text, dialog, buttons; } cases[] = {
      {16, 500, 1840, 1140}, {24, 660, 2000, 1300}, {12, 420, 1760, 1060}};
  for (const auto& c : cases) {
    const LabelDialogLayout layout = LabelLayoutFor(c.size);
    EXPECT_EQ(std::tuple(layout.textHeight, layout.dialogHeight, layout.buttonTop),
              std::tuple(c.text, c.dialog, c.buttons));
  }
  EXPECT_EQ(std::tuple(LabelSizeOf(15.75), LabelSizeOf(10.5), LabelSizeOf(11.5)), std::tuple(16, 10, 12));
}

TEST(PageLabelTest, CancelChangesNothingButTheSelection) {
  LabelRig rig;
  rig.model.edit().labelText = QStringLiteral("Old");
  const LabelStyle style = rig.label;
  rig.command.Run();
  EXPECT_EQ(rig.labelHost.log,
            (QStringList{QStringLiteral("tools 0 -1"), kOpen, QStringLiteral("dialog"), kCloseWaited}));
  EXPECT_EQ(rig.labelHost.preset.text, QStringLiteral("Old"));
  EXPECT_EQ(rig.labelHost.preset.pointSize, 16);
  EXPECT_EQ(rig.model.edit().labelText, QStringLiteral("Old"));
  EXPECT_TRUE(rig.label.font == style.font);
  EXPECT_TRUE(rig.label.size == style.size);
  EXPECT_TRUE(rig.labelHost.enabled.isEmpty());
}

TEST(PageLabelTest, OkStoresTheLabelItsLookAndOffersSaving) {
  LabelRig rig;
  rig.model.edit().layoutTitle = QStringLiteral("Trip");
  rig.labelHost.answer = LabelEntry{QStringLiteral("Holiday"), QStringLiteral("Serif"), 15.75, false,
                                    true, QColor(0, 0, 255)};
  rig.command.Run();
  EXPECT_EQ(rig.model.edit().labelText, QStringLiteral("Holiday"));
  EXPECT_EQ(std::tuple(rig.label.font, rig.label.size, rig.label.bold, rig.label.italic, rig.label.color),
            std::tuple(QString("Serif"), 16, false, true, 0xFF0000u)) << "blue is the high byte";
  ASSERT_TRUE(rig.host.scene.label.has_value());
  EXPECT_EQ(rig.host.scene.label->text, QStringLiteral("Holiday"));
  EXPECT_DOUBLE_EQ(rig.host.scene.label->pointSize, 15.75 * rig.model.geometry().fontScale);
  EXPECT_EQ(rig.labelHost.enabled, (QStringList{"mnuFileSave", "mnuFileSaveAs", "Save", "mnuFilePrint", "Print"}));
  EXPECT_EQ(rig.labelHost.log.back(), QStringLiteral("cross"));

  // The next dialog starts from the page's last drawing font and colour.
  rig.labelHost.answer.reset();
  rig.command.Run();
  EXPECT_EQ(rig.labelHost.preset, (LabelEntry{"Holiday", "Serif", 16, false, true, QColor(0, 0, 255)}));
}

TEST(PageLabelTest, OkWithAnEmptyTextRemovesTheLabelOnly) {
  LabelRig rig;
  rig.model.edit().labelText = QStringLiteral("Old");
  rig.refresh.Run();
  ASSERT_TRUE(rig.host.scene.label.has_value());
  const LabelStyle style = rig.label;
  rig.labelHost.answer = LabelEntry{QString(), QStringLiteral("Serif"), 30, false, false, Qt::green};
  rig.command.Run();
  EXPECT_EQ(rig.model.edit().labelText, QString());
  EXPECT_FALSE(rig.host.scene.label.has_value());
  EXPECT_TRUE(rig.label.font == style.font);
  EXPECT_TRUE(rig.label.size == style.size);
  EXPECT_TRUE(rig.labelHost.enabled.isEmpty()) << "removing the label disables nothing either";
  EXPECT_EQ(rig.refresh.pen().color, QColor(Qt::green));
}

TEST(PageLabelTest, DialogButtonsAndFontChoice) {
  LabelEntry chosen{QString(), QStringLiteral("Serif"), 24, false, true, Qt::red};
  bool chooserAnswers = true;
  LabelDialog dialog(nullptr, [&](const LabelEntry& preset, QWidget*) -> std::optional<LabelEntry> {
    EXPECT_EQ(preset.text, QStringLiteral("Typed"));
    if (!chooserAnswers) return std::nullopt;
    return chosen;
  });
  dialog.Preset(LabelEntry{QStringLiteral("Label"), QStringLiteral("Sans"), 16, true, false, Qt::black});
  const int buttonsAt16 = dialog.okButton()->y();
  EXPECT_EQ(test::AccessibilityProblems(&dialog), QStringList());
  // The buttons grew to their texts; the text box still ends with their row.
  EXPECT_EQ(dialog.text1()->geometry().right(), dialog.okButton()->geometry().right());
  dialog.text1()->setText(QStringLiteral("Typed"));

  dialog.cmdFont_Click();
  EXPECT_EQ(dialog.Entry(), (LabelEntry{QStringLiteral("Typed"), QStringLiteral("Serif"), 24, false, true, Qt::red}));
  EXPECT_TRUE(!dialog.text1()->font().bold()) << "bold taken off as well as put on";
  EXPECT_TRUE(dialog.text1()->font().italic()) << "bold taken off as well as put on";
  EXPECT_GT(dialog.okButton()->y(), buttonsAt16);
  chooserAnswers = false;
  dialog.cmdFont_Click();  // cancelled: nothing changes
  EXPECT_EQ(dialog.Entry().pointSize, 24);

  dialog.SetLabelOK(true);
  dialog.cmdDelete_Click();
  EXPECT_TRUE(dialog.text1()->text().isEmpty()) << "Delete empties the box and leaves the choice open";
  EXPECT_TRUE(dialog.labelOK()) << "Delete empties the box and leaves the choice open";
  dialog.cmdCancel_Click();
  EXPECT_FALSE(dialog.labelOK());
}

}  // namespace
}  // namespace lumaset
