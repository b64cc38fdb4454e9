#include "components/editor_command.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace lumaset {

namespace {

enum class Quote { None, Single, Double };

// One word of the Exec line as GIO will split it, with what stands in it.
struct ExecWord {
  QString text;           // with the field codes left as they are
  int fileCodes = 0;      // %f, %F, %u or %U
  bool quoted = false;    // some of it stood in quotes or after a backslash
  bool bare() const { return fileCodes == 1 && !quoted && text.size() == 2; }
};

bool IsFileCode(QChar code) { return QStringView(u"fFuU").contains(code); }

// Inside quotes GIO's own quotes do not keep a name whole: in double quotes
// a name loses '"' and "\\"; in single quotes they cancel out, so only
// characters that no shell or word split treats specially may stand there.
bool ArrivesWholeInQuotes(Quote quote, const QString& text) {
  const auto unsafe = [&](QChar ch) {
    if (quote == Quote::Double) return ch == u'"' || ch == u'\\';
    return !(ch.isLetterOrNumber() || QStringView(u"/._-+,:@=%").contains(ch));
  };
  return std::none_of(text.begin(), text.end(), unsafe);
}

// Splits `exec` into words by the rules GIO splits it with (the shell's
// quoting, without expansions). Returns false when a file code inside quotes
// would not bring its name whole.
bool SplitExec(const QString& exec, const QString& path, const QString& uri, std::vector<ExecWord>& words) {
  Quote quote = Quote::None;
  bool inWord = false;
  ExecWord word;
  const auto endWord = [&] {
    if (inWord) words.push_back(word);
    word = {};
    inWord = false;
  };
  for (qsizetype i = 0; i < exec.size(); ++i) {
    const QChar c = exec.at(i);
    const QChar next = i + 1 < exec.size() ? exec.at(i + 1) : QChar();
    if (c == u'%' && !next.isNull()) {
      ++i;
      inWord = true;
      word.text += c;
      word.text += next;
      if (!IsFileCode(next)) continue;
      ++word.fileCodes;
      if (quote != Quote::None && !ArrivesWholeInQuotes(quote, next.toLower() == u'f' ? path : uri)) return false;
      continue;
    }
    if (quote == Quote::Single) {
      if (c == u'\'') quote = Quote::None;
      else word.text += c;
      continue;
    }
    if (quote == Quote::Double) {
      if (c == u'"') {
        quote = Quote::None;
      } else if (c == u'\\' && QStringView(u"$`\"\\\n").contains(next)) {
        word.text += next;
        ++i;
      } else {
        word.text += c;
      }
      continue;
    }
    if (c == u' ' || c == u'\t' || c == u'\n') {
      endWord();
    } else if (c == u'#' && !inWord) {
      while (i + 1 < exec.size() && exec.at(i + 1) != u'\n') ++i;
    } else {
      inWord = true;
      if (c == u'\'' || c == u'"') {
        quote = c == u'\'' ? Quote::Single : Quote::Double;
        word.quoted = true;
      } else if (c == u'\\') {
        word.quoted = true;
        if (next == u'%') continue;  // GIO expands the code all the same
        if (!next.isNull() && next != u'\n') word.text += next;
        ++i;
      } else {
        word.text += c;
      }
    }
  }
  endWord();
  return true;
}

// The index of the program's word, past `env` and its settings and a
// `busybox` applet name.
size_t ProgramWord(const std::vector<ExecWord>& words) {
  size_t i = 0;
  if (i < words.size() && QFileInfo(words[i].text).fileName() == u"env") {
    ++i;
    while (i < words.size() && (words[i].text.startsWith(u'-') || words[i].text.contains(u'='))) {
      if (words[i].text == u"-u" || words[i].text == u"--unset") ++i;
      ++i;
    }
  }
  if (i < words.size() && QFileInfo(words[i].text).fileName() == u"busybox") ++i;
  return i;
}

bool IsShell(const QString& word) {
  static const QStringList shells{"sh", "bash", "dash", "ash", "zsh", "ksh", "mksh", "lksh", "pdksh",
                                  "posh", "yash", "fish", "csh", "tcsh", "rc", "es"};
  return shells.contains(QFileInfo(word).fileName());
}

// For a shell with -c, the index of its command text; words.size() when
// the line runs no shell with -c.
size_t ShellCommandText(const std::vector<ExecWord>& words) {
  size_t i = ProgramWord(words);
  if (i >= words.size() || !IsShell(words[i].text)) return words.size();
  bool commandOption = false;
  for (++i; i < words.size(); ++i) {
    const QString& option = words[i].text;
    if (option == u"--") {
      ++i;
      break;
    }
    if (option.size() < 2 || !(option.startsWith(u'-') || option.startsWith(u'+'))) break;
    if (!option.startsWith(u"--") && option.startsWith(u'-') && option.contains(u'c')) commandOption = true;
    static const QStringList withArgument{"-o", "+o", "-O", "+O", "--rcfile", "--init-file"};
    if (withArgument.contains(option)) ++i;
  }
  return commandOption ? i : words.size();
}

}  // namespace

Status CheckEditorCommand(const QString& exec, const QString& path, const QString& uri) {
  std::vector<ExecWord> words;
  if (!SplitExec(exec, path, uri, words)) {
    return Error{QStringLiteral("Its command line puts the file inside quotes, where the name \"%1\" would not "
                                "arrive as it is.")
                     .arg(path)};
  }
  const size_t command = ShellCommandText(words);
  for (size_t i = 0; i < words.size() && command < words.size(); ++i) {
    if (words[i].fileCodes == 0 || (i > command && words[i].bare())) continue;
    return Error{QStringLiteral("Its command line hands the file to a shell as part of the shell's commands; "
                                "a file may only follow the commands as an argument of its own.")};
  }
  return Status::success();
}

}  // namespace lumaset
