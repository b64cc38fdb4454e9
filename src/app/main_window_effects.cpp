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
  commands_->Wire(u"mnuToolEffectsBlur", [fx] { fx->mnuToolEffectsBlur_Click(); });
  commands_->Wire(u"mnuToolEffectsColorGray", [fx] { fx->mnuToolEffectsColorGray_Click(); });
  commands_->Wire(u"mnuToolEffectsSharpen", [fx] { fx->mnuToolEffectsSharpen_Click(); });
  commands_->Wire(u"mnuToolMirror", [fx] { fx->mnuToolMirror_Click(); });
  commands_->Wire(u"mnuToolRotate", [fx] { fx->mnuToolRotate_Click(); });
  commands_->Wire(u"mnuToolEffectsDither", [fx] { fx->mnuToolEffectsDither_Click(); });
  commands_->Wire(u"mnuToolEffectsIntensify", [fx] { fx->mnuToolEffectsIntensify_Click(); });
  commands_->Wire(u"mnuToolEffectsMosaic", [fx] { fx->mnuToolEffectsMosaic_Click(); });
  commands_->Wire(u"mnuToolEffectsPatchwork", [fx] { fx->mnuToolEffectsPatchwork_Click(); });
  commands_->Wire(u"mnuToolEffectsEdge", [fx] { fx->mnuToolEffectsEdge_Click(); });
  commands_->Wire(u"mnuToolEffectsSoften", [fx] { fx->mnuToolEffectsSoften_Click(); });
  commands_->Wire(u"mnuToolEffectsPalette", [fx] { fx->mnuToolEffectsPalette_Click(); });
  commands_->Wire(u"mnuToolEffectsBC", [fx] { fx->mnuToolEffectsBC_Click(); });
  commands_->Wire(u"mnuToolEffectsColorAdjust", [fx] { fx->mnuToolEffectsColorAdjust_Click(); });
  commands_->Wire(u"mnuToolEffectsColorColorize", [fx] { fx->mnuToolEffectsColorColorize_Click(); });
  commands_->Wire(u"mnuToolEffectsColorReplace", [fx] { fx->mnuToolEffectsColorReplace_Click(); });
  commands_->Wire(u"mnuToolEffectsEmboss", [fx] { fx->mnuToolEffectsEmboss_Click(); });
}

}  // namespace lumaset
