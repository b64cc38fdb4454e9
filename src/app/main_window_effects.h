#pragma once

// What the effect commands ask of the main window and its page, carried out
// on it. Private to the main window's files.

#include <QFileDialog>
#include <QLabel>
#include <QTimer>

#include "app/commands.h"
#include "app/main_window.h"
#include "effects/effect_commands.h"
#include "frame/app_state.h"
#include "frame/general.h"
#include "frame/help_window.h"
#include "frame/sounds.h"
#include "layout/layout_page.h"

namespace lumaset {

class MainWindow::EffectsHost : public EffectHost {
 public:
  explicit EffectsHost(MainWindow& window) : w_(window) {}

  PageModel& Page() override { return w_.layout_->model(); }
  Imaging& imaging() override { return w_.app_.imaging(); }
  QString TempImagesFolder() const override { return w_.app_.programFolders.tempImages; }
  float ImageRes() const override { return w_.app_.options.imageRes; }
  bool ShowProgress() const override { return w_.app_.options.showProgress; }

  void SetBusy(bool busy) override { w_.SetPageBusy(busy); }
  QString StatusText() const override { return w_.StatusText(); }
  void SetStatusText(const QString& text) override { w_.SetStatusText(text); }
  void ToolEnable(bool enable, int slot) override { w_.layout_->ToolEnable(enable, slot); }
  Status UndoAdd(const QString& kind, const QString& tip) override {
    return w_.layout_->UndoAdd(kind, tip);
  }
  void UndoAbandon() override { w_.layout_->UndoAbandon(); }
  void SetPicture(int slot, const QImage& picture) override {
    w_.layout_->SetPicture(slot, picture);
    w_.layout_->PageChanged();
  }
  void ClickPicture(int slot) override { w_.layout_->ClickPicture(slot); }
  void EnableSave() override { w_.commands_->SetEnabled(u"mnuFileSave", true); }
  void ShowError(const QString& text) override { w_.ShowError(text); }
  void ShowInformation(const QString& text) override { w_.ShowInformation(text); }

  std::optional<QString> AskText(const QString& title, const QString& prompt,
                                 const QString& preset) override {
    return InputBox(&w_, title, prompt, preset);
  }
  std::optional<QString> ChoosePaletteFile(const QString& folder) override {
    const QString file = QFileDialog::getOpenFileName(&w_, QString(), folder,
                                                      QStringLiteral("Palette Files (*.pal)"));
    return file.isEmpty() ? std::nullopt : std::optional<QString>(file);
  }
  void PlaySound(Sound sound) override { w_.app_.sounds().Play(sound); }
  void PlayEvent(const QString& name) override {
    if (w_.app_.options.genSound) w_.app_.sounds().PlayEvent(name);
  }
  DialogServices EffectDialogServices() override {
    DialogServices services;
    services.parent = &w_;
    services.progress = &w_.progressWindow();
    services.playSound = [this](Sound sound, Wait wait) { w_.app_.sounds().Play(sound, wait); };
    services.showHelp = [this](int topic) { w_.help().show(HelpCommand::Context, topic); };
    return services;
  }
  void SetTimerRunning(bool running) override {
    if (!w_.timer1_) return;
    if (running) {
      w_.timer1_->start();
    } else {
      w_.timer1_->stop();
    }
  }

 private:
  MainWindow& w_;
};

}  // namespace lumaset
