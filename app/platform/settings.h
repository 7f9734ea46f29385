// The per-user settings store: a few string values under
// "Corvanta"/"Glintvane", group "Sys". Only this file touches QSettings.
#pragma once

#include <QString>

namespace glintvane::platform {

class Settings {
 public:
  Settings() = delete;

  // The group every value of the program lives in.
  static QString Group();

  // True when the group exists in the store (the program ran before).
  static bool GroupExists(const QString& group);

  // The one settings routine. mode "read": the string value `name` of
  // `group`, "" when the group or the value is missing; mode "write": stores
  // `value` as `name`, creating the group, and gives ""; any other mode does
  // nothing and gives "". The mode words are compared exactly. A store that
  // cannot be read or written gives "" and sets `error` to the reason.
  static QString RegistryString(const QString& group, const QString& value, const QString& name,
                                const QString& mode, QString* error);

  // A value of the program's group for what is only a convenience (taste,
  // remembered layout): a store that cannot be used reads as "" and drops
  // the write, with no error to report.
  static QString Stored(const char* name);
  static void Store(const char* name, const QString& value);
};

}  // namespace glintvane::platform
