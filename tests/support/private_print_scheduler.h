#pragma once

// A private CUPS scheduler in a folder of its own, with three capture queues
// whose backend keeps each job's PDF and, beside it, the options the job came
// with: "Capture" (US Letter, the default), "Second" (A4) and "Papers"
// (Letter, its default, A4 and A5, each with its borderless twin as
// cups-filters describes them, on one side or both, from two trays, in
// three qualities). A test may add "Sizes" (A5, Letter, its default, and
// A4). Whoever starts it points CUPS_SERVER at
// its socket first (SocketPath), before anything in the process asks CUPS,
// so that no test ever sees the printers of the machine it runs on. Its
// programs are started by their full paths: a user who logged in has no
// sbin folder on PATH. Header-only, so that benchmarks use it too.

#include <QDir>
#include <QFile>
#include <QMap>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

#include <cstring>

#include <grp.h>
#include <sys/socket.h>
#include <sys/un.h>
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

  // "" when the queues are ready (also when they were already), else why not.
  QString Start() {
    if (cupsd_.state() == QProcess::Running) return {};
    if (!Installed()) return QStringLiteral("CUPS is not installed");
    if (const QString made = MakeFolder(); !made.isEmpty()) return made;
    cupsd_.start(Cupsd(), {"-f", "-c", path("cupsd.conf"), "-s", path("cups-files.conf")});
    if (!cupsd_.waitForStarted(10000)) return QStringLiteral("cupsd cannot be run: ") + cupsd_.errorString();
    // Its socket is there a moment before the scheduler listens on it: it
    // is ready once it takes a connection.
    for (int tries = 0; tries < 200 && !Listening(SocketPath(root_)); ++tries) {
      if (cupsd_.waitForFinished(100)) break;
    }
    if (cupsd_.state() != QProcess::Running || !Listening(SocketPath(root_))) {
      return QStringLiteral("cupsd did not listen on its socket within 20 s: ") +
             QString::fromLocal8Bit(cupsd_.readAllStandardError());
    }
    for (const char* queue : {"Capture", "Second", "Papers"}) {
      if (const QString failed = AddQueue(QString::fromLatin1(queue)); !failed.isEmpty()) return failed;
    }
    return Run(QStringLiteral("lpadmin"), {"-d", "Capture"});
  }

  // Adds `queue` with the papers of the queue of that name above, or those
  // of "Capture" for any other name; "" when it is there.
  QString AddQueue(const QString& queue) const {
    const QString ppd = QFileInfo::exists(path(queue + ".ppd")) ? path(queue + ".ppd") : path("Capture.ppd");
    return Run(QStringLiteral("lpadmin"), {"-p", queue, "-v", "capture:/", "-P", ppd, "-E"});
  }
  QString RemoveQueue(const QString& queue) const { return Run(QStringLiteral("lpadmin"), {"-x", queue}); }
  // The queue refuses every job from now on, or takes them again.
  QString Refuse(const QString& queue) const { return Run(QStringLiteral("cupsreject"), {queue}); }
  QString Accept(const QString& queue) const { return Run(QStringLiteral("cupsaccept"), {queue}); }

  // One of the system's programs by its full path, found in the sbin folders
  // as well; "" when there is none.
  static QString SystemProgram(const QString& name) {
    return QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
  }

  // "" when the system's program `name` did what `arguments` ask, else what
  // went wrong: it is missing, could not start, did not end or failed.
  // Whether something takes connections on the socket at `path`.
  static bool Listening(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    if (native.size() >= static_cast<qsizetype>(sizeof address.sun_path)) return false;
    std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool taken = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return taken;
  }

  static QString Run(const QString& name, const QStringList& arguments) {
    const QString program = SystemProgram(name);
    const QString called = name + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    if (program.isEmpty()) return name + QStringLiteral(" is not installed");
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
      if (process.error() == QProcess::FailedToStart) return program + QStringLiteral(" cannot be run: ") + process.errorString();
      process.kill();
      process.waitForFinished();
      return called + QStringLiteral(" did not end within 10 s");
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) return {};
    return called + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
  }

  // Ends the scheduler: CUPS has no queue at all until the next Start.
  void Stop() {
    if (cupsd_.state() == QProcess::NotRunning) return;
    cupsd_.terminate();
    if (!cupsd_.waitForFinished(10000)) cupsd_.kill(), cupsd_.waitForFinished();
    QFile::remove(SocketPath(root_));
  }

  // The options a job's PDF reached the backend with, by name; a bare
  // option such as "landscape" has the value "".
  static QMap<QString, QString> OptionsOf(const QString& pdf) {
    QFile file(pdf.chopped(4) + QStringLiteral(".options"));
    QMap<QString, QString> options;
    if (!file.open(QIODevice::ReadOnly)) return options;
    for (const QString& option : QString::fromUtf8(file.readAll()).simplified().split(' ', Qt::SkipEmptyParts))
      options.insert(option.section('=', 0, 0), option.section('=', 1));
    return options;
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
  static QString Cupsd() { return SystemProgram(QStringLiteral("cupsd")); }

  // A paper of a printer description: its name, its size and its
  // printable area in points, and the words it is shown with ("" for its name).
  struct Paper {
    const char* name;
    const char* size;
    const char* area;
    const char* text = "";
  };

  static constexpr char kSidesTraysQualities[] =
      "*OpenUI *Duplex/2-Sided Printing: PickOne\n*DefaultDuplex: None\n"
      "*Duplex None/Off: \"<</Duplex false>>setpagedevice\"\n"
      "*Duplex DuplexNoTumble/Long Edge: \"<</Duplex true/Tumble false>>setpagedevice\"\n"
      "*Duplex DuplexTumble/Short Edge: \"<</Duplex true/Tumble true>>setpagedevice\"\n*CloseUI: *Duplex\n"
      "*OpenUI *InputSlot/Paper Source: PickOne\n*DefaultInputSlot: Upper\n"
      "*InputSlot Upper/Upper Tray: \"<</MediaPosition 0>>setpagedevice\"\n"
      "*InputSlot Lower/Lower Tray: \"<</MediaPosition 1>>setpagedevice\"\n*CloseUI: *InputSlot\n"
      "*OpenUI *cupsPrintQuality/Print Quality: PickOne\n*DefaultcupsPrintQuality: Normal\n"
      "*cupsPrintQuality Draft/Draft: \"\"\n*cupsPrintQuality Normal/Normal: \"\"\n"
      "*cupsPrintQuality High/High: \"\"\n*CloseUI: *cupsPrintQuality\n";

  // A PostScript printer description: its papers, the first the default
  // unless another is named, PDF passed through to the backend unchanged.
  // Qt's print dialog needs the language lines that every real description
  // has.
  static QByteArray Ppd(const char* nick, std::initializer_list<Paper> papers, bool sidesTraysQualities = false,
                        const char* byDefault = nullptr) {
    const QString first = QLatin1String(byDefault ? byDefault : papers.begin()->name);
    QString sizes, areas, dimensions;
    for (const Paper& paper : papers) {
      const QString name = QLatin1String(paper.name);
      const QString text = *paper.text ? QLatin1String(paper.text) : name;
      sizes += QStringLiteral("*PageSize %1/%2: \"<</PageSize[%3]>>setpagedevice\"\n").arg(name, text, QLatin1String(paper.size));
      areas += QStringLiteral("*ImageableArea %1/%2: \"%3\"\n").arg(name, text, QLatin1String(paper.area));
      dimensions += QStringLiteral("*PaperDimension %1/%2: \"%3\"\n").arg(name, text, QLatin1String(paper.size));
    }
    return QStringLiteral(
               "*PPD-Adobe: \"4.3\"\n*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
               "*NickName: \"%1\"\n*ColorDevice: True\n"
               "*cupsFilter2: \"application/pdf application/pdf 0 -\"\n"
               "*OpenUI *PageSize/Media Size: PickOne\n*DefaultPageSize: %2\n%3*CloseUI: *PageSize\n"
               "*DefaultImageableArea: %2\n%4*DefaultPaperDimension: %2\n%5%6")
        .arg(QLatin1String(nick), first, sizes, areas, dimensions, sidesTraysQualities ? QLatin1String(kSidesTraysQualities) : QLatin1String())
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
        "printf '%s\\n' \"$5\" > \"%1/$PRINTER-job-$1.options\"\n"
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
    const Paper letter{"Letter", "612 792", "18 36 594 756"};
    const Paper a4{"A4", "595 842", "12 24 583 818"};
    const Paper a5{"A5", "420 595", "12 12 408 583"};
    // Each twin follows its paper, of the same size and without strips.
    const Paper letterBorderless{"Letter.Fullbleed", "612 792", "0 0 612 792", "US Letter (Borderless)"};
    const Paper a4Borderless{"A4.Fullbleed", "595 842", "0 0 595 842", "A4 (Borderless)"};
    const Paper a5Borderless{"A5.Fullbleed", "420 595", "0 0 420 595", "A5 (Borderless)"};
    if (!Write(path("bin/backend/capture"), backend.toUtf8()) || !Write(path("cups-files.conf"), files.toUtf8()) ||
        !Write(path("cupsd.conf"), conf.toUtf8()) || !Write(path("Capture.ppd"), Ppd("Capture", {letter})) ||
        !Write(path("Second.ppd"), Ppd("Second", {a4})) || !Write(path("Papers.ppd"), Ppd("Papers", {letter, letterBorderless, a4, a4Borderless, a5, a5Borderless}, true)) ||
        !Write(path("Sizes.ppd"), Ppd("Sizes", {a5, letter, a4}, false, "Letter"))) {
      return QStringLiteral("the scheduler's folder cannot be written");
    }
    QFile::setPermissions(path("bin/backend/capture"), QFileDevice::Permissions(0x7555));
    return {};
  }

  QString root_;
  QProcess cupsd_;
};

}  // namespace lumaset::test
