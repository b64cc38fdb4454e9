#pragma once

// A scan service whose replies the test hands out when it chooses, and a
// scan window host that records what the window was told and answers its
// questions from a script.

#include <QImage>
#include <QStringList>

#include <deque>
#include <optional>

#include "acquire/scan_control.h"

namespace lumaset::test {

class FakeScanService : public ScanService {
 public:
  void Sources(Reply<Result<QList<ScanSource>>> reply) override { sources = std::move(reply); }
  void OpenDefault(const QString& preferred, Reply<Result<ScanReadBack>> reply) override {
    openedWith.append(preferred);
    options = std::move(reply);
  }
  void Select(const QString& name, Reply<Result<ScanReadBack>> reply) override {
    selected.append(name);
    options = std::move(reply);
  }
  void SetPixelType(ScanPixelType type, Reply<Result<ScanReadBack>> reply) override {
    pixelTypes.push_back(type);
    options = std::move(reply);
  }
  void SetResolution(qint32 dotsPerInch, Reply<Result<ScanReadBack>> reply) override {
    resolutions.push_back(dotsPerInch);
    options = std::move(reply);
  }
  void Acquire(const QString& /*preferred*/, Reply<int> progressReply, Reply<Result<QImage>> reply) override {
    progress = std::move(progressReply);
    scan = std::move(reply);
  }
  void Cancel() override { ++cancels; }

  // Hands out the waiting reply of each kind.
  void ReplyOptions(Result<ScanReadBack> back) { std::exchange(options, {})(std::move(back)); }
  void ReplyScan(Result<QImage> picture) { std::exchange(scan, {})(std::move(picture)); }

  Reply<Result<QList<ScanSource>>> sources;
  Reply<Result<ScanReadBack>> options;
  Reply<int> progress;
  Reply<Result<QImage>> scan;
  QStringList openedWith;
  QStringList selected;
  std::vector<ScanPixelType> pixelTypes;
  std::vector<qint32> resolutions;
  int cancels = 0;
};

class FakeScanHost : public ScanWindowHost {
 public:
  void SetCaption(const QString& text) override { caption = text; }
  void SetOptionsText(const QString& text) override { optionsText = text; }
  void SetResolutionItem(const QString& text) override { resolutionItem = text; }
  void SetPixTypeChecked(int index) override { pixTypeChecked = index; }
  void SetShowInterfaceChecked(bool checked) override { showInterface = checked; }
  void ShowPicture(const QImage& shown, const QRectF& at) override {
    picture = shown;
    box = at;
  }
  void ShowSelector(const QRect& rect, bool visible) override {
    selector = rect;
    selectorVisible = visible;
  }
  void SetUndoEnabled(bool enabled) override { undoEnabled = enabled; }
  void SetSaveEnabled(bool enabled) override { saveEnabled = enabled; }
  void SetBusy(bool on) override { busy = on; }
  void ShowProgress(int percent) override { progress = percent; }
  std::optional<QString> AskText(const QString& prompt, const QString& defaultText) override {
    prompts.append(prompt + " [" + defaultText + "]");
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool AskYesNo(const QString& text) override {
    questions.append(text);
    return replaceAnswer;
  }
  void ShowError(const QString& text) override { messages.append("error: " + text); }
  void ShowPlain(const QString& text) override { messages.append("plain: " + text); }
  void ShowNotice(const QString& text) override { messages.append("notice: " + text); }
  std::optional<QString> ChooseSource(const QList<ScanSource>& sources, const QString& /*current*/) override {
    offered = sources;
    return chosenSource;
  }
  bool PickScanFolder() override {
    ++folderPicks;
    return folderPicked;
  }
  void CloseWindow(bool saved) override { closed = saved ? 1 : 0; }

  QString caption, optionsText, resolutionItem;
  int pixTypeChecked = -1;
  bool showInterface = false;
  QImage picture;
  QRectF box;
  QRect selector;
  bool selectorVisible = false, undoEnabled = false, saveEnabled = false, busy = false;
  int progress = -1;
  std::deque<std::optional<QString>> answers;
  QStringList prompts, questions, messages;
  bool replaceAnswer = false;
  QList<ScanSource> offered;
  std::optional<QString> chosenSource;
  int folderPicks = 0;
  bool folderPicked = true;
  int closed = -1;  // -1 open, 0 closed without a save, 1 after a save
};

}  // namespace lumaset::test
