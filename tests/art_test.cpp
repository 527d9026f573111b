// The artwork against the dialog templates. The edits, list boxes and check boxes have no border
// or caption of their own: their frames and labels are painted into the skins for the controls'
// exact pixel rectangles, and every control paints its own rectangle in the brush colour. So a
// control moved in res/rewindor.rc, or a frame moved in tools/make_art.sh, shows up here.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "demo/bytes.h"
#include "ui/map_box.h"

namespace rewindor {
namespace {

namespace fs = std::filesystem;

// The repository, found from this file's own path; the tests skip when it is not there (a build
// whose sources were moved away).
fs::path SourceRoot() { return fs::path(__FILE__).parent_path().parent_path(); }

std::optional<Bytes> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};
constexpr Rgb kBrush{90, 83, 68};  // the colour of every control's background brush

struct Bitmap {
  int width = 0, height = 0, bits = 0;
  std::vector<Rgb> pixels;  // top row first
  Rgb At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                            static_cast<std::size_t>(x)]; }
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// Decodes an uncompressed BMP of 8 bits (palette) or 24 bits; anything else fails the test.
std::optional<Bitmap> LoadBmp(const fs::path& path) {
  std::optional<Bytes> file = ReadFile(path);
  if (!file) {
    ADD_FAILURE() << "cannot read " << path;
    return std::nullopt;
  }
  ByteReader head(*file);
  ByteView magic = head.Take(2);
  head.Skip(8);
  const std::uint32_t pixel_offset = head.U32();
  const std::uint32_t info_size = head.U32();
  const std::int32_t width = head.I32(), height = head.I32();
  ByteView planes_bits = head.Take(4);
  const std::uint32_t compression = head.U32();
  head.Skip(12);
  const std::uint32_t colours_used = head.U32();
  if (!head.ok() || AsString(magic) != "BM" || width <= 0 || height == 0 || height < -4096 || width > 4096 ||
      height > 4096) {
    ADD_FAILURE() << path << " is not a bitmap this test reads";
    return std::nullopt;
  }
  Bitmap bmp;
  bmp.width = width;
  bmp.height = height < 0 ? -height : height;
  bmp.bits = LoadU16LE(planes_bits.data() + 2);
  if (compression != 0 || (bmp.bits != 8 && bmp.bits != 24)) {
    ADD_FAILURE() << path << ": " << bmp.bits << " bits, compression " << compression
                  << " (want uncompressed 8 or 24 bits)";
    return std::nullopt;
  }
  std::vector<Rgb> palette;
  if (bmp.bits == 8) {
    ByteReader pal(*file, 14 + static_cast<std::size_t>(info_size));
    const std::uint32_t count = colours_used != 0 ? colours_used : 256;
    for (std::uint32_t i = 0; i < count && i < 256; ++i) {
      ByteView bgrx = pal.Take(4);
      if (!pal.ok()) break;
      palette.push_back({bgrx[2], bgrx[1], bgrx[0]});
    }
  }
  const std::size_t stride = (static_cast<std::size_t>(bmp.width) * static_cast<std::size_t>(bmp.bits) + 31) / 32 * 4;
  bmp.pixels.reserve(static_cast<std::size_t>(bmp.width) * static_cast<std::size_t>(bmp.height));
  for (int y = 0; y < bmp.height; ++y) {
    const int stored_row = height > 0 ? bmp.height - 1 - y : y;
    ByteReader row(*file, pixel_offset + static_cast<std::size_t>(stored_row) * stride);
    ByteView bytes = row.Take(stride);
    if (!row.ok()) {
      ADD_FAILURE() << path << " is cut short";
      return std::nullopt;
    }
    for (int x = 0; x < bmp.width; ++x) {
      if (bmp.bits == 24) {
        const std::size_t i = static_cast<std::size_t>(x) * 3;
        bmp.pixels.push_back({bytes[i + 2], bytes[i + 1], bytes[i]});
      } else {
        const std::uint8_t index = bytes[static_cast<std::size_t>(x)];
        if (index >= palette.size()) {
          ADD_FAILURE() << path << ": colour index " << int{index} << " outside the palette";
          return std::nullopt;
        }
        bmp.pixels.push_back(palette[index]);
      }
    }
  }
  return bmp;
}

// Dialog units to pixels as the dialog manager rounds them, with MS Sans Serif 8 at 96 DPI
// (base units 6 x 13): position and size each rounded half up on their own.
int PixelsX(int units) { return (units * 6 + 2) / 4; }
int PixelsY(int units) { return (units * 13 + 4) / 8; }

struct Box {
  int left, top, right, bottom;  // right and bottom exclusive
};

struct Control {
  std::string statement;  // for messages
  std::string kind;       // the window class: Button, Edit, ListBox, Static
  std::string text;       // the caption as written, quotes included
  Box box{};
};

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// Splits a statement at the commas that are not inside a quoted text.
std::vector<std::string> Fields(const std::string& statement) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (char c : statement) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  for (std::string& f : out) f = Trim(f);
  return out;
}

struct Dialog {
  int width_units = 0, height_units = 0;
  std::vector<Control> controls;
};

// The template named `name` in the .rc text: its size and its CONTROL statements (a statement
// that ends in a comma goes on on the next line).
Dialog ParseDialog(const std::string& rc, const std::string& name) {
  Dialog dialog;
  std::istringstream lines(rc);
  std::string line, statement;
  enum { kBefore, kHeader, kBody } state = kBefore;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (state == kBefore && line.rfind(name + " DIALOG ", 0) == 0) {
      std::vector<std::string> f = Fields(line.substr(name.size() + 8));
      if (f.size() == 4) {
        dialog.width_units = std::stoi(f[2]);
        dialog.height_units = std::stoi(f[3]);
      }
      state = kHeader;
    } else if (state == kHeader && line == "BEGIN") {
      state = kBody;
    } else if (state == kBody) {
      if (line == "END") break;
      statement += (statement.empty() ? "" : " ") + line;
      if (!statement.empty() && statement.back() == ',') continue;
      std::vector<std::string> f = Fields(statement);
      if (statement.rfind("CONTROL ", 0) == 0 && f.size() == 8) {
        Control c;
        c.statement = statement;
        c.text = f[0].substr(8);
        c.kind = f[2].size() >= 2 ? f[2].substr(1, f[2].size() - 2) : f[2];
        const int x = std::stoi(f[4]), y = std::stoi(f[5]), w = std::stoi(f[6]), h = std::stoi(f[7]);
        c.box = {PixelsX(x), PixelsY(y), PixelsX(x) + PixelsX(w), PixelsY(y) + PixelsY(h)};
        dialog.controls.push_back(c);
      } else if (!statement.empty()) {
        ADD_FAILURE() << "statement this test does not read: " << statement;
      }
      statement.clear();
    }
  }
  return dialog;
}

struct Skin {
  const char* dialog;  // template name in the .rc
  const char* file;    // under res/
  int width, height;   // the bitmap's size in pixels
  std::size_t controls;
};
constexpr Skin kSkins[] = {
    {"IDD_MAIN", "main_skin.bmp", 855, 500, 20},
    {"IDD_RESOLUTION", "dialog_skin.bmp", 280, 154, 6},
    {"IDD_DETAILS", "details_skin.bmp", 375, 325, 4},
};

class ArtTest : public testing::Test {
 protected:
  void SetUp() override {
    std::optional<Bytes> rc = ReadFile(SourceRoot() / "res" / "rewindor.rc");
    if (!rc) GTEST_SKIP() << "sources not found beside " << __FILE__;
    rc_ = AsString(*rc);
  }
  std::string rc_;
};

// Each skin is the size its painter copies and covers its dialog's client area (the dialog may
// be one pixel larger: that row or column shows the dialog's own brush, the same colour).
TEST_F(ArtTest, SkinsArePaletteBitmapsThatCoverTheirDialogs) {
  for (const Skin& skin : kSkins) {
    SCOPED_TRACE(skin.file);
    std::optional<Bitmap> bmp = LoadBmp(SourceRoot() / "res" / skin.file);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(bmp->bits, 8);
    EXPECT_EQ(bmp->width, skin.width);
    EXPECT_EQ(bmp->height, skin.height);
    Dialog dialog = ParseDialog(rc_, skin.dialog);
    EXPECT_EQ(dialog.controls.size(), skin.controls);
    const int client_w = PixelsX(dialog.width_units), client_h = PixelsY(dialog.height_units);
    EXPECT_GE(bmp->width, client_w - 1);
    EXPECT_LE(bmp->width, client_w + 1);
    EXPECT_GE(bmp->height, client_h - 1);
    EXPECT_LE(bmp->height, client_h + 1);
  }
}

// Under every control the skin is plain brush colour: the control paints its rectangle with the
// brush, so artwork there would be cut off by it or show through around its text.
TEST_F(ArtTest, NoArtworkLiesUnderAControl) {
  for (const Skin& skin : kSkins) {
    std::optional<Bitmap> bmp = LoadBmp(SourceRoot() / "res" / skin.file);
    ASSERT_TRUE(bmp);
    for (const Control& c : ParseDialog(rc_, skin.dialog).controls) {
      SCOPED_TRACE(std::string(skin.file) + ": " + c.statement);
      int stray = 0, first_x = -1, first_y = -1;
      for (int y = c.box.top; y < c.box.bottom; ++y) {
        for (int x = c.box.left; x < c.box.right; ++x) {
          if (bmp->Inside(x, y) && !(bmp->At(x, y) == kBrush)) {
            if (stray++ == 0) first_x = x, first_y = y;
          }
        }
      }
      EXPECT_EQ(stray, 0) << "first at (" << first_x << ", " << first_y << ")";
      EXPECT_TRUE(bmp->Inside(c.box.left, c.box.top) && bmp->Inside(c.box.right - 1, c.box.bottom - 1))
          << "control outside the skin";
    }
  }
}

// Walks from (x, y) in steps (dx, dy) for up to `reach` pixels: is anything painted there?
bool PaintedWithin(const Bitmap& bmp, int x, int y, int dx, int dy, int reach) {
  for (int i = 1; i <= reach; ++i) {
    const int px = x + i * dx, py = y + i * dy;
    if (bmp.Inside(px, py) && !(bmp.At(px, py) == kBrush)) return true;
  }
  return false;
}

// A frame hugs every edit and list box on all four sides; every check box has its painted label
// to its left.
TEST_F(ArtTest, BorderlessControlsHaveTheirPaintedFramesAndLabels) {
  for (const Skin& skin : kSkins) {
    std::optional<Bitmap> bmp = LoadBmp(SourceRoot() / "res" / skin.file);
    ASSERT_TRUE(bmp);
    for (const Control& c : ParseDialog(rc_, skin.dialog).controls) {
      SCOPED_TRACE(std::string(skin.file) + ": " + c.statement);
      const int mid_x = (c.box.left + c.box.right) / 2, mid_y = (c.box.top + c.box.bottom) / 2;
      if (c.kind == "Edit" || c.kind == "ListBox") {
        EXPECT_TRUE(PaintedWithin(*bmp, mid_x, c.box.top, 0, -1, 4)) << "no frame above";
        EXPECT_TRUE(PaintedWithin(*bmp, mid_x, c.box.bottom - 1, 0, 1, 4)) << "no frame below";
        EXPECT_TRUE(PaintedWithin(*bmp, c.box.left, mid_y, -1, 0, 4)) << "no frame on the left";
        EXPECT_TRUE(PaintedWithin(*bmp, c.box.right - 1, mid_y, 1, 0, 4)) << "no frame on the right";
      } else if (c.kind == "Button" && c.text == "\"\"") {
        EXPECT_TRUE(PaintedWithin(*bmp, c.box.left, mid_y, -1, 0, 80)) << "no label on the left";
      }
    }
  }
}

// The sample map's picture, drawn at the map box's top left, lies inside the map frame and clear of every
// control.
TEST_F(ArtTest, MapPictureFitsInsideItsFrame) {
  std::optional<Bitmap> skin = LoadBmp(SourceRoot() / "res" / "main_skin.bmp");
  std::optional<Bitmap> map = LoadBmp(SourceRoot() / "samples" / "cstrike" / "maps" / "de_rewind.bmp");
  ASSERT_TRUE(skin && map);
  EXPECT_EQ(map->bits, 24);
  const Box pic{ui::kMapBoxX, ui::kMapBoxY, ui::kMapBoxX + map->width, ui::kMapBoxY + map->height};
  const int mid_x = (pic.left + pic.right) / 2, mid_y = (pic.top + pic.bottom) / 2;
  // Beyond each edge of the picture, within a small margin, runs the frame's dark line.
  constexpr Rgb kFrameLine{58, 53, 43};  // SH1 in tools/make_art.sh
  auto frame_within = [&](int x, int y, int dx, int dy) {
    for (int i = 1; i <= 16; ++i) {
      const int px = x + i * dx, py = y + i * dy;
      if (skin->Inside(px, py) && skin->At(px, py) == kFrameLine) return true;
    }
    return false;
  };
  EXPECT_TRUE(frame_within(mid_x, pic.top, 0, -1));
  EXPECT_TRUE(frame_within(mid_x, pic.bottom - 1, 0, 1));
  EXPECT_TRUE(frame_within(pic.left, mid_y, -1, 0));
  EXPECT_TRUE(frame_within(pic.right - 1, mid_y, 1, 0));
  for (const Control& c : ParseDialog(rc_, "IDD_MAIN").controls) {
    const bool overlaps = c.box.left < pic.right && pic.left < c.box.right && c.box.top < pic.bottom &&
                          pic.top < c.box.bottom;
    EXPECT_FALSE(overlaps) << c.statement;
  }
}

TEST_F(ArtTest, IconHoldsSmallAndLargeImages) {
  std::optional<Bytes> ico = ReadFile(SourceRoot() / "res" / "rewindor.ico");
  ASSERT_TRUE(ico);
  ByteReader r(*ico);
  ByteView head = r.Take(6);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(LoadU16LE(head.data()), 0);
  EXPECT_EQ(LoadU16LE(head.data() + 2), 1);  // an icon, not a cursor
  std::set<int> sizes;
  for (int i = 0, n = LoadU16LE(head.data() + 4); i < n; ++i) {
    ByteView entry = r.Take(16);
    ASSERT_TRUE(r.ok());
    const std::uint32_t size = LoadU32LE(entry.data() + 8), offset = LoadU32LE(entry.data() + 12);
    EXPECT_LE(std::uint64_t{offset} + size, ico->size()) << "image " << i << " runs past the file";
    if (entry[0] == entry[1]) sizes.insert(entry[0]);
  }
  EXPECT_TRUE(sizes.count(16) && sizes.count(32)) << "want 16 x 16 and 32 x 32 images";
}

}  // namespace
}  // namespace rewindor
