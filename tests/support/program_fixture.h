#pragma once

// The whole program started as main() starts it, on the private settings
// file and cache, for tests that drive its main window.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <initializer_list>
#include <memory>
#include <optional>

#include "app/main_window.h"
#include "components/settings_store.h"
#include "frame/app_state.h"
#include "layout/layout_page.h"
#include "layout/page_model.h"
#include "support/private_desktop.h"
#include "support/test_support.h"
#include "support/unanswered_box.h"

namespace lumaset::test {

class ProgramTest : public ::testing::Test {
 protected:
  // Each test starts afresh: no stored settings, no thumbnail cache.
  void SetUp() override {
    QFile::remove(SettingsStore(QStringLiteral("Lumaset")).filePath());
    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Lumaset"))
        .removeRecursively();
  }

  static void Store(const QString& key, const QString& text) {
    SettingsStore store(QStringLiteral("Lumaset"));
    store.writeSetting(key, text);
    ASSERT_TRUE(store.sync().ok());
  }

  static QString Stored(const QString& key) {
    return SettingsStore(QStringLiteral("Lumaset")).readSetting(key, QString());
  }

  // A fresh folder holding `pictures`, each 64 x 48, that the next start
  // opens as the last folder used.
  static QString OpenAtStart(const char* name, std::initializer_list<const char*> pictures) {
    const QString folder = freshFolder(QLatin1String(name)) + QLatin1Char('/');
    for (const char* picture : pictures) EXPECT_TRUE(WritePicture(folder + picture, 64, 48));
    Store(QStringLiteral("GenOpen"), QStringLiteral("True"));
    Store(QStringLiteral("Folder"), folder);
    return folder;
  }

  // Starts the program as main() does, playing through `sounds` when given.
  MainWindow& Start(std::unique_ptr<SoundOutput> sounds = nullptr) {
    main_.reset();
    app_.emplace(LocateProgramFolders(), std::move(sounds));
    main_.emplace(*app_);
    main_->FormLoad();
    return *main_;
  }

  // Puts `file` on the page as a thumbnail 2 inches wide and `heightTwips`
  // high dropped there, selected; its slot.
  int DropOnPage(const QString& file, float heightTwips = 1440) {
    LayoutPage& page = main_->layoutPage();
    PageEditState& edit = page.model().edit();
    edit.addWidth = 2880;
    edit.addHeight = heightTwips;
    edit.downX = edit.downY = 3000;
    page.PicAdd(file);
    page.FinishAdding();
    return page.model().picCur();
  }

  // First: it watches the windows below until they go. A window manager on a
  // busy machine may take a while to frame and settle a dialog that a test
  // of the private desktop looks at before it answers.
  UnansweredBoxGuard unanswered_{OnPrivateDesktop() ? std::chrono::seconds(45) : std::chrono::seconds(10)};
  std::optional<AppState> app_;
  std::optional<MainWindow> main_;
};

}  // namespace lumaset::test
