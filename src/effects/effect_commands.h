#pragma once

// The effect commands of the Tools menu that work without a dialog: Blur,
// Grayscale, Sharpen and Mirror with fixed values; Dither, Intensify, Mosaic
// and Patchwork, which ask for a number first; Edge Enhance and Soften with
// their fixed kernels; Apply Palette with a palette file; and Rotate, which
// turns the picture and its box a quarter turn. Each runs on the selected
// page picture through the effect frame.

#include <QString>

#include "components/result.h"
#include "effects/effect_frame.h"

namespace lumaset {

// An answer to one of the number prompts, as read and bounded.
struct PromptedNumber {
  // What the prompt offers next time (the answer as read, capped where the
  // command caps it); below the floor when the answer was refused.
  double remembered = 0;
  bool accepted = false;
};

// Reads a prompt's answer by the program's number rule: the longest numeric
// beginning of the text, "" and text without one giving 0. Whole-number
// commands round half to even ("2.5" gives 2, "3.5" gives 4); a value that
// does not fit 32 bits is an error.
Result<PromptedNumber> ReadWholeAnswer(const QString& text, int floor, int cap);
Result<PromptedNumber> ReadIntensity(const QString& text);

class EffectCommands {
 public:
  // `paletteFolder` is where the palette dialog opens.
  EffectCommands(EffectHost& host, QString paletteFolder);

  void mnuToolEffectsBlur_Click();
  void mnuToolEffectsColorGray_Click();
  void mnuToolEffectsSharpen_Click();
  void mnuToolMirror_Click();
  void mnuToolEffectsDither_Click();
  void mnuToolEffectsIntensify_Click();
  void mnuToolEffectsMosaic_Click();
  void mnuToolEffectsPatchwork_Click();
  void mnuToolEffectsEdge_Click();
  void mnuToolEffectsSoften_Click();
  void mnuToolEffectsPalette_Click();
  void mnuToolRotate_Click();
  // The dialog effects: each previews in its dialog and applies on Apply.
  void mnuToolEffectsBC_Click();
  void mnuToolEffectsColorAdjust_Click();
  void mnuToolEffectsColorColorize_Click();
  void mnuToolEffectsColorReplace_Click();
  void mnuToolEffectsEmboss_Click();

  // The answers remembered for the next prompt of this run.
  int ditherColors() const { return ditherColors_; }
  float intensifyLevel() const { return intensifyLevel_; }
  int mosaicBlock() const { return mosaicBlock_; }
  int patchworkBlock() const { return patchworkBlock_; }

 private:
  // Asks for a whole number; the answer is remembered in `value`.
  Status AskWhole(int& value, int floor, int cap, const QString& prompt, const QString& title);

  template <typename Dialog>
  Status RunDialog(Imaging& imaging);

  EffectHost& host_;
  QString paletteFolder_;
  int ditherColors_ = 0;
  float intensifyLevel_ = 0;
  int mosaicBlock_ = 0;
  int patchworkBlock_ = 0;
};

}  // namespace lumaset
