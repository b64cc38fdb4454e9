// The main window around the effect commands: the Tools menu's effects,
// Mirror and Rotate, and the toolbar's Rotate and Effects buttons. EffectsHost
// carries out for them what touches the window and the page.

#include <QFileDialog>
#include <QLabel>

#include "app/commands.h"
#include "app/main_window.h"
#include "app/main_window_effects.h"
#include "effects/effect_commands.h"
#include "frame/app_state.h"
#include "frame/sounds.h"
#include "layout/layout_page.h"

namespace lumaset {


void MainWindow::ConnectEffects() {
  effectsHost_ = std::make_unique<EffectsHost>(*this);
  effects_ = std::make_unique<EffectCommands>(*effectsHost_,
                                              app_.programFolders.data + QStringLiteral("Palettes"));
  EffectCommands* fx = effects_.get();
  // Each runs on the selected picture only while the picture tools are on,
  // however it is asked for.
  const auto wire = [this, fx](QStringView name, void (EffectCommands::*command)()) {
    commands_->Wire(name, [this, fx, command] {
      if (pictureToolsOn_) (fx->*command)();
    });
  };
  wire(u"mnuToolEffectsBlur", &EffectCommands::mnuToolEffectsBlur_Click);
  wire(u"mnuToolEffectsColorGray", &EffectCommands::mnuToolEffectsColorGray_Click);
  wire(u"mnuToolEffectsSharpen", &EffectCommands::mnuToolEffectsSharpen_Click);
  wire(u"mnuToolMirror", &EffectCommands::mnuToolMirror_Click);
  wire(u"mnuToolRotate", &EffectCommands::mnuToolRotate_Click);
  wire(u"mnuToolEffectsDither", &EffectCommands::mnuToolEffectsDither_Click);
  wire(u"mnuToolEffectsIntensify", &EffectCommands::mnuToolEffectsIntensify_Click);
  wire(u"mnuToolEffectsMosaic", &EffectCommands::mnuToolEffectsMosaic_Click);
  wire(u"mnuToolEffectsPatchwork", &EffectCommands::mnuToolEffectsPatchwork_Click);
  wire(u"mnuToolEffectsEdge", &EffectCommands::mnuToolEffectsEdge_Click);
  wire(u"mnuToolEffectsSoften", &EffectCommands::mnuToolEffectsSoften_Click);
  wire(u"mnuToolEffectsPalette", &EffectCommands::mnuToolEffectsPalette_Click);
  wire(u"mnuToolEffectsBC", &EffectCommands::mnuToolEffectsBC_Click);
  wire(u"mnuToolEffectsColorAdjust", &EffectCommands::mnuToolEffectsColorAdjust_Click);
  wire(u"mnuToolEffectsColorColorize", &EffectCommands::mnuToolEffectsColorColorize_Click);
  wire(u"mnuToolEffectsColorReplace", &EffectCommands::mnuToolEffectsColorReplace_Click);
  wire(u"mnuToolEffectsEmboss", &EffectCommands::mnuToolEffectsEmboss_Click);
}

}  // namespace lumaset
