#pragma once

// The main window `frmMain`: the folder tree, the splitter, the column with
// the page-adjustment and thumbnail panels, the square page preview and the
// memory meter. It runs the program's start-up and shut-down in their order
// and lays its panes out by the rules of main_layout.h at every resize.

#include <QMainWindow>

#include <memory>

#include "frame/main_layout.h"
#include "frame/splitter.h"

class QFrame;
class QLabel;
class QProgressBar;
class QTreeWidget;

namespace lumaset {

class AppState;
class HelpService;
class PagePanel;
class ThumbnailPanel;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(AppState& app, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Start-up, in its order; each step that fails is skipped.
  void FormLoad();

  // A later copy of the program asked this one to come forward.
  void BringForward();

  HelpService& help() { return *help_; }

  // The window's outer measures as its layout rules see them, in twips.
  int OuterWidthTwips() const;
  int OuterHeightTwips() const;
  double twipsPerPixel() const;

  // The panes, for the subsystems that fill them (and for tests).
  QTreeWidget* dirTree() const { return dirTree_; }
  QFrame* splitterBar() const { return picSplit_; }
  ThumbnailPanel* thumbnailPanel() const { return picPan_; }
  PagePanel* pagePanel() const { return panPrev_; }
  QFrame* adjustPanel() const { return panAdjust_; }
  QProgressBar* memoryMeter() const { return pbarMem_; }
  const Splitter& splitter() const { return splitter_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildPanes();
  void BuildMenus();
  void BuildStatusBar();

  // Start-up steps that need more than a line.
  void ApplyStoredPlacement();
  void ApplyOptions();
  void SetUpFolders();
  void StartMemoryMeter();

  // Shut-down; false when the window must stay (thumbnails are being made).
  bool FormUnload();
  void SavePlacement();

  // The layout at the present size, applied to the panes.
  void FormResize();
  MainLayoutInput LayoutInput() const;
  void ApplyLayout(const MainLayout& layout);
  void ApplySplitterResponse(const SplitterResponse& response);

  // Resizes the window to outer measures in the layout rules' terms.
  void ResizeOuter(int widthTwips, int heightTwips);
  void KeepOnScreen();
  QRect ToPixels(const TwipsRect& rect) const;
  int ToPixels(int twips) const;
  int ToTwips(int pixels) const;

  AppState& app_;
  std::unique_ptr<HelpService> help_;
  Splitter splitter_;
  int treeWidth_ = kDefaultTreeWidth;    // DirTree.Width, twips
  int columnLeft_ = ColumnLeftForTree(kDefaultTreeWidth);  // SplitterLeft
  bool layingOut_ = false;
  bool closing_ = false;

  QTreeWidget* dirTree_ = nullptr;
  QFrame* picSplit_ = nullptr;
  QLabel* labFolder_ = nullptr;
  QFrame* panAdjust_ = nullptr;
  QLabel* printerName_ = nullptr;
  ThumbnailPanel* picPan_ = nullptr;
  PagePanel* panPrev_ = nullptr;
  QProgressBar* pbarMem_ = nullptr;
  QLabel* statusLayout_ = nullptr;
  QLabel* statusMemory_ = nullptr;
  QLabel* statusDate_ = nullptr;
  QLabel* statusTime_ = nullptr;
};

}  // namespace lumaset
