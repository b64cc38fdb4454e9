#include "components/screen_saver.h"

#include <QDBusMessage>
#include <QStringList>

#include <utility>

namespace lumaset {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");
// The service is published under the first path; some desktops offer only
// the older second one.
const QStringList kObjectPaths = {QStringLiteral("/org/freedesktop/ScreenSaver"),
                                  QStringLiteral("/ScreenSaver")};
// A desktop that does not answer quickly must not hold up a slide show.
constexpr int kCallTimeoutMs = 2000;

}  // namespace

ScreenSaverSwitch::ScreenSaverSwitch(BusConnector connect) : connect_(std::move(connect)) {}

ScreenSaverSwitch::~ScreenSaverSwitch() { SetActive(true); }

void ScreenSaverSwitch::SetActive(bool active) {
  if (!active) {
    if (cookie_) return;
    if (!bus_) bus_ = connect_();
    if (!bus_->isConnected()) return;
    for (const QString& path : kObjectPaths) {
      bool elsewhere = false;
      cookie_ = inhibit(path, &elsewhere);
      if (cookie_) cookiePath_ = path;
      if (!elsewhere) return;
    }
    return;
  }
  if (!cookie_ || !bus_ || !bus_->isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, cookiePath_, kInterface,
                                                     QStringLiteral("UnInhibit"));
  call << *cookie_;
  bus_->call(call, QDBus::Block, kCallTimeoutMs);
  // The cookie is spent whatever the answer: the service also forgets it when
  // this connection closes, so there is nothing left to retry.
  cookie_.reset();
  cookiePath_.clear();
}

std::optional<uint> ScreenSaverSwitch::inhibit(const QString& objectPath, bool* elsewhere) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, objectPath, kInterface,
                                                     QStringLiteral("Inhibit"));
  call << QStringLiteral("Lumaset") << QStringLiteral("Keeping the screen on");
  const QDBusMessage reply = bus_->call(call, QDBus::Block, kCallTimeoutMs);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    // Only a service that is there but not at this path is worth asking again.
    *elsewhere = reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
                 reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod");
    return std::nullopt;
  }
  if (reply.arguments().isEmpty()) return std::nullopt;
  bool ok = false;
  const uint cookie = reply.arguments().constFirst().toUInt(&ok);
  return ok ? std::optional<uint>(cookie) : std::nullopt;
}

}  // namespace lumaset
