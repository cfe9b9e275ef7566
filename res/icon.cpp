// Icon 128, drawn in code: a pool-blue rounded square with a white replay
// arrow over two light waves. Edges are smoothed by 4 x 4 supersampling.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "res/resources.h"

namespace {

constexpr int kSamples = 4;  // per axis, per pixel

struct Rgba {
  double r, g, b, a;
};

constexpr Rgba kPool{0.10, 0.47, 0.85, 1.0};
constexpr Rgba kDeep{0.05, 0.27, 0.55, 1.0};
constexpr Rgba kWhite{1.0, 1.0, 1.0, 1.0};
constexpr Rgba kFoam{0.62, 0.88, 1.0, 1.0};
constexpr Rgba kClear{0.0, 0.0, 0.0, 0.0};

// The colour at (x, y), both in 0..1 across the icon.
Rgba ColourAt(double x, double y) {
  // Rounded square with a corner radius of a fifth of the side.
  constexpr double kCorner = 0.2;
  const double cx = std::clamp(x, kCorner, 1.0 - kCorner);
  const double cy = std::clamp(y, kCorner, 1.0 - kCorner);
  if (std::hypot(x - cx, y - cy) > kCorner) return kClear;

  // Replay arrow: a ring open at the upper right, with a head at the opening.
  constexpr double kRingX = 0.5, kRingY = 0.42, kRingRadius = 0.24, kRingHalfWidth = 0.055;
  const double angle = std::atan2(y - kRingY, x - kRingX);  // y grows downwards
  const double distance = std::hypot(x - kRingX, y - kRingY);
  constexpr double kGapFrom = -std::numbers::pi / 2, kGapTo = -std::numbers::pi / 8;
  const bool inGap = angle > kGapFrom && angle < kGapTo;
  if (!inGap && std::abs(distance - kRingRadius) < kRingHalfWidth) return kWhite;
  // Arrow head: a triangle pointing left at the top of the ring.
  const double hx = x - kRingX, hy = y - (kRingY - kRingRadius);
  constexpr double kHead = 0.12;
  if (hx >= -0.02 && hx <= kHead && std::abs(hy) <= (kHead - hx) * 0.9) return kWhite;

  // Two waves across the lower part.
  for (const double base : {0.78, 0.9}) {
    const double wave = base + 0.025 * std::sin(x * 4.0 * std::numbers::pi);
    if (std::abs(y - wave) < 0.025) return kFoam;
  }
  // Water deepens downwards.
  const double t = y;
  return {kPool.r + (kDeep.r - kPool.r) * t, kPool.g + (kDeep.g - kPool.g) * t,
          kPool.b + (kDeep.b - kPool.b) * t, 1.0};
}

uint32_t Channel(double value) {
  return static_cast<uint32_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

}  // namespace

namespace res {

IconImage DrawAppIcon(int size) {
  IconImage image{size, std::vector<uint32_t>(static_cast<size_t>(size) * size)};
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      Rgba sum{0, 0, 0, 0};
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const Rgba c = ColourAt((px + (sx + 0.5) / kSamples) / size,
                                  (py + (sy + 0.5) / kSamples) / size);
          sum = {sum.r + c.r * c.a, sum.g + c.g * c.a, sum.b + c.b * c.a, sum.a + c.a};
        }
      }
      const double coverage = sum.a / (kSamples * kSamples);
      const double alpha = sum.a > 0 ? sum.a : 1.0;  // un-premultiply the average
      image.argb[static_cast<size_t>(py) * size + px] =
          (Channel(coverage) << 24) | (Channel(sum.r / alpha) << 16) |
          (Channel(sum.g / alpha) << 8) | Channel(sum.b / alpha);
    }
  }
  return image;
}

}  // namespace res
