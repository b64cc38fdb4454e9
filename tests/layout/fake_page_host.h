#pragma once

// A main window for the page's editing logic that only remembers what it
// was asked to do.

#include <gtest/gtest.h>

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "layout/page_model.h"
#include "layout/undo_stack.h"
#include "support/page_builder.h"

namespace lumaset::test {

class FakePageHost : public PageEditHost {
 public:
  explicit FakePageHost(PageModel& page) : page_(page) {}

  void ToolEnable(bool enable, int slot) override {
    toolSlot = enable ? slot : -1;
    if (!enable) page_.edit().cropArmed = page_.edit().moving = page_.edit().sizing = false;
  }
  void SetPicture(int slot, const QImage& reduced) override { pictures[slot] = reduced; }
  void PageChanged() override { ++redraws; }
  void ClickPicture(int slot) override { clicked.push_back(slot); }
  void FileNew() override { ++newPages, page_.Clear(); }
  void ClearThumbnailSelection() override { ++thumbClears; }
  void PlaySound(Sound sound) override { sounds.push_back(sound); }
  void ShowError(const QString& text) override { errors << text; }
  void ShowInformation(const QString& text) override { notes << text; }
  void SetEnabled(QStringView itemOrKey, bool on) override { enabled[itemOrKey.toString()] = on; }
  void SetUndoTip(const QString& tip) override { undoTip = tip; }
  void SetPageCaption(const QString& text) override { caption = text; }
  void SetStatusText(const QString& text) override { status = text; }
  float ImageRes() const override { return 350; }
  bool TakeAbortRequest() override { return std::exchange(abort, false); }
  QString WidthText() const override { return widthText; }
  void SetWidthText(const QString& text) override { widthText = text; }
  void SetHeightText(const QString& text) override { heightText = text; }

  bool on(const char* name) const { return enabled.value(QString::fromLatin1(name), false); }

  bool abort = false;  // Esc
  int toolSlot = -1, redraws = 0, newPages = 0, thumbClears = 0;
  std::map<int, QImage> pictures;
  std::vector<int> clicked;
  std::vector<Sound> sounds;
  QStringList errors, notes;
  QHash<QString, bool> enabled;
  QString undoTip, caption, status, widthText, heightText;

 private:
  PageModel& page_;
};

// Puts a picture in the next slot as an addition would, without a file.
inline int PlacePicture(PageModel& page, float left, float top, float width, float height,
                        const QString& file = QStringLiteral("/pictures/photo.jpg")) {
  const int slot = page.picLast() + 1;
  ShowPicture(page, slot, PicBox{left, top, width, height, true}, file);
  return slot;
}

// Boxes agree to a hundredth of a twip: a box that goes through fractions
// of the page and back carries float rounding.
inline ::testing::AssertionResult SameBox(const PicBox& box, const PicBox& expected) {
  const auto near = [](float a, float b) { return std::fabs(a - b) < 0.01f; };
  if (near(box.left, expected.left) && near(box.top, expected.top) && near(box.width, expected.width) &&
      near(box.height, expected.height) && box.visible == expected.visible) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "box " << box.left << ", " << box.top << ", " << box.width << " x "
                                       << box.height << (box.visible ? " shown" : " hidden");
}

}  // namespace lumaset::test
