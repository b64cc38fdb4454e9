#pragma once

// The program's help: a book of HTML pages in one folder, with a keyword
// index (keywords.txt) that maps search words and the topic numbers of the
// dialogs' Help buttons to pages, shown in a help window of its own.

#include <QMap>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QMainWindow>

#include <functional>
#include <map>
#include <optional>

#include "components/result.h"

class QCompleter;
class QLabel;
class QLineEdit;
class QTextBrowser;
class QToolButton;

namespace lumaset {

// The help book as data: where its pages are and which page answers a
// keyword or a topic number. Needs no window.
class HelpBook {
 public:
  static constexpr const char* kIndexFile = "keywords.txt";
  static constexpr const char* kContentsPage = "index.html";

  // Reads the keyword index of the book in `folder`. Fails, with a text fit
  // for a message box, when the folder, its contents page or its index is
  // missing, or when the index cannot be understood.
  static Result<HelpBook> load(const QString& folder);

  const QString& folder() const { return folder_; }
  QUrl contentsUrl() const;

  // The page that a dialog asks for by its topic number.
  std::optional<QUrl> contextUrl(int context) const;

  // The page of the keyword that equals `partial`, letter case aside, or
  // else of the first keyword in alphabetical order that begins with it.
  // An empty or blank `partial` finds nothing.
  std::optional<QUrl> keywordUrl(const QString& partial) const;

  // Every keyword, in alphabetical order, as the search offers them.
  QStringList keywords() const;

  // Every page that the index names, relative to the folder and without
  // anchors, each once.
  QStringList indexedPages() const;

  // `target` is a page of the book relative to its folder, with an optional
  // "#anchor".
  QUrl pageUrl(const QString& target) const;

 private:
  struct Keyword {
    QString text;    // as the index spells it
    QString target;  // page relative to the folder, with an optional anchor
  };

  // Fills the keywords and topic numbers from the text of the index file
  // `name`.
  Status readIndex(const QString& text, const QString& name);

  QString folder_;
  QMap<QString, Keyword> keywords_;  // keyed by the keyword in lower case
  std::map<int, QString> contexts_;
};

// The help window: the pages of a book with Back, Forward and Contents, and
// a keyword field that completes what the user types from the book's index.
// A main window of its own, as a screen reader announces it; Esc closes it.
class HelpWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit HelpWindow(HelpBook book, QWidget* parent = nullptr);
  ~HelpWindow() override;

  const HelpBook& book() const { return book_; }

  // The page shown, with its anchor.
  QUrl currentPage() const;

  // The line under the buttons that says what could not be found; empty
  // when all went well.
  QString notice() const;

  void showContents();
  void showContext(int context);

  // Puts the keyword field in charge, with `partial` in it and the matching
  // keywords offered.
  void startKeywordSearch(const QString& partial = {});

  // Shows the page of the keyword that `partial` names; says so under the
  // buttons when none does and returns false.
  bool showKeyword(const QString& partial);

  // A modal dialog blocks every window but its own, so help asked for from
  // a dialog stands for a window of that dialog until the dialog closes, and
  // then for a window of its own again.
  void joinModalDialog(QWidget* dialog);

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void openKeywordList();
  void followWindow(QWidget* owner);
  void buildLayout();
  void openLink(const QUrl& link);
  void showPage(const QUrl& page);
  void setNotice(const QString& text);

  HelpBook book_;
  QTextBrowser* browser_ = nullptr;
  QToolButton* back_ = nullptr;
  QToolButton* forward_ = nullptr;
  QToolButton* contents_ = nullptr;
  QLineEdit* keywordField_ = nullptr;
  QCompleter* completer_ = nullptr;
  QLabel* notice_ = nullptr;
  QPointer<QWidget> dialog_;  // the modal dialog that help was asked from, while it shows
  bool keywordListWanted_ = false;  // the search opens the keyword list once the window is active
};

// What the program asks of its help.
enum class HelpCommand {
  Contents,    // open at the contents page
  PartialKey,  // open the keyword search
  Context,     // open at a dialog's topic, given by number
  Quit,        // close the help window, if it is open
};

// The program's one way into its help. Owns the help window, opening it on
// first use and reusing it while it stays open.
class HelpService {
 public:
  // Where a message goes; the default is a message box over the parent.
  using MessageSink = std::function<void(QMessageBox::Icon, const QString&)>;

  // `helpFolder` is the book's folder; empty when the program has no help.
  HelpService(QString helpFolder, QWidget* messageParent);
  ~HelpService();
  HelpService(const HelpService&) = delete;
  HelpService& operator=(const HelpService&) = delete;

  // `data` is the topic number for Context and is not used otherwise.
  void show(HelpCommand command, int data);

  // The open help window, or nullptr.
  HelpWindow* window() const { return window_.data(); }

  void setMessageSink(MessageSink sink) { sink_ = std::move(sink); }

 private:
  HelpWindow* openWindow();
  void tell(QMessageBox::Icon icon, const QString& text) const;

  QString folder_;
  QPointer<QWidget> messageParent_;
  QPointer<HelpWindow> window_;
  MessageSink sink_;
};

}  // namespace lumaset
