#include "packtool.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "media.h"
#include "pack/savefile.h"
#include "rects.h"
#include "synth.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kChrHeader = 4 + 1024;
constexpr size_t kPcmHeader = 8;
// An effect slot holds one short effect, played alone until it ends or a stronger one cuts it
// off; the game's longest lasts 1.1 s, and the game-over sequence it sounds over 3.3 s.
constexpr int kMaxEffectSeconds = 5;

struct ManifestLine {
  std::string name, kind, source;
};

struct Manifest {
  std::vector<ManifestLine> entries;
  std::string sounds = "sounds.txt";
  bool shared_palette = false;
};

std::string read_manifest(const std::string& path, Manifest& m) {
  std::string text;
  if (std::string err = read_text_file(path, text); !err.empty())
    return err + " (an assets folder needs a manifest.txt)";
  std::istringstream f(text);
  std::map<std::string, int> first_line;  // of each entry name
  std::string line;
  int number = 0;
  while (std::getline(f, line)) {
    ++number;
    if (const auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) continue;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (words[0] == "sounds" && words.size() == 2) {
      m.sounds = words[1];
    } else if (words[0] == "palette" && words.size() == 2 && words[1] == "shared") {
      m.shared_palette = true;
    } else if (words.size() == 3) {
      ManifestLine e{words[0], words[1], words[2]};
      if (e.name.size() > 15) return where + "entry name '" + e.name + "' is longer than 15 characters";
      if (e.kind != "chr" && e.kind != "pcm" && e.kind != "raw")
        return where + "kind must be chr, pcm or raw, found '" + e.kind + "'";
      if (const auto [at, fresh] = first_line.emplace(e.name, number); !fresh)
        return where + "entry name '" + e.name + "' is listed twice (first on line " + std::to_string(at->second) +
               "); the game would only ever find the first";
      m.entries.push_back(e);
    } else {
      return where + "expected 'NAME KIND SOURCE', 'sounds FILE' or 'palette shared'";
    }
  }
  if (m.entries.empty()) return path + ": lists no entries";
  return "";
}

std::string check_fixed_rects(const std::string& file, const std::string& entry, const IndexedImage& img) {
  for (const FixedRect& r : kFixedRects) {
    if (r.entry != entry) continue;
    if (r.x + r.w > img.width || r.y + r.h > img.height)
      return file + ": " + std::to_string(img.width) + " x " + std::to_string(img.height) + " is too small for " +
             entry + "'s " + std::string(r.what) + " at (" + std::to_string(r.x) + ", " + std::to_string(r.y) +
             ") of " + std::to_string(r.w) + " x " + std::to_string(r.h);
  }
  return "";
}

uint32_t get_be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

uint32_t get_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

// A CHR entry that the game can load and that a PNG reproduces exactly.
bool is_clean_chr(const std::vector<uint8_t>& d) {
  return d.size() >= kChrHeader + 1 && d[0] == 'K' && d[1] == 'R' &&
         d.size() == kChrHeader + static_cast<size_t>(d[2] + 1) * static_cast<size_t>(d[3] + 1);
}

// A PCM entry whose bytes are exactly a header and whole 16-bit samples.
bool is_clean_pcm(const std::vector<uint8_t>& d) {
  if (d.size() < kPcmHeader || std::memcmp(d.data(), "EFF", 4) != 0) return false;
  const uint32_t len = get_be32(d.data() + 4);
  return len % 2 == 0 && len == d.size() - kPcmHeader;
}

std::string file_name_for(const std::string& entry) {
  std::string base;
  for (const unsigned char c : entry) {
    const bool ok = std::isalnum(c) || c == '.' || c == '-' || c == '_';  // the C locale's letters and digits
    base += ok ? static_cast<char>(std::tolower(c)) : '_';
  }
  if (base.empty() || base == "." || base == ".." || base == "manifest.txt") base = "entry_" + base;
  return base;
}

// Reads the assets folder and makes the entries. Returns "" or a message naming the file.
std::string build_entries(const std::string& assets_dir, std::vector<PackEntry>& entries) {
  const fs::path dir(assets_dir);
  Manifest m;
  if (std::string err = read_manifest((dir / "manifest.txt").string(), m); !err.empty()) return err;

  std::vector<SynthSound> sounds;  // read when the first synth: entry needs them
  std::string first_picture_file;  // with a shared palette: the first picture and its palette
  std::array<uint32_t, 256> first_palette{};
  entries.clear();

  for (const ManifestLine& e : m.entries) {
    const std::string file = (dir / e.source).string();
    PackEntry out{e.name, {}};
    if (e.kind == "chr") {
      IndexedImage img;
      if (std::string err = read_indexed_png(file, img); !err.empty()) return err;
      if (std::string err = check_fixed_rects(file, e.name, img); !err.empty()) return err;
      if (m.shared_palette) {
        if (first_picture_file.empty()) {
          first_picture_file = file;
          first_palette = img.palette;
        } else if (img.palette != first_palette) {
          return file + ": palette differs from " + first_picture_file + " (the manifest asks for one shared palette)";
        }
      }
      out.data = chr_entry(img.width, img.height, img.palette, img.pixels);
    } else if (e.kind == "pcm") {
      const bool synth = e.source.rfind("synth:", 0) == 0;
      const std::string source = synth ? (dir / m.sounds).string() : file;
      std::vector<int16_t> samples;
      if (synth) {
        if (sounds.empty())
          if (std::string err = parse_sounds(source, sounds); !err.empty()) return err;
        const std::string id = e.source.substr(6);
        const auto found = std::ranges::find(sounds, id, &SynthSound::name);
        if (found == sounds.end()) return source + ": no sound named '" + id + "' (wanted by " + e.name + ")";
        if (std::string err = render_sound(*found, samples); !err.empty())
          return source + ":" + std::to_string(found->line) + ": " + err;
      } else if (std::string err = read_wav(file, samples); !err.empty()) {
        return err;
      }
      if (samples.empty()) return source + ": sound is empty";
      if (samples.size() > static_cast<size_t>(kMaxEffectSeconds) * kSampleRate) {
        char length[32];
        std::snprintf(length, sizeof length, "%.1f", static_cast<double>(samples.size()) / kSampleRate);
        return source + ": " + e.name + " would last " + length + " s; an effect lasts at most " +
               std::to_string(kMaxEffectSeconds) + " s";
      }
      out.data = pcm_entry(samples);
    } else {
      if (std::string err = read_whole_file(file, out.data); !err.empty()) return err;
    }
    entries.push_back(std::move(out));
  }
  return "";
}

}  // namespace

std::string build_pack(const std::string& assets_dir, const std::string& out_path) {
  // A name that can never be written is told before the work.
  if (std::string why = output_problem(out_path); !why.empty()) return out_path + ": cannot create (" + why + ")";
  std::vector<PackEntry> entries;
  if (std::string err = build_entries(assets_dir, entries); !err.empty()) return err;
  return write_whole_file(out_path, pack_image(entries));
}

std::string parse_pack(const std::vector<uint8_t>& image, std::vector<PackEntry>& entries) {
  entries.clear();
  if (image.size() < 4) return "shorter than the 4-byte entry count";
  const auto count = static_cast<int32_t>(get_le32(image.data()));
  if (count < 0) return "negative entry count " + std::to_string(count);
  if (static_cast<uint64_t>(count) * 16 > image.size() - 4)
    return "name table of " + std::to_string(count) + " entries runs past the end";
  size_t pos = 4;
  for (int32_t i = 0; i < count; ++i, pos += 16) {
    std::string name;
    int j = 0;
    for (; j < 16 && image[pos + static_cast<size_t>(j)] != 0; ++j)
      name += static_cast<char>(image[pos + static_cast<size_t>(j)] ^ 0x5C);
    if (j >= 15 && image[pos + 15] != 0) return "name field " + std::to_string(i) + " has no terminator";
    entries.push_back({name, {}});
  }
  for (PackEntry& e : entries) {
    if (image.size() - pos < 4) return "size of " + e.name + " missing";
    const uint32_t size = get_be32(image.data() + pos);
    pos += 4;
    if (size > image.size() - pos) return "data of " + e.name + " cut short";
    e.data.assign(image.begin() + static_cast<std::ptrdiff_t>(pos), image.begin() + static_cast<std::ptrdiff_t>(pos + size));
    pos += size;
  }
  return "";
}

std::string list_pack(const std::vector<PackEntry>& entries) {
  std::string out;
  char line[160];
  for (size_t i = 0; i < entries.size(); ++i) {
    const PackEntry& e = entries[i];
    std::string what = "data";
    if (e.data.size() >= kChrHeader && e.data[0] == 'K' && e.data[1] == 'R') {
      what = "CHR " + std::to_string(e.data[2] + 1) + " x " + std::to_string(e.data[3] + 1);
      if (!is_clean_chr(e.data)) what += " (size does not match)";
    } else if (e.data.size() >= kPcmHeader && std::memcmp(e.data.data(), "EFF", 4) == 0) {
      const uint32_t samples = get_be32(e.data.data() + 4) / 2;
      char buf[80];
      std::snprintf(buf, sizeof buf, "PCM %u samples, %.1f ms", samples, samples * 1000.0 / kSampleRate);
      what = buf;
      if (!is_clean_pcm(e.data)) what += " (length does not match)";
    }
    std::snprintf(line, sizeof line, "%3zu  %-15s %8zu  %s\n", i, e.name.c_str(), e.data.size(), what.c_str());
    out += line;
  }
  return out;
}

std::string extract_pack(const std::vector<PackEntry>& entries, const std::string& dir) {
  std::error_code ec;
  if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) return dir + ": is not a folder";
  fs::create_directories(dir, ec);
  if (ec) return dir + ": cannot create (" + ec.message() + ")";
  std::set<std::string> used;
  std::string manifest = "# Extracted by pixpack; 'pixpack build' turns this folder back into the same pack.\n";
  for (const PackEntry& e : entries) {
    if (e.name.find_first_of(std::string_view(" \t#\n\r\0", 6)) != std::string::npos)
      return "entry '" + e.name + "' has a character a manifest cannot hold";
    if (e.name.empty()) return "an entry has an empty name, which a manifest cannot hold";
    const std::string kind = is_clean_chr(e.data) ? "chr" : is_clean_pcm(e.data) ? "pcm" : "raw";
    const std::string base = file_name_for(e.name), ending = kind == "chr" ? ".png" : kind == "pcm" ? ".wav" : ".raw";
    std::string file = base + ending;
    for (int n = 2; !used.insert(file).second; ++n) file = base + "_" + std::to_string(n) + ending;
    const std::string path = (fs::path(dir) / file).string();
    std::string err;
    if (kind == "chr") {
      IndexedImage img{.width = e.data[2] + 1,
                       .height = e.data[3] + 1,
                       .pixels = {e.data.begin() + kChrHeader, e.data.end()},
                       .palette_count = 256};
      for (size_t i = 0; i < 256; ++i) img.palette[i] = get_le32(e.data.data() + 4 + 4 * i);
      err = write_indexed_png(path, img);
    } else if (kind == "pcm") {
      std::vector<int16_t> samples((e.data.size() - kPcmHeader) / 2);
      for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(e.data[kPcmHeader + 2 * i] | e.data[kPcmHeader + 2 * i + 1] << 8);
      err = write_wav(path, samples);
    } else {
      err = write_whole_file(path, e.data);
    }
    if (!err.empty()) return err;
    char line[128];
    std::snprintf(line, sizeof line, "%-15s %s  %s\n", e.name.c_str(), kind.c_str(), file.c_str());
    manifest += line;
  }
  const std::string mpath = (fs::path(dir) / "manifest.txt").string();
  return write_whole_file(mpath, std::vector<uint8_t>(manifest.begin(), manifest.end()));
}
