// libesedb and the libbfio it reads through, loaded into a link namespace of
// their own. Debian's libyal libraries each export the helper libraries they
// embed (libcdata, libfdata, libuna, ...) under the same names in different
// versions: loaded beside libewf (disk images), libewf's calls would run
// libesedb's copies and the reverse, and crash. dlmopen keeps them apart.
// Private to searchindex/.
#pragma once

#include <libbfio.h>
#include <libesedb.h>

#include <string>

namespace glintvane::searchindex {

#define GLINTVANE_ESEDB_FUNCTIONS(X)            \
  X(libbfio_handle_initialize)                  \
  X(libbfio_handle_free)                        \
  X(libesedb_error_free)                        \
  X(libesedb_error_backtrace_sprint)            \
  X(libesedb_file_initialize)                   \
  X(libesedb_file_open_file_io_handle)          \
  X(libesedb_file_close)                        \
  X(libesedb_file_free)                         \
  X(libesedb_file_get_table_by_utf8_name)       \
  X(libesedb_table_free)                        \
  X(libesedb_table_get_identifier)              \
  X(libesedb_table_get_number_of_columns)       \
  X(libesedb_table_get_column)                  \
  X(libesedb_table_get_number_of_records)       \
  X(libesedb_table_get_record)                  \
  X(libesedb_column_free)                       \
  X(libesedb_column_get_type)                   \
  X(libesedb_column_get_utf8_name)              \
  X(libesedb_record_free)                       \
  X(libesedb_record_is_long_value)              \
  X(libesedb_record_get_long_value)             \
  X(libesedb_record_get_value_utf8_string_size) \
  X(libesedb_record_get_value_utf8_string)      \
  X(libesedb_record_get_value_binary_data_size) \
  X(libesedb_record_get_value_binary_data)      \
  X(libesedb_record_get_value_filetime)         \
  X(libesedb_record_get_value_64bit)            \
  X(libesedb_record_get_value_32bit)            \
  X(libesedb_long_value_free)                   \
  X(libesedb_long_value_get_utf8_string_size)   \
  X(libesedb_long_value_get_utf8_string)

struct EseApi {
#define GLINTVANE_ESEDB_MEMBER(name) decltype(&::name) name = nullptr;
  GLINTVANE_ESEDB_FUNCTIONS(GLINTVANE_ESEDB_MEMBER)
#undef GLINTVANE_ESEDB_MEMBER
};

// The functions, loaded once; null when libesedb cannot be loaded, with
// `failure` saying why.
const EseApi* LoadEseApi(std::string& failure);

}  // namespace glintvane::searchindex
