#pragma once

// SANE's "test" back-end for scanning tests: a private configuration folder
// whose dll.conf lists only `test`, so no real scanner or network back-end
// is ever asked. Call before the scanner library starts. The library takes
// the folder's name once per process, so every call rewrites the same folder;
// the back-end reads its files again each time the library starts.

#include <QByteArray>
#include <QDir>
#include <QString>

#include "support/test_support.h"

namespace lumaset::test {

struct TestBackendOptions {
  QByteArray picture = "Color pattern";  // "Solid black", "Solid white", "Color pattern", "Grid"
  QByteArray readStatus = "Default";     // what sane_read gives, such as "SANE_STATUS_IO_ERROR"
};

inline QString UseSaneTestBackend(const TestBackendOptions& options = {}) {
  static const QString folder = freshFolder(QStringLiteral("sane"));
  WriteText(folder + "/dll.conf", "test\n");
  WriteText(folder + "/test.conf",
            "number_of_devices 2\nmode Gray\ndepth 8\nhand-scanner false\nthree-pass false\n"
            "three-pass-order RGB\nresolution_min 1.0\nresolution_max 1200.0\nresolution_quant 1.0\n"
            "resolution 50.0\ntest-picture \"" + options.picture + "\"\ninvert-endianess false\n"
            "read-limit false\nread-limit-size 1\nread-delay false\nread-delay-duration 1000\n"
            "read-status-code \"" + options.readStatus + "\"\nfuzzy-parameters false\nppl-loss 0\n"
            "non-blocking false\nselect-fd false\nenable-test-options false\ngeometry_min 0.0\n"
            "geometry_max 200.0\ngeometry_quant 1.0\ntl_x 0.0\ntl_y 0.0\nbr_x 80.0\nbr_y 100.0\n");
  qputenv("SANE_CONFIG_DIR", QDir::toNativeSeparators(folder).toLocal8Bit());
  return folder;
}

}  // namespace lumaset::test
