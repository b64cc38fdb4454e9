#include "components/scanner.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThreadPool>

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "components/scan_frames.h"
#include "components/shared_library.h"

namespace lumaset {

namespace {

#define LUMASET_SANE_FUNCTIONS(F) \
  F(sane_cancel) F(sane_close) F(sane_control_option) F(sane_exit) F(sane_get_devices) \
  F(sane_get_option_descriptor) F(sane_get_parameters) F(sane_init) F(sane_open) F(sane_read) F(sane_start) \
  F(sane_strstatus)
LUMASET_LIBRARY_FUNCTIONS(Sane, LUMASET_SANE_LIBRARY, LUMASET_SANE_FUNCTIONS);

// SANE once it is open: only after SaneSession::Init() succeeded.
const Sane& SaneLibrary() { return Sane::Get().value(); }

const QStringList kLineArtModes = {QStringLiteral(SANE_VALUE_SCAN_MODE_LINEART), QStringLiteral("Binary"),
                                   QStringLiteral("Black & White")};
const QStringList kGreyModes = {QStringLiteral(SANE_VALUE_SCAN_MODE_GRAY), QStringLiteral("Grey"),
                                QStringLiteral("True Gray")};
const QStringList kColourModes = {QStringLiteral(SANE_VALUE_SCAN_MODE_COLOR), QStringLiteral("Colour"),
                                  QStringLiteral("24bit Color")};

constexpr SANE_Int kChunkBytes = 64 * 1024;

SANE_Handle Handle(void* handle) { return static_cast<SANE_Handle>(handle); }

QString StatusText(SANE_Status status) { return QString::fromLocal8Bit(SaneLibrary().sane_strstatus(status)); }

Error NotOpen() { return Error{QStringLiteral("No scanner is open.")}; }

bool Usable(const SANE_Option_Descriptor* desc) {
  return desc != nullptr && SANE_OPTION_IS_ACTIVE(desc->cap) && SANE_OPTION_IS_SETTABLE(desc->cap);
}

double WordValue(const SANE_Option_Descriptor& desc, SANE_Word word) {
  return desc.type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : static_cast<double>(word);
}

// `value` as the device allows it: inside its range and on its steps, or the
// nearest entry of its list.
double Constrained(const SANE_Option_Descriptor& desc, double value) {
  if (desc.constraint_type == SANE_CONSTRAINT_RANGE && desc.constraint.range != nullptr) {
    const SANE_Range& range = *desc.constraint.range;
    const double low = WordValue(desc, range.min);
    const double high = WordValue(desc, range.max);
    const double quant = WordValue(desc, range.quant);
    value = std::clamp(value, low, high);
    if (quant > 0) value = std::min(high, low + std::nearbyint((value - low) / quant) * quant);
    return value;
  }
  if (desc.constraint_type == SANE_CONSTRAINT_WORD_LIST && desc.constraint.word_list != nullptr) {
    const SANE_Word* list = desc.constraint.word_list;
    double best = value;
    double distance = std::numeric_limits<double>::infinity();
    for (SANE_Word i = 1; i <= list[0]; ++i) {
      const double entry = WordValue(desc, list[i]);
      if (std::abs(entry - value) < distance) {
        distance = std::abs(entry - value);
        best = entry;
      }
    }
    return best;
  }
  const double limit = desc.type == SANE_TYPE_FIXED ? 32767.0 : 2147483647.0;
  return std::clamp(value, -limit, limit);
}

}  // namespace

QString SourceLabel(const ScanSource& source) {
  const QString maker = QStringLiteral("%1 %2").arg(source.vendor, source.model).trimmed();
  return maker.isEmpty() ? source.name : QStringLiteral("%1 (%2)").arg(maker, source.name);
}

// --- SaneSession ------------------------------------------------------------

struct SaneSession::Option {
  SANE_Int index = 0;
  const SANE_Option_Descriptor* desc = nullptr;
};

SaneSession::~SaneSession() { Exit(); }

Status SaneSession::Init() {
  if (initialised_) return Status::success();
  if (const Result<Sane>& library = Sane::Get(); !library)
    return Error{QStringLiteral("The scanner library did not start: %1").arg(library.error())};
  SANE_Int version = 0;
  const SANE_Status status = SaneLibrary().sane_init(&version, nullptr);
  if (status != SANE_STATUS_GOOD) {
    return Error{QStringLiteral("The scanner library did not start: %1").arg(StatusText(status))};
  }
  initialised_ = true;
  return Status::success();
}

void SaneSession::Exit() {
  if (!initialised_) return;
  Close();
  SaneLibrary().sane_exit();
  initialised_ = false;
}

Result<QList<ScanSource>> SaneSession::Sources() {
  if (!initialised_) return Error{QStringLiteral("Scanning is not available.")};
  const SANE_Device** devices = nullptr;
  const SANE_Status status = SaneLibrary().sane_get_devices(&devices, SANE_FALSE);
  if (status != SANE_STATUS_GOOD) {
    return Error{QStringLiteral("The scanners could not be listed: %1").arg(StatusText(status))};
  }
  QList<ScanSource> sources;
  for (const SANE_Device** device = devices; device && *device; ++device) {
    sources.append({QString::fromLocal8Bit((*device)->name), QString::fromLocal8Bit((*device)->vendor),
                    QString::fromLocal8Bit((*device)->model), QString::fromLocal8Bit((*device)->type)});
  }
  return sources;
}

Status SaneSession::Open(const QString& name) {
  if (!initialised_) return Error{QStringLiteral("Scanning is not available.")};
  Close();
  QString target = name;
  if (target.isEmpty()) {
    auto sources = Sources();
    if (!sources) return Error{sources.error()};
    if (sources->isEmpty()) return Error{QStringLiteral("No scanner was found.")};
    target = sources->first().name;
  }
  SANE_Handle handle = nullptr;
  const SANE_Status status = SaneLibrary().sane_open(target.toLocal8Bit().constData(), &handle);
  if (status != SANE_STATUS_GOOD) {
    return Error{QStringLiteral("The scanner \"%1\" could not be opened: %2").arg(target, StatusText(status))};
  }
  handle_ = handle;
  openName_ = target;
  palette_ = false;
  return Status::success();
}

void SaneSession::Close() {
  if (handle_ == nullptr) return;
  SaneLibrary().sane_close(Handle(handle_));
  handle_ = nullptr;
  openName_.clear();
}

std::optional<SaneSession::Option> SaneSession::FindOption(const char* name) const {
  if (handle_ == nullptr) return std::nullopt;
  const SANE_Option_Descriptor* first = SaneLibrary().sane_get_option_descriptor(Handle(handle_), 0);
  SANE_Int count = 0;
  if (first == nullptr ||
      SaneLibrary().sane_control_option(Handle(handle_), 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) {
    return std::nullopt;
  }
  for (SANE_Int i = 1; i < count; ++i) {
    const SANE_Option_Descriptor* desc = SaneLibrary().sane_get_option_descriptor(Handle(handle_), i);
    if (desc != nullptr && desc->name != nullptr && qstrcmp(desc->name, name) == 0) return Option{i, desc};
  }
  return std::nullopt;
}

bool SaneSession::SetString(const char* option, const QStringList& candidates) {
  const auto found = FindOption(option);
  if (!found || !Usable(found->desc) || found->desc->type != SANE_TYPE_STRING ||
      found->desc->constraint_type != SANE_CONSTRAINT_STRING_LIST) {
    return false;
  }
  for (const QString& wanted : candidates) {
    for (const SANE_String_Const* entry = found->desc->constraint.string_list; entry && *entry; ++entry) {
      if (QString::fromLocal8Bit(*entry).compare(wanted, Qt::CaseInsensitive) != 0) continue;
      std::vector<char> value(static_cast<std::size_t>(std::max<SANE_Int>(found->desc->size, 1)), '\0');
      qstrncpy(value.data(), *entry, value.size());
      return SaneLibrary().sane_control_option(Handle(handle_), found->index, SANE_ACTION_SET_VALUE, value.data(), nullptr) ==
             SANE_STATUS_GOOD;
    }
  }
  return false;
}

void SaneSession::SetWord(const char* option, double value) {
  const auto found = FindOption(option);
  if (!found || !Usable(found->desc)) return;
  const SANE_Option_Descriptor& desc = *found->desc;
  if (desc.type != SANE_TYPE_INT && desc.type != SANE_TYPE_FIXED) return;
  const double settled = Constrained(desc, value);
  SANE_Word word = desc.type == SANE_TYPE_FIXED ? SANE_FIX(settled) : static_cast<SANE_Word>(std::llround(settled));
  (void)SaneLibrary().sane_control_option(Handle(handle_), found->index, SANE_ACTION_SET_VALUE, &word, nullptr);
}

QString SaneSession::CurrentMode() const {
  const auto found = FindOption(SANE_NAME_SCAN_MODE);
  if (!found || found->desc->type != SANE_TYPE_STRING || !SANE_OPTION_IS_ACTIVE(found->desc->cap)) return {};
  std::vector<char> value(static_cast<std::size_t>(std::max<SANE_Int>(found->desc->size, 1)) + 1, '\0');
  if (SaneLibrary().sane_control_option(Handle(handle_), found->index, SANE_ACTION_GET_VALUE, value.data(), nullptr) !=
      SANE_STATUS_GOOD) {
    return {};
  }
  return QString::fromLocal8Bit(value.data());
}

int SaneSession::CurrentDepth() const {
  const auto found = FindOption(SANE_NAME_BIT_DEPTH);
  SANE_Word depth = 8;
  if (!found || found->desc->type != SANE_TYPE_INT || !SANE_OPTION_IS_ACTIVE(found->desc->cap) ||
      SaneLibrary().sane_control_option(Handle(handle_), found->index, SANE_ACTION_GET_VALUE, &depth, nullptr) !=
          SANE_STATUS_GOOD) {
    return 8;
  }
  return depth;
}

void SaneSession::SetPixelType(ScanPixelType type) {
  if (handle_ == nullptr) return;
  switch (type) {
    case ScanPixelType::BlackWhite:
      if (!SetString(SANE_NAME_SCAN_MODE, kLineArtModes)) {
        SetString(SANE_NAME_SCAN_MODE, kGreyModes);
        SetWord(SANE_NAME_BIT_DEPTH, 1);
      }
      break;
    case ScanPixelType::Grayscale:
      SetString(SANE_NAME_SCAN_MODE, kGreyModes);
      SetWord(SANE_NAME_BIT_DEPTH, 8);
      break;
    case ScanPixelType::Rgb:
    case ScanPixelType::Palette:
      SetString(SANE_NAME_SCAN_MODE, kColourModes);
      SetWord(SANE_NAME_BIT_DEPTH, 8);
      break;
  }
  palette_ = type == ScanPixelType::Palette;
}

void SaneSession::SetResolution(qint32 dotsPerInch) { SetWord(SANE_NAME_SCAN_RESOLUTION, dotsPerInch); }

Result<ScanReadBack> SaneSession::ReadBack() const {
  if (handle_ == nullptr) return NotOpen();
  ScanReadBack back;
  back.source = openName_;
  if (const auto found = FindOption(SANE_NAME_SCAN_RESOLUTION);
      found && SANE_OPTION_IS_ACTIVE(found->desc->cap) &&
      (found->desc->type == SANE_TYPE_INT || found->desc->type == SANE_TYPE_FIXED)) {
    SANE_Word word = 0;
    if (SaneLibrary().sane_control_option(Handle(handle_), found->index, SANE_ACTION_GET_VALUE, &word, nullptr) ==
        SANE_STATUS_GOOD) {
      back.resolution = WordValue(*found->desc, word);
    }
  }
  const QString mode = CurrentMode();
  const auto is = [&mode](const QStringList& names) { return names.contains(mode, Qt::CaseInsensitive); };
  if (is(kLineArtModes)) {
    back.pixelType = ScanPixelType::BlackWhite;
  } else if (is(kColourModes)) {
    back.pixelType = palette_ ? ScanPixelType::Palette : ScanPixelType::Rgb;
  } else {
    back.pixelType = CurrentDepth() == 1 ? ScanPixelType::BlackWhite : ScanPixelType::Grayscale;
  }
  return back;
}

Result<QImage> SaneSession::Acquire(const std::function<void(int)>& progress, const std::atomic<bool>& cancel) {
  if (handle_ == nullptr) return NotOpen();
  const auto report = [&progress](int percent) {
    if (progress) progress(percent);
  };
  report(0);
  SANE_Status status = SaneLibrary().sane_start(Handle(handle_));
  if (status != SANE_STATUS_GOOD) {
    SaneLibrary().sane_cancel(Handle(handle_));
    return Error{QStringLiteral("The scanner did not start: %1").arg(StatusText(status))};
  }
  SANE_Parameters parameters{};
  status = SaneLibrary().sane_get_parameters(Handle(handle_), &parameters);
  if (status != SANE_STATUS_GOOD || (parameters.format != SANE_FRAME_GRAY && parameters.format != SANE_FRAME_RGB) ||
      !parameters.last_frame) {
    SaneLibrary().sane_cancel(Handle(handle_));
    return Error{status != SANE_STATUS_GOOD
                     ? QStringLiteral("The scanner did not describe its picture: %1").arg(StatusText(status))
                     : QStringLiteral("The scanner sends its colours in separate passes, which Lumaset cannot read.")};
  }
  const qint64 expected = parameters.lines > 0 ? qint64{parameters.lines} * parameters.bytes_per_line : 0;
  QByteArray bytes;
  if (expected > 0 && expected < (qint64{1} << 31)) bytes.reserve(static_cast<qsizetype>(expected));
  std::vector<SANE_Byte> chunk(kChunkBytes);
  int shown = 0;
  for (;;) {
    if (cancel.load()) {
      SaneLibrary().sane_cancel(Handle(handle_));
      return Error{QStringLiteral("The scan was cancelled.")};
    }
    SANE_Int got = 0;
    status = SaneLibrary().sane_read(Handle(handle_), chunk.data(), kChunkBytes, &got);
    if (status == SANE_STATUS_EOF) break;
    if (status != SANE_STATUS_GOOD) {
      SaneLibrary().sane_cancel(Handle(handle_));
      return Error{QStringLiteral("The scanner stopped during the scan: %1").arg(StatusText(status))};
    }
    bytes.append(reinterpret_cast<const char*>(chunk.data()), got);
    if (expected > 0) {
      const int percent = static_cast<int>(std::min<qint64>(99, bytes.size() * 100 / expected));
      if (percent != shown) report(shown = percent);
    }
  }
  SaneLibrary().sane_cancel(Handle(handle_));  // ends the scan cycle
  FrameLayout layout;
  layout.kind = parameters.format == SANE_FRAME_RGB ? FrameLayout::Kind::Colour : FrameLayout::Kind::Grey;
  layout.depth = parameters.depth;
  layout.pixelsPerLine = parameters.pixels_per_line;
  layout.bytesPerLine = parameters.bytes_per_line;
  layout.lines = parameters.lines;
  auto picture = FrameToPicture(layout, bytes);
  report(100);
  if (picture && palette_ && layout.kind == FrameLayout::Kind::Colour) return ReduceTo256Colours(*picture);
  return picture;
}

// --- SaneScanService --------------------------------------------------------

SaneScanService::SaneScanService()
    : worker_(std::make_unique<QThreadPool>()), receiver_(std::make_unique<QObject>()) {
  worker_->setMaxThreadCount(1);  // one request at a time, in order
  worker_->setExpiryTimeout(-1);
}

SaneScanService::~SaneScanService() { Shutdown(); }

void SaneScanService::OpenLibraryAhead() {
  static std::once_flag started;
  std::call_once(started, [] { QThreadPool::globalInstance()->start([] { (void)Sane::Get(); }); });
}

bool SaneScanService::Initialise() {
  if (shutDown_) return false;
  available_ = session_.Init().ok();
  return available_;
}

void SaneScanService::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  cancel_ = true;
  worker_->clear();
  worker_->waitForDone();
  receiver_.reset();  // replies not yet delivered go with it
  session_.Exit();
}

template <typename T>
void SaneScanService::Post(Reply<T> reply, T value) {
  if (!reply) return;
  QMetaObject::invokeMethod(
      receiver_.get(), [reply = std::move(reply), value = std::move(value)]() { reply(value); },
      Qt::QueuedConnection);
}

template <typename T>
void SaneScanService::Run(std::function<T()> work, Reply<T> reply) {
  if (shutDown_) return;
  worker_->start([this, work = std::move(work), reply = std::move(reply)]() mutable {
    Post<T>(std::move(reply), work());
  });
}

Status SaneScanService::OpenDefaultHere(const QString& preferred) {
  if (session_.isOpen()) return Status::success();
  if (!preferred.isEmpty() && session_.Open(preferred).ok()) return Status::success();
  return session_.Open({});
}

void SaneScanService::Sources(Reply<Result<QList<ScanSource>>> reply) {
  Run<Result<QList<ScanSource>>>([this] { return session_.Sources(); }, std::move(reply));
}

void SaneScanService::OpenDefault(const QString& preferred, Reply<Result<ScanReadBack>> reply) {
  Run<Result<ScanReadBack>>(
      [this, preferred]() -> Result<ScanReadBack> {
        if (Status opened = OpenDefaultHere(preferred); !opened) return Error{opened.error()};
        return session_.ReadBack();
      },
      std::move(reply));
}

void SaneScanService::Select(const QString& name, Reply<Result<ScanReadBack>> reply) {
  Run<Result<ScanReadBack>>(
      [this, name]() -> Result<ScanReadBack> {
        if (Status opened = session_.Open(name); !opened) return Error{opened.error()};
        return session_.ReadBack();
      },
      std::move(reply));
}

void SaneScanService::SetPixelType(ScanPixelType type, Reply<Result<ScanReadBack>> reply) {
  Run<Result<ScanReadBack>>(
      [this, type] {
        session_.SetPixelType(type);
        return session_.ReadBack();
      },
      std::move(reply));
}

void SaneScanService::SetResolution(qint32 dotsPerInch, Reply<Result<ScanReadBack>> reply) {
  Run<Result<ScanReadBack>>(
      [this, dotsPerInch] {
        session_.SetResolution(dotsPerInch);
        return session_.ReadBack();
      },
      std::move(reply));
}

void SaneScanService::Acquire(const QString& preferred, Reply<int> progress, Reply<Result<QImage>> reply) {
  cancel_ = false;
  Run<Result<QImage>>(
      [this, preferred, progress = std::move(progress)]() -> Result<QImage> {
        if (Status opened = OpenDefaultHere(preferred); !opened) return Error{opened.error()};
        return session_.Acquire([this, &progress](int percent) { Post<int>(progress, percent); }, cancel_);
      },
      std::move(reply));
}

void SaneScanService::Cancel() { cancel_ = true; }

}  // namespace lumaset
