#include "components/editor_command.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <optional>
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

// The Exec line split into words by the rules GIO splits it with (the
// shell's quoting, without expansions).
struct SplitLine {
  std::vector<ExecWord> words;
  bool codeInComment = false;  // a file code stood where the line is a comment
};

SplitLine SplitExec(const QString& exec) {
  SplitLine line;
  Quote quote = Quote::None;
  bool inWord = false;
  ExecWord word;
  const auto endWord = [&] {
    if (inWord) line.words.push_back(word);
    word = {};
    inWord = false;
  };
  for (qsizetype i = 0; i < exec.size(); ++i) {
    const QChar c = exec.at(i);
    const QChar next = i + 1 < exec.size() ? exec.at(i + 1) : QChar();
    // GIO puts the quoted name in place of the code before it splits the
    // line, so a code counts wherever it stands, inside quotes as well.
    if (c == u'%' && !next.isNull()) {
      ++i;
      inWord = true;
      word.text += c;
      word.text += next;
      if (IsFileCode(next)) ++word.fileCodes;
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
      // A name with a line break in it would end the comment early.
      for (; i + 1 < exec.size() && exec.at(i + 1) != u'\n'; ++i) {
        if (exec.at(i) == u'%' && IsFileCode(exec.at(i + 1))) line.codeInComment = true;
      }
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
  return line;
}

// The program a word names, as its package may name it: "/usr/bin/bash-static",
// "python3.11" and Debian's "sh.distrib" are bash, python and sh. A program
// given in an option of a launcher ("--command=sh") is named by the option's
// value.
QString ProgramName(const QString& word) {
  static const QRegularExpression suffix(QStringLiteral("(?:\\.distrib)?(?:-static)?[0-9.]*$"));
  static const QRegularExpression option(QStringLiteral("^--[^=]+="));
  const QString name = QFileInfo(QString(word).remove(option)).fileName();
  const QString bare = QString(name).remove(suffix);
  return bare.isEmpty() ? name : bare;
}

// One word as a program in front may take it apart again: `env -S` and
// terminals split a string into words of their own. A bare file code is
// its own piece; other words are cut at blanks (and at `env -S`'s "\_"),
// lose the quotes such a split would remove, and a string that `env`
// splits loses its option (see SplitStringOption).
struct Piece {
  QString text;
  bool fileCode = false;
};

struct Pieces {
  std::vector<Piece> pieces;
  // `env -S` takes a variable of the environment into what it splits,
  // which may be anything when the program runs.
  bool envVariable = false;
};

// When `word` is `env`'s option that splits a string into words, the
// string given in the same word; empty when the string is the next word.
// The option stands alone, ends a group ("-vS"), or is --split-string or
// any abbreviation of it that env takes ("--sp").
std::optional<QString> SplitStringOption(const QString& word) {
  static const QRegularExpression shortOption(QStringLiteral("^-[a-zA-Z0-9]*S(.*)$"),
                                              QRegularExpression::DotMatchesEverythingOption);
  if (word.startsWith(u"--")) {
    const qsizetype equals = word.indexOf(u'=');
    const QStringView name = QStringView(word).left(equals < 0 ? word.size() : equals);
    if (name.size() < 3 || !QStringView(u"--split-string").startsWith(name)) return std::nullopt;
    return equals < 0 ? QString() : word.mid(equals + 1);
  }
  const QRegularExpressionMatch option = shortOption.match(word);
  if (!option.hasMatch()) return std::nullopt;
  return option.captured(1);
}

Pieces PiecesOf(const std::vector<ExecWord>& words) {
  static const QRegularExpression blanks(QStringLiteral("\\s+|\\\\_"));
  Pieces result;
  bool afterEnv = false;
  bool splitString = false;  // this word is the string of a `-S` word before it
  for (const ExecWord& word : words) {
    if (word.bare()) {
      result.pieces.push_back({word.text, true});
      splitString = false;
      continue;
    }
    const std::optional<QString> option = SplitStringOption(word.text);
    if (afterEnv && (splitString || option) && word.text.contains(u'$')) result.envVariable = true;
    splitString = afterEnv && option && option->isEmpty();
    for (QString part : word.text.split(blanks, Qt::SkipEmptyParts)) {
      if (const std::optional<QString> glued = SplitStringOption(part); glued && !glued->isEmpty()) part = *glued;
      part.remove(QLatin1Char('\'')).remove(QLatin1Char('"'));
      if (part.isEmpty()) continue;
      afterEnv = afterEnv || ProgramName(part) == u"env";
      result.pieces.push_back({part, false});
    }
  }
  return result;
}

bool IsShell(const QString& word) {
  static const QStringList shells{"sh",   "bash", "rbash", "dash", "ash",  "zsh", "rzsh", "ksh", "ksh93",
                                  "mksh", "lksh", "pdksh", "oksh", "loksh", "posh", "yash", "bosh", "fish",
                                  "csh",  "tcsh", "rc",    "es",   "elvish", "xonsh", "nu",  "pwsh"};
  return shells.contains(ProgramName(word));
}

// A program other than a shell that runs a string it is handed as a shell's
// commands: the options that hand it over (each followed by the string, a
// one-letter one also at the end of a group, "-qc"); the options after which
// all its arguments go to a shell as one command line (sudo -s); or, where
// every argument after its name ends up in one command line, neither.
struct CommandRunner {
  QString name;
  QStringList options;
  QStringList shellModes = {};
};

const QList<CommandRunner>& CommandRunners() {
  static const QList<CommandRunner> runners = [] {
    QList<CommandRunner> list{{"script", {"-c", "--command"}},
                              {"su", {"-c", "--command", "--session-command"}},
                              {"runuser", {"-c", "--command", "--session-command"}},
                              {"flock", {"-c", "--command"}},
                              {"sg", {}},
                              {"watch", {}},
                              {"ssh", {}},
                              {"tmux", {}},
                              {"parallel", {}},
                              {"sem", {}},
                              {"sudo", {}, {"-s", "-i", "--shell", "--login"}},
                              // Interpreters run the code they are handed.
                              {"python", {"-c"}},
                              {"perl", {"-e", "-E"}},
                              {"ruby", {"-e"}},
                              {"node", {"-e", "-p", "--eval", "--print"}},
                              {"nodejs", {"-e", "-p", "--eval", "--print"}},
                              {"php", {"-r"}},
                              {"lua", {"-e"}},
                              {"awk", {}},
                              {"gawk", {}},
                              {"mawk", {}}};
    // A terminal hands a lone argument of -e that is no program to $SHELL -c,
    // and some take their command as one string of their own.
    for (const char* terminal : {"xterm", "uxterm", "lxterm", "koi8rxterm", "x-terminal-emulator", "rxvt", "urxvt",
                                 "rxvt-unicode", "aterm", "eterm", "konsole", "gnome-terminal", "mate-terminal",
                                 "xfce4-terminal", "lxterminal", "terminator", "tilix", "qterminal", "sakura",
                                 "terminology", "st", "foot", "alacritty", "kitty", "wezterm"}) {
      list.append({QString::fromLatin1(terminal), {"-e", "-x", "--command", "--execute"}});
    }
    return list;
  }();
  return runners;
}

// Whether `piece` is one of `options`, a one-letter one also within a
// group ("-Es" holds -s) or, with `atEnd`, only at its end ("-qc" holds -c).
bool IsOption(const Piece& piece, const QStringList& options, bool atEnd) {
  if (piece.fileCode) return false;
  const QString& option = piece.text;
  const bool group = option.size() > 2 && option.startsWith(u'-') && !option.startsWith(u"--");
  for (const QString& one : options) {
    if (option == one) return true;
    if (group && one.size() == 2 && (atEnd ? option.endsWith(one.at(1)) : option.mid(1).contains(one.at(1))))
      return true;
  }
  return false;
}

// Whether the runner at `runner` gets a file as the commands it runs.
bool RunsFile(const std::vector<Piece>& pieces, size_t runner, const CommandRunner& how) {
  bool shellMode = how.options.isEmpty() && how.shellModes.isEmpty();  // every argument
  for (size_t i = runner + 1; i < pieces.size(); ++i) {
    if (pieces[i].fileCode && shellMode) return true;
    shellMode = shellMode || IsOption(pieces[i], how.shellModes, false);
    if (!how.options.isEmpty() && i + 1 < pieces.size() && pieces[i + 1].fileCode &&
        IsOption(pieces[i], how.options, true))
      return true;
  }
  return false;
}

// For the shell at `shell` started with -c, the index of its command text;
// pieces.size() when it has no -c.
size_t ShellCommandText(const std::vector<Piece>& pieces, size_t shell) {
  bool commandOption = false;
  size_t i = shell + 1;
  for (; i < pieces.size(); ++i) {
    const QString& option = pieces[i].text;
    if (option == u"--") {
      ++i;
      break;
    }
    if (pieces[i].fileCode || option.size() < 2 || !(option.startsWith(u'-') || option.startsWith(u'+'))) break;
    if (!option.startsWith(u"--") && option.startsWith(u'-') && option.contains(u'c')) commandOption = true;
    // fish runs the string after these before or instead of a script, pwsh
    // after its -Command in any letter case.
    if (option == u"--command" || option == u"--init-command" || option == u"-C" ||
        option.compare(u"-Command", Qt::CaseInsensitive) == 0)
      return i + 1;
    static const QStringList withArgument{"-o", "+o", "-O", "+O", "--rcfile", "--init-file"};
    if (withArgument.contains(option)) ++i;
  }
  return commandOption ? i : pieces.size();
}

// Whether the shell at `shell` takes a file as its command text: from an
// option right after its name, or after a word that a launcher puts between
// ("flatpak run --command=sh APP -c %f" runs sh with what follows APP).
bool ShellRunsFile(const std::vector<Piece>& pieces, size_t shell) {
  for (size_t at = shell; at < pieces.size(); ++at) {
    const QString& word = pieces[at].text;
    if (at != shell && (pieces[at].fileCode || word.startsWith(u'-') || word.startsWith(u'+'))) continue;
    const size_t command = ShellCommandText(pieces, at);
    if (command < pieces.size() && pieces[command].fileCode) return true;
  }
  return false;
}

}  // namespace

Status CheckEditorCommand(const QString& exec) {
  const SplitLine line = SplitExec(exec);
  bool misplaced = line.codeInComment;
  for (const ExecWord& word : line.words) misplaced = misplaced || (word.fileCodes > 0 && !word.bare());
  if (misplaced) {
    return Error{QStringLiteral("Its command line puts the file's name inside quotes, after a backslash or "
                                "together with other text; the name may only stand as an argument of its own.")};
  }
  const Pieces split = PiecesOf(line.words);
  if (split.envVariable) {
    return Error{QStringLiteral("Its command line has env take part of it from a variable of the environment, "
                                "which may hand the file to a shell when it runs.")};
  }
  // Wherever a shell stands (behind nice, env, a terminal or any other
  // program), a file may not be the commands it runs.
  const std::vector<Piece>& pieces = split.pieces;
  const Error toShell{QStringLiteral("Its command line hands the file to a shell as the shell's commands; "
                                     "a file may only follow the commands as an argument of its own.")};
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].fileCode) continue;
    if (IsShell(pieces[i].text)) {
      if (ShellRunsFile(pieces, i)) return toShell;
      continue;
    }
    const QString name = ProgramName(pieces[i].text);
    for (const CommandRunner& runner : CommandRunners()) {
      if (runner.name == name && RunsFile(pieces, i, runner)) return toShell;
    }
  }
  return Status::success();
}

}  // namespace lumaset
