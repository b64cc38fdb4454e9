#pragma once

// A digital camera reached through libgphoto2: the first camera found on a
// connection ("USB" means the usb: ports, "Serial" the serial: ports) is
// opened, its files are listed folder by folder and each is copied to disk
// under a name the caller chooses. The camera's files are only ever read.
//
//   Result<std::unique_ptr<CameraDevice>> camera = CameraDevice::OpenOnConnection("USB");
//   for (const CameraPicture& file : camera->ListFiles().value())
//     camera->CopyFile(file, target + file.name);

#include <QList>
#include <QString>

#include <memory>

#include "components/result.h"

namespace lumaset {

// One file on the camera: the camera's folder ("/DCIM/100CANON") and its name.
struct CameraPicture {
  QString folder;
  QString name;
  friend bool operator==(const CameraPicture&, const CameraPicture&) = default;
};

class CameraDevice {
 public:
  ~CameraDevice();
  CameraDevice(const CameraDevice&) = delete;
  CameraDevice& operator=(const CameraDevice&) = delete;

  // The libgphoto2 port prefix of a connection: "usb:" for "USB", "serial:"
  // for "Serial"; "" for anything else.
  static QString PortPrefix(const QString& connection);

  // The first camera that libgphoto2 detects on a port of `connection`.
  static Result<std::unique_ptr<CameraDevice>> OpenOnConnection(const QString& connection);
  // The camera of driver `model` ("Directory Browse") on `port` ("disk:/media/card").
  static Result<std::unique_ptr<CameraDevice>> OpenModel(const QString& model, const QString& port);

  // Every file on the camera, folders walked depth first, names in the
  // camera's order.
  Result<QList<CameraPicture>> ListFiles();
  // Copies one file to `targetPath` with the camera's date for it; the copy
  // is written under a temporary name and renamed into place only when
  // complete, so a failed copy leaves an older file of that name as it was.
  Status CopyFile(const CameraPicture& file, const QString& targetPath);

 private:
  struct Handles;
  explicit CameraDevice(std::unique_ptr<Handles> handles);
  Status ListFolder(const QString& folder, QList<CameraPicture>& files, int depth);

  std::unique_ptr<Handles> handles_;
};

}  // namespace lumaset
