#!/usr/bin/env bash
# Recovers deleted caches whose directory entries are gone, from the free
# space of a disk image, and counts the thumbnails that come back byte-exact
# with their names:
#   bench/evidence/wiped_caches.sh [PATH/TO/glintvane-cli] [WORK_DIR]
# The disk is made as the evidence tests make theirs: an MBR with a FAT32
# partition holding one cache and an NTFS partition (through ntfs-3g; FAT32
# again without it) holding another, both deleted, and then every trace of
# their entries overwritten: the FAT directory entries (short and long
# names) and the NTFS file record. Only `search IMAGE --unallocated` can find
# them then. Each cache found is listed and its rows compared, name and
# SHA-256, with a listing of the corpus file it was copied from.
# Goal: at least 99% of the thumbnails exact with their names (620 of 626).
set -euo pipefail

cli=$(realpath "${1:-build/dev/cli/glintvane-cli}")
here=$(cd "$(dirname "$0")" && pwd)
corpus=$here/../../../shared/corpus/real
work=${2:-$(mktemp -d "${TMPDIR:-/tmp}/glintvane-wiped-XXXXXX")}
mkdir -p "$work"
cd "$work"
fat_cache=$corpus/017-feng33-Thumbs.db
ntfs_cache=$corpus/020-feng33-Thumbs.db

truncate -s 40M fat.raw
mkfs.vfat -F 32 -s 1 -n WIPED fat.raw >/dev/null
export MTOOLS_SKIP_CHECK=1
mmd -i fat.raw ::/Pics ::/Keep
head -c 300000 /dev/urandom >filler.bin
mcopy -i fat.raw filler.bin ::/Keep/filler.bin
mcopy -i fat.raw "$fat_cache" ::/Pics/Thumbs.db
mcopy -i fat.raw filler.bin ::/Keep/after.bin
mdel -i fat.raw ::/Pics/Thumbs.db

truncate -s 16M ntfs.raw
mkntfs -q -F -Q -L WIPED ntfs.raw >/dev/null 2>&1
mnt=$(mktemp -d)
second=fat
if command -v ntfs-3g >/dev/null && ntfs-3g ntfs.raw "$mnt" 2>/dev/null; then
  mkdir -p "$mnt/Temp"
  cp "$ntfs_cache" "$mnt/Temp/Thumbs.db"
  sync
  rm "$mnt/Temp/Thumbs.db"
  umount "$mnt"
  second=ntfs
else
  mmd -i fat.raw ::/Old
  mcopy -i fat.raw "$ntfs_cache" ::/Old/Thumbs.db
  mdel -i fat.raw ::/Old/Thumbs.db
fi
rmdir "$mnt"

# Every deleted FAT entry (0xE5 first) and every NTFS file record not in
# use that names Thumbs.db is overwritten with zeros.
python3 - fat.raw ntfs.raw <<'EOF'
import sys
fat = bytearray(open(sys.argv[1], 'rb').read())
wiped = 0
for at in range(0, len(fat), 32):
    e = fat[at:at + 32]
    if e[0] == 0xE5 and (e[11] == 0x0F or e[1:11] == b'HUMBS   DB'):
        fat[at:at + 32] = bytes(32)
        wiped += 1
open(sys.argv[1], 'wb').write(fat)
ntfs = bytearray(open(sys.argv[2], 'rb').read())
name = 'Thumbs.db'.encode('utf-16-le')
for at in range(0, len(ntfs), 1024):
    r = ntfs[at:at + 1024]
    if r[:4] == b'FILE' and name in r and not (r[22] & 1):
        ntfs[at:at + 1024] = bytes(1024)
        wiped += 1
open(sys.argv[2], 'wb').write(ntfs)
print(f'{wiped} directory entries and file records wiped', file=sys.stderr)
EOF

truncate -s 60M disk.raw
printf 'label: dos\nstart=2048, size=81920, type=c\nstart=86016, size=32768, type=7\n' |
  sfdisk -q disk.raw >/dev/null
dd if=fat.raw of=disk.raw bs=1M seek=1 conv=notrunc,sparse status=none
dd if=ntfs.raw of=disk.raw bs=512 seek=86016 conv=notrunc,sparse status=none

"$cli" search disk.raw --json >plain.json
"$cli" search disk.raw --unallocated --json >search.json || true
python3 - "$cli" "$fat_cache" "$ntfs_cache" "$second" <<'EOF'
import json, subprocess, sys
cli, fat_cache, ntfs_cache, second = sys.argv[1:]
plain = json.load(open('plain.json'))
named = [r for r in plain['rows'] if r['name'].lower() == 'thumbs.db']
print(f'caches the file systems still name: {len(named)}')
found = [r for r in json.load(open('search.json'))['rows'] if 'offset' in r]
def rows(path):
    out = subprocess.run([cli, 'list', '--json', path], capture_output=True, text=True).stdout
    return [(r['name'], r['sha256']) for r in json.loads(out)['rows']]
truth = rows(fat_cache) + rows(ntfs_cache)
got = []
for r in found:
    got += rows(r['path'])
    print(f"found {r['path']}: {r['size']} bytes, complete {r['complete']}")
left = list(got)
exact = 0
for pair in truth:
    if pair in left:
        left.remove(pair)
        exact += 1
print(f'thumbnails: {exact} of {len(truth)} byte-exact with their names '
      f'({100 * exact / len(truth):.1f} %, goal >= 99 %); second cache on {second}')
sys.exit(0 if exact * 100 >= 99 * len(truth) else 1)
EOF
