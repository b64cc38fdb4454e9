#include "components/drives.h"

#include <gtest/gtest.h>

#include <QDir>

#include <ostream>

#include "browser/folder_tree.h"

namespace lumaset {

void PrintTo(const Drive& d, std::ostream* out) { *out << d.rootPath.toStdString() << " " << int(d.kind); }

namespace {

const QString kHome = QStringLiteral("/home/ann/");

MountEntry Mount(const char* root, const char* device, const char* type, const char* label = "",
                 bool removable = false) {
  return {QString::fromUtf8(root), QString::fromUtf8(device), QString::fromUtf8(type),
          QString::fromUtf8(label), removable};
}

Drive D(const char* root, DriveKind kind, const char* label = "") {
  return {QString::fromUtf8(root), QString::fromUtf8(label), kind};
}

TEST(ClassifyDrives, KeepsVolumesAndDropsPseudoFileSystems) {
  const QList<MountEntry> mounts = {
      Mount("/", "/dev/sda2", "ext4", "system"),       Mount("/proc", "proc", "proc"),
      Mount("/sys/fs/cgroup", "cgroup2", "cgroup2"),   Mount("/dev", "udev", "devtmpfs"),
      Mount("/dev/shm", "tmpfs", "tmpfs"),             Mount("/run/user/1000", "tmpfs", "tmpfs"),
      Mount("/tmp", "tmpfs", "tmpfs"),                 Mount("/var/lib/docker/overlay2/x/merged", "overlay", "overlay"),
      Mount("/run/user/1000/gvfs", "gvfsd-fuse", "fuse.gvfsd-fuse"),
      Mount("/snap/core/1", "/dev/loop3", "squashfs"), Mount("/media/ann/STICK", "/dev/sdb1", "vfat", "STICK", true),
      Mount("/mnt/nas", "server:/export", "nfs4"),     Mount("/mnt/share", "//server/share", "cifs"),
      Mount("/home/ann/remote", "ann@host:", "fuse.sshfs"), Mount("/media/ann/DISC", "/dev/sr0", "iso9660", "DISC"),
      Mount("/media/ann/BLURAY", "/dev/sr1", "udf"),   Mount("/mnt/ram", "tmpfs", "tmpfs"),
      Mount("/run/media/ann/ramdisk", "none", "ramfs"), Mount("/boot/efi", "/dev/sda1", "vfat"),
  };
  const QList<Drive> expected = {
      D("/", DriveKind::Fixed, "system"),        D("/home/ann/", DriveKind::Fixed, "Home"),
      D("/boot/efi/", DriveKind::Fixed),         D("/home/ann/remote/", DriveKind::Remote),
      D("/media/ann/BLURAY/", DriveKind::CdRom), D("/media/ann/DISC/", DriveKind::CdRom, "DISC"),
      D("/media/ann/STICK/", DriveKind::Removable, "STICK"), D("/mnt/nas/", DriveKind::Remote),
      D("/mnt/ram/", DriveKind::RamDisk),        D("/mnt/share/", DriveKind::Remote),
      D("/run/media/ann/ramdisk/", DriveKind::RamDisk),
  };
  EXPECT_EQ(ClassifyDrives(mounts, kHome), expected);
}

TEST(ClassifyDrives, NestedStackedAndHomeMounts) {
  // An overlay root (containers) is still the root; the home folder takes the
  // kind of the mount that holds it; of two mounts on one point the later
  // shows; a volume inside another keeps its own node.
  const QList<MountEntry> mounts = {
      Mount("/", "overlay", "overlay"), Mount("/home", "server:/home", "nfs"), Mount("/mnt/x", "/dev/sdc1", "ext4"),
      Mount("/mnt/x", "tmpfs", "tmpfs"), Mount("/mnt/y", "/dev/sdd1", "ext4"),  Mount("/mnt/y", "proc", "proc"),
      Mount("/mnt/x/inner", "/dev/sde1", "ext4", "IN"),
  };
  const QList<Drive> expected = {D("/", DriveKind::Fixed), D("/home/ann/", DriveKind::Remote, "Home"),
                                 D("/home/", DriveKind::Remote), D("/mnt/x/", DriveKind::RamDisk),
                                 D("/mnt/x/inner/", DriveKind::Fixed, "IN")};
  EXPECT_EQ(ClassifyDrives(mounts, kHome), expected);

  // Home is its own mount: one node, the home one. Home at the root: no second node.
  EXPECT_EQ(ClassifyDrives({Mount("/home/ann", "/dev/sdf1", "ext4", "data")}, QStringLiteral("/home/ann")),
            (QList<Drive>{D("/", DriveKind::Fixed), D("/home/ann/", DriveKind::Fixed, "Home")}));
  EXPECT_EQ(ClassifyDrives({}, QStringLiteral("/")), QList<Drive>{D("/", DriveKind::Fixed)});
}

TEST(SystemDrives, StartWithTheRootAndTheHomeFolder) {
  const QList<Drive> drives = SystemDrives();
  ASSERT_GE(drives.size(), 2);
  EXPECT_EQ(drives[0].rootPath, QStringLiteral("/"));
  EXPECT_EQ(drives[1].rootPath, QDir::homePath() + QLatin1Char('/'));
  for (const Drive& drive : drives) EXPECT_TRUE(drive.rootPath.endsWith(QLatin1Char('/')));
}

TEST(MountPointUsable, OnlyWhatIsMountedThere) {
  EXPECT_TRUE(MountPointUsable(QStringLiteral("/")));
  // A folder below a mount point, or one left behind after its drive went.
  EXPECT_FALSE(MountPointUsable(QDir::homePath()));
  EXPECT_FALSE(MountPointUsable(QDir::homePath() + QStringLiteral("/no/such/card/")));
  EXPECT_FALSE(MountPointUsable({}));
}

TEST(DriveNodeText, LabelAndFolderOrFolderAlone) {
  EXPECT_EQ(DriveNodeText(D("/media/ann/Data/", DriveKind::Fixed, "Data")), "Data (/media/ann/Data)");
  EXPECT_EQ(DriveNodeText(D("/mnt/x/", DriveKind::Remote)), " (/mnt/x)");
  EXPECT_EQ(DriveNodeText(D("/", DriveKind::Fixed)), " (/)");
  EXPECT_EQ(DriveNodeText(D("/media/ann/STICK/", DriveKind::Removable, "STICK")), "(/media/ann/STICK)");
}

}  // namespace
}  // namespace lumaset
