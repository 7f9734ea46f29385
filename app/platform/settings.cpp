#include "platform/settings.h"

#include <QSettings>

namespace glintvane::platform {
namespace {

constexpr char kOrganisation[] = "Corvanta";
constexpr char kApplication[] = "Glintvane";

QString StatusText(QSettings::Status status) {
  switch (status) {
    case QSettings::AccessError:
      return QStringLiteral("QSettings: access denied");
    case QSettings::FormatError:
      return QStringLiteral("QSettings: the settings file is damaged");
    case QSettings::NoError:
      break;
  }
  return {};
}

}  // namespace

QString Settings::Group() {
  return QStringLiteral("Sys");
}

bool Settings::GroupExists(const QString& group) {
  QSettings settings(kOrganisation, kApplication);
  return settings.childGroups().contains(group);
}

QString Settings::RegistryString(const QString& group, const QString& value, const QString& name,
                                 const QString& mode, QString* error) {
  if (error != nullptr) error->clear();
  const bool read = mode == QLatin1String("read");
  const bool write = mode == QLatin1String("write");
  if (!read && !write) return {};

  QSettings settings(kOrganisation, kApplication);
  QString result;
  if (read) {
    // Reading never creates the group.
    if (settings.childGroups().contains(group)) {
      settings.beginGroup(group);
      const QVariant stored = settings.value(name);
      // A value that is not a text (a list written by hand) counts as a
      // failure, not as the text Qt would make of it.
      if (stored.isValid() && stored.typeId() != QMetaType::QString) {
        if (error != nullptr)
          *error = QStringLiteral("QSettings: value \"%1\" is not a text").arg(name);
      } else {
        result = stored.toString();
      }
      settings.endGroup();
    }
  } else {
    settings.beginGroup(group);
    settings.setValue(name, value);
    settings.endGroup();
    settings.sync();
  }
  if (settings.status() != QSettings::NoError) {
    if (error != nullptr) *error = StatusText(settings.status());
    return {};
  }
  return result;
}

QString Settings::Stored(const char* name) {
  QString error;
  return RegistryString(Group(), {}, QString::fromLatin1(name), QStringLiteral("read"), &error);
}

void Settings::Store(const char* name, const QString& value) {
  QString error;
  RegistryString(Group(), value, QString::fromLatin1(name), QStringLiteral("write"), &error);
}

}  // namespace glintvane::platform
