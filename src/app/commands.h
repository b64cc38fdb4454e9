#pragma once

// The main window's commands: its menus and the toolbar `tbToolBar`. Each
// menu item carries the name of its handler's control (`mnuFileNew`) and
// each toolbar button its key ("New"); a button press runs the handler of
// the same menu command, so button and item behave alike.
//
// A command runs the procedure of the subsystem that owns it. Until that
// procedure is wired in, its item and button stay disabled: nothing offers
// a command that cannot run.

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace lumaset {

class CommandSet : public QObject {
  Q_OBJECT

 public:
  // Builds the menu bar and the toolbar of `window`.
  explicit CommandSet(QMainWindow* window);

  // The menu item named by its control name ("mnuFileSave"), or nullptr.
  QAction* Item(QStringView name) const;
  // The toolbar button of a key ("Save"), or nullptr.
  QAction* Button(QStringView key) const;
  // A menu or submenu ("mnuFile", "mnuTool", "mnuToolEffects", "mnuFileOptions").
  QMenu* Menu(QStringView name) const;
  QToolBar* toolBar() const { return toolBar_; }

  // Gives the menu command `name` its procedure and enables its item and
  // the button that runs it.
  void Wire(QStringView name, std::function<void()> handler);
  bool IsWired(QStringView name) const;
  // A checkable command runs when its check changes, whoever changes it: a
  // click, a key or a screen reader's toggle. `isOn` tells the state the
  // command is in, so that showing that state from code runs nothing.
  void WireCheck(QStringView name, std::function<bool()> isOn, std::function<void()> handler);

  // Switches an item (by control name) or a button (by key); a command that
  // has no procedure yet stays disabled.
  void SetEnabled(QStringView itemOrKey, bool enabled);

  // `tbToolBar_ButtonClick`: runs the command of the button with `key`.
  void ButtonClick(QStringView key);

  // While long page work runs (opening a layout, printing, a contact sheet)
  // the menus stay live, but only commands that leave the page alone run:
  // nothing may pull the page from under the running work. The others show
  // disabled meanwhile, and come back as the work (or the page) left them.
  void SetBusy(bool busy);
  bool busy() const { return busy_; }

  // What runs a command that may have to wait (for pictures still being
  // added to the page); without one, commands run at once. Help, the view
  // switches, the about box and Exit never wait.
  using Gate = std::function<void(std::function<void()>)>;
  void SetGate(Gate gate) { gate_ = std::move(gate); }

  // What the "Save" button asks before it saves under the layout's name.
  void SetLayoutTitle(std::function<QString()> title) { layoutTitle_ = std::move(title); }

 private:
  void BuildMenus(QMainWindow* window);
  void BuildToolBar(QMainWindow* window);
  QAction* AddItem(QMenu* menu, const char* name, const char* caption);
  QMenu* AddMenu(QMenu* parent, const char* name, const char* caption);
  // The menu command that a button's key runs ("" for none, "Effects", "Save").
  static QString CommandOfKey(QStringView key);
  bool Allowed(const QAction* action) const;
  // The command an item or button runs ("" for Save and Effects).
  QString CommandOf(const QAction* action) const;
  // Commands that run also during long work, and never wait.
  static bool Free(const QString& name);
  // Commands of the selected thumbnail, which never wait for the page.
  static bool OnThumbnail(const QString& name);
  // Runs the procedure of `name` now, if it has one.
  void Call(const QString& name);
  // Runs `command` through the gate, when there is one.
  void RunGated(std::function<void()> command);
  // Runs a command's procedure unless long work forbids it now.
  void Run(const QString& name);
  // The check of `action`, which runs the command `name`, became `on`.
  void Toggled(const QString& name, QAction* action, bool on);

  QToolBar* toolBar_ = nullptr;
  QHash<QString, QAction*> items_;
  QHash<QString, QAction*> buttons_;
  QHash<QString, QMenu*> menus_;
  QHash<QString, std::function<void()>> handlers_;
  QHash<QString, std::function<bool()>> checkStates_;
  std::function<QString()> layoutTitle_;
  bool busy_ = false;
  // While busy: the state each switched-off command is to take afterwards.
  QHash<QAction*, bool> afterBusy_;
  Gate gate_;
};

}  // namespace lumaset
