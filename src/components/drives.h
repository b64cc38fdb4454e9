#pragma once

// The places the folder tree and the folder picker offer at the top: the
// root folder, the user's home folder and each mounted volume, classed by
// the kind of drive it is. Pseudo file systems (proc, sysfs, tmpfs of the
// system, cgroups and the like) are not drives and are left out.

#include <QList>
#include <QString>

namespace lumaset {

enum class DriveKind { Fixed, Removable, Remote, CdRom, RamDisk };

struct Drive {
  QString rootPath;  // the mount point (or home folder), ending with "/"
  QString label;     // the volume's name, or "" when it has none
  DriveKind kind = DriveKind::Fixed;

  friend bool operator==(const Drive&, const Drive&) = default;
};

// One line of the system's mount table, with what is known of its device.
struct MountEntry {
  QString rootPath;        // mount point
  QString device;          // "/dev/sdb1", "server:/export", "tmpfs"
  QString fileSystemType;  // "ext4", "vfat", "nfs4", "iso9660", "tmpfs"
  QString label;
  bool removableDevice = false;  // the block device says it is removable
};

// Classes mount entries into drives: pseudo file systems give none; the root
// folder and the home folder come first, then the volumes sorted by path.
// `homeFolder` ends with "/".
QList<Drive> ClassifyDrives(const QList<MountEntry>& mounts, const QString& homeFolder);

// This system's mount table (QStorageInfo, and /sys/block for removability).
QList<MountEntry> SystemMounts();

// ClassifyDrives of this system's mounts and the user's home folder.
QList<Drive> SystemDrives();

// Whether something is mounted at `mountPoint` right now and its top folder
// can be read: a drive whose medium was taken out, or a mount point left
// behind, gives false.
bool MountPointUsable(const QString& mountPoint);

// Whether `folder` is `root` or lies below it, by whole path components;
// exact, letter case counts.
bool FolderLiesIn(const QString& folder, const QString& root);

// The root of the drive that holds `folder`: the longest drive root it lies
// in, or "/" when none does.
QString DriveRootOf(const QList<Drive>& drives, const QString& folder);

}  // namespace lumaset
