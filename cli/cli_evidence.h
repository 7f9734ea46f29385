// The command line's side of disk images: searching one, and the DFXML
// record that carve and extract write.
#pragma once

#include <string>
#include <vector>

#include "export/dfxml.h"

namespace glintvane::cli {

// True when `root` given to search is not a folder but something to open as
// a disk image (a file or a block device).
bool IsImageSearchRoot(const std::string& root);

// Searches the image; with `unallocated`, the free space of its file systems
// too; with `shadow_copies`, the Volume Shadow Copy stores of its NTFS
// volumes.
int RunImageSearch(const std::string& image, bool json, int code_page = 1252,
                   bool unallocated = false, bool shadow_copies = true);

// True for an EWF segment, another container (VMDK, VHD, VHDX, QCOW2, AFF) or
// the first piece of a split raw image: files whose bytes are not the disk's
// as they lie.
bool IsImageNotPlainBytes(const std::string& path);

// After a failed read: when FILE is a disk image, says how to search it.
void HintAtImage(const std::string& path);

// Writes the DFXML document to `path` through a fresh file renamed into
// place, the run's end time now unless set; refuses to replace `input`.
// Prints the reason on failure.
bool WriteDfxmlFile(const std::string& path, const std::string& input, const DfxmlRun& run,
                    const std::vector<DfxmlFileObject>& objects);

// A DfxmlRun for this process: program, version, command line, and now as
// its start time (made when the run starts).
DfxmlRun ThisRun(const std::string& kind, const std::string& source);

}  // namespace glintvane::cli
