// GIO's headers use "signals" as a name, which Qt's keywords would take over.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

#include "components/default_editor.h"

#include <QEventLoop>
#include <QFile>
#include <QMimeDatabase>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumaset {

namespace {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};

// Lets events run until the child `pid` has ended, then reaps it. The
// process's own descriptor tells when it ends; where the system has none,
// the child is looked at a few times a second.
void WaitForChild(pid_t pid) {
  QEventLoop loop;
  const auto ended = [&] {
    // -1: someone else reaped it, so it has ended as well.
    if (::waitpid(pid, nullptr, WNOHANG) != 0) loop.quit();
  };
  const int descriptor = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  std::unique_ptr<QSocketNotifier> notifier;
  QTimer poll;
  if (descriptor >= 0) {
    notifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &loop, ended);
  } else {
    constexpr int kPollMs = 200;
    QObject::connect(&poll, &QTimer::timeout, &loop, ended);
    poll.start(kPollMs);
  }
  loop.exec();
  notifier.reset();
  if (descriptor >= 0) ::close(descriptor);
}

// Where an Exec line puts a file: GIO quotes the file for the shell's rules
// and pastes it in place of its field code. Outside quotes that keeps every
// name whole. Inside double quotes a name keeps its ";", blanks, "$" and "'"
// but loses a '"' or "\\"; inside single quotes GIO's own quotes cancel out, so
// a shell that the line runs would read the name as commands. Returns false
// when a file field code stands where `path` (for %f and %F) or `uri` (for %u
// and %U) would not arrive as the one word it is.
bool FileArrivesWhole(const QString& exec, const QString& path, const QString& uri) {
  enum class Quote { None, Single, Double } quote = Quote::None;
  for (qsizetype i = 0; i < exec.size(); ++i) {
    const QChar c = exec.at(i);
    const bool escape = c == u'\\' && quote != Quote::Single;
    if (escape || (c == u'%' && i + 1 < exec.size() && exec.at(i + 1) == u'%')) {
      ++i;
    } else if (c == u'\'' && quote != Quote::Double) {
      quote = quote == Quote::Single ? Quote::None : Quote::Single;
    } else if (c == u'"' && quote != Quote::Single) {
      quote = quote == Quote::Double ? Quote::None : Quote::Double;
    } else if (c == u'%' && quote != Quote::None && i + 1 < exec.size()) {
      const QChar code = exec.at(i + 1).toLower();
      const QString& text = code == u'f' ? path : uri;
      if (code != u'f' && code != u'u') continue;
      const auto unsafe = [&](QChar ch) {
        if (quote == Quote::Double) return ch == u'"' || ch == u'\\';
        return !(ch.isLetterOrNumber() || QStringView(u"/._-+,:@=%").contains(ch));
      };
      if (std::any_of(text.begin(), text.end(), unsafe)) return false;
    }
  }
  return true;
}

void TakeProcess(GDesktopAppInfo* /*info*/, GPid pid, gpointer started) {
  *static_cast<GPid*>(started) = pid;
}

}  // namespace

Result<std::optional<DesktopLaunch>> FindDefaultEditor(const QString& file) {
  const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
  if (!type.isValid() || type.name().isEmpty()) return std::optional<DesktopLaunch>{};
  const std::unique_ptr<GAppInfo, GObjectUnref> info(
      g_app_info_get_default_for_type(type.name().toUtf8().constData(), FALSE));
  if (!info || !G_IS_DESKTOP_APP_INFO(info.get())) return std::optional<DesktopLaunch>{};
  const char* entry = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(info.get()));
  if (!entry) return std::optional<DesktopLaunch>{};
  return std::optional<DesktopLaunch>(DesktopLaunch{QFile::decodeName(entry), file});
}

Status RunAndWait(const DesktopLaunch& launch) {
  const std::unique_ptr<GDesktopAppInfo, GObjectUnref> info(
      g_desktop_app_info_new_from_filename(QFile::encodeName(launch.entry).constData()));
  if (!info) return Error{QStringLiteral("\"%1\" names no program that can be started.").arg(launch.entry)};

  QByteArray uri = QUrl::fromLocalFile(launch.file).toEncoded();
  gchar* exec = g_desktop_app_info_get_string(info.get(), "Exec");
  const bool whole = FileArrivesWhole(QString::fromUtf8(exec), launch.file, QString::fromLatin1(uri));
  g_free(exec);
  if (!whole) {
    return Error{QStringLiteral("\"%1\" puts the file inside quotes in its command line, where the name \"%2\" "
                                "would not arrive as it is.")
                     .arg(launch.entry, launch.file)};
  }
  GList uris{uri.data(), nullptr, nullptr};
  GPid started = 0;
  GError* error = nullptr;
  // The child is left for WaitForChild to reap, so that its end can be seen.
  const gboolean launched = g_desktop_app_info_launch_uris_as_manager(
      info.get(), &uris, nullptr, GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
      nullptr, TakeProcess, &started, &error);
  if (!launched) {
    const QString cause = error ? QString::fromUtf8(error->message) : QString();
    g_clear_error(&error);
    return Error{QStringLiteral("\"%1\" cannot be started: %2").arg(launch.entry, cause)};
  }
  if (started > 0) WaitForChild(started);
  return Status::success();
}

}  // namespace lumaset
