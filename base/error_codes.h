// Integer error codes. They travel with a failed step to the end of the
// routine, are kept in the error list's entries, and become texts only where
// an entry is shown (EntryLines), through the UI text table.
#pragma once

namespace glintvane {

// Exceptions caught in command handlers and image conversion.
inline constexpr int kErrException = 100;
// Any platform failure (I/O, memory) during a read or a scan.
inline constexpr int kErrPlatform = 500;

// Compound-file and thumbnail-stream findings; each has a fixed detail text.
inline constexpr int kErrSignature = 501;     // header signature error
inline constexpr int kErrMissingEnd = 502;    // thumbnail stream lacks FF D9
inline constexpr int kErrHeader = 503;        // thumbnail header is not 0C 00
inline constexpr int kErrStreamLength = 504;  // header size field != stream size - 12
inline constexpr int kErrPayloadKind = 505;   // neither JFIF nor raw-colour payload
inline constexpr int kErrRawLength = 506;     // raw-colour size field != stream size - 28
inline constexpr int kErrTooSmall = 507;      // fewer than two sectors after the header
// A sector size other than 512 bytes (version-4 files use 4096). Generic entry
// form: the caller's detail text names the size found.
inline constexpr int kErrSectorSize = 508;
// A Thumbs.db whose length is not a whole number of 512-byte sectors: a
// warning, with a fixed detail text.
inline constexpr int kErrLengthNotMultiple = 509;

// File access failures of copies, carving and extraction.
inline constexpr int kErrCreateOutput = 601;
inline constexpr int kErrOpenSource = 602;
inline constexpr int kErrSeek = 603;
inline constexpr int kErrRead = 604;
inline constexpr int kErrCloseSource = 605;
inline constexpr int kErrCloseOutput = 606;
// A chosen row of an extraction was not written: the entry before it says why.
inline constexpr int kErrRowNotWritten = 607;

// Results worth a line of their own (severity info), not failures.
inline constexpr int kMsgRowWritten = 700;  // a row of an extraction was written

// Broken sector chains. These use the generic entry form: the detail text
// given with them is shown as it is.
inline constexpr int kErrNegativeTableSector = 1500;  // FAT sector listed as negative
inline constexpr int kErrTableEntryOutside = 1502;    // table entry outside the file
// Guards against damaged or crafted sector structures; all
// use the generic entry form with a detail text that says what was found.
inline constexpr int kErrChainLoop = 1503;          // a sector chain comes back to a sector
inline constexpr int kErrSectorOutsideList = 1504;  // a sector index outside its sector list
inline constexpr int kErrFatCountTooLarge = 1505;   // more FAT sectors than the file can hold
inline constexpr int kErrCatalogEntryZero = 1506;   // a Catalog entry of length 0
inline constexpr int kErrSectorOutsideFile =
    1507;  // a sector (or piece of one) past the file's end
// A stream names a sector (or mini sector) that an earlier stream already
// holds. Hostile files point thousands of entries at one stream to multiply
// the memory a read takes; the second claim ends the stream that makes it.
inline constexpr int kErrSectorShared = 1508;
// A carving scan reached its row limit and stopped there; its rows are kept.
inline constexpr int kErrCarveRowLimit = 1509;
// The file being scanned became shorter than it was when the scan began.
inline constexpr int kErrFileShrank = 1510;

// Thumbnail caches of Windows Vista and later (thumbcache_*.db); generic entry
// form with a detail text that says what was found.
inline constexpr int kErrThumbcacheHeader = 1610;  // a header no Windows wrote
inline constexpr int kErrThumbcacheEntry = 1611;   // an entry that breaks the chain of entries
inline constexpr int kErrThumbcacheIndex = 1612;   // an index file (no pictures) or a broken one

// The Windows Search index (Windows.edb, Windows.db); generic entry form with
// a detail text that says what was found.
inline constexpr int kErrSearchIndexOpen = 1620;     // the file cannot be opened, copied or read
inline constexpr int kErrSearchIndexFormat = 1621;   // neither an ESE nor a SQLite search index
inline constexpr int kErrSearchIndexDamaged = 1622;  // its header or catalog cannot be read

// Disk images and the files in them. Each has a text of its own in the UI
// text table; the detail says what was found (a library's message, the name
// of a missing segment) and follows that text.
inline constexpr int kErrImageOpen = 1700;        // the image cannot be opened or read
inline constexpr int kErrImageIncomplete = 1701;  // a segment, extent, piece or parent is missing
inline constexpr int kErrNoPartition = 1702;      // the image has no partition of that number
inline constexpr int kErrNoFileSystem = 1703;     // no file system recognised in a partition
inline constexpr int kErrImageEntry = 1704;  // a file's entry cannot be opened in its file system
// Sectors that could not be read were read as zeros; the detail is their count.
inline constexpr int kErrUnreadableSectors = 1705;
// A recycle-bin index inside the image cannot be read.
inline constexpr int kErrImageRecycleIndex = 1706;
// A volume's shadow copies, or one shadow-copy store, cannot be read.
inline constexpr int kErrShadowCopy = 1707;

}  // namespace glintvane
