#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>

#include "support/test_support.h"

namespace lumaset {
namespace {

// Runs `program` with `arguments` in the test's own folders; its standard
// output, or a failure naming what went wrong.
QString RunBench(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  EXPECT_TRUE(process.waitForFinished(30000)) << program.toStdString() << " did not end within 30 s";
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  return QString::fromUtf8(process.readAllStandardOutput());
}

TEST(BenchPrograms, TheEffectBenchPlacesAPictureAndWritesItsEffect) {
  const QString out = test::freshFolder(QStringLiteral("bench-effects")) + QStringLiteral("/blurred.jpg");
  RunBench(QStringLiteral(LUMASET_BENCH_EFFECTS), {QStringLiteral("blur"), QStringLiteral(LUMASET_SAMPLE_PICTURE), out});
  EXPECT_EQ(QImage(out).size(), QImage(QStringLiteral(LUMASET_SAMPLE_PICTURE)).size());
}

TEST(BenchPrograms, TheStartUpBenchReportsItsFirstDrawnWindow) {
  const QString output = RunBench(QStringLiteral(LUMASET_BENCH_STARTUP), {});
  EXPECT_TRUE(output.startsWith(QStringLiteral("drawn "))) << output.toStdString();
}

}  // namespace
}  // namespace lumaset
