#pragma once

// A stand-in for xdg-email, first on PATH while it lives: it records the
// arguments of its last call, counts its calls, and ends with the status the
// test sets (or is killed, when asked to crash); held, it stays running (as a mail program in the foreground
// does) until released.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>

#include "support/test_support.h"

namespace lumaset::test {

class FakeMailProgram {
 public:
  FakeMailProgram() : folder_(freshFolder(QStringLiteral("fake-mail")) + QLatin1Char('/')) {
    const QString script = folder_ + QStringLiteral("xdg-email");
    WriteText(script,
              "#!/bin/sh\n"
              "here=$(dirname \"$0\")\n"
              "echo call >> \"$here/calls\"\n"
              ": > \"$here/arguments\"\n"
              "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$here/arguments\"; done\n"
              "while [ -e \"$here/hold\" ]; do sleep 0.05; done\n"
              "status=$(cat \"$here/status\" 2>/dev/null || echo 0)\n"
              "[ \"$status\" = crash ] && kill -KILL $$\n"
              "exit $status\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    oldPath_ = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(folder_) + ':' + oldPath_);
  }
  ~FakeMailProgram() {
    release();
    qputenv("PATH", oldPath_);
  }
  FakeMailProgram(const FakeMailProgram&) = delete;
  FakeMailProgram& operator=(const FakeMailProgram&) = delete;

  void setStatus(int status) { WriteText(folder_ + QStringLiteral("status"), QByteArray::number(status)); }
  void setCrashing() { WriteText(folder_ + QStringLiteral("status"), "crash"); }
  void hold() { WriteText(folder_ + QStringLiteral("hold"), {}); }
  void release() { QFile::remove(folder_ + QStringLiteral("hold")); }
  int calls() const {
    QFile file(folder_ + QStringLiteral("calls"));
    return file.open(QIODevice::ReadOnly) ? static_cast<int>(file.readAll().count('\n')) : 0;
  }
  QStringList arguments() const {
    QStringList list;
    const QList<QByteArray> parts = ReadBytes(folder_ + QStringLiteral("arguments")).split('\0');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) list << QString::fromUtf8(parts[i]);
    return list;
  }

 private:
  QString folder_;
  QByteArray oldPath_;
};

}  // namespace lumaset::test
