#include "components/drives.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <optional>

namespace lumaset {

namespace {

QString AsFolder(const QString& path) {
  const QString clean = QDir::cleanPath(path);
  return clean.endsWith(QLatin1Char('/')) ? clean : clean + QLatin1Char('/');
}

bool IsInside(const QString& folder, const QString& path) { return path.startsWith(folder); }

// Kernel and service file systems that hold no user's files.
bool IsPseudoType(const QString& type) {
  static const QStringList kPseudo = {
      QStringLiteral("proc"),        QStringLiteral("sysfs"),       QStringLiteral("devtmpfs"),
      QStringLiteral("devpts"),      QStringLiteral("cgroup"),      QStringLiteral("cgroup2"),
      QStringLiteral("securityfs"),  QStringLiteral("pstore"),      QStringLiteral("efivarfs"),
      QStringLiteral("bpf"),         QStringLiteral("debugfs"),     QStringLiteral("tracefs"),
      QStringLiteral("configfs"),    QStringLiteral("fusectl"),     QStringLiteral("hugetlbfs"),
      QStringLiteral("mqueue"),      QStringLiteral("autofs"),      QStringLiteral("binfmt_misc"),
      QStringLiteral("rpc_pipefs"),  QStringLiteral("nsfs"),        QStringLiteral("overlay"),
      QStringLiteral("rootfs"),      QStringLiteral("selinuxfs"),   QStringLiteral("fuse.gvfsd-fuse"),
      QStringLiteral("fuse.portal"), QStringLiteral("fuse.lxcfs"),  QStringLiteral("none"),
      QStringLiteral("nfsd")};
  return type.isEmpty() || kPseudo.contains(type);
}

bool IsRemoteType(const QString& type) {
  static const QStringList kRemote = {
      QStringLiteral("nfs"),   QStringLiteral("nfs4"),  QStringLiteral("cifs"),
      QStringLiteral("smb3"),  QStringLiteral("smbfs"), QStringLiteral("sshfs"),
      QStringLiteral("fuse.sshfs"), QStringLiteral("davfs"), QStringLiteral("fuse.rclone")};
  return kRemote.contains(type);
}

bool IsRamType(const QString& type) {
  return type == QLatin1String("tmpfs") || type == QLatin1String("ramfs");
}

// The system keeps its own memory file systems in these folders; a RAM disk
// the user made lives anywhere else (and under /run/media).
bool IsSystemFolder(const QString& folder) {
  if (IsInside(QStringLiteral("/run/media/"), folder)) return false;
  static const QStringList kSystem = {
      QStringLiteral("/dev/"),  QStringLiteral("/run/"), QStringLiteral("/sys/"),
      QStringLiteral("/proc/"), QStringLiteral("/tmp/"), QStringLiteral("/var/"),
      QStringLiteral("/etc/"),  QStringLiteral("/usr/"), QStringLiteral("/boot/"),
      QStringLiteral("/snap/"), QStringLiteral("/lib/")};
  return std::any_of(kSystem.begin(), kSystem.end(),
                     [&](const QString& system) { return IsInside(system, folder); });
}

bool IsCdDevice(const QString& device) {
  const QString name = device.mid(device.lastIndexOf(QLatin1Char('/')) + 1);
  return name.startsWith(QLatin1String("sr")) || name.startsWith(QLatin1String("scd"));
}

// The drive kind of one mount, or nothing for a pseudo file system.
std::optional<DriveKind> KindOf(const MountEntry& mount, const QString& folder) {
  const QString& type = mount.fileSystemType;
  if (type == QLatin1String("iso9660") || type == QLatin1String("udf") || IsCdDevice(mount.device))
    return DriveKind::CdRom;
  if (IsRemoteType(type)) return DriveKind::Remote;
  if (IsRamType(type)) {
    if (IsSystemFolder(folder)) return std::nullopt;
    return DriveKind::RamDisk;
  }
  if (IsPseudoType(type)) return std::nullopt;
  // Snap packages are loop-mounted images, not volumes of the user's.
  if (type == QLatin1String("squashfs") && IsInside(QStringLiteral("/snap/"), folder))
    return std::nullopt;
  return mount.removableDevice ? DriveKind::Removable : DriveKind::Fixed;
}

// The mount that holds `folder`: the deepest mount point above it. A mount
// hidden by a later one on the same point loses to it, as in the kernel.
const MountEntry* HoldingMount(const QList<MountEntry>& mounts, const QString& folder) {
  const MountEntry* best = nullptr;
  qsizetype bestLength = -1;
  for (const MountEntry& mount : mounts) {
    const QString root = AsFolder(mount.rootPath);
    if (IsInside(root, folder) && root.size() >= bestLength) {
      best = &mount;
      bestLength = root.size();
    }
  }
  return best;
}

Drive PlaceDrive(const QList<MountEntry>& mounts, const QString& folder, const QString& label) {
  Drive drive{folder, label, DriveKind::Fixed};
  if (const MountEntry* mount = HoldingMount(mounts, folder)) {
    if (const auto kind = KindOf(*mount, AsFolder(mount->rootPath))) drive.kind = *kind;
  }
  return drive;
}

}  // namespace

QList<Drive> ClassifyDrives(const QList<MountEntry>& mounts, const QString& homeFolder) {
  const QString root = QStringLiteral("/");
  const QString home = homeFolder.isEmpty() ? root : AsFolder(homeFolder);

  const MountEntry* rootMount = nullptr;
  for (const MountEntry& mount : mounts) {
    if (AsFolder(mount.rootPath) == root) rootMount = &mount;
  }
  QList<Drive> drives{PlaceDrive(mounts, root, rootMount ? rootMount->label : QString())};
  if (home != root) drives.append(PlaceDrive(mounts, home, QStringLiteral("Home")));

  // One drive per mount point: the mount made last is the one the folder shows.
  QList<Drive> volumes;
  for (const MountEntry& mount : mounts) {
    const QString folder = AsFolder(mount.rootPath);
    if (folder == root || folder == home || !folder.startsWith(root)) continue;
    const auto kind = KindOf(mount, folder);
    volumes.removeIf([&](const Drive& drive) { return drive.rootPath == folder; });
    if (kind) volumes.append(Drive{folder, mount.label, *kind});
  }
  std::sort(volumes.begin(), volumes.end(),
            [](const Drive& a, const Drive& b) { return a.rootPath < b.rootPath; });
  return drives + volumes;
}

namespace {

QString ReadSysFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(file.readAll()).trimmed();
}

// Whether the disk behind a block device can be taken away: the kernel's
// own flag, or a disk on a USB bus (many USB sticks and disks report 0).
bool IsRemovableDevice(const QString& device) {
  if (!device.startsWith(QLatin1String("/dev/"))) return false;
  const QString node = QFileInfo(device).canonicalFilePath();
  if (node.isEmpty()) return false;
  const QString name = node.mid(node.lastIndexOf(QLatin1Char('/')) + 1);
  QString sysDevice = QFileInfo(QStringLiteral("/sys/class/block/") + name).canonicalFilePath();
  if (sysDevice.isEmpty()) return false;
  // A partition's disk is the folder above it.
  if (QFileInfo::exists(sysDevice + QStringLiteral("/partition")))
    sysDevice = QFileInfo(sysDevice).path();
  if (ReadSysFile(sysDevice + QStringLiteral("/removable")) == QLatin1String("1")) return true;
  return sysDevice.contains(QLatin1String("/usb"));
}

}  // namespace

QList<MountEntry> SystemMounts() {
  QList<MountEntry> mounts;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    // Single files bound into place (containers do this) are no folders.
    if (!QFileInfo(volume.rootPath()).isDir()) continue;
    MountEntry entry;
    entry.rootPath = volume.rootPath();
    entry.device = QString::fromLocal8Bit(volume.device());
    entry.fileSystemType = QString::fromLatin1(volume.fileSystemType());
    entry.label = volume.name();
    entry.removableDevice = IsRemovableDevice(entry.device);
    mounts.append(entry);
  }
  return mounts;
}

QList<Drive> SystemDrives() { return ClassifyDrives(SystemMounts(), QDir::homePath()); }

bool MountPointUsable(const QString& mountPoint) {
  const QFileInfo folder(mountPoint);
  if (mountPoint.isEmpty() || !folder.isDir() || !folder.isReadable() || !folder.isExecutable())
    return false;
  const QStorageInfo volume(mountPoint);
  if (!volume.isValid() || !volume.isReady()) return false;
  return QFileInfo(volume.rootPath()).canonicalFilePath() == folder.canonicalFilePath();
}

bool FolderLiesIn(const QString& folder, const QString& root) {
  const auto slashed = [](const QString& path) {
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
  };
  return slashed(folder).startsWith(slashed(root));
}

QString DriveRootOf(const QList<Drive>& drives, const QString& folder) {
  QString root = QStringLiteral("/");
  for (const Drive& drive : drives) {
    if (FolderLiesIn(folder, drive.rootPath) && drive.rootPath.size() > root.size()) {
      root = drive.rootPath;
    }
  }
  return root;
}

}  // namespace lumaset
