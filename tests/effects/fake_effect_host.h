#pragma once

#include <QColor>
#include <QDir>
#include <QImage>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

#include "components/imaging/imaging.h"
#include "effects/effect_frame.h"
#include "layout/page_model.h"
#include "layout/undo_stack.h"
#include "support/page_builder.h"
#include "support/test_support.h"

namespace lumaset {

// A window and page that remember what an effect asked of them; prompts and
// the palette dialog answer from scripts.
class FakeEffectHost : public EffectHost {
 public:
  PageModel& Page() override { return page; }
  Imaging& imaging() override { return imgx; }
  QString TempImagesFolder() const override { return temp; }
  float ImageRes() const override { return 50; }
  bool ShowProgress() const override { return true; }
  void SetBusy(bool on) override { busy.push_back(on); }
  QString StatusText() const override { return status; }
  void SetStatusText(const QString& text) override {
    status = text;
    statuses << text;
  }
  void ToolEnable(bool on, int slot) override { calls << QStringLiteral("ToolEnable(%1,%2)").arg(on).arg(slot); }
  Status UndoAdd(const QString& kind, const QString& tip) override {
    calls << QStringLiteral("UndoAdd(%1,%2)").arg(kind, tip);
    ++undoDepth;
    return Status::success();
  }
  void UndoAbandon() override {
    calls << QStringLiteral("UndoAbandon");
    --undoDepth;
  }
  void SetPicture(int slot, const QImage& picture) override {
    calls << QStringLiteral("SetPicture(%1)").arg(slot);
    shown = picture;
  }
  void ClickPicture(int slot) override { calls << QStringLiteral("Click(%1)").arg(slot); }
  void EnableSave() override { calls << QStringLiteral("EnableSave"); }
  void ShowError(const QString& text) override { errors << text; }
  void ShowInformation(const QString& text) override { notices << text; }
  std::optional<QString> AskText(const QString& title, const QString& prompt,
                                 const QString& preset) override {
    offered << preset;
    prompts << title + QLatin1Char('|') + prompt;
    if (answers.empty()) return std::nullopt;
    std::optional<QString> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<QString> ChoosePaletteFile(const QString& folder) override {
    calls << QStringLiteral("ChoosePalette(%1)").arg(folder);
    return paletteChoice;
  }
  void PlaySound(Sound sound) override { sounds << static_cast<int>(sound); }
  void PlayEvent(const QString& name) override { events << name; }
  DialogServices EffectDialogServices() override {
    DialogServices services;
    services.progress = progress;
    services.playSound = [this](Sound sound, Wait) { sounds << static_cast<int>(sound); };
    services.showHelp = [this](int topic) { helpTopics << topic; };
    services.pickColor = [this](QWidget*, QColor initial) -> std::optional<QColor> {
      colorOffered << initial;
      if (colors.empty()) return std::nullopt;
      const std::optional<QColor> picked = colors.front();
      colors.pop_front();
      return picked;
    };
    services.showError = [this](QWidget*, const QString& title, const QString& text) {
      errors << title + QLatin1Char('|') + text;
    };
    return services;
  }
  void SetTimerRunning(bool running) override { timer.push_back(running); }

  PageModel page;
  Imaging imgx;
  QString temp;
  QString status = QStringLiteral("Ready");
  std::vector<bool> busy;
  int undoDepth = 0;
  QStringList calls, errors, notices, statuses, offered, prompts, events;
  QList<int> sounds;
  std::deque<std::optional<QString>> answers;
  std::optional<QString> paletteChoice;
  QImage shown;
  ProgressWindow* progress = nullptr;
  std::vector<bool> timer;
  QList<int> helpTopics;
  QList<QColor> colorOffered;
  std::deque<std::optional<QColor>> colors;
};

// Puts a photo of `size`, its left half `left` and its right half `right`, in
// slot 4 of an 8000 x 10000 twip page at `box`, with six temporary pictures
// made so far; returns the photo's path.
inline QString PlacePhoto(FakeEffectHost& host, QSize size, QColor left, QColor right, const PicBox& box) {
  const QString root = test::freshFolder(QStringLiteral("effects")) + QLatin1Char('/');
  host.temp = root + QStringLiteral("temp/");
  QDir().mkpath(host.temp);
  const QString photo = root + QStringLiteral("photo.png");
  EXPECT_TRUE(test::WriteHalves(photo, size, left, right));
  PageModel& page = host.page;
  page.geometry().previewWidth = 8000;
  page.geometry().previewHeight = 10000;
  test::ShowPicture(page, 4, box, photo, 0);
  page.setPicCur(4);
  page.edit().tempCount = 6;
  return photo;
}

}  // namespace lumaset
