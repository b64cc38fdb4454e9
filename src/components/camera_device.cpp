#include "components/camera_device.h"

#include <gphoto2/gphoto2.h>

#include "components/file_system.h"
#include "components/shared_library.h"

namespace lumaset {

namespace {

#define LUMASET_GPHOTO2_FUNCTIONS(F) \
  F(gp_abilities_list_free) F(gp_abilities_list_get_abilities) F(gp_abilities_list_load) \
  F(gp_abilities_list_lookup_model) F(gp_abilities_list_new) F(gp_camera_autodetect) F(gp_camera_exit) \
  F(gp_camera_file_get) F(gp_camera_file_get_info) F(gp_camera_folder_list_files) \
  F(gp_camera_folder_list_folders) F(gp_camera_init) F(gp_camera_new) F(gp_camera_set_abilities) \
  F(gp_camera_set_port_info) F(gp_camera_unref) F(gp_context_new) F(gp_context_unref) \
  F(gp_file_new_from_handler) F(gp_file_unref) F(gp_list_count) F(gp_list_free) F(gp_list_get_name) \
  F(gp_list_get_value) F(gp_list_new) F(gp_port_info_list_free) F(gp_port_info_list_get_info) \
  F(gp_port_info_list_load) F(gp_port_info_list_lookup_path) F(gp_port_info_list_new) \
  F(gp_result_as_string)
LUMASET_LIBRARY_FUNCTIONS(GPhoto2, LUMASET_GPHOTO2_LIBRARY, LUMASET_GPHOTO2_FUNCTIONS);

// libgphoto2 once it is open: only after CameraLibrary() succeeded.
const GPhoto2& GP() { return GPhoto2::Get().value(); }

Status CameraLibrary() {
  const Result<GPhoto2>& library = GPhoto2::Get();
  if (!library) return Error{QStringLiteral("Cameras cannot be used. %1").arg(library.error())};
  return Status::success();
}

// Cameras nest their folders a few levels deep; a deeper tree is a loop.
constexpr int kMaxFolderDepth = 32;

QString Reason(int code) { return QString::fromUtf8(GP().gp_result_as_string(code)); }

Error CameraError(const QString& what, int code) {
  return Error{QStringLiteral("%1: %2.").arg(what, Reason(code))};
}

struct ListHandle {
  CameraList* list = nullptr;
  ListHandle() { GP().gp_list_new(&list); }
  ~ListHandle() {
    if (list) GP().gp_list_free(list);
  }
  ListHandle(const ListHandle&) = delete;
  ListHandle& operator=(const ListHandle&) = delete;
  int count() const { return GP().gp_list_count(list); }
  QString name(int index) const {
    const char* text = nullptr;
    return GP().gp_list_get_name(list, index, &text) >= GP_OK ? QString::fromUtf8(text) : QString();
  }
  QString value(int index) const {
    const char* text = nullptr;
    return GP().gp_list_get_value(list, index, &text) >= GP_OK ? QString::fromUtf8(text) : QString();
  }
};

int WritePiece(void* out, unsigned char* data, uint64_t* length) {
  const bool written = static_cast<CheckedFile*>(out)->Write(reinterpret_cast<const char*>(data),
                                                               static_cast<qint64>(*length)).ok();
  return written ? GP_OK : GP_ERROR_IO_WRITE;
}
int NoReading(void*, unsigned char*, uint64_t*) { return GP_ERROR_NOT_SUPPORTED; }
int NoSize(void*, uint64_t*) { return GP_ERROR_NOT_SUPPORTED; }

}  // namespace

struct CameraDevice::Handles {
  GPContext* context = nullptr;
  Camera* camera = nullptr;
  bool initialised = false;
  ~Handles() {
    if (camera) {
      if (initialised) GP().gp_camera_exit(camera, context);
      GP().gp_camera_unref(camera);
    }
    if (context) GP().gp_context_unref(context);
  }
};

CameraDevice::CameraDevice(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

CameraDevice::~CameraDevice() = default;

QString CameraDevice::PortPrefix(const QString& connection) {
  if (connection == QLatin1String("USB")) return QStringLiteral("usb:");
  if (connection == QLatin1String("Serial")) return QStringLiteral("serial:");
  return {};
}

Result<std::unique_ptr<CameraDevice>> CameraDevice::OpenOnConnection(const QString& connection) {
  const QString prefix = PortPrefix(connection);
  if (prefix.isEmpty()) {
    return Error{QStringLiteral("\"%1\" is no camera connection; choose USB or Serial in the "
                                "preferences.")
                     .arg(connection)};
  }
  if (Status library = CameraLibrary(); !library) return Error{library.error()};
  GPContext* context = GP().gp_context_new();
  ListHandle found;
  const int detected = GP().gp_camera_autodetect(found.list, context);
  GP().gp_context_unref(context);
  if (detected < GP_OK) return CameraError(QStringLiteral("Cameras cannot be looked for"), detected);
  for (int i = 0; i < found.count(); ++i) {
    if (found.value(i).startsWith(prefix)) return OpenModel(found.name(i), found.value(i));
  }
  return Error{QStringLiteral("No camera was found on the %1 connection. Check that the camera "
                              "is connected and switched on.")
                   .arg(connection)};
}

Result<std::unique_ptr<CameraDevice>> CameraDevice::OpenModel(const QString& model,
                                                              const QString& port) {
  if (Status library = CameraLibrary(); !library) return Error{library.error()};
  auto handles = std::make_unique<Handles>();
  handles->context = GP().gp_context_new();
  if (int made = GP().gp_camera_new(&handles->camera); made < GP_OK)
    return CameraError(QStringLiteral("The camera cannot be opened"), made);

  CameraAbilitiesList* abilitiesList = nullptr;
  GP().gp_abilities_list_new(&abilitiesList);
  int code = GP().gp_abilities_list_load(abilitiesList, handles->context);
  const QByteArray modelName = model.toUtf8();
  const int modelIndex =
      code < GP_OK ? code : GP().gp_abilities_list_lookup_model(abilitiesList, modelName.constData());
  CameraAbilities abilities{};
  if (modelIndex >= GP_OK) code = GP().gp_abilities_list_get_abilities(abilitiesList, modelIndex, &abilities);
  GP().gp_abilities_list_free(abilitiesList);
  if (modelIndex < GP_OK || code < GP_OK)
    return CameraError(QStringLiteral("The camera \"%1\" is not known").arg(model), modelIndex < GP_OK ? modelIndex : code);
  GP().gp_camera_set_abilities(handles->camera, abilities);

  GPPortInfoList* ports = nullptr;
  GP().gp_port_info_list_new(&ports);
  code = GP().gp_port_info_list_load(ports);
  const QByteArray portName = port.toUtf8();
  const int portIndex = code < GP_OK ? code : GP().gp_port_info_list_lookup_path(ports, portName.constData());
  GPPortInfo info{};
  if (portIndex >= GP_OK) code = GP().gp_port_info_list_get_info(ports, portIndex, &info);
  if (portIndex >= GP_OK && code >= GP_OK) code = GP().gp_camera_set_port_info(handles->camera, info);
  GP().gp_port_info_list_free(ports);
  if (portIndex < GP_OK || code < GP_OK)
    return CameraError(QStringLiteral("The port \"%1\" cannot be used").arg(port), portIndex < GP_OK ? portIndex : code);

  if (int opened = GP().gp_camera_init(handles->camera, handles->context); opened < GP_OK)
    return CameraError(QStringLiteral("The camera on \"%1\" does not answer").arg(port), opened);
  handles->initialised = true;
  return std::unique_ptr<CameraDevice>(new CameraDevice(std::move(handles)));
}

Status CameraDevice::ListFolder(const QString& folder, QList<CameraPicture>& files, int depth) {
  if (depth > kMaxFolderDepth) return Status::success();
  const QByteArray path = folder.toUtf8();
  ListHandle names;
  int code = GP().gp_camera_folder_list_files(handles_->camera, path.constData(), names.list,
                                         handles_->context);
  if (code < GP_OK)
    return CameraError(QStringLiteral("The camera's folder \"%1\" cannot be listed").arg(folder), code);
  for (int i = 0; i < names.count(); ++i) files.append({folder, names.name(i)});

  ListHandle folders;
  code = GP().gp_camera_folder_list_folders(handles_->camera, path.constData(), folders.list,
                                       handles_->context);
  if (code < GP_OK)
    return CameraError(QStringLiteral("The camera's folder \"%1\" cannot be listed").arg(folder), code);
  const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
  for (int i = 0; i < folders.count(); ++i) {
    if (Status listed = ListFolder(base + folders.name(i), files, depth + 1); !listed) return listed;
  }
  return Status::success();
}

Result<QList<CameraPicture>> CameraDevice::ListFiles() {
  QList<CameraPicture> files;
  if (Status listed = ListFolder(QStringLiteral("/"), files, 0); !listed) return Error{listed.error()};
  return files;
}

// The file comes over piece by piece, each piece straight to disk, so that
// memory stays flat whatever the file's size.
Status CameraDevice::CopyFile(const CameraPicture& file, const QString& targetPath) {
  CheckedFile out(targetPath);
  if (Status opened = out.Open(); !opened) return opened;
  const QByteArray folder = file.folder.toUtf8();
  const QByteArray name = file.name.toUtf8();
  CameraFileInfo info{};
  const int known = GP().gp_camera_file_get_info(handles_->camera, folder.constData(), name.constData(), &info,
                                            handles_->context);
  if (known >= GP_OK && (info.file.fields & GP_FILE_INFO_MTIME) != 0) out.SetModified(info.file.mtime);
  CameraFileHandler handler{&NoSize, &NoReading, &WritePiece};
  ::CameraFile* data = nullptr;
  int code = GP().gp_file_new_from_handler(&data, &handler, &out);
  if (code >= GP_OK) {
    code = GP().gp_camera_file_get(handles_->camera, folder.constData(), name.constData(), GP_FILE_TYPE_NORMAL, data,
                              handles_->context);
  }
  if (data) GP().gp_file_unref(data);
  if (!out.failure()) return out.failure();  // the disk's cause, not the camera's echo of it
  if (code < GP_OK)
    return CameraError(QStringLiteral("\"%1\" cannot be read from the camera").arg(file.name), code);
  return out.Commit();
}

}  // namespace lumaset
