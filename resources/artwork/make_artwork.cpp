// Draws the program's artwork and writes it in the formats the resource script embeds:
//   logo.bmp             the 82x290 product logo shown in the dialog
//   app.ico              the application icon (four 256-colour and four 32-bit images)
//   icon/<id>.ico-image  each icon image on its own, so the resource script can give it a fixed id
//   icon/group.bin       the icon group directory that refers to those ids
//
// Usage: make_artwork OUTPUT_DIR
//
// The output must be byte-for-byte reproducible, so the drawing sticks to arithmetic that IEEE
// rounds exactly (+ - * /, sqrt, floor) and uses no library trigonometry.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Little-endian fields; callers pass values that fit.
void Put16(Bytes& out, std::size_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Put32(Bytes& out, std::size_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, (v >> 16) & 0xFFFF);
}

void WriteFile(const fs::path& path, const Bytes& data) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

// ---------------------------------------------------------------------------------------------
// Rendering: shapes are signed distance functions in pixel units (negative inside); a pixel's
// colour and coverage come from a grid of samples, which gives smooth edges.

struct Color {
  double r, g, b;
};

Color Mix(Color a, Color b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

struct Sample {
  Color color;
  bool inside;
};

struct Pixel {  // straight (not premultiplied) colour, 0..255
  std::uint8_t r, g, b, a;
};

struct Image {
  int width, height;
  std::vector<Pixel> pixels;  // top row first
  const Pixel& At(int x, int y) const { return pixels[y * width + x]; }
};

std::uint8_t ToByte(double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0) + 0.5); }

template <typename Shader>
Image Render(int width, int height, Shader shader) {
  constexpr int kGrid = 8;
  Image image{width, height, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double r = 0, g = 0, b = 0, covered = 0;
      for (int j = 0; j < kGrid; ++j) {
        for (int i = 0; i < kGrid; ++i) {
          Sample s = shader(x + (i + 0.5) / kGrid, y + (j + 0.5) / kGrid);
          if (!s.inside) continue;
          r += s.color.r, g += s.color.g, b += s.color.b, covered += 1;
        }
      }
      Pixel p{0, 0, 0, 0};
      if (covered > 0)
        p = {ToByte(r / covered), ToByte(g / covered), ToByte(b / covered),
             ToByte(255 * covered / (kGrid * kGrid))};
      image.pixels.push_back(p);
    }
  }
  return image;
}

struct Vec {
  double x, y;
};

double Length(double x, double y) { return std::sqrt(x * x + y * y); }

double Box(Vec p, Vec lo, Vec hi) {  // axis-aligned box
  double dx = std::max(lo.x - p.x, p.x - hi.x), dy = std::max(lo.y - p.y, p.y - hi.y);
  return dx > 0 && dy > 0 ? Length(dx, dy) : std::max(dx, dy);
}

double Capsule(Vec p, Vec a, Vec b, double radius) {  // thick line segment with round ends
  double bx = b.x - a.x, by = b.y - a.y, px = p.x - a.x, py = p.y - a.y;
  double len2 = bx * bx + by * by;
  double t = len2 > 0 ? std::clamp((px * bx + py * by) / len2, 0.0, 1.0) : 0.0;
  return Length(px - bx * t, py - by * t) - radius;
}

// ---------------------------------------------------------------------------------------------
// The brass key: bow at the lower left, blade towards the upper right, bits hanging to the
// lower right. Local() measures along the key (x) and across it towards the bits (y), in units
// of the drawing size.

constexpr double kHalfSqrt2 = 0.70710678118654752;

struct Key {
  double cx, cy, size;  // centre and size of the drawing, in pixels
  double outline;       // dark rim width, in pixels
  double blade;         // half the blade's thickness, in units of size

  Vec Local(double x, double y) const {
    double px = (x - cx) / size, py = (y - cy) / size;
    return {(px - py) * kHalfSqrt2, (px + py) * kHalfSqrt2};
  }

  double Distance(double x, double y) const {
    Vec p = Local(x, y);
    double bow = std::abs(Length(p.x + 0.29, p.y) - 0.15) - 0.078;
    double shaft = Box(p, {-0.15, -blade}, {0.5, blade});
    double collar = Box(p, {-0.14, -blade - 0.04}, {-0.07, blade + 0.04});
    double bits = std::min(Box(p, {0.26, 0}, {0.35, 0.18}), Box(p, {0.41, 0}, {0.5, 0.23}));
    return std::min({bow, shaft, collar, bits}) * size;
  }

  Sample Shade(double x, double y) const {
    double d = Distance(x, y);
    if (d >= 0) return {{}, false};
    static constexpr Color kRim{104, 64, 8}, kDark{196, 128, 22}, kLight{255, 222, 110},
        kShine{255, 248, 210};
    if (d > -outline) return {kRim, true};
    // Light comes from the upper left: a gradient across the picture plus a bright bevel on
    // edges that face the light.
    double t = 0.5 - ((x - cx) + (y - cy)) / (1.6 * size);
    Color c = Mix(kDark, kLight, t);
    if (d > -outline - std::max(1.0, size / 24)) {
      double e = 0.5;
      double gx = Distance(x + e, y) - Distance(x - e, y),
             gy = Distance(x, y + e) - Distance(x, y - e);
      double facing = -(gx + gy) / (Length(gx, gy) + 1e-9) * kHalfSqrt2;
      if (facing > 0.3) c = Mix(c, kShine, facing);
    }
    return {c, true};
  }
};

Image DrawIcon(int size) {
  // Small sizes get a thicker blade and thinner rim so the key stays readable.
  Key key{size * 0.48, size * 0.5, size * 1.0, size <= 16 ? 0.8 : size / 28.0,
          size <= 16 ? 0.1 : 0.08};
  return Render(size, size, [&](double x, double y) { return key.Shade(x, y); });
}

// ---------------------------------------------------------------------------------------------
// The logo: a round badge with the key near the bottom and QUORVANTIS written upwards.

// 5x7 capitals, only the letters the logo needs. Strokes are drawn through the set cells so the
// letters come out smooth rather than blocky.
struct Glyph {
  char letter;
  std::array<const char*, 7> rows;
};

constexpr Glyph kFont[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
};

struct Segment {
  Vec a, b;
};

// Segments through the centres of a letter's cells, in cell units, x to the right and y down.
std::vector<Segment> GlyphStrokes(char letter) {
  const Glyph* glyph = std::find_if(std::begin(kFont), std::end(kFont),
                                    [&](const Glyph& g) { return g.letter == letter; });
  if (glyph == std::end(kFont)) throw std::runtime_error(std::string("no glyph for ") + letter);
  auto set = [&](int col, int row) {
    return col >= 0 && col < 5 && row >= 0 && row < 7 && glyph->rows[row][col] == '#';
  };
  std::vector<Segment> strokes;
  for (int row = 0; row < 7; ++row) {
    for (int col = 0; col < 5; ++col) {
      if (!set(col, row)) continue;
      Vec a{double(col), double(row)};
      strokes.push_back({a, a});
      if (set(col + 1, row)) strokes.push_back({a, {a.x + 1, a.y}});
      if (set(col, row + 1)) strokes.push_back({a, {a.x, a.y + 1}});
      // Diagonals only where no square corner already joins the two cells.
      for (int dir : {-1, 1}) {
        if (set(col + dir, row + 1) && !set(col + dir, row) && !set(col, row + 1))
          strokes.push_back({a, {a.x + dir, a.y + 1}});
      }
    }
  }
  return strokes;
}

Image DrawLogo() {
  constexpr int kWidth = 82, kHeight = 290;
  constexpr Color kWhite{255, 255, 255}, kTeal{0, 122, 132}, kNavy{18, 52, 104},
      kBadgeEdge{12, 40, 84};

  // Badge centred across the strip near the bottom.
  const double bx = kWidth / 2.0, by = kHeight - 37.0, radius = 31;
  const Key key{bx - 1, by, 48, 1.4, 0.08};

  // Text reads bottom to top: text x runs up the strip and text y (glyph top to bottom) runs
  // left to right. Cells are `cell` pixels; the line is centred across the strip.
  const std::string word = "QUORVANTIS";
  const double cell = 3.5, advance = 6.0, pen = cell * 0.6;
  std::vector<std::vector<Segment>> letters;
  for (char c : word) letters.push_back(GlyphStrokes(c));
  const double textLength = (static_cast<double>(word.size() - 1) * advance + 4) * cell;
  const double textBottom = by - radius - 12, textLeft = kWidth / 2.0 - 3 * cell;
  const double textTop = textBottom - textLength;

  return Render(kWidth, kHeight, [&](double x, double y) -> Sample {
    double dx = x - bx, dy = y - by, r = Length(dx, dy);
    if (r < radius) {
      if (key.Distance(x, y) < 0) return key.Shade(x, y);
      if (r > radius - 2.2) return {kBadgeEdge, true};
      return {Mix(kTeal, kNavy, 0.5 + (dx + dy) / (2.4 * radius)), true};
    }
    Vec t{(textBottom - y) / cell, (x - textLeft) / cell};
    // Letters are further apart than the pen is wide, so only the nearest one can be hit.
    double n = std::clamp(std::floor((t.x - 2) / advance + 0.5), 0.0, double(word.size() - 1));
    Vec local{t.x - n * advance, t.y};
    double d = 1e9;
    for (const Segment& s : letters[static_cast<std::size_t>(n)])
      d = std::min(d, Capsule(local, s.a, s.b, 0));
    if (d * cell < pen) return {Mix(kTeal, kNavy, (textBottom - y) / (textBottom - textTop)), true};
    return {kWhite, true};
  });
}

// ---------------------------------------------------------------------------------------------
// File formats.

constexpr int kPelsPerMeter = 2834;  // 72 dpi

Bytes BitmapInfoHeader(int width, int height, int bits, std::uint32_t imageSize, int pels = 0) {
  Bytes h;
  Put32(h, 40);
  Put32(h, width);
  Put32(h, height);
  Put16(h, 1);
  Put16(h, bits);
  Put32(h, 0);  // BI_RGB
  Put32(h, imageSize);
  Put32(h, pels);
  Put32(h, pels);
  Put32(h, 0);  // all palette entries used
  Put32(h, 0);
  return h;
}

Bytes EncodeBmp(const Image& image) {
  const int stride = (image.width * 3 + 3) & ~3;
  const std::uint32_t pixelBytes = stride * image.height;
  // Two zero bytes follow the rows and count in biSizeImage, making the file 71,976 bytes.
  const std::uint32_t imageSize = pixelBytes + 2, fileSize = 54 + imageSize;
  Bytes out{'B', 'M'};
  Put32(out, fileSize);
  Put32(out, 0);
  Put32(out, 54);
  Bytes info = BitmapInfoHeader(image.width, image.height, 24, imageSize, kPelsPerMeter);
  out.insert(out.end(), info.begin(), info.end());
  for (int y = image.height - 1; y >= 0; --y) {
    for (int x = 0; x < image.width; ++x) {
      const Pixel& p = image.At(x, y);
      out.insert(out.end(), {p.b, p.g, p.r});
    }
    out.resize(out.size() + stride - image.width * 3);
  }
  out.resize(fileSize);
  return out;
}

// Pixels at least half covered are opaque in the 1-bit mask.
bool Opaque(const Pixel& p) { return p.a >= 128; }

void AppendMask(Bytes& out, const Image& image) {
  const int stride = ((image.width + 31) / 32) * 4;
  for (int y = image.height - 1; y >= 0; --y) {
    Bytes row(stride, 0);
    for (int x = 0; x < image.width; ++x) {
      if (!Opaque(image.At(x, y))) row[x / 8] |= 0x80 >> (x % 8);
    }
    out.insert(out.end(), row.begin(), row.end());
  }
}

// Median cut over the opaque pixels' colours. Entry 0 stays black for the masked-out pixels.
std::vector<Color> MakePalette(const Image& image) {
  struct Entry {
    std::array<int, 3> rgb;
    int count;
  };
  std::vector<Entry> colors;
  for (const Pixel& p : image.pixels) {
    if (Opaque(p)) colors.push_back({{p.r, p.g, p.b}, 1});
  }
  std::sort(colors.begin(), colors.end(), [](auto& a, auto& b) { return a.rgb < b.rgb; });
  std::vector<Entry> unique;
  for (const Entry& e : colors) {
    if (!unique.empty() && unique.back().rgb == e.rgb)
      ++unique.back().count;
    else
      unique.push_back(e);
  }

  struct Range {
    std::size_t begin, end;
    int axis, spread;
  };
  auto measure = [&](std::size_t begin, std::size_t end) {
    Range r{begin, end, 0, -1};
    for (int c = 0; c < 3; ++c) {
      auto [lo, hi] = std::minmax_element(unique.begin() + begin, unique.begin() + end,
                                          [c](auto& a, auto& b) { return a.rgb[c] < b.rgb[c]; });
      if (hi->rgb[c] - lo->rgb[c] > r.spread) r.axis = c, r.spread = hi->rgb[c] - lo->rgb[c];
    }
    return r;
  };
  std::vector<Range> boxes;
  if (!unique.empty()) boxes.push_back(measure(0, unique.size()));
  while (boxes.size() < 255) {
    auto widest = std::max_element(boxes.begin(), boxes.end(),
                                   [](auto& a, auto& b) { return a.spread < b.spread; });
    if (widest == boxes.end() || widest->spread <= 0) break;
    Range r = *widest;
    std::stable_sort(unique.begin() + r.begin, unique.begin() + r.end,
                     [&](auto& a, auto& b) { return a.rgb[r.axis] < b.rgb[r.axis]; });
    // Split where half the pixels (not half the colours) fall on either side.
    int total = 0, seen = 0;
    for (std::size_t i = r.begin; i < r.end; ++i) total += unique[i].count;
    std::size_t mid = r.begin + 1;
    for (std::size_t i = r.begin; i + 1 < r.end && seen + unique[i].count <= total / 2; ++i) {
      seen += unique[i].count;
      mid = i + 1;
    }
    *widest = measure(r.begin, mid);
    boxes.push_back(measure(mid, r.end));
  }

  std::vector<Color> palette(256, Color{0, 0, 0});
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    double sum[3] = {0, 0, 0}, n = 0;
    for (std::size_t k = boxes[i].begin; k < boxes[i].end; ++k) {
      for (int c = 0; c < 3; ++c) sum[c] += unique[k].rgb[c] * unique[k].count;
      n += unique[k].count;
    }
    palette[i + 1] = {sum[0] / n, sum[1] / n, sum[2] / n};
  }
  for (Color& c : palette) c = {double(ToByte(c.r)), double(ToByte(c.g)), double(ToByte(c.b))};
  return palette;
}

Bytes EncodeIconImage(const Image& image, int bits) {
  const int n = image.width;
  const int maskBytes = ((n + 31) / 32) * 4 * n;
  const int colorBytes = n * n * bits / 8;  // 8 and 32 bit rows never need padding here
  Bytes out = BitmapInfoHeader(n, 2 * n, bits, colorBytes + maskBytes);
  if (bits == 32) {
    for (int y = n - 1; y >= 0; --y) {
      for (int x = 0; x < n; ++x) {
        const Pixel& p = image.At(x, y);
        if (p.a == 0)
          out.insert(out.end(), {0, 0, 0, 0});
        else
          out.insert(out.end(), {p.b, p.g, p.r, p.a});
      }
    }
  } else {
    std::vector<Color> palette = MakePalette(image);
    for (const Color& c : palette)
      out.insert(out.end(), {ToByte(c.b), ToByte(c.g), ToByte(c.r), 0});
    for (int y = n - 1; y >= 0; --y) {
      for (int x = 0; x < n; ++x) {
        const Pixel& p = image.At(x, y);
        int best = 0;
        if (Opaque(p)) {
          double bestDistance = 1e18;
          for (int i = 1; i < 256; ++i) {
            double dr = palette[i].r - p.r, dg = palette[i].g - p.g, db = palette[i].b - p.b;
            double distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) best = i, bestDistance = distance;
          }
        }
        out.push_back(static_cast<std::uint8_t>(best));
      }
    }
  }
  AppendMask(out, image);
  return out;
}

struct IconEntry {
  int size, bits;
  Bytes data;
};

// ICONDIRENTRY and GRPICONDIRENTRY share their first 12 bytes.
void PutEntryHead(Bytes& out, const IconEntry& e) {
  out.insert(out.end(), {std::uint8_t(e.size), std::uint8_t(e.size), 0, 0});
  Put16(out, 1);
  Put16(out, e.bits);
  Put32(out, e.data.size());
}

void PutDirHead(Bytes& out, std::size_t count) {
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, count);
}

constexpr int kFirstIconId = 30001;

void Require(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error("unexpected size: " + what);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_artwork OUTPUT_DIR\n";
    return 2;
  }
  try {
    const fs::path dir = argv[1];
    fs::create_directories(dir / "icon");

    Bytes bmp = EncodeBmp(DrawLogo());
    Require(bmp.size() == 71976, "logo.bmp");
    WriteFile(dir / "logo.bmp", bmp);

    std::vector<IconEntry> entries;
    for (int bits : {8, 32}) {
      for (int size : {48, 32, 24, 16})
        entries.push_back({size, bits, EncodeIconImage(DrawIcon(size), bits)});
    }
    Bytes ico, group;
    PutDirHead(ico, entries.size());
    PutDirHead(group, entries.size());
    std::size_t offset = 6 + 16 * entries.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      PutEntryHead(ico, entries[i]);
      Put32(ico, offset);
      offset += entries[i].data.size();
      PutEntryHead(group, entries[i]);
      Put16(group, kFirstIconId + i);
      WriteFile(dir / "icon" / (std::to_string(kFirstIconId + i) + ".ico-image"), entries[i].data);
    }
    for (const IconEntry& e : entries) ico.insert(ico.end(), e.data.begin(), e.data.end());
    Require(ico.size() == 26694, "app.ico");
    WriteFile(dir / "app.ico", ico);
    WriteFile(dir / "icon" / "group.bin", group);
  } catch (const std::exception& e) {
    std::cerr << "make_artwork: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
