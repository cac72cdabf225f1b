// The pack tool on small hand-made asset folders: bad input is refused with a message that
// names the file and no pack is written; odd packs survive extract and build unchanged.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "media.h"
#include "packtool.h"
#include "support/test_pack.h"

namespace fs = std::filesystem;

namespace {

void write_text(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}

IndexedImage picture(int w, int h) {
  IndexedImage img;
  img.width = w;
  img.height = h;
  img.pixels.assign(static_cast<size_t>(w * h), 0);
  for (size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = static_cast<uint8_t>(i % 7);
  for (uint32_t i = 0; i < 256; ++i) img.palette[i] = 0xFF000000u | i * 0x010203u;
  img.palette_count = 256;
  return img;
}

// A valid little assets folder: one picture, one synthesised sound, one raw file.
void good_assets(const std::string& dir) {
  fs::create_directories(dir);
  ASSERT_EQ(write_indexed_png(dir + "/pic.png", picture(16, 8)), "");
  write_text(dir + "/sounds.txt", "sound blip\n  voice square len=30 freq=1000 vol=20\nend\n");
  write_text(dir + "/extra.bin", "hello");
  write_text(dir + "/manifest.txt",
             "MISC.CHR chr pic.png\nEFF00.PCM pcm synth:blip\nNOTE.TXT raw extra.bin\n");
}

std::vector<uint8_t> bytes_of(const std::string& path) {
  std::vector<uint8_t> b;
  EXPECT_EQ(read_whole_file(path, b), "");
  return b;
}

struct BadCase {
  const char* label;
  void (*spoil)(const std::string& dir);
  const char* file_named;  // the message must name this file
  const char* problem;     // and contain this
  friend void PrintTo(const BadCase& c, std::ostream* os) { *os << c.label; }
};

void write_rgb_png(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = 4;
  image.height = 4;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(4 * 4 * 3, 200);
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr));
}

const BadCase kBadCases[] = {
    {"picture is not indexed", [](const std::string& d) { write_rgb_png(d + "/pic.png"); }, "pic.png", "not an indexed"},
    {"picture larger than a bank",
     [](const std::string& d) { ASSERT_EQ(write_indexed_png(d + "/pic.png", picture(257, 4)), ""); }, "pic.png",
     "larger than a character bank"},
    {"fixed rectangle does not fit",
     [](const std::string& d) {
       ASSERT_EQ(write_indexed_png(d + "/title.png", picture(200, 48)), "");
       write_text(d + "/manifest.txt", "TITLE.CHR chr title.png\n");
     },
     "title.png", "too small for TITLE.CHR's title logo"},
    {"missing picture", [](const std::string& d) { fs::remove(d + "/pic.png"); }, "pic.png", "cannot open"},
    {"missing manifest", [](const std::string& d) { fs::remove(d + "/manifest.txt"); }, "manifest.txt", "cannot open"},
    {"missing raw file", [](const std::string& d) { fs::remove(d + "/extra.bin"); }, "extra.bin", "cannot open"},
    {"unknown kind",
     [](const std::string& d) { write_text(d + "/manifest.txt", "A.CHR chr pic.png\nB.XYZ bmp pic.png\n"); },
     "manifest.txt:2", "kind must be"},
    {"entry name too long",
     [](const std::string& d) { write_text(d + "/manifest.txt", "ABCDEFGHIJKLMNOP chr pic.png\n"); }, "manifest.txt:1",
     "longer than 15"},
    {"sound that would clip",
     [](const std::string& d) {
       write_text(d + "/sounds.txt", "sound blip\n  voice square len=30 freq=1000 vol=60\n"
                                     "  voice square len=30 freq=1000 vol=60\nend\n");
     },
     "sounds.txt", "peaks at"},
    {"sound not described",
     [](const std::string& d) { write_text(d + "/sounds.txt", "sound other\n voice sine len=5 freq=50 vol=5\nend\n"); },
     "sounds.txt", "no sound named 'blip'"},
    {"WAV at the wrong rate",
     [](const std::string& d) {
       std::vector<int16_t> s(100, 0);
       ASSERT_EQ(write_wav(d + "/s.wav", s), "");
       std::vector<uint8_t> b = bytes_of(d + "/s.wav");
       b[24] = 0x44;  // 44,100 Hz
       b[25] = 0xAC;
       ASSERT_EQ(write_whole_file(d + "/s.wav", b), "");
       write_text(d + "/manifest.txt", "EFF00.PCM pcm s.wav\n");
     },
     "s.wav", "22050 Hz"},
    {"WAV longer than an effect slot is meant for",
     [](const std::string& d) {
       ASSERT_EQ(write_wav(d + "/s.wav", std::vector<int16_t>(6 * 22050 + 1, 100)), "");
       write_text(d + "/manifest.txt", "EFF00.PCM pcm s.wav\n");
     },
     "s.wav", "EFF00.PCM would last 6.0 s; an effect lasts at most 5 s"},
    {"synthesised sound longer than an effect slot is meant for",
     [](const std::string& d) { write_text(d + "/sounds.txt", "sound blip\n  voice sine len=5100 freq=50 vol=5\nend\n"); },
     "sounds.txt", "would last 5.1 s"},
    {"the same entry name twice",
     [](const std::string& d) { write_text(d + "/manifest.txt", "A.CHR chr pic.png\nB.CHR chr pic.png\nA.CHR raw extra.bin\n"); },
     "manifest.txt:3", "entry name 'A.CHR' is listed twice (first on line 1)"},
    {"a folder where a picture should be",
     [](const std::string& d) {
       fs::remove(d + "/pic.png");
       fs::create_directory(d + "/pic.png");
     },
     "pic.png", "is a folder"},
    {"a device as a raw entry",
     [](const std::string& d) { write_text(d + "/manifest.txt", "ZERO raw /dev/zero\n"); }, "/dev/zero",
     "is a device, not a file"},
    {"pictures with different palettes under a shared palette",
     [](const std::string& d) {
       IndexedImage other = picture(8, 8);
       other.palette[3] = 0xFF123456u;
       ASSERT_EQ(write_indexed_png(d + "/other.png", other), "");
       write_text(d + "/manifest.txt", "palette shared\nA.CHR chr pic.png\nB.CHR chr other.png\n");
     },
     "other.png", "palette differs"},
};

}  // namespace

class BadAssets : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadAssets, AreRefusedWithTheFileNamedAndNoPackWritten) {
  TempWorkDir tmp;
  good_assets("a");
  ASSERT_EQ(build_pack("a", "good.bin"), "") << "the unspoilt folder must build";
  GetParam().spoil("a");
  const std::string err = build_pack("a", "out.bin");
  EXPECT_NE(err.find(GetParam().file_named), std::string::npos) << err;
  EXPECT_NE(err.find(GetParam().problem), std::string::npos) << err;
  EXPECT_FALSE(fs::exists("out.bin"));
  for (const auto& e : fs::directory_iterator(".")) EXPECT_FALSE(e.path().string().ends_with(".tmp")) << e.path();
  // An existing pack is left as it was.
  const std::vector<uint8_t> before = bytes_of("good.bin");
  EXPECT_NE(build_pack("a", "good.bin"), "");
  EXPECT_EQ(bytes_of("good.bin"), before);
}

INSTANTIATE_TEST_SUITE_P(Content, BadAssets, ::testing::ValuesIn(kBadCases),
                         [](const ::testing::TestParamInfo<BadCase>& case_info) {
                           std::string n;
                           for (const char* p = case_info.param.label; *p; ++p) n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return n;
                         });

TEST(PixpackTool, OddPacksSurviveExtractAndBuildByteForByte) {
  TempWorkDir tmp;
  // Entries the game never asks for, an effect with trailing bytes, a picture whose palette's
  // fourth bytes are not the usual 0xFF, two entries whose file names would clash and an empty
  // entry.
  std::array<uint32_t, 256> pal{};
  for (uint32_t i = 0; i < 256; ++i) pal[i] = (i << 24) | i;
  std::vector<uint8_t> px(3 * 2, 5);
  std::vector<uint8_t> trailing = pcm_entry(std::vector<int16_t>{1, -2, 3});
  trailing.push_back(0xAB);
  const std::vector<PackEntry> entries = {
      {"P.CHR", chr_entry(3, 2, pal, px)},
      {"EFF00.PCM", trailing},
      {"EFF01.PCM", pcm_entry(std::vector<int16_t>{100, -100, 7})},
      {"p.chr", chr_entry(1, 1, pal, std::vector<uint8_t>{9})},
      {"EMPTY", {}},
  };
  ASSERT_TRUE(write_file("in.bin", pack_image(entries)));
  std::vector<PackEntry> parsed;
  ASSERT_EQ(parse_pack(bytes_of("in.bin"), parsed), "");
  ASSERT_EQ(parsed.size(), entries.size());
  ASSERT_EQ(extract_pack(parsed, "x"), "");
  EXPECT_TRUE(fs::exists("x/p.chr.png"));
  EXPECT_TRUE(fs::exists("x/p.chr_2.png"));
  EXPECT_TRUE(fs::exists("x/eff00.pcm.raw"));  // not a clean effect: kept as raw bytes
  EXPECT_TRUE(fs::exists("x/eff01.pcm.wav"));
  ASSERT_EQ(build_pack("x", "again.bin"), "");
  EXPECT_EQ(bytes_of("again.bin"), bytes_of("in.bin"));

  // A name spelled twice extracts (the game finds only the first), but is refused in a manifest.
  std::vector<PackEntry> twice = entries;
  twice[3].name = "P.CHR";
  ASSERT_EQ(extract_pack(twice, "y"), "");
  const std::string err = build_pack("y", "twice.bin");
  EXPECT_NE(err.find("manifest.txt:5: entry name 'P.CHR' is listed twice (first on line 2)"), std::string::npos) << err;
}

TEST(PixpackTool, ParsePackReportsDamage) {
  std::vector<PackEntry> e;
  const std::vector<uint8_t> good = pack_image(std::vector<PackEntry>{{"A", {1, 2, 3}}});
  EXPECT_EQ(parse_pack(good, e), "");
  EXPECT_NE(parse_pack({1, 2}, e), "");
  std::vector<uint8_t> cut(good.begin(), good.end() - 1);
  EXPECT_NE(parse_pack(cut, e).find("cut short"), std::string::npos);
  std::vector<uint8_t> negative = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_NE(parse_pack(negative, e).find("negative"), std::string::npos);
  std::vector<uint8_t> unterminated = good;
  for (int i = 4; i < 20; ++i) unterminated[static_cast<size_t>(i)] = 'x';
  EXPECT_NE(parse_pack(unterminated, e).find("terminator"), std::string::npos);
}

TEST(PixpackTool, CommandLineBuildsListsAndFails) {
  TempWorkDir tmp;
  good_assets("a");
  const std::string tool = PIXPACK_PATH;
  ASSERT_EQ(std::system((tool + " build a -o p.bin").c_str()), 0);
  ASSERT_EQ(std::system((tool + " list p.bin > list.txt").c_str()), 0);
  std::ifstream in("list.txt");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("MISC.CHR"), std::string::npos);
  EXPECT_NE(all.find("CHR 16 x 8"), std::string::npos);
  EXPECT_NE(all.find("PCM 662 samples, 30.0 ms"), std::string::npos) << all;
  fs::remove("a/pic.png");
  const int rc = std::system((tool + " build a -o q.bin 2> err.txt").c_str());
  EXPECT_NE(rc, 0);
  std::ifstream e("err.txt");
  std::string msg((std::istreambuf_iterator<char>(e)), std::istreambuf_iterator<char>());
  EXPECT_NE(msg.find("pic.png"), std::string::npos) << msg;
  EXPECT_NE(msg.find("no pack written"), std::string::npos) << msg;
  EXPECT_FALSE(fs::exists("q.bin"));
}

TEST(PixpackTool, PngKeepsIndicesAndFourthPaletteBytes) {
  TempWorkDir tmp;
  IndexedImage img = picture(5, 3);
  img.palette[7] = 0x12345678u;
  ASSERT_EQ(write_indexed_png("p.png", img), "");
  IndexedImage back;
  ASSERT_EQ(read_indexed_png("p.png", back), "");
  EXPECT_EQ(back.width, 5);
  EXPECT_EQ(back.height, 3);
  EXPECT_EQ(back.pixels, img.pixels);
  EXPECT_EQ(back.palette, img.palette);
}

TEST(PixpackTool, ShortPaletteIsRefusedWhenAPixelUsesAnUndefinedColour) {
  TempWorkDir tmp;
  // Written with libpng directly: a 4-colour palette and a pixel of colour 6.
  std::FILE* f = std::fopen("short.png", "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, 2, 1, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_color plte[4] = {};
  png_set_PLTE(png, info, plte, 4);
  png_write_info(png, info);
  png_byte row[2] = {1, 6};
  png_write_row(png, row);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
  IndexedImage img;
  const std::string err = read_indexed_png("short.png", img);
  EXPECT_NE(err.find("short.png"), std::string::npos);
  EXPECT_NE(err.find("uses colour 6"), std::string::npos) << err;
}

TEST(PixpackTool, InterlacedAndLowBitDepthPicturesReadTheSameIndices) {
  TempWorkDir tmp;
  struct Variant {
    int depth, interlace;
  };
  for (const Variant v : {Variant{8, PNG_INTERLACE_ADAM7}, Variant{4, PNG_INTERLACE_NONE}, Variant{2, PNG_INTERLACE_ADAM7}}) {
    SCOPED_TRACE("depth " + std::to_string(v.depth) + " interlace " + std::to_string(v.interlace));
    const int w = 11, h = 9, colours = 1 << std::min(v.depth, 2);
    std::vector<uint8_t> px(static_cast<size_t>(w * h));
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>((i * 7 + i / w) % static_cast<size_t>(colours));
    std::FILE* f = std::fopen("i.png", "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, v.depth, PNG_COLOR_TYPE_PALETTE, v.interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> plte(static_cast<size_t>(1 << v.depth), png_color{10, 20, 30});
    png_set_PLTE(png, info, plte.data(), static_cast<int>(plte.size()));
    png_write_info(png, info);
    if (v.depth < 8) png_set_packing(png);
    std::vector<png_bytep> rows(h);
    for (int y = 0; y < h; ++y) rows[static_cast<size_t>(y)] = px.data() + y * w;
    png_set_interlace_handling(png);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    IndexedImage img;
    ASSERT_EQ(read_indexed_png("i.png", img), "");
    EXPECT_EQ(img.pixels, px);
    EXPECT_EQ(img.palette_count, 1 << v.depth);
  }
}
