#pragma once

// The main window `frmMain`: the folder tree, the splitter, the column with
// the page-adjustment and thumbnail panels, the square page preview and the
// memory meter. It runs the program's start-up and shut-down in their order
// and lays its panes out by the rules of main_layout.h at every resize.

#include <QMainWindow>
#include <QStringList>

#include <memory>

#include "acquire/email.h"
#include "app/main_layout.h"
#include "app/splitter.h"
#include "browser/folder_open.h"
#include "browser/slide_show.h"
#include "browser/thumbnail_area.h"
#include "frame/fit_text.h"
#include "frame/notice_window.h"
#include "frame/preferences.h"
#include "frame/tool_enable.h"
#include "layout/layout_page.h"
#include "layout/page_model.h"

class QFrame;
class QIcon;
class QLabel;
class QProgressBar;
class QTimer;

namespace lumaset {

class AboutService;
class AppState;
class CommandSet;
class ContactSheet;
class DownloadCommands;
class EmailCommands;
class FileCommands;
class SaneScanService;
class ScanCommand;
class MailSender;
class EffectCommands;
class FolderTree;
class LayoutDocument;
class PagePrinting;
struct FoundPrinter;
class HelpService;
class MemoryMeter;
class ProgressWindow;
enum class FolderPickMode;
class PagePanel;
class ThumbnailPanel;

class MainWindow : public QMainWindow, private FolderOpenWindow, private LayoutPageWindow {
  Q_OBJECT

 public:
  explicit MainWindow(AppState& app, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Start-up, in its order; each step that fails is skipped.
  void FormLoad();

  // A later copy of the program asked this one to come forward.
  void BringForward();

  // The program's own icon, built into it.
  static QIcon ProgramIcon();

  HelpService& help() { return *help_; }
  CommandSet& commands() { return *commands_; }

  // `ToolEnable`: switches the picture tools on for a placed picture, or off
  // when there is none.
  void ToolEnable(const std::optional<PicturePlace>& place) override;

  // The layout page: its model, its commands and its panels.
  LayoutPage& layoutPage() { return *layout_; }
  // The layout page as a file: New, Open, Save and Save As.
  LayoutDocument& layoutDocument() { return *documents_; }

  // The one progress window, made on first use and kept hidden between uses.
  ProgressWindow& progressWindow();

  // `mnuFileOpen_Click` and `ThumbsOpen`: opening a folder in the panel.
  FolderOpener& folderOpener() { return *opener_; }
  // `TreeView`: "Load", "Display", "Navigate" or "Select" on the folder tree.
  void TreeView(QStringView action, const QString& path = {});

  // `mnuFilePrefs_Click`: the preferences, opened on `tab`, and what their
  // changes ask of the window.
  void mnuFilePrefs_Click(PreferencesTab tab = PreferencesTab::General);

  // Shows the folder picker for one mode; true when the user chose a folder.
  // `scanWindow` is where the scan window stands, for the scan mode.
  bool PickFolder(FolderPickMode mode, std::optional<QRect> scanWindow = std::nullopt);

  // The window's outer measures as its layout rules see them, in twips.
  int OuterWidthTwips() const;
  int OuterHeightTwips() const;
  double twipsPerPixel() const;

  // The panes, for the subsystems that fill them (and for tests).
  FolderTree* dirTree() const { return dirTree_; }
  QFrame* splitterBar() const { return picSplit_; }
  ThumbnailPanel* thumbnailPanel() const { return picPan_; }
  PagePanel* pagePanel() const { return panPrev_; }
  QFrame* adjustPanel() const { return panAdjust_; }
  QProgressBar* memoryMeter() const { return pbarMem_; }
  const Splitter& splitter() const { return splitter_; }

 Q_SIGNALS:
  // The folder picker made a new folder: the folder tree shows it.
  void folderCreated(const QString& folder);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildPanes();
  void BuildCommands();
  void BuildStatusBar();
  void StartAboutBox();
  EventSoundPlayer EventSounds();
  void StartTimer();
  void Timer1_Timer();

  // The folder browser: the tree, the thumbnail panel and opening a folder.
  void ConnectBrowser();
  void ConnectViewing();
  void ShowPreview(const QString& file, float aspect, int index);
  void ShowProperties(int index);
  void mnuViewSlide_Click();

  void ThumbnailBuildStarted();
  void ThumbnailCellsMaking(bool making);
  void ThumbnailBuildFinished();
  void ThumbnailPanelCleared();
  void SetThumbTools(bool enabled);

  // FolderOpenWindow: what opening a folder asks of the main window.
  bool PickPhotoFolder() override;
  bool MakingThumbnails() const override;
  void SetPanelCaption(const QString& text) override;
  void SetFolderCaption(const QString& text) override;
  void SetWindowCaption(const QString& text) override;
  void LetEventsRun() override;
  QString StatusText() const override;
  void SetStatusText(const QString& text) override;  // also the page's
  void ClearEmailList() override;
  void ShowInTree(const QString& folder) override;
  void ClearThumbnails() override;
  QString PageCaption() const override;
  void NewPage() override;
  int MakeThumbnails() override;
  void SetFolderTools(bool hasPictures) override;
  void ShowError(const QString& text) override;  // also the page's
  void ShowNotice(const QString& text) override;

  // The documents: layout files, printing and contact sheets.
  class DocumentsHost;
  void ConnectDocuments();
  void TakePrinter(const std::shared_ptr<FoundPrinter>& found);
  void SetPageBusy(bool busy);

  // Downloads, e-mail, and the thumbnail cell menu's file commands.
  class AcquireHost;
  class FileHost;
  class ScanHost;
  void ConnectAcquire();
  void RunCellCommand(ThumbnailPanel::CellCommand command, int index);
  // A download asked for while thumbnails are made waits for them to stop.
  void RunDownload(void (DownloadCommands::*command)());
  void RunPendingDownloadSoon();

  // The effect commands of the Tools menu on the selected page picture.
  class EffectsHost;
  void ConnectEffects();

  // LayoutPageWindow: what the layout page asks of the main window.
  void ConnectLayoutPage();
  void SetCommandEnabled(QStringView itemOrKey, bool enabled) override;
  void SetCropChecked(bool on) override;
  void SetUndoTip(const QString& tip) override;
  void PopupToolsMenu() override;
  void PopupMenu(QMenu& menu) override;
  void ShowPreview(const QString& file, float aspect) override;
  ThumbTable& Thumbs() override;
  void DropSelection() override;
  void ShowInformation(const QString& text) override;
  void PlaySound(Sound sound, Wait wait) override;
  void FileNew() override;
  bool ThumbSheet() override;
  Imaging::ProgressHandler ImagingProgress() override;

  // Start-up steps that need more than a line.
  void ApplyStoredPlacement();
  void ApplyOptions();
  void SetUpFolders();
  void StartMemoryMeter();

  // Shut-down; false when the window must stay (thumbnails are being made).
  bool FormUnload();
  void SavePlacement();

  // The layout at the present size, applied to the panes. With `shapeLater`
  // the window keeps its size for now and asks for its shape after the event.
  void FormResize(bool shapeLater = false);
  void TakeShape(const MainLayout& layout, bool later);
  void AskForShape();
  QTimer* shapeTimer_ = nullptr;  // asks the window system for the window's shape
  int shapeTries_ = 0;            // requests left before giving up on a refusing window manager
  int ColumnExtra() const;
  bool columnGrew_ = false;  // the page settings asked for a wider column while laying out
  MainLayoutInput LayoutInput() const;
  void ApplyLayout(const MainLayout& layout);
  void ApplySplitterResponse(const SplitterResponse& response);

  // Resizes the window to outer measures in the layout rules' terms.
  void ResizeOuter(int widthTwips, int heightTwips);
  QSize OuterPixels(int widthTwips, int heightTwips) const;
  void KeepOnScreen();
  void LayOutWhileHidden();
  void SettleFrame();
  QPoint placedAt_;             // where the placement put the frame's top-left corner, pixels
  QSize sizeBeforeMaximized_;   // what the window comes back to when it is no longer maximised
  QSize restoringTo_;           // that size, until the window manager has given it back
  bool frameSettled_ = true;    // the frame has been counted since the window was placed
  QRect ToPixels(const TwipsRect& rect) const;
  int ToPixels(int twips) const;
  int ToTwips(int pixels) const;

  AppState& app_;
  std::unique_ptr<HelpService> help_;
  CommandSet* commands_ = nullptr;
  ProgressWindow* progress_ = nullptr;
  std::unique_ptr<MemoryMeter> meter_;
  QTimer* timer1_ = nullptr;
  std::unique_ptr<FolderOpener> opener_;
  EmailList emailList_;          // `lstEmail`: the pictures chosen for e-mail
  QProgressBar* pBar_ = nullptr;  // the thumbnail progress over the status bar's first panel
  QString keptStatus_;           // the first panel's text while thumbnails are made
  bool previewOpen_ = false;
  SlideShowWindow* slideShow_ = nullptr;
  SlideShowMemory slideMemory_;  // where the next show starts, and its music
  Splitter splitter_;
  int treeWidth_ = kDefaultTreeWidth;    // DirTree.Width, twips
  int columnLeft_ = ColumnLeftForTree(kDefaultTreeWidth);  // SplitterLeft
  bool layingOut_ = false;
  bool closing_ = false;
  Status tempFolderMade_;  // why the folder of temporary pictures could not be made at start
  bool pictureToolsOn_ = false;  // a picture is selected: the Tools menu's commands may run
  void (DownloadCommands::*pendingDownload_)() = nullptr;
  bool downloading_ = false;
  bool editorOpen_ = false;  // the Edit command waits for the default editor
  bool closeWhenIdle_ = false;  // Exit was asked for during long page work
  bool closeAfterWaiting_ = false;  // Exit was asked for while commands wait for additions

  FolderTree* dirTree_ = nullptr;
  QFrame* picSplit_ = nullptr;
  ShortenedLabel* labFolder_ = nullptr;
  QFrame* panAdjust_ = nullptr;
  ThumbnailPanel* picPan_ = nullptr;
  PagePanel* panPrev_ = nullptr;
  QProgressBar* pbarMem_ = nullptr;
  QLabel* statusLayout_ = nullptr;
  QLabel* statusMemory_ = nullptr;
  QLabel* statusDate_ = nullptr;
  QLabel* statusTime_ = nullptr;

  // Go before the panes they draw on, the documents before the page.
  std::unique_ptr<LayoutPage> layout_;
  std::unique_ptr<DocumentsHost> documentsHost_;
  std::unique_ptr<LayoutDocument> documents_;
  std::unique_ptr<PagePrinting> printing_;
  std::unique_ptr<ContactSheet> sheet_;
  std::unique_ptr<AcquireHost> acquireHost_;
  std::unique_ptr<MailSender> mail_;
  std::unique_ptr<DownloadCommands> download_;
  std::unique_ptr<EmailCommands> email_;
  std::unique_ptr<FileHost> fileHost_;
  std::unique_ptr<FileCommands> fileCommands_;
  std::unique_ptr<SaneScanService> scanner_;  // started early in start-up, stopped at shut-down
  std::unique_ptr<ScanHost> scanHost_;
  std::unique_ptr<ScanCommand> scan_;
  std::unique_ptr<EffectsHost> effectsHost_;
  std::unique_ptr<EffectCommands> effects_;
  // Last, so that a splash still up goes before the window's panes.
  std::unique_ptr<AboutService> about_;
};

}  // namespace lumaset
