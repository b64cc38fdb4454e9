// GIO's headers use "signals" as a name, which Qt's keywords would take over.
#pragma push_macro("signals")
#undef signals
#pragma pop_macro("signals")

#include "components/default_editor.h"

#include "components/editor_command.h"
#include "components/gio_functions.h"

#include <QEventLoop>
#include <QFile>
#include <QMimeDatabase>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <memory>

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumaset {

namespace {

// Only made once GIO is open.
struct GObjectUnref {
  void operator()(gpointer object) const { Gio::Get()->g_object_unref(object); }
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

void TakeProcess(GDesktopAppInfo* /*info*/, GPid pid, gpointer started) {
  *static_cast<GPid*>(started) = pid;
}

}  // namespace

Result<std::optional<DesktopLaunch>> FindDefaultEditor(const QString& file) {
  const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
  if (!type.isValid() || type.name().isEmpty()) return std::optional<DesktopLaunch>{};
  const Result<Gio>& gio = Gio::Get();
  if (!gio) return Error{gio.error()};
  const std::unique_ptr<GAppInfo, GObjectUnref> info(
      gio->g_app_info_get_default_for_type(type.name().toUtf8().constData(), FALSE));
  if (!info || !gio->g_type_check_instance_is_a(reinterpret_cast<GTypeInstance*>(info.get()),
                                                gio->g_desktop_app_info_get_type()))
    return std::optional<DesktopLaunch>{};
  const char* entry = gio->g_desktop_app_info_get_filename(reinterpret_cast<GDesktopAppInfo*>(info.get()));
  if (!entry) return std::optional<DesktopLaunch>{};
  return std::optional<DesktopLaunch>(DesktopLaunch{QFile::decodeName(entry), file});
}

Status RunAndWait(const DesktopLaunch& launch) {
  const Result<Gio>& gio = Gio::Get();
  if (!gio) return Error{gio.error()};
  const std::unique_ptr<GDesktopAppInfo, GObjectUnref> info(
      gio->g_desktop_app_info_new_from_filename(QFile::encodeName(launch.entry).constData()));
  if (!info) return Error{QStringLiteral("\"%1\" names no program that can be started.").arg(launch.entry)};

  QByteArray uri = QUrl::fromLocalFile(launch.file).toEncoded();
  gchar* exec = gio->g_desktop_app_info_get_string(info.get(), "Exec");
  const Status safe = CheckEditorCommand(QString::fromUtf8(exec));
  gio->g_free(exec);
  if (!safe) return Error{QStringLiteral("\"%1\": %2").arg(launch.entry, safe.error())};
  GList uris{uri.data(), nullptr, nullptr};
  GPid started = 0;
  GError* error = nullptr;
  // The child is left for WaitForChild to reap, so that its end can be seen.
  const gboolean launched = gio->g_desktop_app_info_launch_uris_as_manager(
      info.get(), &uris, nullptr, GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr,
      nullptr, TakeProcess, &started, &error);
  if (!launched) {
    const QString cause = error ? QString::fromUtf8(error->message) : QString();
    gio->g_clear_error(&error);
    return Error{QStringLiteral("\"%1\" cannot be started: %2").arg(launch.entry, cause)};
  }
  if (started > 0) WaitForChild(started);
  return Status::success();
}

}  // namespace lumaset
