// Windows.edb through libesedb. libesedb reads through a libbfio handle whose
// reads we supply, so the file is read as any other evidence: through a
// ByteSource, never opened for writing, and the same way inside a disk image.
#include <array>
#include <cstdio>
#include <vector>

#include "base/byte_fields.h"
#include "base/error_codes.h"
#include "searchindex/esedb_api.h"
#include "searchindex/index_readers.h"

namespace glintvane::searchindex {
namespace {

// File header fields (offsets from the file's start).
constexpr size_t kHeaderFileType = 12;   // 0: a database, 1: a streaming file
constexpr size_t kHeaderState = 52;      // how the database was last shut down
constexpr size_t kHeaderPageSize = 236;  // bytes per page
constexpr size_t kHeaderBytes = 240;
// Page header fields, the same in every page size.
constexpr size_t kPageFatherObject = 24;  // the object (table, index) the page belongs to
constexpr size_t kPageTagCount = 34;      // tags in the page; tag 0 is the page's own
constexpr size_t kPageFlags = 36;
constexpr size_t kPageHeaderBytes = 40;
constexpr uint32_t kPageLeaf = 0x0002;
constexpr uint32_t kPageEmpty = 0x0008;
constexpr uint32_t kPageSpaceTree = 0x0020;
constexpr uint32_t kPageIndex = 0x0040;
constexpr uint32_t kPageLongValue = 0x0080;
// ESE pages are 2 KiB to 32 KiB, a power of two.
constexpr uint32_t kMinPageSize = 2048;
constexpr uint32_t kMaxPageSize = 32768;
// A record takes at least its 4-byte tag in a page: no table holds more
// records than the file has 4-byte pieces.
constexpr uint64_t kMinRecordBytes = 4;
// A column name is at most 64 characters (JET_cbNameMost) in UTF-8.
constexpr size_t kMaxColumnNameBytes = 4 * 64 + 1;
// The WorkID is a 32-bit column; Windows 7 tables name it the same.
constexpr std::string_view kWorkIdColumn = "WorkID";
// Windows 8 to 10, then Windows 7.
constexpr std::string_view kTables[] = {"SystemIndex_PropertyStore", "SystemIndex_0A"};

// The loaded library (ReadEseIndex loads it before anything else runs).
const EseApi* g_ese = nullptr;
const EseApi& Ese() {
  return *g_ese;
}

// --- A ByteSource as a libbfio handle -------------------------------------

struct BfioSource {
  ByteSource* source = nullptr;
  uint64_t offset = 0;
  bool open = false;
};

BfioSource* Io(intptr_t* io) {
  return reinterpret_cast<BfioSource*>(io);
}

int BfioFree(intptr_t** io, libbfio_error_t** /*error*/) {
  if (io != nullptr) {
    delete Io(*io);
    *io = nullptr;
  }
  return 1;
}

int BfioClone(intptr_t** destination, intptr_t* source, libbfio_error_t** /*error*/) {
  if (destination == nullptr || source == nullptr) return -1;
  *destination = reinterpret_cast<intptr_t*>(new BfioSource{Io(source)->source, 0, false});
  return 1;
}

int BfioOpen(intptr_t* io, int access_flags, libbfio_error_t** /*error*/) {
  // Evidence is read, never written.
  if ((access_flags & LIBBFIO_ACCESS_FLAG_WRITE) != 0) return -1;
  Io(io)->open = true;
  Io(io)->offset = 0;
  return 1;
}

int BfioClose(intptr_t* io, libbfio_error_t** /*error*/) {
  Io(io)->open = false;
  return 0;
}

ssize_t BfioRead(intptr_t* io, uint8_t* buffer, size_t size, libbfio_error_t** /*error*/) {
  BfioSource& self = *Io(io);
  const auto got = self.source->ReadAt(self.offset, {buffer, size});
  if (!got) return -1;
  self.offset += *got;
  return static_cast<ssize_t>(*got);
}

ssize_t BfioWrite(intptr_t*, const uint8_t*, size_t, libbfio_error_t**) {
  return -1;
}

off64_t BfioSeek(intptr_t* io, off64_t offset, int whence, libbfio_error_t** /*error*/) {
  BfioSource& self = *Io(io);
  const auto size = static_cast<off64_t>(self.source->Size());
  off64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<off64_t>(self.offset);
  if (whence == SEEK_END) base = size;
  if (offset < 0 ? base < -offset : offset > INT64_MAX - base) return -1;
  self.offset = static_cast<uint64_t>(base + offset);
  return base + offset;
}

int BfioExists(intptr_t*, libbfio_error_t**) {
  return 1;
}
int BfioIsOpen(intptr_t* io, libbfio_error_t**) {
  return Io(io)->open ? 1 : 0;
}

int BfioSize(intptr_t* io, size64_t* size, libbfio_error_t**) {
  *size = Io(io)->source->Size();
  return 1;
}

// --- libesedb's objects, released on every way out ------------------------

struct EseError {
  libesedb_error_t* error = nullptr;
  ~EseError() { Clear(); }
  void Clear() {
    if (error != nullptr) Ese().libesedb_error_free(&error);
  }
  // The innermost message: the one that says what was wrong with the file.
  std::string Text() {
    if (error == nullptr) return "unknown error";
    std::array<char, 2048> text{};
    Ese().libesedb_error_backtrace_sprint(error, text.data(), text.size());
    std::string all(text.data());
    const size_t end = all.find('\n');
    std::string first = all.substr(0, end);
    while (!first.empty() && (first.back() == '.' || first.back() == ' ')) first.pop_back();
    Clear();
    return first.empty() ? "unknown error" : first;
  }
  libesedb_error_t** operator&() { return &error; }
};

struct BfioHandle {
  libbfio_handle_t* handle = nullptr;
  ~BfioHandle() {
    if (handle != nullptr) Ese().libbfio_handle_free(&handle, nullptr);
  }
};

struct EseFile {
  libesedb_file_t* file = nullptr;
  bool open = false;
  ~EseFile() {
    if (open) Ese().libesedb_file_close(file, nullptr);
    if (file != nullptr) Ese().libesedb_file_free(&file, nullptr);
  }
};

struct EseTable {
  libesedb_table_t* table = nullptr;
  ~EseTable() {
    if (table != nullptr) Ese().libesedb_table_free(&table, nullptr);
  }
};

struct EseRecord {
  libesedb_record_t* record = nullptr;
  ~EseRecord() {
    if (record != nullptr) Ese().libesedb_record_free(&record, nullptr);
  }
};

struct EseLongValue {
  libesedb_long_value_t* value = nullptr;
  ~EseLongValue() {
    if (value != nullptr) Ese().libesedb_long_value_free(&value, nullptr);
  }
};

std::string StateName(uint32_t state) {
  switch (state) {
    case 1:
      return "just-created";
    case 2:
      return "dirty";
    case 3:
      return "clean";
    case 4:
      return "being-converted";
    case 5:
      return "force-detach";
    default:
      return "unknown";
  }
}

// The records of a table counted straight from its leaf pages, for when
// libesedb cannot walk the table's tree: every tag but the page's own is one
// record.
uint64_t CountRecordsInPages(ByteSource& source, uint32_t page_size, uint32_t object) {
  std::vector<uint8_t> page(page_size);
  uint64_t records = 0;
  // Pages follow the header and its shadow copy.
  for (uint64_t offset = 2ull * page_size; offset + page_size <= source.Size();
       offset += page_size) {
    const auto got = source.ReadAt(offset, page);
    if (!got || *got < kPageHeaderBytes) break;
    const std::span<const uint8_t> bytes(page.data(), *got);
    if (ReadLe<uint32_t>(bytes, kPageFatherObject) != object) continue;
    const uint32_t flags = ReadLe<uint32_t>(bytes, kPageFlags).value_or(0);
    if ((flags & kPageLeaf) == 0 ||
        (flags & (kPageEmpty | kPageSpaceTree | kPageIndex | kPageLongValue)) != 0) {
      continue;
    }
    const uint16_t tags = ReadLe<uint16_t>(bytes, kPageTagCount).value_or(0);
    // Each tag takes 4 bytes at the page's end; more than fit is damage.
    if (tags == 0 || uint64_t{tags} * 4 > page_size - kPageHeaderBytes) continue;
    records += tags - 1u;
  }
  return records;
}

// One column's value as text (libesedb expands compressed text and long
// values). nullopt with `failure` set when it cannot be read; "" when absent.
std::optional<std::string> TextValue(libesedb_record_t* record, int entry, std::string& failure) {
  EseError error;
  const int is_long = Ese().libesedb_record_is_long_value(record, entry, &error);
  if (is_long < 0) {
    failure = error.Text();
    return std::nullopt;
  }
  size_t size = 0;
  std::string text;
  if (is_long == 1) {
    EseLongValue value;
    const int got = Ese().libesedb_record_get_long_value(record, entry, &value.value, &error);
    if (got == 0) return std::string();
    if (got < 0 ||
        Ese().libesedb_long_value_get_utf8_string_size(value.value, &size, &error) != 1) {
      failure = error.Text();
      return std::nullopt;
    }
    if (size > kMaxTextBytes + 1) {
      failure = "a text of " + std::to_string(size) + " bytes";
      return std::nullopt;
    }
    text.resize(size);
    if (size > 0 && Ese().libesedb_long_value_get_utf8_string(
                        value.value, reinterpret_cast<uint8_t*>(text.data()), size, &error) != 1) {
      failure = error.Text();
      return std::nullopt;
    }
  } else {
    const int got = Ese().libesedb_record_get_value_utf8_string_size(record, entry, &size, &error);
    if (got == 0) return std::string();
    if (got < 0) {
      failure = error.Text();
      return std::nullopt;
    }
    if (size > kMaxTextBytes + 1) {
      failure = "a text of " + std::to_string(size) + " bytes";
      return std::nullopt;
    }
    text.resize(size);
    if (size > 0 &&
        Ese().libesedb_record_get_value_utf8_string(
            record, entry, reinterpret_cast<uint8_t*>(text.data()), size, &error) != 1) {
      failure = error.Text();
      return std::nullopt;
    }
  }
  // The size counts the terminating zero.
  const size_t end = text.find('\0');
  if (end != std::string::npos) text.resize(end);
  return text;
}

// One column's value as a number: 8 bytes of binary data (Windows 8 to 10
// keep sizes, times and ids so), or an integer or date column (Windows 7).
// nullopt without `failure` when absent.
std::optional<uint64_t> NumberValue(libesedb_record_t* record, int entry, uint32_t type,
                                    std::string& failure) {
  EseError error;
  int got = 0;
  uint64_t value = 0;
  switch (type) {
    case LIBESEDB_COLUMN_TYPE_BINARY_DATA:
    case LIBESEDB_COLUMN_TYPE_LARGE_BINARY_DATA: {
      size_t size = 0;
      got = Ese().libesedb_record_get_value_binary_data_size(record, entry, &size, &error);
      // Sizes, times and ids are 8 bytes; anything else is damage.
      if (got == 1 && size != 8) {
        failure = "a value of " + std::to_string(size) + " bytes where 8 belong";
        return std::nullopt;
      }
      std::array<uint8_t, 8> bytes{};
      if (got == 1)
        got = Ese().libesedb_record_get_value_binary_data(record, entry, bytes.data(), 8, &error);
      if (got == 1) return FixedValue(bytes);
      break;
    }
    case LIBESEDB_COLUMN_TYPE_DATE_TIME:
      got = Ese().libesedb_record_get_value_filetime(record, entry, &value, &error);
      break;
    case LIBESEDB_COLUMN_TYPE_CURRENCY:
    case LIBESEDB_COLUMN_TYPE_INTEGER_64BIT_SIGNED:
      got = Ese().libesedb_record_get_value_64bit(record, entry, &value, &error);
      break;
    case LIBESEDB_COLUMN_TYPE_INTEGER_32BIT_SIGNED:
    case LIBESEDB_COLUMN_TYPE_INTEGER_32BIT_UNSIGNED: {
      uint32_t value32 = 0;
      got = Ese().libesedb_record_get_value_32bit(record, entry, &value32, &error);
      value = value32;
      break;
    }
    default:
      return std::nullopt;  // a type no Windows used for these properties
  }
  if (got < 0) failure = error.Text();
  if (got != 1) return std::nullopt;
  return value;
}

struct Column {
  int entry = -1;
  uint32_t type = 0;
};

}  // namespace

tl::expected<SearchIndexOutcome, SearchIndexError> ReadEseIndex(ByteSource& source,
                                                                IndexedItemSink& sink,
                                                                const SearchIndexOptions& options) {
  SearchIndexOutcome outcome;
  outcome.format = SearchIndexFormat::kEse;
  std::string unloaded;
  g_ese = LoadEseApi(unloaded);
  if (g_ese == nullptr) return tl::unexpected(SearchIndexError{kErrSearchIndexOpen, unloaded});
  std::array<uint8_t, kHeaderBytes> header{};
  const auto got = source.ReadAt(0, header);
  if (!got) return tl::unexpected(SearchIndexError{kErrSearchIndexOpen, got.error().message});
  const std::span<const uint8_t> head(header.data(), *got);
  const auto file_type = ReadLe<uint32_t>(head, kHeaderFileType);
  const auto state = ReadLe<uint32_t>(head, kHeaderState);
  const auto page_size = ReadLe<uint32_t>(head, kHeaderPageSize);
  if (!file_type || !state || !page_size) {
    return tl::unexpected(SearchIndexError{kErrSearchIndexDamaged, "the ESE header is cut short"});
  }
  if (*file_type != 0) {
    return tl::unexpected(
        SearchIndexError{kErrSearchIndexFormat, "an ESE streaming file, not a database"});
  }
  if (*page_size < kMinPageSize || *page_size > kMaxPageSize ||
      (*page_size & (*page_size - 1)) != 0) {
    return tl::unexpected(SearchIndexError{
        kErrSearchIndexDamaged, "a page size of " + std::to_string(*page_size) + " bytes"});
  }
  outcome.state = StateName(*state);

  EseError error;
  BfioHandle handle;
  if (Ese().libbfio_handle_initialize(
          &handle.handle, reinterpret_cast<intptr_t*>(new BfioSource{&source, 0, false}), BfioFree,
          BfioClone, BfioOpen, BfioClose, BfioRead, BfioWrite, BfioSeek, BfioExists, BfioIsOpen,
          BfioSize, LIBBFIO_FLAG_IO_HANDLE_MANAGED, nullptr) != 1) {
    return tl::unexpected(SearchIndexError{kErrSearchIndexOpen, "out of memory"});
  }
  EseFile file;
  if (Ese().libesedb_file_initialize(&file.file, &error) != 1) {
    return tl::unexpected(SearchIndexError{kErrSearchIndexOpen, error.Text()});
  }
  if (Ese().libesedb_file_open_file_io_handle(file.file, handle.handle, LIBESEDB_OPEN_READ,
                                              &error) != 1) {
    return tl::unexpected(SearchIndexError{kErrSearchIndexDamaged, error.Text()});
  }
  file.open = true;

  EseTable table;
  for (std::string_view name : kTables) {
    const int found = Ese().libesedb_file_get_table_by_utf8_name(
        file.file, reinterpret_cast<const uint8_t*>(name.data()), name.size(), &table.table,
        &error);
    error.Clear();
    if (found == 1) {
      outcome.table = name;
      break;
    }
  }
  if (table.table == nullptr) {
    return tl::unexpected(SearchIndexError{
        kErrSearchIndexFormat,
        "an ESE database without a SystemIndex_PropertyStore or SystemIndex_0A table"});
  }

  // Which value of a record holds which property.
  int column_count = 0;
  if (Ese().libesedb_table_get_number_of_columns(table.table, &column_count, 0, &error) != 1) {
    return tl::unexpected(SearchIndexError{kErrSearchIndexDamaged, error.Text()});
  }
  std::array<Column, kPropertyCount> columns{};
  Column work_id;
  for (int i = 0; i < column_count; ++i) {
    libesedb_column_t* column = nullptr;
    if (Ese().libesedb_table_get_column(table.table, i, &column, 0, &error) != 1) {
      error.Clear();
      continue;
    }
    std::array<char, kMaxColumnNameBytes> name{};
    uint32_t type = 0;
    const bool named =
        Ese().libesedb_column_get_utf8_name(column, reinterpret_cast<uint8_t*>(name.data()),
                                            name.size(), &error) == 1 &&
        Ese().libesedb_column_get_type(column, &type, &error) == 1;
    Ese().libesedb_column_free(&column, nullptr);
    error.Clear();
    if (!named) continue;
    const std::string_view text(name.data());
    if (text == kWorkIdColumn) work_id = {i, type};
    const auto property = PropertyOfColumn(text);
    if (property && columns[static_cast<int>(*property)].entry < 0) {
      columns[static_cast<int>(*property)] = {i, type};
    }
  }
  if (columns[static_cast<int>(Property::kThumbnailId)].entry < 0) {
    outcome.notes.push_back(
        "the index has no System_ThumbnailCacheId column: it names no thumbnails");
    return outcome;
  }

  if (*state != 3) {
    outcome.complete = false;
    outcome.reasons.push_back(
        "the database is " + outcome.state +
        ", not cleanly shut down: changes Windows still held in its transaction logs are "
        "missing, and pages it was writing may be torn. Windows' own ESE utility repairs a "
        "copy (esentutl /p Windows.edb)");
  }

  int record_count = 0;
  if (Ese().libesedb_table_get_number_of_records(table.table, &record_count, &error) != 1) {
    const std::string why = error.Text();
    uint32_t object = 0;
    Ese().libesedb_table_get_identifier(table.table, &object, nullptr);
    outcome.records = CountRecordsInPages(source, *page_size, object);
    outcome.unreadable_records = outcome.records;
    outcome.complete = false;
    outcome.reasons.push_back("the table's tree of pages cannot be walked (" + why + "); " +
                              std::to_string(outcome.records) +
                              " records lie in its leaf pages and none could be read");
    return outcome;
  }
  const uint64_t records = static_cast<uint64_t>(std::max(record_count, 0));
  if (records > source.Size() / kMinRecordBytes) {
    return tl::unexpected(SearchIndexError{
        kErrSearchIndexDamaged, std::to_string(records) + " records claimed in a file of " +
                                    std::to_string(source.Size()) + " bytes"});
  }
  outcome.records = records;

  std::string first_failure;
  for (uint64_t i = 0; i < records; ++i) {
    if (i % kStopCheckRecords == 0 && options.stop.stop_requested()) {
      outcome.stopped = true;
      outcome.complete = false;
      outcome.reasons.push_back("stopped after " + std::to_string(i) + " of " +
                                std::to_string(records) + " records");
      break;
    }
    EseRecord record;
    std::string failure;
    if (Ese().libesedb_table_get_record(table.table, static_cast<int>(i), &record.record, &error) !=
        1) {
      failure = error.Text();
    }
    IndexedItem item;
    bool has_id = false;
    if (failure.empty() && work_id.entry >= 0) {
      item.work_id = NumberValue(record.record, work_id.entry, work_id.type, failure).value_or(0);
    }
    for (int p = 0; p < kPropertyCount && failure.empty(); ++p) {
      const Column& column = columns[p];
      if (column.entry < 0) continue;
      const auto property = static_cast<Property>(p);
      if (std::string* field = TextField(item, property)) {
        auto text = TextValue(record.record, column.entry, failure);
        if (text) *field = std::move(*text);
      } else {
        const auto number = NumberValue(record.record, column.entry, column.type, failure);
        if (number) SetNumber(item, property, *number);
        if (property == Property::kThumbnailId) has_id = number.has_value();
      }
    }
    if (!failure.empty()) {
      if (outcome.unreadable_records++ == 0) first_failure = failure;
      continue;
    }
    if (has_id) {
      ++outcome.items;
      sink.OnItem(item);
    }
  }
  if (outcome.unreadable_records > 0) {
    outcome.complete = false;
    outcome.reasons.push_back(std::to_string(outcome.unreadable_records) + " of " +
                              std::to_string(records) +
                              " records could not be read; the first: " + first_failure);
  }
  return outcome;
}

}  // namespace glintvane::searchindex
