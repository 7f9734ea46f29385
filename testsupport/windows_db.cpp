#include "testsupport/windows_db.h"

#include <sqlite3.h>

namespace glintvane::testsupport {

std::string RunSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string failure;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    failure = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
  } else {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      failure = message != nullptr ? message : "failed";
    }
    sqlite3_free(message);
  }
  sqlite3_close(db);
  return failure;
}

std::string WriteWindowsDb(const std::string& path, const std::string& sql) {
  return RunSql(
      path,
      "CREATE TABLE SystemIndex_1_PropertyStore_Metadata (Id INTEGER PRIMARY KEY, "
      "UniqueKey TEXT NOT NULL UNIQUE, Name TEXT NOT NULL, PropertyId INTEGER NOT NULL, "
      "VariantType INTEGER NOT NULL, StorageType INTEGER NOT NULL, MaxSize INTEGER, "
      "Flags INTEGER NOT NULL);"
      "CREATE TABLE SystemIndex_1_PropertyStore (WorkId INTEGER NOT NULL, ColumnId "
      "INTEGER NOT NULL, Value BLOB NOT NULL, PRIMARY KEY (WorkId, ColumnId)) WITHOUT "
      "ROWID;"
      "INSERT INTO SystemIndex_1_PropertyStore_Metadata VALUES "
      "(1, '4678-System_ThumbnailCacheId', 'System.ThumbnailCacheId', 4678, 21, 12, 8, 54),"
      "(2, '4447-System_ItemPathDisplay', 'System.ItemPathDisplay', 4447, 31, 11, 65536, 51),"
      "(3, '11-System_FileName', 'System.FileName', 11, 31, 11, 520, 55),"
      "(4, '4450-System_ItemType', 'System.ItemType', 4450, 31, 11, 512, 51),"
      "(5, '13F-System_Size', 'System.Size', 13, 21, 12, 8, 58),"
      "(6, '15F-System_DateModified', 'System.DateModified', 15, 64, 12, 8, 58),"
      "(7, '16F-System_DateCreated', 'System.DateCreated', 16, 64, 12, 8, 26),"
      "(8, '17F-System_DateAccessed', 'System.DateAccessed', 17, 64, 12, 8, 26);" +
          sql);
}

}  // namespace glintvane::testsupport
