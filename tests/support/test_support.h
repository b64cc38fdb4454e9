#pragma once

#include <QString>

namespace lumaset::test {

// The private folder that stands in for the user's home during this test run.
QString homeFolder();

// A fresh empty folder below the private home, removed with it at the end of the run.
QString freshFolder(const QString& name);

}  // namespace lumaset::test
