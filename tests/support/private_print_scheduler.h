#pragma once

// A private CUPS scheduler in a folder of its own, with two capture queues
// whose backend keeps each job's PDF: "Capture" (US Letter, the default)
// and "Second" (A4). Whoever starts it points CUPS_SERVER at its socket
// first (SocketPath), before anything in the process asks CUPS, so that no
// test ever sees the printers of the machine it runs on. Header-only, so
// that benchmarks use it too.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

#include <grp.h>
#include <unistd.h>

namespace lumaset::test {

class PrivatePrintScheduler {
 public:
  // `root` must be reachable by the scheduler's own user (lp, when root
  // starts it), and short: the scheduler's socket lies in it.
  explicit PrivatePrintScheduler(QString root) : root_(std::move(root)) {}
  ~PrivatePrintScheduler() { Stop(); }
  PrivatePrintScheduler(const PrivatePrintScheduler&) = delete;
  PrivatePrintScheduler& operator=(const PrivatePrintScheduler&) = delete;

  static QString SocketPath(const QString& root) { return root + QStringLiteral("/run/cups.sock"); }

  // The scheduler and its filters are on this machine.
  static bool Installed() { return !Cupsd().isEmpty() && QFileInfo::exists(QStringLiteral("/usr/lib/cups/filter")); }

  // "" when both queues are ready (also when they were already), else why not.
  QString Start() {
    if (cupsd_.state() == QProcess::Running) return {};
    if (!Installed()) return QStringLiteral("CUPS is not installed");
    if (const QString made = MakeFolder(); !made.isEmpty()) return made;
    cupsd_.start(Cupsd(), {"-f", "-c", path("cupsd.conf"), "-s", path("cups-files.conf")});
    if (!cupsd_.waitForStarted(10000)) return QStringLiteral("cupsd cannot be run: ") + cupsd_.errorString();
    for (int tries = 0; tries < 100 && !QFileInfo::exists(SocketPath(root_)); ++tries) {
      if (cupsd_.waitForFinished(100)) break;
    }
    if (cupsd_.state() != QProcess::Running || !QFileInfo::exists(SocketPath(root_))) {
      return QStringLiteral("cupsd did not make its socket within 10 s: ") +
             QString::fromLocal8Bit(cupsd_.readAllStandardError());
    }
    for (const QStringList& arguments :
         {QStringList{"-p", "Capture", "-v", "capture:/", "-P", path("capture.ppd"), "-E"},
          QStringList{"-p", "Second", "-v", "capture:/", "-P", path("second.ppd"), "-E"},
          QStringList{"-d", "Capture"}}) {
      if (const QString failed = Lpadmin(arguments); !failed.isEmpty()) return failed;
    }
    return {};
  }

  // Ends the scheduler: CUPS has no queue at all until the next Start.
  void Stop() {
    if (cupsd_.state() == QProcess::NotRunning) return;
    cupsd_.terminate();
    if (!cupsd_.waitForFinished(10000)) cupsd_.kill(), cupsd_.waitForFinished();
    QFile::remove(SocketPath(root_));
  }

  // The PDFs that reached `queue`, in the order of their job numbers.
  QStringList Jobs(const QString& queue) const {
    QDir out(path("out"));
    QStringList jobs = out.entryList({queue + QStringLiteral("-job-*.pdf")}, QDir::Files, QDir::Name);
    for (QString& job : jobs) job = out.filePath(job);
    return jobs;
  }

  // The first job's PDF once the backend has written all of it; "" when
  // none comes within 15 s (a job takes well under one).
  QString WaitForJob(const QString& queue) const {
    for (int tries = 0; tries < 150; ++tries) {
      if (const QStringList jobs = Jobs(queue); !jobs.isEmpty()) return jobs.first();
      QThread::msleep(100);
    }
    return {};
  }

  void ForgetJobs() const {
    for (const QString& job : QDir(path("out")).entryList(QDir::Files)) QFile::remove(path("out/") + job);
  }

 private:
  QString path(const QString& name) const { return root_ + QLatin1Char('/') + name; }
  // "" when lpadmin did what `arguments` ask, else what it said.
  static QString Lpadmin(const QStringList& arguments) {
    QProcess lpadmin;
    lpadmin.start(QStringLiteral("lpadmin"), arguments);
    if (!lpadmin.waitForFinished(10000)) return QStringLiteral("lpadmin did not end within 10 s");
    if (lpadmin.exitStatus() == QProcess::NormalExit && lpadmin.exitCode() == 0) return {};
    return QStringLiteral("lpadmin %1 failed: %2")
        .arg(arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(lpadmin.readAllStandardError()));
  }
  static QString Cupsd() { return QStandardPaths::findExecutable(QStringLiteral("cupsd"), {"/usr/sbin", "/sbin"}); }

  // A PostScript printer description: one paper, the given printable area,
  // PDF passed through to the backend unchanged.
  static QByteArray Ppd(const char* nick, const char* paper, const char* size, const char* area) {
    return QStringLiteral(
               "*PPD-Adobe: \"4.3\"\n*NickName: \"%1\"\n*ColorDevice: True\n"
               "*cupsFilter2: \"application/pdf application/pdf 0 -\"\n"
               "*OpenUI *PageSize/Media Size: PickOne\n*DefaultPageSize: %2\n"
               "*PageSize %2/%2: \"<</PageSize[%3]>>setpagedevice\"\n*CloseUI: *PageSize\n"
               "*DefaultImageableArea: %2\n*ImageableArea %2/%2: \"%4\"\n"
               "*DefaultPaperDimension: %2\n*PaperDimension %2/%2: \"%3\"\n")
        .arg(QLatin1String(nick), QLatin1String(paper), QLatin1String(size), QLatin1String(area))
        .toUtf8();
  }

  static bool Write(const QString& file, const QByteArray& bytes) {
    QFile out(file);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size();
  }

  // Started by root, the scheduler runs as lp and root is its system group;
  // started by anyone else, it runs as that user, whose own group stands
  // for the system's.
  static QString RunAs() {
    if (::geteuid() == 0) return QStringLiteral("User lp\nGroup lp\nSystemGroup root\n");
    const group* own = ::getgrgid(::getegid());
    return own ? QStringLiteral("SystemGroup %1\n").arg(QString::fromLocal8Bit(own->gr_name)) : QString();
  }

  QString MakeFolder() const {
    for (const char* folder : {"run", "spool", "cache", "state", "log", "bin/backend", "out"})
      QDir().mkpath(path(folder));
    QFile::setPermissions(path("out"), QFileDevice::Permissions(0x7777));
    for (const char* folder : {"filter", "cgi-bin", "daemon", "monitor", "notifier", "driver"})
      QFile::link(QStringLiteral("/usr/lib/cups/") + folder, path("bin/") + folder);
    // The job is written beside its final name and renamed, so that a
    // reader never sees half of it.
    const QString backend = QStringLiteral(
        "#!/bin/sh\n"
        "if [ $# -eq 0 ]; then echo 'direct capture \"Unknown\" \"Capture to file\"'; exit 0; fi\n"
        "part=\"%1/.job-$1\"\n"
        "if [ -n \"$6\" ]; then cat \"$6\" > \"$part\"; else cat > \"$part\"; fi\n"
        "mv \"$part\" \"%1/$PRINTER-job-$1.pdf\"\n").arg(path("out"));
    const QString files = QStringLiteral(
        "ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\n"
        "AccessLog %1/log/access_log\nErrorLog %1/log/error_log\nPageLog %1/log/page_log\n"
        "DataDir /usr/share/cups\n%2ServerBin %1/bin\n").arg(root_, RunAs());
    // Whoever runs the tests may add, change and use the queues.
    const QString conf = QStringLiteral(
        "Listen %1\nWebInterface No\nDefaultAuthType None\nLogLevel warn\n"
        "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
        "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n  </Limit>\n</Policy>\n")
        .arg(SocketPath(root_));
    // Letter with strips of a quarter inch at the sides and half an inch at
    // top and bottom; A4 with strips of 12 and 24 points.
    if (!Write(path("bin/backend/capture"), backend.toUtf8()) || !Write(path("cups-files.conf"), files.toUtf8()) ||
        !Write(path("cupsd.conf"), conf.toUtf8()) ||
        !Write(path("capture.ppd"), Ppd("Capture", "Letter", "612 792", "18 36 594 756")) ||
        !Write(path("second.ppd"), Ppd("Second", "A4", "595 842", "12 24 583 818"))) {
      return QStringLiteral("the scheduler's folder cannot be written");
    }
    QFile::setPermissions(path("bin/backend/capture"), QFileDevice::Permissions(0x7555));
    return {};
  }

  QString root_;
  QProcess cupsd_;
};

}  // namespace lumaset::test
