#include "tools/iconexport/png_file.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace iconexport {
namespace {

void PutBigEndian32(std::vector<unsigned char>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

// One chunk: length, type, data, CRC over type and data.
void PutChunk(std::vector<unsigned char>& out, const char (&type)[5],
              const std::vector<unsigned char>& data) {
  PutBigEndian32(out, static_cast<uint32_t>(data.size()));
  const size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(4 + data.size()));
  PutBigEndian32(out, static_cast<uint32_t>(crc));
}

}  // namespace

bool WritePng(const IconImage& image, const std::string& path) {
  const int size = image.size;
  // Each row: filter byte 0 (none), then R G B A per pixel.
  std::vector<unsigned char> raw;
  raw.reserve(static_cast<size_t>(size) * (1 + 4 * static_cast<size_t>(size)));
  for (int y = 0; y < size; ++y) {
    raw.push_back(0);
    for (int x = 0; x < size; ++x) {
      const uint32_t argb = image.argb[static_cast<size_t>(y) * size + x];
      raw.push_back(static_cast<unsigned char>(argb >> 16));
      raw.push_back(static_cast<unsigned char>(argb >> 8));
      raw.push_back(static_cast<unsigned char>(argb));
      raw.push_back(static_cast<unsigned char>(argb >> 24));
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<unsigned char> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    return false;
  }
  packed.resize(packedSize);

  std::vector<unsigned char> header;
  PutBigEndian32(header, static_cast<uint32_t>(size));  // width
  PutBigEndian32(header, static_cast<uint32_t>(size));  // height
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, filter 0, no interlace

  std::vector<unsigned char> file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(file, "IHDR", header);
  PutChunk(file, "IDAT", packed);
  PutChunk(file, "IEND", {});

  const std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!out) return false;
  return std::fwrite(file.data(), 1, file.size(), out.get()) == file.size();
}

}  // namespace iconexport
