// Draws the application icon of Lumora.exe (icon 128) and writes it as res/lumora.ico: one
// icon group with a 32 x 32 and a 16 x 16 image, 16 colours each. The picture is the agent's
// front panel: a bezel around a dark display with a glowing "L", a play mark and a level bar.
//
// The .ico file is committed beside this source; after changing the drawing, regenerate it:
//   g++ -std=c++20 res/make_icon.cpp -o /tmp/make_icon && /tmp/make_icon res/lumora.ico
// The Linux test build checks that the committed file is what this drawing gives.
#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

// The 16 colours of the standard Windows palette, as blue, green, red.
constexpr std::array<std::array<uint8_t, 3>, 16> kPalette{{
    {0x00, 0x00, 0x00},  // 0 black
    {0x00, 0x00, 0x80},  // 1 maroon
    {0x00, 0x80, 0x00},  // 2 green
    {0x00, 0x80, 0x80},  // 3 olive
    {0x80, 0x00, 0x00},  // 4 navy
    {0x80, 0x00, 0x80},  // 5 purple
    {0x80, 0x80, 0x00},  // 6 teal
    {0xC0, 0xC0, 0xC0},  // 7 silver
    {0x80, 0x80, 0x80},  // 8 grey
    {0x00, 0x00, 0xFF},  // 9 red
    {0x00, 0xFF, 0x00},  // 10 lime
    {0x00, 0xFF, 0xFF},  // 11 yellow
    {0xFF, 0x00, 0x00},  // 12 blue
    {0xFF, 0x00, 0xFF},  // 13 fuchsia
    {0xFF, 0xFF, 0x00},  // 14 aqua
    {0xFF, 0xFF, 0xFF},  // 15 white
}};

// One letter a pixel: '.' transparent, k black, g grey, s silver, w white, t teal (an unlit
// segment), a aqua (the panel's glow).
int ColourOf(char c) {
  switch (c) {
    case 'g':
      return 8;
    case 's':
      return 7;
    case 'w':
      return 15;
    case 't':
      return 6;
    case 'a':
      return 14;
    default:
      return 0;  // black, and the colour under a transparent pixel
  }
}

constexpr std::array<std::string_view, 32> kLarge{
    "................................",  //
    "................................",  //
    "................................",  //
    "................................",  //
    "................................",  //
    ".kkkkkkkkkkkkkkkkkkkkkkkkkkkkkk.",  //
    ".kwwwwwwwwwwwwwwwwwwwwwwwwwwwwk.",  //
    ".kwsssssssssssssssssssssssssssk.",  //
    ".kwsggggggggggggggggggggggggwsk.",  //
    ".kwsgkkkkkkkkkkkkkkkkkkkkkkkwsk.",  //
    ".kwsgkkkkkkkkkkkkkkkkkkkkkkkwsk.",  //
    ".kwsgkkaakkkkkkkkkkakkkkkkkkwsk.",  //
    ".kwsgkkaakkkkkkkkkkaakkkkkkkwsk.",  //
    ".kwsgkkaakkkkkkkkkkaaakkkkkkwsk.",  //
    ".kwsgkkaakkkkkkkkkkaaaakkkkkwsk.",  //
    ".kwsgkkaakkkkkkkkkkaaaaakkkkwsk.",  //
    ".kwsgkkaakkkkkkkkkkaaaaakkkkwsk.",  //
    ".kwsgkkaakkkkkkkkkkaaaakkkkkwsk.",  //
    ".kwsgkkaakkkkkkkkkkaaakkkkkkwsk.",  //
    ".kwsgkkaaaaaaakkkkkaakkkkkkkwsk.",  //
    ".kwsgkkaaaaaaakkkkkakkkkkkkkwsk.",  //
    ".kwsgkkkkkkkkkkkkkkkkkkkkkkkwsk.",  //
    ".kwsgkkakakakakakakakatktktkwsk.",  //
    ".kwsgkkakakakakakakakatktktkwsk.",  //
    ".kwsgkkkkkkkkkkkkkkkkkkkkkkkwsk.",  //
    ".kwswwwwwwwwwwwwwwwwwwwwwwwwwsk.",  //
    ".kwsssssssssssssssssssssssssssk.",  //
    ".kggggggggggggggggggggggggggggk.",  //
    ".kkkkkkkkkkkkkkkkkkkkkkkkkkkkkk.",  //
    "...kggk..................kggk...",  //
    "...kkkk..................kkkk...",  //
    "................................",  //
};

constexpr std::array<std::string_view, 16> kSmall{
    "................",  //
    "................",  //
    "kkkkkkkkkkkkkkkk",  //
    "kwwwwwwwwwwwwwgk",  //
    "kwkkkkkkkkkkkkgk",  //
    "kwkaakkkkakkkkgk",  //
    "kwkaakkkkaakkkgk",  //
    "kwkaakkkkaaakkgk",  //
    "kwkaakkkkaaaakgk",  //
    "kwkaakkkkaaakkgk",  //
    "kwkaaaaakaakkkgk",  //
    "kwkaaaaakakkkkgk",  //
    "kwkkkkkkkkkkkkgk",  //
    "kwkakakakakatkgk",  //
    "kggggggggggggggk",  //
    "kkkkkkkkkkkkkkkk",  //
};

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// One icon image: a 4-bit device-independent bitmap of twice the height (colour rows, then the
// transparency mask), rows bottom-up and each padded to 4 bytes.
std::vector<uint8_t> Image(const std::string_view* rows, uint32_t size) {
  const uint32_t colourStride = (size / 2 + 3) / 4 * 4;
  const uint32_t maskStride = (size / 8 + 3) / 4 * 4;
  std::vector<uint8_t> out;
  Put32(out, 40);        // header size
  Put32(out, size);      // width
  Put32(out, size * 2);  // height: colour and mask
  Put16(out, 1);         // planes
  Put16(out, 4);         // bits per pixel
  Put32(out, 0);         // no compression
  Put32(out, (colourStride + maskStride) * size);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);  // colours used: all 16
  Put32(out, 0);
  for (const auto& colour : kPalette) {
    out.insert(out.end(), colour.begin(), colour.end());
    out.push_back(0);
  }
  for (uint32_t y = size; y-- > 0;) {
    std::vector<uint8_t> row(colourStride, 0);
    for (uint32_t x = 0; x < size; ++x) {
      const auto colour = static_cast<uint8_t>(ColourOf(rows[y][x]));
      row[x / 2] = static_cast<uint8_t>(row[x / 2] | (x % 2 == 0 ? colour << 4 : colour));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  for (uint32_t y = size; y-- > 0;) {
    std::vector<uint8_t> row(maskStride, 0);
    for (uint32_t x = 0; x < size; ++x) {
      if (rows[y][x] == '.') row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
    return 2;
  }
  const std::vector<uint8_t> large = Image(kLarge.data(), 32);
  const std::vector<uint8_t> small = Image(kSmall.data(), 16);

  std::vector<uint8_t> file;
  Put16(file, 0);  // reserved
  Put16(file, 1);  // an icon
  Put16(file, 2);  // two images
  uint32_t offset = 6 + 2 * 16;
  for (const auto* image : {&large, &small}) {
    const auto size = static_cast<uint8_t>(image == &large ? 32 : 16);
    file.push_back(size);
    file.push_back(size);
    file.push_back(16);  // colours
    file.push_back(0);
    Put16(file, 1);  // planes
    Put16(file, 4);  // bits per pixel
    Put32(file, static_cast<uint32_t>(image->size()));
    Put32(file, offset);
    offset += static_cast<uint32_t>(image->size());
  }
  file.insert(file.end(), large.begin(), large.end());
  file.insert(file.end(), small.begin(), small.end());

  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (std::fclose(out) != 0 || !written) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
