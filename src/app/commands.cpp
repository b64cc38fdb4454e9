#include "app/commands.h"

#include <QAbstractButton>
#include <QAction>
#include <QPointer>
#include <QCursor>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStringList>
#include <QToolBar>

#include <algorithm>

#include "components/theme_icons.h"

namespace lumaset {

namespace {

struct ButtonSpec {
  const char* key;
  const char* tooltip;
  const char* command;  // the menu handler it runs
  std::initializer_list<const char*> icons;
  QStyle::StandardPixmap fallback;
  bool separatorBefore = false;
};

// The toolbar, left to right.
const ButtonSpec kButtons[] = {
    {"New", "New page layout", "mnuFileNew", {"document-new"}, QStyle::SP_FileIcon},
    {"OpenF", "Open picture folder", "mnuFileOpen", {"folder-open"}, QStyle::SP_DirOpenIcon},
    {"OpenP", "Open saved layout page", "mnuFileOpenPage", {"document-open"}, QStyle::SP_DialogOpenButton},
    {"Scan", "Scan an image", "mnuFileScan", {"scanner"}, QStyle::SP_DesktopIcon, true},
    {"Camera", "Download from Camera", "mnuFileDownloadCamera", {"camera-photo"}, QStyle::SP_DriveCDIcon},
    {"Drive", "Download from Drive or USB Camera", "mnufileDownloadDrive",
     {"drive-removable-media", "media-removable"}, QStyle::SP_DriveFDIcon},
    {"Save", "Save (As) Page Layout", "", {"document-save"}, QStyle::SP_DialogSaveButton, true},
    {"Print", "Print layout", "mnuFilePrint", {"document-print"}, QStyle::SP_FileDialogDetailedView},
    {"Options", "View preferences", "mnuFilePrefs", {"preferences-system"}, QStyle::SP_FileDialogInfoView, true},
    {"Properties", "Selected picture properties", "mnuFileOptionsProperties",
     {"document-properties"}, QStyle::SP_MessageBoxInformation, true},
    {"Preview", "Image preview", "mnuFileOptionsView", {"zoom-in", "image-x-generic"}, QStyle::SP_FileDialogContentsView},
    {"Edit", "Edit selected image", "mnuFileOptionsEdit", {"accessories-text-editor"}, QStyle::SP_FileDialogListView},
    {"Refresh", "Refresh layout", "mnuViewRefresh", {"view-refresh"}, QStyle::SP_BrowserReload},
    {"SlideShow", "SlideShow", "mnuViewSlide", {"media-playback-start"}, QStyle::SP_MediaPlay, true},
    {"Thumbnail", "Make thumbnail layout", "mnuViewThumb", {"view-grid", "view-app-grid"}, QStyle::SP_FileDialogListView},
    {"Crop", "Crop selected image", "mnuToolCrop", {"edit-cut"}, QStyle::SP_TitleBarNormalButton, true},
    {"Rotate", "Rotate selected image", "mnuToolRotate", {"object-rotate-right"}, QStyle::SP_BrowserReload},
    {"Front", "Bring selected image to front", "mnuToolPlaceFront", {"go-top"}, QStyle::SP_ArrowUp},
    {"Back", "Send selected image to back", "mnuToolPlaceBack", {"go-bottom"}, QStyle::SP_ArrowDown},
    {"Effects", "Photo effects", "", {"applications-graphics"}, QStyle::SP_DesktopIcon},
    {"Delete", "Delete selected image", "mnuToolDelete", {"edit-delete"}, QStyle::SP_TrashIcon, true},
    {"Undo", "Undo last picture add", "mnuToolUndo", {"edit-undo"}, QStyle::SP_ArrowBack},
    {"Exit", "Exit Lumaset", "mnuFileExit", {"application-exit"}, QStyle::SP_DialogCloseButton, true},
};

}  // namespace

CommandSet::CommandSet(QMainWindow* window) : QObject(window) {
  BuildMenus(window);
  BuildToolBar(window);
}

QAction* CommandSet::AddItem(QMenu* menu, const char* name, const char* caption) {
  auto* action = menu->addAction(QString::fromUtf8(caption));
  const QString key = QLatin1String(name);
  action->setObjectName(key);
  action->setEnabled(false);
  connect(action, &QAction::triggered, this, [this, key, action] {
    if (!action->isCheckable()) Run(key);
  });
  connect(action, &QAction::toggled, this, [this, key, action](bool on) { Toggled(key, action, on); });
  items_.insert(key, action);
  return action;
}

QMenu* CommandSet::AddMenu(QMenu* parent, const char* name, const char* caption) {
  QMenu* menu = parent->addMenu(QString::fromUtf8(caption));
  menu->setObjectName(QLatin1String(name));
  menus_.insert(menu->objectName(), menu);
  return menu;
}

void CommandSet::BuildMenus(QMainWindow* window) {
  QMenuBar* bar = window->menuBar();
  const auto topMenu = [&](const char* name, const char* caption) {
    QMenu* menu = bar->addMenu(QString::fromUtf8(caption));
    menu->setObjectName(QLatin1String(name));
    menus_.insert(menu->objectName(), menu);
    return menu;
  };

  QMenu* file = topMenu("mnuFile", "&File");
  AddItem(file, "mnuFileNew", "&New Page Layout");
  AddItem(file, "mnuFileOpen", "&Open Folder...");
  AddItem(file, "mnuFileOpenPage", "Open Page &Layout...");
  file->addSeparator();
  AddItem(file, "mnuFileScan", "S&can...");
  QMenu* download = AddMenu(file, "mnuFileDownload", "&Download");
  AddItem(download, "mnuFileDownloadCamera", "&Camera");
  AddItem(download, "mnufileDownloadDrive", "&Drive");
  file->addSeparator();
  AddItem(file, "mnuFileSave", "&Save Page Layout");
  AddItem(file, "mnuFileSaveAs", "Save Page Layout &As...");
  file->addSeparator();
  AddItem(file, "mnuFilePrint", "&Print...");
  AddItem(file, "mnuFilePrintSetup", "Print Set&up...");
  file->addSeparator();
  QMenu* options = AddMenu(file, "mnuFileOptions", "&File Options");
  AddItem(options, "mnuFileOptionsUnselect", "&Unselect");
  AddItem(options, "mnuFileOptionsProperties", "&Properties...");
  AddItem(options, "mnuFileOptionsView", "&Image Preview...");
  AddItem(options, "mnuFileOptionsEmail", "Add to Email List");
  options->addSeparator();
  AddItem(options, "mnuFileOptionsRotate", "&Rotate Clockwise");
  AddItem(options, "mnuFileOptionsEdit", "&Edit File...");
  AddItem(options, "mnuFileOptionsCopy", "&Copy File To...");
  AddItem(options, "mnuFileOptionsMove", "&Move File To...");
  AddItem(options, "mnuFileOptionsRename", "Rename &File");
  AddItem(options, "mnuFileOptionsDelete", "&Delete File");
  QMenu* email = AddMenu(file, "mnuFileEmail", "Email Selected Photos");
  AddItem(email, "mnuFileEmailSend", "Compose and Send...");
  AddItem(email, "mnuFileEmailClear", "Clear Selections");
  AddItem(email, "mnuFileEmailReduce", "Reduce Copy Size")->setCheckable(true);
  file->addSeparator();
  AddItem(file, "mnuFilePrefs", "Pre&ferences...");
  file->addSeparator();
  AddItem(file, "mnuFileExit", "E&xit");

  QMenu* view = topMenu("mnuView", "&View");
  AddItem(view, "mnuViewProperties", "&Properties...");
  AddItem(view, "mnuViewImage", "&Image Preview...");
  AddItem(view, "mnuViewEdit", "&Edit Image...");
  view->addSeparator();
  AddItem(view, "mnuViewThumb", "ThumbNail &Layout");
  AddItem(view, "mnuViewSlide", "&SlideShow...");
  view->addSeparator();
  AddItem(view, "mnuViewRefresh", "&Refresh");
  AddItem(view, "mnuViewToolbar", "&Toolbar")->setCheckable(true);
  AddItem(view, "mnuViewStatusBar", "Status &Bar")->setCheckable(true);
  view->addSeparator();
  AddItem(view, "mnuViewOptions", "&Options...");

  QMenu* tool = topMenu("mnuTool", "&Tools");
  AddItem(tool, "mnuToolCrop", "&Crop")->setCheckable(true);
  AddItem(tool, "mnuToolRotate", "&Rotate");
  AddItem(tool, "mnuToolMirror", "&Mirror");
  QMenu* effects = AddMenu(tool, "mnuToolEffects", "&Effects");
  QMenu* colors = AddMenu(effects, "mnuToolEffectsColor", "&Colors");
  AddItem(colors, "mnuToolEffectsColorAdjust", "&Adjust Color...");
  AddItem(colors, "mnuToolEffectsColorColorize", "&Colorize...");
  AddItem(colors, "mnuToolEffectsColorGray", "&Grayscale");
  AddItem(colors, "mnuToolEffectsColorReplace", "&Replace...");
  AddItem(effects, "mnuToolEffectsBC", "&Brightness/Contrast...");
  AddItem(effects, "mnuToolEffectsPalette", "&Apply Palette");
  AddItem(effects, "mnuToolEffectsBlur", "&Blur");
  AddItem(effects, "mnuToolEffectsDither", "&Dither");
  AddItem(effects, "mnuToolEffectsEdge", "&Edge Enhance");
  AddItem(effects, "mnuToolEffectsEmboss", "&Emboss...");
  AddItem(effects, "mnuToolEffectsIntensify", "&Intensify");
  AddItem(effects, "mnuToolEffectsMosaic", "&Mossaic");
  AddItem(effects, "mnuToolEffectsPatchwork", "&Patchwork");
  AddItem(effects, "mnuToolEffectsSharpen", "&Sharpen");
  AddItem(effects, "mnuToolEffectsSoften", "S&often");
  AddItem(tool, "mnuToolFull", "&Full Size");
  tool->addSeparator();
  AddItem(tool, "mnuToolPlaceFront", "&Bring to Front");
  AddItem(tool, "mnuToolPlaceBack", "&Send to Back");
  tool->addSeparator();
  AddItem(tool, "mnuToolCopy", "Cop&y");
  AddItem(tool, "mnuToolCut", "Cu&t");
  AddItem(tool, "mnuToolDelete", "&Delete");
  tool->addSeparator();
  AddItem(tool, "mnuToolUndo", "&Undo");

  QMenu* help = topMenu("mnuHelp", "&Help");
  AddItem(help, "mnuHelpContents", "&Contents");
  AddItem(help, "mnuHelpSearchForHelpOn", "&Search For Help On...");
  help->addSeparator();
  AddItem(help, "mnuHelpAbout", "&About Lumaset...");
}

void CommandSet::BuildToolBar(QMainWindow* window) {
  toolBar_ = window->addToolBar(QStringLiteral("Toolbar"));
  toolBar_->setObjectName(QStringLiteral("tbToolBar"));
  toolBar_->setMovable(false);
  toolBar_->setIconSize(QSize(24, 24));
  for (const ButtonSpec& spec : kButtons) {
    if (spec.separatorBefore) {
      toolBar_->addSeparator();
      // Three separators stand before Exit.
      if (qstrcmp(spec.key, "Exit") == 0) {
        toolBar_->addSeparator();
        toolBar_->addSeparator();
      }
    }
    const QString key = QLatin1String(spec.key);
    QAction* button = toolBar_->addAction(ThemeIcon(spec.icons, spec.fallback), QString());
    button->setObjectName(QStringLiteral("tb") + key);
    button->setToolTip(QString::fromUtf8(spec.tooltip));
    // An icon button is named for screen readers by what its tooltip says.
    button->setText(button->toolTip());
    button->setEnabled(false);
    connect(button, &QAction::triggered, this, [this, key, button] {
      if (!button->isCheckable()) ButtonClick(key);
    });
    connect(button, &QAction::toggled, this,
            [this, key, button](bool on) { Toggled(CommandOfKey(key), button, on); });
    buttons_.insert(key, button);
  }
  // The Crop button stays pressed while crop mode is on. A toggle of the
  // button itself (a screen reader's) reaches its action as a click does.
  QAction* crop = Button(u"Crop");
  crop->setCheckable(true);
  auto* cropButton = qobject_cast<QAbstractButton*>(toolBar_->widgetForAction(crop));
  if (cropButton) connect(cropButton, &QAbstractButton::toggled, crop, &QAction::setChecked);
}

QAction* CommandSet::Item(QStringView name) const { return items_.value(name.toString()); }
QAction* CommandSet::Button(QStringView key) const { return buttons_.value(key.toString()); }
QMenu* CommandSet::Menu(QStringView name) const { return menus_.value(name.toString()); }

QString CommandSet::CommandOfKey(QStringView key) {
  for (const ButtonSpec& spec : kButtons) {
    if (key == QLatin1String(spec.key)) return QLatin1String(spec.command);
  }
  return {};
}

bool CommandSet::IsWired(QStringView name) const { return handlers_.contains(name.toString()); }

void CommandSet::WireCheck(QStringView name, std::function<bool()> isOn, std::function<void()> handler) {
  checkStates_.insert(name.toString(), std::move(isOn));
  Wire(name, std::move(handler));
}

void CommandSet::Toggled(const QString& name, QAction* action, bool on) {
  const auto state = checkStates_.constFind(name);
  if (state == checkStates_.constEnd()) {
    Run(name);
    return;
  }
  if ((*state)() == on) return;
  // A command that cannot run now (busy, not wired) shows its state again.
  if (busy_ && !Free(name)) {
    action->setChecked((*state)());
    return;
  }
  // What the check shows when the command runs is what it is asked for: a
  // command that waits for pictures still being added and is clicked again
  // meanwhile takes the last click, not each in turn.
  const std::function<void()> apply = [this, name, action = QPointer<QAction>(action), isOn = *state] {
    if (!action) return;
    if (isOn() != action->isChecked()) Call(name);
    action->setChecked(isOn());
  };
  if (Free(name) || OnThumbnail(name)) {
    apply();
  } else {
    RunGated(apply);
  }
}

bool CommandSet::Allowed(const QAction* action) const {
  if (!action) return false;
  const QString name = action->objectName();
  if (items_.value(name) == action) return IsWired(name);
  const QString key = name.mid(2);
  if (key == QLatin1String("Save")) return IsWired(u"mnuFileSave") || IsWired(u"mnuFileSaveAs");
  if (key == QLatin1String("Effects")) {
    return std::any_of(handlers_.keyBegin(), handlers_.keyEnd(), [](const QString& wired) {
      return wired.startsWith(QLatin1String("mnuToolEffects"));
    });
  }
  return IsWired(CommandOfKey(key));
}

void CommandSet::Wire(QStringView name, std::function<void()> handler) {
  const QString key = name.toString();
  handlers_.insert(key, std::move(handler));
  if (QAction* item = Item(key)) item->setEnabled(true);
  for (auto button = buttons_.cbegin(); button != buttons_.cend(); ++button) {
    if (Allowed(button.value()) && CommandOfKey(button.key()) == key) button.value()->setEnabled(true);
  }
  if (key == QLatin1String("mnuFileSaveAs")) Button(u"Save")->setEnabled(true);
}

void CommandSet::SetEnabled(QStringView itemOrKey, bool enabled) {
  QAction* action = Item(itemOrKey);
  if (!action) action = Button(itemOrKey);
  if (!action) return;
  const bool on = enabled && Allowed(action);
  if (busy_ && !Free(CommandOf(action))) {
    afterBusy_.insert(action, on);
    return;
  }
  action->setEnabled(on);
}

QString CommandSet::CommandOf(const QAction* action) const {
  const QString name = action->objectName();
  if (items_.value(name) == action) return name;
  return CommandOfKey(name.mid(2));
}

// Help, the view switches and the about box touch no page; Exit ends the
// long work itself before it closes the window.
bool CommandSet::Free(const QString& name) {
  static const QStringList kFree = {
      QStringLiteral("mnuHelpContents"), QStringLiteral("mnuHelpSearchForHelpOn"),
      QStringLiteral("mnuHelpAbout"),    QStringLiteral("mnuViewToolbar"),
      QStringLiteral("mnuViewStatusBar"), QStringLiteral("mnuFileExit")};
  return kFree.contains(name);
}

void CommandSet::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  QList<QAction*> actions = items_.values();
  actions += buttons_.values();
  for (QAction* action : actions) {
    if (Free(CommandOf(action))) continue;
    if (busy) {
      afterBusy_.insert(action, action->isEnabled());
      action->setEnabled(false);
    } else {
      action->setEnabled(afterBusy_.value(action, action->isEnabled()));
    }
  }
  if (!busy) afterBusy_.clear();
}

void CommandSet::RunGated(std::function<void()> command) {
  if (gate_) {
    gate_(std::move(command));
  } else {
    command();
  }
}

// The file commands of the selected thumbnail, and its views, act on the
// thumbnail selected when they are asked for, not on the page.
bool CommandSet::OnThumbnail(const QString& name) {
  return name.startsWith(QLatin1String("mnuFileOptions")) || name == QLatin1String("mnuViewEdit") ||
         name == QLatin1String("mnuViewImage") || name == QLatin1String("mnuViewProperties");
}

void CommandSet::Run(const QString& name) {
  if (busy_ && !Free(name)) return;
  const auto handler = handlers_.constFind(name);
  if (handler == handlers_.constEnd()) return;
  if (Free(name) || OnThumbnail(name)) {
    (*handler)();
  } else {
    RunGated(*handler);
  }
}

void CommandSet::Call(const QString& name) {
  if (const auto handler = handlers_.constFind(name); handler != handlers_.constEnd()) (*handler)();
}

void CommandSet::ButtonClick(QStringView key) {
  if (key == u"Save") {
    // Which of the two is decided when it runs: pictures still being added
    // change what Save may do.
    if (busy_) return;
    RunGated([this] {
      const QAction* save = Item(u"mnuFileSave");
      const bool titled = layoutTitle_ && !layoutTitle_().isEmpty();
      Call(save->isEnabled() && titled ? QStringLiteral("mnuFileSave") : QStringLiteral("mnuFileSaveAs"));
    });
  } else if (key == u"Effects") {
    Menu(u"mnuToolEffects")->popup(QCursor::pos());
  } else {
    Run(CommandOfKey(key));
  }
}

}  // namespace lumaset
