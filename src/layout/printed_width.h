#pragma once

// The printed width of the selected picture: the width box `txtWidth` with
// its spinner, the height label `labHeight`, and Full Size. Printed sizes are in the page's unit, inches or
// centimetres, shown with two decimals.

#include <QString>

#include "layout/page_model.h"
#include "layout/undo_stack.h"

namespace lumaset {

// The smallest printed width, 0.5 in or 1 cm, and the spinner's step,
// 0.1 in or 0.2 cm.
float MinimumWidth(bool inches);
double SpinStep(bool inches);

// A printed size as shown, format "0.00": rounded to hundredths, halves to
// even ("0.125" reads "0.12", "0.375" reads "0.38").
QString FormatPrinted(double value);

class PrintedWidth {
 public:
  PrintedWidth(PageModel& page, PageUndo& undo, PageEditHost& host)
      : page_(page), undo_(undo), host_(host) {}

  // `WidthChange`: the width in the width box, kept between the minimum and
  // what the printable page allows at the picture's aspect, is written back
  // and given to the selected picture, which keeps its top-left corner.
  // Without a selected picture only the box's text is cleaned.
  void WidthChange();

  // Enter in the width box (`txtWidth_KeyPress`) and the spinner
  // (`UpDown1_DownClick`, `UpDown1_UpClick`): the user's own width, which
  // records a "Size" step when it reaches a picture.
  void EnterPressed();
  void SpinDown() { Spin(-1); }
  void SpinUp() { Spin(+1); }

  // `mnuToolFull_Click`: the selected picture as large as the printable
  // area allows, at its top-left corner.
  void FullSize();

  // `WidthTyped`: the width change under way is the user's own.
  bool widthTyped() const { return widthTyped_; }

 private:
  void Spin(int direction);
  void TypedWidthChange();

  PageModel& page_;
  PageUndo& undo_;
  PageEditHost& host_;
  bool widthTyped_ = false;
};

}  // namespace lumaset
