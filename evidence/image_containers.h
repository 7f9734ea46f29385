// Disk images inside virtual-machine and forensic containers: VMDK, VHD,
// VHDX, QCOW2 and AFF, read through Debian's libvmdk, libvhdi, libqcow and
// afflib. Each opens as an ImageByteSource::Reader, so the partitions and
// file systems in it are read as in a raw disk, and a read the library
// refuses becomes unreadable sectors there.
//
// Files a container names (a VMDK's extent files and parent, a differential
// VHD's or VHDX's parent, a QCOW2's backing file) are looked for by their
// file name alone, in the folder of the file that names them. The folders
// they were written with are the ones of the machine that made the disk
// (C:\VMs\..., /var/lib/libvirt/...), not the examiner's; a name that
// reaches elsewhere (/etc/shadow, ../../x) is cut to its last part and
// looked for there too, and only a regular file is opened. One that is not
// there refuses the image with its name, as a missing EWF segment does.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "evidence/evidence_image.h"

namespace glintvane {

// Bytes read from the start of a file to recognise its container: the
// longest signature is a VMDK descriptor's opening line.
inline constexpr size_t kContainerHeadBytes = 64;

// The container the first bytes of a file (`head`) and its last sector
// (`tail`, where a fixed VHD keeps its only footer) name: kEwf, kVmdk,
// kVhd, kVhdx, kQcow2 or kAff; kRaw when none does.
ImageFormat RecogniseContainer(std::span<const uint8_t> head, std::span<const uint8_t> tail);

// The container of the file at `path` by its content; kRaw when it names
// none or cannot be read.
ImageFormat ContainerFormatOf(const std::string& path);

struct OpenedContainer {
  std::unique_ptr<ImageByteSource::Reader> reader;
  size_t files = 1;  // the files read: the image, its extents, its parents
};

// Opens the container at `path` as RecogniseContainer named it. The error is
// kErrImageIncomplete for a missing extent or parent (named in the detail),
// else kErrImageOpen: a format the library refuses, an encrypted image.
ReadResult<OpenedContainer> OpenContainer(const std::string& path, ImageFormat format);

// The file a container names, as it is looked for: the last part of
// `named` (after any '/' or '\'), in the folder of `naming_file`. Empty
// when that last part is empty, "." or "..".
std::string LinkedFilePath(const std::string& naming_file, std::string_view named);

}  // namespace glintvane
