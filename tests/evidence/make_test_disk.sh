#!/usr/bin/env bash
# Builds the small disk images the evidence tests read, without mounting
# anything unless ntfs-3g can mount through FUSE:
#   disk.raw      MBR, p1 FAT32 (34 MiB), p2 NTFS (8 MiB), p3 1 MiB of zeros (no file system)
#   fat.raw       the FAT32 file system alone (no partition table); its
#                 /ProgramData holds a Windows Search index (Windows.db, -wal)
#   split.raw.001 disk.raw cut into numbered pieces (16 MiB)
#   piece.raw.001 fat.raw cut into 8 MiB pieces (tests remove a middle one)
#   short.raw     the first 20 MiB of fat.raw: a file system cut short
#   short.E01     short.raw as EWF
#   disk.E01      disk.raw as EWF (ewfacquire -u)
#   gap.E01..     a 4 MiB image in five EWF segments (tests remove one)
#   bad.E01       fat.raw as EWF with two damaged chunks (a folder, a cache)
#   disk.vmdk, flat.vmdk (+ flat-flat.vmdk), split.vmdk (+ split-s001.vmdk),
#   disk.vhd, fixed.vhd, disk.vhdx, fixed.vhdx, disk.qcow2, disk.aff
#                 disk.raw in each container: a monolithic sparse VMDK, a
#                 descriptor with a flat extent, one with 2 GB sparse extents,
#                 dynamic and fixed VHD and VHDX, QCOW2, AFF
#   child.qcow2, child.vmdk, child.vhd, child.vhdx
#                 children that hold nothing of their own, so that every byte
#                 read comes from disk.qcow2, disk.vmdk, disk.vhd, disk.vhdx;
#                 child.vhd and child.vhdx are empty dynamic images that the
#                 tests make differential (qemu-img writes none)
#   layout.txt    what was built: "ntfs_tree=yes" when NTFS got folders and a
#                 deleted cache (FUSE), "no" when only ntfscp could write to it
# Usage: make_test_disk.sh OUT_DIR CORPUS_DIR
set -euo pipefail
out=$1
corpus=$2/real
mkdir -p "$out"
cd "$out"
rm -f ./*.raw ./*.raw.* ./*.E?? layout.txt ./*.xml ./*.vmdk ./*.vhd ./*.vhdx ./*.qcow2 ./*.aff

a=$corpus/001-oldcode-Thumbs.db
b=$corpus/002-pyliu-docs-Thumbs.db
c=$corpus/004-referats-Thumbs.db
d=$corpus/009-oldcode-Thumbs.db

# FAT32: one cache kept, one deleted, a recycled one named by its INFO2; the
# tests may hand in info2.bin (the index), kept.jpg and deleted.jpg (pictures
# for carving: one allocated, one in unallocated space).
truncate -s 34M fat.raw
mkfs.vfat -F 32 -s 1 -n EVIDENCE fat.raw >/dev/null
export MTOOLS_SKIP_CHECK=1
mmd -i fat.raw ::/Pics ::/Old ::/RECYCLER ::/RECYCLER/S-1-5-21-1
# 64 KiB first, so the caches' clusters lie in other EWF chunks than the folders'.
head -c 65536 /dev/zero >filler.bin
mcopy -i fat.raw filler.bin ::/filler.bin
rm filler.bin
mcopy -i fat.raw "$a" ::/Pics/Thumbs.db
mcopy -i fat.raw "$b" ::/Old/Thumbs.db
mcopy -i fat.raw "$d" ::/RECYCLER/S-1-5-21-1/Dc1.db
if [ -f "$out/info2.bin" ]; then mcopy -i fat.raw "$out/info2.bin" ::/RECYCLER/S-1-5-21-1/INFO2; fi
if [ -f "$out/kept.jpg" ]; then mcopy -i fat.raw "$out/kept.jpg" ::/Pics/kept.jpg; fi
if [ -f "$out/deleted.jpg" ]; then
  mcopy -i fat.raw "$out/deleted.jpg" ::/Old/photo.jpg
  mdel -i fat.raw ::/Old/photo.jpg
fi
mdel -i fat.raw ::/Old/Thumbs.db
# Windows Vista and later: a thumbcache file, and a recycled cache that its
# $I record (vista_i.bin, when the tests hand one in) names.
explorer=::/Users/eve/AppData/Local/Microsoft/Windows/Explorer
mmd -i fat.raw ::/Users ::/Users/eve ::/Users/eve/AppData ::/Users/eve/AppData/Local \
  ::/Users/eve/AppData/Local/Microsoft ::/Users/eve/AppData/Local/Microsoft/Windows "$explorer"
mcopy -i fat.raw "$corpus/thumbcache/win7-a/thumbcache_32.db" "$explorer/thumbcache_32.db"
mcopy -i fat.raw "$corpus/thumbcache/win7-a/thumbcache_idx.db" "$explorer/thumbcache_idx.db"
if [ -f "$out/vista_i.bin" ]; then
  mmd -i fat.raw '::/$Recycle.Bin' '::/$Recycle.Bin/S-1-5-21-9'
  mcopy -i fat.raw "$out/vista_i.bin" '::/$Recycle.Bin/S-1-5-21-9/$IAB12CD.db'
  mcopy -i fat.raw "$corpus/010-oldcode-Thumbs.db" '::/$Recycle.Bin/S-1-5-21-9/$RAB12CD.db'
fi
# The Windows Search index where Windows keeps it for that profile (Windows
# 11's, with its -wal), copied last so the clusters above stay where they lie.
search=::/ProgramData/Microsoft/Search/Data/Applications/Windows
mmd -i fat.raw ::/ProgramData ::/ProgramData/Microsoft ::/ProgramData/Microsoft/Search \
  ::/ProgramData/Microsoft/Search/Data ::/ProgramData/Microsoft/Search/Data/Applications "$search"
mcopy -i fat.raw "$corpus/search-index/win11-c/Windows.db" "$search/Windows.db"
mcopy -i fat.raw "$corpus/search-index/win11-c/Windows.db-wal" "$search/Windows.db-wal"

# NTFS: with FUSE, a folder tree and a deleted cache; without, ntfscp puts
# one cache into the root.
truncate -s 8M ntfs.raw
mkntfs -q -F -Q -L EVIDENCE ntfs.raw >/dev/null 2>&1
ntfs_tree=no
mnt=$(mktemp -d)
if command -v ntfs-3g >/dev/null && ntfs-3g ntfs.raw "$mnt" 2>/dev/null; then
  mkdir -p "$mnt/Users/eve/Pictures" "$mnt/Temp"
  cp "$c" "$mnt/Users/eve/Pictures/Thumbs.db"
  cp "$b" "$mnt/Temp/Thumbs.db"
  sync
  rm "$mnt/Temp/Thumbs.db"
  umount "$mnt"
  ntfs_tree=yes
else
  ntfscp -f -q ntfs.raw "$c" Thumbs.db >/dev/null
fi
rmdir "$mnt"

# The disk: an MBR with both partitions.
truncate -s 44M disk.raw
printf 'label: dos\nstart=2048, size=69632, type=c\nstart=71680, size=16384, type=7\nstart=88064, size=2048, type=83\n' |
  sfdisk -q disk.raw >/dev/null
dd if=fat.raw of=disk.raw bs=1M seek=1 conv=notrunc,sparse status=none
dd if=ntfs.raw of=disk.raw bs=512 seek=71680 conv=notrunc,sparse status=none

split -b 16M -d -a 3 --numeric-suffixes=1 disk.raw split.raw.
split -b 8M -d -a 3 --numeric-suffixes=1 fat.raw piece.raw.
head -c 20M fat.raw >short.raw
ewfacquire -u -q -c none -t short short.raw >/dev/null
ewfacquire -u -q -c best -t disk disk.raw >/dev/null
# bad.E01: the FAT image as uncompressed EWF with one spot overwritten in the
# chunk that starts the recycled cache Dc1.db and one in the chunk that starts
# /Pics/Thumbs.db, so libewf's checksums fail there. Uncompressed chunks lie
# one after another behind the "sectors" section's 76-byte descriptor, each
# 32768 bytes and a 4-byte checksum.
ewfacquire -u -q -c none -t bad fat.raw >/dev/null
first_sector() { istat fat.raw "$1" | awk '/^Sectors:/ { getline; print $1; exit }'; }
inode_of() { fls -r -p fat.raw | awk -v want="$1" -F '\t' '$2 == want { sub(/.* /, "", $1); sub(/:$/, "", $1); print $1; exit }'; }
sectors=$(grep -obUaP 'sectors\x00' bad.E01 | head -1 | cut -d: -f1)
for entry in RECYCLER/S-1-5-21-1/Dc1.db Pics/Thumbs.db; do
  sector=$(first_sector "$(inode_of "$entry")")
  spot=$((sectors + 76 + (sector / 64) * 32772 + (sector % 64) * 512 + 100))
  printf '\252\252\252\252\252\252\252\252' | dd of=bad.E01 bs=1 seek="$spot" conv=notrunc status=none
done
qemu-img convert -O vmdk disk.raw disk.vmdk
qemu-img convert -O vmdk -o subformat=monolithicFlat disk.raw flat.vmdk
qemu-img convert -O vmdk -o subformat=twoGbMaxExtentSparse disk.raw split.vmdk
qemu-img convert -O vpc disk.raw disk.vhd
qemu-img convert -O vpc -o subformat=fixed disk.raw fixed.vhd
qemu-img convert -O vhdx disk.raw disk.vhdx
qemu-img convert -O vhdx -o subformat=fixed disk.raw fixed.vhdx
qemu-img convert -O qcow2 disk.raw disk.qcow2
qemu-img create -q -f qcow2 -b disk.qcow2 -F qcow2 child.qcow2
qemu-img create -q -f vmdk -b disk.vmdk -F vmdk child.vmdk
qemu-img create -q -f vpc child.vhd 44M
qemu-img create -q -f vhdx child.vhdx 44M
affconvert -q -o disk.aff disk.raw >/dev/null
head -c 4M /dev/urandom >gap.raw
ewfacquire -u -q -c none -S 1048576 -t gap gap.raw >/dev/null
echo "ntfs_tree=$ntfs_tree" >layout.txt
