#!/usr/bin/env bash
# Makes a Windows 11 search database (Windows.db) of ITEMS items with the
# sqlite3 command-line program: the property store and its metadata laid out
# as Windows 11 lays them out, one row per item and property. Each item has
# the eight properties the reader takes (thumbnail id, path, file name, item
# type, size, three times) and 28 others (numbers, blobs, short texts), 36
# rows in all, as items have on the Windows 11 machine in the corpus.
#
# Usage: make_windows_db.sh OUT.db [ITEMS]   (default 1000000)
set -euo pipefail
out=${1:?usage: make_windows_db.sh OUT.db [ITEMS]}
items=${2:-1000000}
rm -f "$out"
sqlite3 "$out" <<SQL
PRAGMA page_size = 4096;
CREATE TABLE SystemIndex_1_PropertyStore_Metadata (Id INTEGER PRIMARY KEY,
  UniqueKey TEXT NOT NULL UNIQUE, Name TEXT NOT NULL, PropertyId INTEGER NOT NULL,
  VariantType INTEGER NOT NULL, StorageType INTEGER NOT NULL, MaxSize INTEGER,
  Flags INTEGER NOT NULL);
CREATE TABLE SystemIndex_1_PropertyStore (WorkId INTEGER NOT NULL, ColumnId INTEGER NOT NULL,
  Value BLOB NOT NULL, PRIMARY KEY (WorkId, ColumnId)) WITHOUT ROWID;
INSERT INTO SystemIndex_1_PropertyStore_Metadata VALUES
  (33, '4447-System_ItemPathDisplay', 'System.ItemPathDisplay', 4447, 31, 11, 65536, 51),
  (349, '4678-System_ThumbnailCacheId', 'System.ThumbnailCacheId', 4678, 21, 12, 8, 54),
  (436, '13F-System_Size', 'System.Size', 13, 21, 12, 8, 58),
  (441, '15F-System_DateModified', 'System.DateModified', 15, 64, 12, 8, 58),
  (445, '16F-System_DateCreated', 'System.DateCreated', 16, 64, 12, 8, 26),
  (449, '17F-System_DateAccessed', 'System.DateAccessed', 17, 64, 12, 8, 26),
  (567, '4450-System_ItemType', 'System.ItemType', 4450, 31, 11, 512, 51),
  (581, '11-System_FileName', 'System.FileName', 11, 31, 11, 520, 55);
BEGIN;
-- ColumnIds the Windows 11 machine in the corpus gives its other properties.
CREATE TEMP TABLE k(c INTEGER PRIMARY KEY);
INSERT INTO k VALUES (6), (13), (17), (26), (29), (30), (35), (39), (188), (295), (306), (308),
  (342), (376), (414), (420), (432), (438), (444), (448), (462), (464), (466), (564), (585), (587),
  (596), (597);
INSERT INTO SystemIndex_1_PropertyStore_Metadata
SELECT c, c || '-System_Other' || c, 'System.Other' || c, c, 31, 11, 512, 0 FROM k;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $items),
  read(c) AS (SELECT 33 UNION ALL SELECT 349 UNION ALL SELECT 436 UNION ALL SELECT 441
    UNION ALL SELECT 445 UNION ALL SELECT 449 UNION ALL SELECT 567 UNION ALL SELECT 581)
INSERT INTO SystemIndex_1_PropertyStore
SELECT i, c, CASE c
    WHEN 33 THEN printf('C:\Users\examiner\Pictures\%03d\IMG_%07d.jpg', i % 997, i)
    WHEN 349 THEN randomblob(8)
    WHEN 436 THEN substr(randomblob(8), 1, 3) || zeroblob(5)
    WHEN 567 THEN '.jpg'
    WHEN 581 THEN printf('IMG_%07d.jpg', i)
    WHEN 441 THEN X'00C0A1A0D10ED501'
    WHEN 445 THEN X'00C0A1A0D10ED501'
    WHEN 449 THEN X'00C0A1A0D10ED501'
    ELSE CASE c % 3 WHEN 0 THEN i * c WHEN 1 THEN randomblob(8)
      ELSE printf('value %d of %d', c, i) END END
FROM n, (SELECT c FROM read UNION ALL SELECT c FROM k)
ORDER BY i, c;
COMMIT;
SQL
