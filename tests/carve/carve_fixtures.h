// JPEGs and files to carve, made in the tests themselves.
#pragma once

#include <turbojpeg.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace glintvane::testing {

// A JPEG of noise (so its entropy-coded data is long and holds stuffed FF
// bytes), with the JFIF header libjpeg-turbo writes.
inline std::vector<uint8_t> MakeJpeg(int width, int height, unsigned seed,
                                     bool progressive = false) {
  std::mt19937 random(seed);
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  for (auto& p : pixels) p = static_cast<uint8_t>(random());
  tjhandle handle = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int flags = progressive ? TJFLAG_PROGRESSIVE : 0;
  const int rc = tjCompress2(handle, pixels.data(), width, 0, height, TJPF_RGB, &out, &size,
                             TJSAMP_420, 90, flags);
  std::vector<uint8_t> jpeg;
  if (rc == 0) jpeg.assign(out, out + size);
  tjFree(out);
  tjDestroy(handle);
  return jpeg;
}

// `outer` with an Exif APP1 segment after its JFIF header that holds
// `inner` as its thumbnail.
inline std::vector<uint8_t> WithThumbnail(const std::vector<uint8_t>& outer,
                                          const std::vector<uint8_t>& inner) {
  const size_t app0_end = 4 + ((outer[4] << 8) | outer[5]);
  std::vector<uint8_t> segment = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
  segment.insert(segment.end(), inner.begin(), inner.end());
  const size_t length = segment.size() - 2;
  segment[2] = static_cast<uint8_t>(length >> 8);
  segment[3] = static_cast<uint8_t>(length);
  std::vector<uint8_t> out(outer.begin(), outer.begin() + static_cast<ptrdiff_t>(app0_end));
  out.insert(out.end(), segment.begin(), segment.end());
  out.insert(out.end(), outer.begin() + static_cast<ptrdiff_t>(app0_end), outer.end());
  return out;
}

inline void Plant(std::vector<uint8_t>& file, size_t offset, const std::vector<uint8_t>& bytes) {
  if (file.size() < offset + bytes.size()) file.resize(offset + bytes.size());
  std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<ptrdiff_t>(offset));
}

// "JFIF" and a zero byte with nothing of a JPEG around it.
inline const std::vector<uint8_t> kBareSignature = {'J', 'F', 'I', 'F', 0};

// A file under the temporary folder, removed with the object.
class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes) {
    char name[] = "/tmp/glintvane-carve-XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    FILE* f = fdopen(fd, "wb");
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  ~TempFile() { std::remove(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace glintvane::testing
