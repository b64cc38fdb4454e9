#include "frame/help_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <set>
#include <utility>

#include "frame/about_box.h"

namespace lumaset {

namespace {

const QString kMessageTitle = QStringLiteral("Tavrin Lumaset");
const QString kNoHelpMessage = QStringLiteral(
    "Unable to display Help Contents. There is no Help associated with this project.");

// A page of the book is named relative to its folder and stays inside it, so
// a damaged index cannot send the window elsewhere on the disk.
bool isBookPage(const QString& target) {
  const QString page = target.section(QLatin1Char('#'), 0, 0);
  if (page.isEmpty() || page.startsWith(QLatin1Char('/'))) return false;
  if (!QUrl(page).isRelative()) return false;
  return !page.split(QLatin1Char('/')).contains(QStringLiteral(".."));
}

bool isExternal(const QUrl& url) {
  const QString scheme = url.scheme();
  return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
         scheme == QLatin1String("mailto");
}

}  // namespace

// ---------------------------------------------------------------- HelpBook

Result<HelpBook> HelpBook::load(const QString& folder) {
  const QDir dir(folder);
  if (folder.isEmpty() || !dir.exists())
    return Error{QStringLiteral("The help folder %1 does not exist.").arg(QDir::toNativeSeparators(folder))};
  if (!QFileInfo(dir.filePath(QLatin1String(kContentsPage))).isFile())
    return Error{QStringLiteral("The help in %1 has no contents page (%2).")
                     .arg(QDir::toNativeSeparators(folder), QLatin1String(kContentsPage))};

  QFile index(dir.filePath(QLatin1String(kIndexFile)));
  if (!index.open(QIODevice::ReadOnly | QIODevice::Text))
    return Error{QStringLiteral("The help index %1 cannot be read: %2")
                     .arg(QDir::toNativeSeparators(index.fileName()), index.errorString())};

  HelpBook book;
  book.folder_ = dir.absolutePath();
  const Status read = book.readIndex(QString::fromUtf8(index.readAll()), index.fileName());
  if (!read) return Error{read.error()};
  return book;
}

Status HelpBook::readIndex(const QString& text, const QString& name) {
  const QStringList lines = text.split(QLatin1Char('\n'));
  for (int i = 0; i < lines.size(); ++i) {
    const QString line = lines.at(i).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;

    const auto damaged = [&](const QString& why) {
      return Error{QStringLiteral("The help index %1 is damaged at line %2: %3")
                       .arg(QDir::toNativeSeparators(name))
                       .arg(i + 1)
                       .arg(why)};
    };
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    const QString key = line.left(equals).trimmed();
    const QString target = line.mid(equals + 1).trimmed();
    if (equals < 0 || key.isEmpty() || target.isEmpty())
      return damaged(QStringLiteral("a line must read \"keyword = page\"."));
    if (!isBookPage(target)) return damaged(QStringLiteral("\"%1\" is not a page of the help.").arg(target));

    if (key.startsWith(QLatin1Char('@'))) {
      bool isNumber = false;
      const int context = key.mid(1).toInt(&isNumber);
      if (!isNumber) return damaged(QStringLiteral("\"%1\" is not a topic number.").arg(key));
      if (!contexts_.emplace(context, target).second)
        return damaged(QStringLiteral("topic %1 is given twice.").arg(context));
    } else {
      const QString folded = key.toLower();
      if (keywords_.contains(folded)) return damaged(QStringLiteral("\"%1\" is given twice.").arg(key));
      keywords_.insert(folded, Keyword{key, target});
    }
  }
  return Status::success();
}

QUrl HelpBook::contentsUrl() const { return pageUrl(QLatin1String(kContentsPage)); }

std::optional<QUrl> HelpBook::contextUrl(int context) const {
  const auto found = contexts_.find(context);
  if (found == contexts_.end()) return std::nullopt;
  return pageUrl(found->second);
}

std::optional<QUrl> HelpBook::keywordUrl(const QString& partial) const {
  const QString folded = partial.trimmed().toLower();
  if (folded.isEmpty()) return std::nullopt;
  // The exact keyword, when there is one, is the first key not below it.
  const auto found = keywords_.lowerBound(folded);
  if (found == keywords_.end() || !found.key().startsWith(folded)) return std::nullopt;
  return pageUrl(found->target);
}

QStringList HelpBook::keywords() const {
  QStringList all;
  all.reserve(keywords_.size());
  for (const Keyword& keyword : keywords_) all.append(keyword.text);
  return all;
}

QStringList HelpBook::indexedPages() const {
  std::set<QString> pages{QLatin1String(kContentsPage)};
  for (const Keyword& keyword : keywords_) pages.insert(keyword.target.section(QLatin1Char('#'), 0, 0));
  for (const auto& [context, target] : contexts_) pages.insert(target.section(QLatin1Char('#'), 0, 0));
  return QStringList(pages.begin(), pages.end());
}

QUrl HelpBook::pageUrl(const QString& target) const {
  QUrl url = QUrl::fromLocalFile(folder_ + QLatin1Char('/') + target.section(QLatin1Char('#'), 0, 0));
  const QString anchor = target.section(QLatin1Char('#'), 1);
  if (!anchor.isEmpty()) url.setFragment(anchor);
  return url;
}

// -------------------------------------------------------------- HelpWindow

HelpWindow::HelpWindow(HelpBook book, QWidget* parent) : QMainWindow(parent, Qt::Window), book_(std::move(book)) {
  setWindowTitle(QStringLiteral("Lumaset Help"));
  buildLayout();
  resize(760, 560);
}

HelpWindow::~HelpWindow() = default;

void HelpWindow::buildLayout() {
  const auto makeButton = [this](const QString& text, QStyle::StandardPixmap icon, const QString& tip) {
    auto* button = new QToolButton(this);
    button->setText(text);
    button->setIcon(style()->standardIcon(icon));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setToolTip(tip);
    return button;
  };
  back_ = makeButton(QStringLiteral("Back"), QStyle::SP_ArrowBack, QStringLiteral("Show the page before"));
  forward_ = makeButton(QStringLiteral("Forward"), QStyle::SP_ArrowForward, QStringLiteral("Show the next page"));
  contents_ = makeButton(QStringLiteral("Contents"), QStyle::SP_DirHomeIcon, QStringLiteral("Show the contents"));
  back_->setEnabled(false);
  forward_->setEnabled(false);

  keywordField_ = new QLineEdit(this);
  keywordField_->setPlaceholderText(QStringLiteral("Type a keyword"));
  keywordField_->setClearButtonEnabled(true);
  keywordField_->setAccessibleName(QStringLiteral("Keyword"));
  keywordField_->setToolTip(QStringLiteral("Type the first letters of a keyword, then choose it or press Enter"));
  completer_ = new QCompleter(book_.keywords(), this);
  completer_->setCaseSensitivity(Qt::CaseInsensitive);
  completer_->setCompletionMode(QCompleter::PopupCompletion);
  keywordField_->setCompleter(completer_);
  // The list of keywords opens by itself with the search: Esc there closes
  // the window as it does everywhere else in it.
  completer_->popup()->installEventFilter(this);

  browser_ = new QTextBrowser(this);
  browser_->setAccessibleName(QStringLiteral("Help page"));
  browser_->setOpenLinks(false);  // links are followed here, so web links leave for the browser
  browser_->setSearchPaths({book_.folder()});

  notice_ = new QLabel(this);
  notice_->setWordWrap(true);
  notice_->hide();

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back_);
  buttons->addWidget(forward_);
  buttons->addWidget(contents_);
  buttons->addSpacing(12);
  buttons->addWidget(new QLabel(QStringLiteral("Keyword:"), this));
  buttons->addWidget(keywordField_, 1);
  auto* page = new QWidget(this);
  setCentralWidget(page);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(buttons);
  layout->addWidget(notice_);
  layout->addWidget(browser_, 1);

  connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
  connect(contents_, &QToolButton::clicked, this, &HelpWindow::showContents);
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QToolButton::setEnabled);
  connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::openLink);
  connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
          [this](const QString& keyword) { showKeyword(keyword); });
  connect(keywordField_, &QLineEdit::returnPressed, this,
          [this] { showKeyword(keywordField_->text()); });
}

QUrl HelpWindow::currentPage() const { return browser_->source(); }

QString HelpWindow::notice() const { return notice_->text(); }

void HelpWindow::showContents() { showPage(book_.contentsUrl()); }

void HelpWindow::showContext(int context) {
  if (const auto page = book_.contextUrl(context)) {
    showPage(*page);
    return;
  }
  showPage(book_.contentsUrl());
  setNotice(QStringLiteral("There is no help topic number %1; the contents are shown instead.").arg(context));
}

void HelpWindow::startKeywordSearch(const QString& partial) {
  if (browser_->source().isEmpty()) showContents();
  keywordField_->setText(partial);
  keywordField_->setFocus(Qt::OtherFocusReason);
  completer_->setCompletionPrefix(partial);
  // The list is a popup that takes the keyboard: opened before the window
  // manager has made this window the active one, it keeps the window from
  // becoming active, and the keyboard and the screen reader stay where they
  // were. So it opens once the window is active.
  keywordListWanted_ = true;
  if (isActiveWindow()) openKeywordList();
}

void HelpWindow::openKeywordList() {
  keywordListWanted_ = false;
  keywordField_->setFocus(Qt::ActiveWindowFocusReason);
  completer_->complete();
}

bool HelpWindow::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  if (event->type() == QEvent::WindowActivate && keywordListWanted_) openKeywordList();
  return handled;
}

bool HelpWindow::showKeyword(const QString& partial) {
  if (partial.trimmed().isEmpty()) return false;
  if (const auto page = book_.keywordUrl(partial)) {
    showPage(*page);
    return true;
  }
  setNotice(QStringLiteral("No help topic matches \"%1\".").arg(partial.trimmed()));
  return false;
}

void HelpWindow::joinModalDialog(QWidget* dialog) {
  if (dialog == nullptr || dialog == this || dialog_ == dialog) return;
  if (dialog_ != nullptr) dialog_->removeEventFilter(this);
  dialog_ = dialog;
  followWindow(dialog);
  dialog->installEventFilter(this);
}

// The window stays the one it is, wherever the window manager or the user
// put it: only the window it stands for changes, which lets it take input
// while that window is modal. (Taken into the dialog as a child window it
// would be made anew, and placed anew by the window manager.)
void HelpWindow::followWindow(QWidget* owner) {
  winId();
  QWindow* handle = windowHandle();
  if (handle == nullptr) return;
  if (owner != nullptr) owner->winId();
  handle->setTransientParent(owner != nullptr ? owner->windowHandle() : nullptr);
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == completer_->popup() && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
      completer_->popup()->hide();
      close();
      return true;
    }
  }
  if (watched == dialog_ && event->type() == QEvent::Hide) {
    // The dialog is closing and may be deleted next: leave it first.
    watched->removeEventFilter(this);
    dialog_ = nullptr;
    followWindow(nullptr);
  }
  return QMainWindow::eventFilter(watched, event);
}

// Esc reaches the window when the focused control has no use for it.
void HelpWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void HelpWindow::openLink(const QUrl& link) {
  const QUrl target = browser_->source().resolved(link);
  if (isExternal(target)) {
    QDesktopServices::openUrl(target);
    return;
  }
  showPage(target);
}

void HelpWindow::showPage(const QUrl& page) {
  if (!page.isLocalFile() || !QFileInfo(page.toLocalFile()).isFile()) {
    setNotice(QStringLiteral("The help page %1 is missing.").arg(page.toDisplayString(QUrl::PreferLocalFile)));
    return;
  }
  setNotice({});
  if (page == browser_->source()) return;  // keeps the history free of repeats
  browser_->setSource(page);
}

void HelpWindow::setNotice(const QString& text) {
  notice_->setText(text);
  notice_->setVisible(!text.isEmpty());
}

// ------------------------------------------------------------- HelpService

HelpService::HelpService(QString helpFolder, QWidget* messageParent)
    : folder_(std::move(helpFolder)), messageParent_(messageParent) {}

HelpService::~HelpService() { delete window_.data(); }

void HelpService::show(HelpCommand command, int data) {
  if (command == HelpCommand::Quit) {
    delete window_.data();  // also fine when help was never opened
    return;
  }
  if (folder_.isEmpty()) {
    tell(QMessageBox::Information, kNoHelpMessage);
    return;
  }
  HelpWindow* window = openWindow();
  if (window == nullptr) return;
  switch (command) {
    case HelpCommand::Contents:
      window->showContents();
      break;
    case HelpCommand::PartialKey:
      window->startKeywordSearch();
      break;
    case HelpCommand::Context:
      window->showContext(data);
      break;
    case HelpCommand::Quit:
      break;
  }
}

HelpWindow* HelpService::openWindow() {
  // A window closed a moment ago goes with the next turn of the event loop:
  // help asked for meanwhile comes in a new one.
  if (window_ != nullptr && !window_->isVisible()) window_ = nullptr;
  if (window_ == nullptr) {
    Result<HelpBook> book = HelpBook::load(folder_);
    if (!book) {
      tell(QMessageBox::NoIcon, QStringLiteral("Lumaset cannot show its help. ") + book.error());
      return nullptr;
    }
    window_ = new HelpWindow(std::move(book).value());
    window_->setAttribute(Qt::WA_DeleteOnClose);
  }
  if (QWidget* dialog = QApplication::activeModalWidget()) window_->joinModalDialog(dialog);
  window_->show();
  window_->raise();
  window_->activateWindow();
  return window_.data();
}

void HelpService::tell(QMessageBox::Icon icon, const QString& text) const {
  if (sink_) {
    sink_(icon, text);
    return;
  }
  ShowMessageBox(messageParent_.data(), icon, kMessageTitle, text, QMessageBox::Ok);
}

}  // namespace lumaset
