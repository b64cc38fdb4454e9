// A private CUPS scheduler for the start-up benchmark, with four queues as a
// user's machine may have them (the test queues "Capture", the default,
// "Second" and "Papers", and "Office"). Prints "ready SOCKET" once they are
// there, then keeps the scheduler until its standard input ends.
//
//   bench_print_scheduler FOLDER
//
// FOLDER must be short and reachable by the scheduler's own user (lp, when
// root starts it): the scheduler's socket lies in it.

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

#include "../tests/support/private_print_scheduler.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_print_scheduler FOLDER\n");
    return 2;
  }
  const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QFile::setPermissions(root, QFileDevice::Permissions(0x7055));
  const QString socket = lumaset::test::PrivatePrintScheduler::SocketPath(root);
  qputenv("CUPS_SERVER", QFile::encodeName(socket));
  lumaset::test::PrivatePrintScheduler scheduler(root);
  QString problem = scheduler.Start();
  if (problem.isEmpty()) problem = scheduler.AddQueue(QStringLiteral("Office"));
  if (!problem.isEmpty()) {
    std::fprintf(stderr, "no private print scheduler: %s\n", qPrintable(problem));
    return 1;
  }
  std::printf("ready %s\n", qPrintable(socket));
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  return 0;
}
