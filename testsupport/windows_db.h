// Windows 11 search databases (Windows.db) built for tests: the property
// store and its metadata as Windows lays them out, filled by SQL.
#pragma once

#include <string>

namespace glintvane::testsupport {

// Creates `path` with SystemIndex_1_PropertyStore(WorkId, ColumnId, Value)
// and SystemIndex_1_PropertyStore_Metadata(Id, UniqueKey, ...) naming
// ColumnIds 1 to 8 as Windows 11 names them (1 the thumbnail id, 2 the
// path, 3 the file name, 4 the item type, 5 the size, 6 to 8 the modified,
// created and accessed times), then runs `sql` (the rows). Returns SQLite's
// message on failure, "" on success.
std::string WriteWindowsDb(const std::string& path, const std::string& sql);

// Runs `sql` on the database at `path`; SQLite's message on failure.
std::string RunSql(const std::string& path, const std::string& sql);

}  // namespace glintvane::testsupport
