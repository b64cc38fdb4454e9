#pragma once

// Scanning through SANE. Two layers:
//
// SaneSession drives the library directly and blocks while it works; it is
// not thread-safe, so one thread at a time may use it.
//
// ScanService is what the windows use: every request runs on one worker
// thread, in order, and its reply comes back on the thread that owns the
// service (the user-interface thread), so a window keeps painting while
// devices are listed or a picture is read. SaneScanService is the real one;
// tests put a fake in its place.
//
//   SaneScanService scanner;
//   if (!scanner.Initialise()) disable scanning;
//   scanner.Acquire(preferred, [](int percent) {...}, [](Result<QImage> picture) {...});
//   scanner.Shutdown();   // at exit: stops a running scan, closes the device

#include <QImage>
#include <QList>
#include <QStringList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "components/result.h"

class QObject;
class QThreadPool;

namespace lumaset {

// The pixel types a scan is asked for, in the order of the scan window's menu.
enum class ScanPixelType { BlackWhite = 0, Grayscale = 1, Rgb = 2, Palette = 3 };

struct ScanSource {
  QString name;    // what opens it, such as "test:0"
  QString vendor;
  QString model;
  QString type;    // "flatbed scanner", "virtual device", ...
};
// "Vendor Model (name)".
QString SourceLabel(const ScanSource& source);

// The open device's settings as it reports them back.
struct ScanReadBack {
  QString source;     // the open device's name
  double resolution = 0;  // dots per inch; 0 when the device has no such setting
  ScanPixelType pixelType = ScanPixelType::Grayscale;
};

class SaneSession {
 public:
  SaneSession() = default;
  ~SaneSession();  // closes the device and leaves the library
  SaneSession(const SaneSession&) = delete;
  SaneSession& operator=(const SaneSession&) = delete;

  // Starts the library; lists no devices, so it stays quick with network
  // back-ends configured.
  Status Init();
  bool initialised() const { return initialised_; }
  void Exit();

  Result<QList<ScanSource>> Sources();
  // Closes the open device and opens `name`; "" opens the first one found.
  Status Open(const QString& name);
  bool isOpen() const { return handle_ != nullptr; }
  void Close();

  // Each setting is made as closely as the device allows; what it settled
  // on is read back with ReadBack. Without an open device they do nothing.
  // Colour and grey take 8 bits a sample; black and white one bit, as grey
  // when the device offers no line-art mode; palette is colour, reduced
  // after the scan.
  void SetPixelType(ScanPixelType type);
  void SetResolution(qint32 dotsPerInch);
  Result<ScanReadBack> ReadBack() const;

  // Scans one picture. `progress` hears 0 to 100 while the picture is read
  // in chunks; a set `cancel` stops the scan after the chunk being read.
  Result<QImage> Acquire(const std::function<void(int)>& progress, const std::atomic<bool>& cancel);

 private:
  struct Option;
  std::optional<Option> FindOption(const char* name) const;
  bool SetString(const char* option, const QStringList& candidates);
  void SetWord(const char* option, double value);
  QString CurrentMode() const;
  int CurrentDepth() const;

  void* handle_ = nullptr;  // SANE_Handle
  QString openName_;
  bool initialised_ = false;
  bool palette_ = false;
};

class ScanService {
 public:
  template <typename T>
  using Reply = std::function<void(T)>;

  virtual ~ScanService() = default;

  // The devices to choose from.
  virtual void Sources(Reply<Result<QList<ScanSource>>> reply) = 0;
  // Keeps the open device, or opens `preferred`, or when that fails (or is
  // "") the first one found.
  virtual void OpenDefault(const QString& preferred, Reply<Result<ScanReadBack>> reply) = 0;
  // Closes the open device and opens `name`.
  virtual void Select(const QString& name, Reply<Result<ScanReadBack>> reply) = 0;
  virtual void SetPixelType(ScanPixelType type, Reply<Result<ScanReadBack>> reply) = 0;
  virtual void SetResolution(qint32 dotsPerInch, Reply<Result<ScanReadBack>> reply) = 0;
  // Opens the default device as OpenDefault does when none is open, then scans.
  virtual void Acquire(const QString& preferred, Reply<int> progress, Reply<Result<QImage>> reply) = 0;
  // Stops a running scan; its reply then carries an error.
  virtual void Cancel() = 0;
};

class SaneScanService : public ScanService {
 public:
  SaneScanService();
  ~SaneScanService() override;  // as Shutdown
  SaneScanService(const SaneScanService&) = delete;
  SaneScanService& operator=(const SaneScanService&) = delete;

  // Start-up: true when scanning is available (the library started).
  bool Initialise();
  // Starts opening the scanner library on a worker thread, so that
  // Initialise() finds it open. Once a run.
  static void OpenLibraryAhead();
  bool available() const { return available_; }
  // Shut-down: stops a running scan, waits for the worker, closes the
  // device and leaves the library. Replies still outstanding are dropped.
  void Shutdown();

  void Sources(Reply<Result<QList<ScanSource>>> reply) override;
  void OpenDefault(const QString& preferred, Reply<Result<ScanReadBack>> reply) override;
  void Select(const QString& name, Reply<Result<ScanReadBack>> reply) override;
  void SetPixelType(ScanPixelType type, Reply<Result<ScanReadBack>> reply) override;
  void SetResolution(qint32 dotsPerInch, Reply<Result<ScanReadBack>> reply) override;
  void Acquire(const QString& preferred, Reply<int> progress, Reply<Result<QImage>> reply) override;
  void Cancel() override;

 private:
  template <typename T>
  void Run(std::function<T()> work, Reply<T> reply);
  template <typename T>
  void Post(Reply<T> reply, T value);
  Status OpenDefaultHere(const QString& preferred);

  SaneSession session_;  // used on the worker thread only, once started
  std::unique_ptr<QThreadPool> worker_;
  std::unique_ptr<QObject> receiver_;  // lives on the owner's thread; replies go through it
  std::atomic<bool> cancel_{false};
  bool available_ = false;
  bool shutDown_ = false;
};

}  // namespace lumaset
