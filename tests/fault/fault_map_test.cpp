// The map of a fault as a reader sees it: a vertical north-south fault gets a
// frame of sensible shape, and a uniform slip is drawn in the palette's top
// colour, which is not black (the bold top edge stays seen on it).
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <map>

#include "support/tool_support.h"

namespace {

// An 8-bit RGB PNG, not interlaced (what GMT writes), as rows of pixels.
struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // row by row
};

uint32_t be32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 | uint32_t(uint8_t(s[at + 2])) << 8 |
         uint8_t(s[at + 3]);
}

Image read_png(const std::string& bytes) {
  Image img;
  std::string data;
  for (size_t at = 8; at + 8 <= bytes.size();) {
    uint32_t n = be32(bytes, at);
    std::string type = bytes.substr(at + 4, 4);
    if (type == "IHDR") {
      img.width = int(be32(bytes, at + 8)), img.height = int(be32(bytes, at + 12));
      EXPECT_EQ(bytes[at + 16], 8) << "bit depth";
      EXPECT_EQ(bytes[at + 17], 2) << "RGB";
      EXPECT_EQ(bytes[at + 20], 0) << "not interlaced";
    }
    if (type == "IDAT") data += bytes.substr(at + 8, n);
    at += 12 + n;
  }
  size_t stride = size_t(img.width) * 3;
  std::vector<uint8_t> raw((stride + 1) * size_t(img.height));
  uLongf size = raw.size();
  EXPECT_EQ(uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(data.data()), data.size()), Z_OK);
  img.rgb.assign(stride * size_t(img.height), 0);
  // Undo each row's filter (none, sub, up, average, Paeth).
  for (int y = 0; y < img.height; y++) {
    uint8_t filter = raw[size_t(y) * (stride + 1)];
    const uint8_t* in = &raw[size_t(y) * (stride + 1) + 1];
    uint8_t* out = &img.rgb[size_t(y) * stride];
    const uint8_t* up = y ? out - stride : nullptr;
    for (size_t x = 0; x < stride; x++) {
      int a = x >= 3 ? out[x - 3] : 0, b = up ? up[x] : 0, c = up && x >= 3 ? up[x - 3] : 0;
      int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      int pred = filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2
                 : filter == 4 ? (pa <= pb && pa <= pc ? a : pb <= pc ? b : c) : 0;
      out[x] = uint8_t(in[x] + pred);
    }
  }
  return img;
}

TEST(FaultMap, AVerticalFaultInASensibleFrameWithANonBlackUniformSlip) {
  if (std::system("command -v gmt >/dev/null && command -v gnuplot >/dev/null") != 0)
    GTEST_SKIP() << "gmt or gnuplot is not installed";
  TempDir dir;
  dir.write("v.toml",
            "LON_TOP_CENTER = -118.5\nLAT_TOP_CENTER = 34.3\nDEPTH_TO_TOP = 0.0\nFAULT_LENGTH = 40.0\nDLEN = 2.0\n"
            "FAULT_WIDTH = 16.0\nDWID = 2.0\nSTRIKE = 0.0\nDIP = 90.0\nRAKE = 180.0\nHYPO_ALONG_STK = -10.0\n"
            "HYPO_DOWN_DIP = 10.0\n[rupture]\nvelocity = 2.8\n[medium]\nvs = 3.5\ndensity = 2.7\n"
            "[pulse]\nfmax = 6.0\nslip = 1.0\nvm = 1.0\nts = 2.8\n");
  ASSERT_EQ(run_fault(dir.path, {"v.toml"}).code, 0);
  Ended r = run_fault(dir.path, {"plot", "--map", "v.srf"});
  ASSERT_EQ(r.code, 0) << r.err;
  Image map = read_png(dir.read("v-map.png"));
  ASSERT_GT(map.width, 0);
  double ratio = double(map.width) / map.height;
  EXPECT_GE(ratio, 0.5);
  EXPECT_LE(ratio, 2.0);
  // The slip band: the commonest warm colour fills thousands of pixels, and
  // it is not black (black is grey here and never counted: a black band
  // leaves only the colour bar's few pixels).
  std::map<uint32_t, long> count;
  for (size_t k = 0; k + 2 < map.rgb.size(); k += 3) {
    uint32_t c = uint32_t(map.rgb[k]) << 16 | uint32_t(map.rgb[k + 1]) << 8 | map.rgb[k + 2];
    bool grey = map.rgb[k] == map.rgb[k + 1] && map.rgb[k + 1] == map.rgb[k + 2];
    if (!grey) count[c]++;
  }
  uint32_t band = 0;
  long most = 0;
  for (auto [c, n] : count)
    if (n > most && (c >> 16) > (c & 255)) band = c, most = n;  // warm: the slip palette, not the sea
  EXPECT_GT(most, 5000);
  int r8 = int(band >> 16), g8 = int(band >> 8 & 255), b8 = int(band & 255);
  EXPECT_GT(r8 + g8 + b8, 120) << std::hex << band << ": the uniform slip is drawn near black";
}

}  // namespace
