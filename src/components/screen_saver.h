#pragma once

// Keeps the desktop's screen saver away while the program wants it off (a
// slide show, or the user's setting), through the freedesktop ScreenSaver
// service. Desktops without a session bus or without that service simply
// keep their screen saver; the program runs on either way.

#include <QDBusConnection>
#include <QString>

#include <functional>
#include <optional>

namespace lumaset {

class ScreenSaverSwitch {
 public:
  // `connect` gives the bus (the session bus unless a test says otherwise);
  // it is called only when the screen saver is first held off, so the
  // program starts without waiting for a bus that may not be there.
  using BusConnector = std::function<QDBusConnection()>;
  explicit ScreenSaverSwitch(BusConnector connect = &QDBusConnection::sessionBus);
  ~ScreenSaverSwitch();
  ScreenSaverSwitch(const ScreenSaverSwitch&) = delete;
  ScreenSaverSwitch& operator=(const ScreenSaverSwitch&) = delete;

  // false keeps the screen saver off until true is given (or this object
  // ends); asking twice for the same state changes nothing.
  void SetActive(bool active);

  // Whether this object currently holds the screen saver off.
  bool Inhibiting() const { return cookie_.has_value(); }

 private:
  std::optional<uint> inhibit(const QString& objectPath, bool* elsewhere);

  BusConnector connect_;
  std::optional<QDBusConnection> bus_;
  std::optional<uint> cookie_;
  QString cookiePath_;
};

}  // namespace lumaset
