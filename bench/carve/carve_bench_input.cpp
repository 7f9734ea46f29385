// Writes the inputs of the carving benchmark:
//   carve_bench_input mixed FILE MANIFEST MIB COUNT  pages of random bytes, zeros and
//       text with COUNT JPEGs planted; MANIFEST gets "start length" per image
//   carve_bench_input dense FILE MIB                 text dense in "J", no signature
//   carve_bench_input repeated FILE MIB              a "JFIF\0" signature every 64 bytes
//   carve_bench_input walkers FILE MIB               every 4 KiB page starts a JPEG that
//       every earlier one reads as its own valid structure (all walks stay busy)
//   carve_bench_input nested FILE MIB                a JPEG start every 32 bytes, each
//       inside the APP0 segments of the ones before it
//   carve_bench_input signatures FILE MIB            back-to-back "JFIF\0"
//   carve_bench_input flood KIND FILE MIB            back-to-back starts of another kind:
//       bm, png_signatures, png_headers (signature and a valid header chunk),
//       jpeg_tables (FF D8 FF DB whose length runs over the next ones),
//       exif_headers (an Exif start whose APP1 segment runs over the next ones)
#include <turbojpeg.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kMiB = size_t{1} << 20;

std::vector<uint8_t> MakeJpeg(std::mt19937& random, int width, int height, bool progressive) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  // Smooth gradients with some noise, as photos compress.
  const int a = static_cast<int>(random() % 7), b = static_cast<int>(random() % 5);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(x * a + (random() & 15));
      p[1] = static_cast<uint8_t>(y * b + (random() & 15));
      p[2] = static_cast<uint8_t>((x + y) + (random() & 15));
    }
  }
  tjhandle handle = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  tjCompress2(handle, pixels.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_420, 85,
              progressive ? TJFLAG_PROGRESSIVE : 0);
  std::vector<uint8_t> jpeg(out, out + size);
  tjFree(out);
  tjDestroy(handle);
  return jpeg;
}

void FillPage(std::mt19937& random, uint8_t* page) {
  static const char kText[] =
      "Just File Information For Junk; JPEG JFIF JSON Java Jupiter June July Jazz. ";
  switch (random() % 3) {
    case 0:
      for (size_t i = 0; i < kPage; i += 4) {
        const uint32_t r = static_cast<uint32_t>(random());
        std::memcpy(page + i, &r, 4);
      }
      break;
    case 1:
      std::memset(page, 0, kPage);
      break;
    default:
      for (size_t i = 0; i < kPage; ++i)
        page[i] = static_cast<uint8_t>(kText[i % (sizeof kText - 1)]);
  }
}

int Mixed(const char* path, const char* manifest_path, size_t mib, size_t count) {
  std::mt19937 random(2024);
  std::vector<uint8_t> file(mib * kMiB);
  for (size_t i = 0; i < file.size(); i += kPage) FillPage(random, &file[i]);
  // A pool of images reused at many places.
  std::vector<std::vector<uint8_t>> pool;
  for (int i = 0; i < 24; ++i) {
    const int w = 64 + static_cast<int>(random() % 600), h = 48 + static_cast<int>(random() % 400);
    pool.push_back(MakeJpeg(random, w, h, i % 4 == 3));
  }
  FILE* manifest = std::fopen(manifest_path, "w");
  const size_t slot = file.size() / count;
  for (size_t i = 0; i < count; ++i) {
    const auto& jpeg = pool[random() % pool.size()];
    if (jpeg.size() + 64 > slot) continue;
    const size_t start = i * slot + random() % (slot - jpeg.size() - 32);
    std::copy(jpeg.begin(), jpeg.end(), file.begin() + static_cast<ptrdiff_t>(start));
    std::fprintf(manifest, "%zu %zu\n", start, jpeg.size());
  }
  std::fclose(manifest);
  FILE* f = std::fopen(path, "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  return std::fclose(f) == 0 ? 0 : 1;
}

int Dense(const char* path, size_t mib) {
  // "J" everywhere, "JF" often, a zero byte never four after a "J".
  static const char kPattern[] = "JJJJ JFJF JFIF JFIFJFIF JAVA JUNE JFI";
  std::vector<uint8_t> file(mib * kMiB);
  for (size_t i = 0; i < file.size(); ++i)
    file[i] = static_cast<uint8_t>(kPattern[i % (sizeof kPattern - 1)]);
  FILE* f = std::fopen(path, "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  return std::fclose(f) == 0 ? 0 : 1;
}

int Repeated(const char* path, size_t mib) {
  std::vector<uint8_t> file(mib * kMiB, 0x20);
  for (size_t i = 6; i + 5 <= file.size(); i += 64) std::memcpy(&file[i], "JFIF", 5);
  FILE* f = std::fopen(path, "wb");
  std::fwrite(file.data(), 1, file.size(), f);
  return std::fclose(f) == 0 ? 0 : 1;
}

int Write(const char* path, const std::vector<uint8_t>& file) {
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return 1;
  std::fwrite(file.data(), 1, file.size(), f);
  return std::fclose(f) == 0 ? 0 : 1;
}

// Each page: an APP1 segment header that makes the earlier images step over
// the new image's start, the new image's SOI and APP0 ending at the same
// place, a frame and a scan header, then entropy-coded data of stuffed FF 00
// pairs, the slowest bytes to walk. Every image stays valid for every one
// before it, up to the length cap.
int Walkers(const char* path, size_t mib) {
  std::vector<uint8_t> file(mib * kMiB);
  constexpr size_t kJoin = 32;  // where the segments end
  for (size_t page = 0; page + kPage <= file.size(); page += kPage) {
    uint8_t* p = &file[page];
    const uint8_t head[] = {0xFF, 0xE1,      0,   kJoin - 2, 0xFF, 0xD8, 0xFF, 0xE0,
                            0,    kJoin - 8, 'J', 'F',       'I',  'F',  0};
    std::memcpy(p, head, sizeof head);
    const uint8_t frame[] = {0xFF, 0xC0, 0,    11, 8, 0, 16, 0, 16, 1,  1, 0x11,
                             0,    0xFF, 0xDA, 0,  8, 1, 1,  0, 0,  63, 0};
    std::memcpy(p + kJoin, frame, sizeof frame);
    size_t i = kJoin + sizeof frame;
    if ((kPage - i) % 2 != 0) p[i++] = 0x00;
    for (; i < kPage; i += 2) {
      p[i] = 0xFF;
      p[i + 1] = 0x00;
    }
  }
  return Write(path, file);
}

// A JPEG start every 32 bytes whose APP0 segment runs 60,000 bytes on, over
// the starts of the next ones: 64 walks, each in a segment of its own.
int Nested(const char* path, size_t mib) {
  std::vector<uint8_t> file(mib * kMiB, 0x20);
  for (size_t at = 0; at + 32 <= file.size(); at += 32) {
    const uint8_t head[] = {0xFF, 0xD8, 0xFF, 0xE0, 0xEA, 0x60, 'J', 'F', 'I', 'F', 0};
    std::memcpy(&file[at], head, sizeof head);
  }
  return Write(path, file);
}

int Signatures(const char* path, size_t mib) {
  std::vector<uint8_t> file(mib * kMiB);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>("JFIF"[i % 5 % 4]);
  for (size_t i = 4; i < file.size(); i += 5) file[i] = 0;
  return Write(path, file);
}

uint32_t Crc32(const uint8_t* data, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

int Flood(const std::string& kind, const char* path, size_t mib) {
  std::vector<uint8_t> unit;
  if (kind == "bm") {
    unit = {'B', 'M'};
  } else if (kind == "png_signatures" || kind == "png_headers") {
    unit = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (kind == "png_headers") {
      const uint8_t ihdr[] = {0,  0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0,
                              16, 0, 0, 0,  16,  8,   2,   0,   0, 0};
      unit.insert(unit.end(), ihdr, ihdr + sizeof ihdr);
      const uint32_t crc = Crc32(ihdr + 4, sizeof ihdr - 4);
      for (int s = 24; s >= 0; s -= 8) unit.push_back(static_cast<uint8_t>(crc >> s));
    }
  } else if (kind == "jpeg_tables") {
    unit = {0xFF, 0xD8, 0xFF, 0xDB};
  } else if (kind == "exif_headers") {
    unit = {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 'E', 'x', 'i', 'f', 0, 0};
  } else {
    return 2;
  }
  std::vector<uint8_t> file(mib * kMiB);
  for (size_t i = 0; i < file.size(); ++i) file[i] = unit[i % unit.size()];
  return Write(path, file);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "mixed" && argc == 6) {
    return Mixed(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10),
                 std::strtoull(argv[5], nullptr, 10));
  }
  if (mode == "dense" && argc == 4) return Dense(argv[2], std::strtoull(argv[3], nullptr, 10));
  if (mode == "repeated" && argc == 4)
    return Repeated(argv[2], std::strtoull(argv[3], nullptr, 10));
  if (mode == "walkers" && argc == 4) return Walkers(argv[2], std::strtoull(argv[3], nullptr, 10));
  if (mode == "nested" && argc == 4) return Nested(argv[2], std::strtoull(argv[3], nullptr, 10));
  if (mode == "signatures" && argc == 4)
    return Signatures(argv[2], std::strtoull(argv[3], nullptr, 10));
  if (mode == "flood" && argc == 5)
    return Flood(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
  std::fputs(
      "usage: carve_bench_input mixed FILE MANIFEST MIB COUNT | dense FILE MIB | "
      "repeated FILE MIB | walkers FILE MIB | nested FILE MIB | signatures FILE MIB | "
      "flood KIND FILE MIB\n",
      stderr);
  return 2;
}
