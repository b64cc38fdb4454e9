#pragma once

#include <QString>

#include <ostream>

// Lets test failures print texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace lumaset::test {

// The private folder that stands in for the user's home during this test run.
QString homeFolder();

// A fresh empty folder below the private home, removed with it at the end of the run.
QString freshFolder(const QString& name);

}  // namespace lumaset::test
