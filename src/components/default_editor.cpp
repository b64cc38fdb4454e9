// GIO's headers use "signals" as a name, which Qt's keywords would take over.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

#include "components/default_editor.h"

#include <QEventLoop>
#include <QMimeDatabase>
#include <QProcess>
#include <QUrl>

#include <memory>

namespace lumaset {

namespace {

// One step of the Exec line's parse: the arguments so far and the one being built.
class ExecParser {
 public:
  ExecParser(const QString& exec, const QString& file, const DesktopEntryFacts& facts)
      : exec_(exec), file_(file), facts_(facts) {}

  Result<QStringList> Parse() {
    for (i_ = 0; i_ < exec_.size(); ++i_) {
      if (Status step = Step(); !step) return Error{step.error()};
    }
    if (quote_ != Quote::None) return Error{QStringLiteral("A quote in \"%1\" is never closed.").arg(exec_)};
    Finish();
    if (arguments_.isEmpty() || arguments_.front().isEmpty())
      return Error{QStringLiteral("\"%1\" names no program.").arg(exec_)};
    if (!fileUsed_) arguments_.append(file_);
    return arguments_;
  }

 private:
  enum class Quote { None, Double, Single };

  Status Step() {
    const QChar c = exec_.at(i_);
    if (quote_ == Quote::Single) {
      if (c == QLatin1Char('\'')) quote_ = Quote::None; else current_ += c;
      return Status::success();
    }
    if (quote_ == Quote::Double) {
      if (c == QLatin1Char('"')) {
        quote_ = Quote::None;
      } else if (c == QLatin1Char('\\') && i_ + 1 < exec_.size() &&
                 QStringLiteral("\"`$\\").contains(exec_.at(i_ + 1))) {
        current_ += exec_.at(++i_);
      } else if (c == QLatin1Char('%')) {
        return FieldCode(false);
      } else {
        current_ += c;
      }
      return Status::success();
    }
    if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
      Finish();
      return Status::success();
    }
    inArgument_ = true;
    written_ = written_ || c != QLatin1Char('%');
    if (c == QLatin1Char('"')) {
      quote_ = Quote::Double;
    } else if (c == QLatin1Char('\'')) {
      quote_ = Quote::Single;
    } else if (c == QLatin1Char('\\') && i_ + 1 < exec_.size()) {
      current_ += exec_.at(++i_);
    } else if (c == QLatin1Char('%')) {
      return FieldCode(true);
    } else {
      current_ += c;
    }
    return Status::success();
  }

  Status FieldCode(bool unquoted) {
    if (i_ + 1 >= exec_.size()) return Error{QStringLiteral("\"%1\" ends in a lone \"%\".").arg(exec_)};
    const QChar code = exec_.at(++i_);
    switch (code.unicode()) {
      case 'f': case 'F': current_ += file_; fileUsed_ = true; break;
      case 'u': case 'U': current_ += QUrl::fromLocalFile(file_).toString(QUrl::FullyEncoded); fileUsed_ = true; break;
      case 'c': current_ += facts_.name; break;
      case 'k': current_ += facts_.entryFile; break;
      case '%': current_ += QLatin1Char('%'); break;
      case 'i': {
        const bool alone = unquoted && current_.isEmpty() &&
                           (i_ + 1 >= exec_.size() || exec_.at(i_ + 1) == QLatin1Char(' '));
        if (alone) {
          iconAlone_ = true;
        } else {
          current_ += facts_.icon;
        }
        break;
      }
      case 'd': case 'D': case 'n': case 'N': case 'v': case 'm': break;
      default: return Error{QStringLiteral("\"%1\" holds the unknown field code \"%%2\".").arg(exec_, code)};
    }
    return Status::success();
  }

  void Finish() {
    if (!inArgument_) return;
    if (iconAlone_) {
      if (!facts_.icon.isEmpty()) arguments_ << QStringLiteral("--icon") << facts_.icon;
    } else if (written_ || !current_.isEmpty()) {
      arguments_.append(current_);
    }
    current_.clear();
    inArgument_ = iconAlone_ = written_ = false;
  }

  const QString& exec_;
  const QString& file_;
  const DesktopEntryFacts& facts_;
  qsizetype i_ = 0;
  Quote quote_ = Quote::None;
  QStringList arguments_;
  QString current_;
  bool inArgument_ = false;
  bool iconAlone_ = false;
  bool written_ = false;  // a quote or a character: the argument stands even when empty
  bool fileUsed_ = false;
};

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};

QString TakeString(gchar* text) {
  const QString result = text ? QString::fromUtf8(text) : QString();
  g_free(text);
  return result;
}

}  // namespace

Result<QStringList> ExpandExecLine(const QString& exec, const QString& file, const DesktopEntryFacts& facts) {
  return ExecParser(exec, file, facts).Parse();
}

Result<std::optional<DesktopLaunch>> FindDefaultEditor(const QString& file) {
  const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
  if (!type.isValid() || type.name().isEmpty()) return std::optional<DesktopLaunch>{};
  const std::unique_ptr<GAppInfo, GObjectUnref> info(
      g_app_info_get_default_for_type(type.name().toUtf8().constData(), FALSE));
  if (!info) return std::optional<DesktopLaunch>{};

  QString exec;
  DesktopEntryFacts facts;
  DesktopLaunch launch;
  facts.name = QString::fromUtf8(g_app_info_get_name(info.get()));
  if (G_IS_DESKTOP_APP_INFO(info.get())) {
    auto* desktop = G_DESKTOP_APP_INFO(info.get());
    exec = TakeString(g_desktop_app_info_get_string(desktop, "Exec"));
    facts.icon = TakeString(g_desktop_app_info_get_string(desktop, "Icon"));
    const char* entry = g_desktop_app_info_get_filename(desktop);
    facts.entryFile = entry ? QString::fromUtf8(entry) : QString();
    launch.workingFolder = TakeString(g_desktop_app_info_get_string(desktop, "Path"));
  } else {
    const char* line = g_app_info_get_commandline(info.get());
    exec = line ? QString::fromUtf8(line) : QString();
  }
  Result<QStringList> expanded = ExpandExecLine(exec, file, facts);
  if (!expanded) {
    return Error{QStringLiteral("The program registered for %1 pictures cannot be started: %2")
                     .arg(type.name(), expanded.error())};
  }
  QStringList arguments = std::move(expanded).value();
  launch.program = arguments.takeFirst();
  launch.arguments = std::move(arguments);
  return std::optional<DesktopLaunch>(std::move(launch));
}

Status RunAndWait(const DesktopLaunch& launch) {
  QProcess process;
  process.setProgram(launch.program);
  process.setArguments(launch.arguments);
  if (!launch.workingFolder.isEmpty()) process.setWorkingDirectory(launch.workingFolder);
  process.setStandardInputFile(QProcess::nullDevice());
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  QEventLoop loop;
  bool failedToStart = false;
  QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
  QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    failedToStart = true;
    loop.quit();
  });
  process.start();
  // A failure to start may already have been reported inside start().
  if (!failedToStart && process.state() != QProcess::NotRunning) loop.exec();
  if (failedToStart || process.error() == QProcess::FailedToStart)
    return Error{QStringLiteral("\"%1\" cannot be started: %2").arg(launch.program, process.errorString())};
  return Status::success();
}

}  // namespace lumaset
