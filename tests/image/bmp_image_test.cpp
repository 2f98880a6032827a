#include "image/bmp_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string>

#include "image/bmp_bytes.h"

using kesto::test::BmpBytes;
using kesto::test::BmpLayout;
using kesto::test::ByteVector;
using kesto::test::CoutCapture;
using kesto::test::ReadBytes;
using kesto::test::ImageTempDir;

namespace {

const std::string kIndent = "                 ";
const std::string kErrIndent = "               ";

bool Same(RGBApixel p, int r, int g, int b, int a = 0) {
    return p.Red == r && p.Green == g && p.Blue == b && p.Alpha == a;
}

::testing::AssertionResult IsOneByOneOneBit(const BMP& image) {
    if (image.TellWidth() == 1 && image.TellHeight() == 1 && image.TellBitDepth() == 1) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << image.TellWidth() << " x " << image.TellHeight() << " at " << image.TellBitDepth();
}

uint32_t At32(const ByteVector& b, size_t i) {
    return b[i] | b[i + 1] << 8 | b[i + 2] << 16 | uint32_t{b[i + 3]} << 24;
}

// 3 x 2 at 24 bits: stored bottom row black, white, red; top row white.
BmpLayout ThreeByTwo() {
    BmpLayout s;
    s.width = 3;
    s.height = 2;
    s.pixels = {0,   0,   0,   255, 255, 255, 0,   0,   255, 0, 0, 0,  // + 3 padding bytes
                255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0};
    return s;
}

class BmpTest : public ::testing::Test {
protected:
    void SetUp() override { SetEasyBMPwarningsOn(); }
    ImageTempDir dir;
    BMP image;
};

TEST_F(BmpTest, ReadsTwentyFourBitsAndWritesComplementedOneBitRows) {
    BmpLayout layout = ThreeByTwo();
    layout.xPels = 2835;
    ASSERT_TRUE(image.ReadFromFile(dir.Write("in.bmp", BmpBytes(layout)).c_str()));
    ASSERT_EQ(3, image.TellWidth());
    ASSERT_EQ(2, image.TellHeight());
    EXPECT_EQ(24, image.TellBitDepth());
    EXPECT_TRUE(Same(image.GetPixel(0, 1), 0, 0, 0));
    EXPECT_TRUE(Same(image.GetPixel(1, 1), 255, 255, 255));
    EXPECT_TRUE(Same(image.GetPixel(2, 1), 255, 0, 0));
    for (int x = 0; x < 3; ++x) EXPECT_TRUE(Same(image.GetPixel(x, 0), 255, 255, 255)) << x;

    ASSERT_TRUE(image.SetBitDepth(1));
    const std::string out = dir.File("out.bmp");
    ASSERT_TRUE(image.WriteToFile(out.c_str()));
    const ByteVector file = ReadBytes(out);
    ASSERT_EQ(70u, file.size());
    EXPECT_EQ('B', file[0]);
    EXPECT_EQ('M', file[1]);
    EXPECT_EQ(70u, At32(file, 2));
    EXPECT_EQ(0u, At32(file, 6));
    EXPECT_EQ(62u, At32(file, 10));
    EXPECT_EQ(40u, At32(file, 14));
    EXPECT_EQ(3u, At32(file, 18));
    EXPECT_EQ(2u, At32(file, 22));
    EXPECT_EQ(0x00010001u, At32(file, 26));  // planes 1, bit count 1
    EXPECT_EQ(0u, At32(file, 30));
    EXPECT_EQ(8u, At32(file, 34));
    EXPECT_EQ(2835u, At32(file, 38));  // kept from the file read
    EXPECT_EQ(3780u, At32(file, 42));  // unknown resolution gets the default
    EXPECT_EQ(0u, At32(file, 46));
    EXPECT_EQ(0u, At32(file, 50));
    EXPECT_EQ(ByteVector({0, 0, 0, 0, 255, 255, 255, 0}), ByteVector(file.begin() + 54, file.begin() + 62));
    EXPECT_EQ(ByteVector({0xBF, 0, 0, 0, 0x1F, 0, 0, 0}), ByteVector(file.begin() + 62, file.end()));
}

TEST_F(BmpTest, OneBitThresholdLiesBetweenColourSums382And383) {
    ASSERT_TRUE(image.SetSize(9, 1));
    image.SetPixel(0, 0, RGBApixel{128, 127, 127, 0});  // sum 382: dot
    image.SetPixel(1, 0, RGBApixel{128, 127, 128, 0});  // sum 383: no dot
    image.SetPixel(2, 0, RGBApixel{0, 0, 0, 255});      // alpha plays no part
    for (int x = 3; x < 9; ++x) image.SetPixel(x, 0, RGBApixel{255, 255, 255, 0});
    image.SetPixel(8, 0, RGBApixel{10, 10, 10, 0});
    ASSERT_TRUE(image.SetBitDepth(1));

    unsigned char row[4] = {0, 0, 0, 0};
    ASSERT_TRUE(image.Write1bitRow(row, 4, 0));
    EXPECT_EQ(0xA0, row[0]);                      // 1 0 1 0 0 0 0 0
    EXPECT_EQ(0xFF, row[1]);                      // pixel 8 black, seven bits past the width
    EXPECT_EQ(0, row[2]);                         // untouched padding
    EXPECT_FALSE(image.Write1bitRow(row, 1, 0));  // 9 pixels do not fit in one byte
    EXPECT_FALSE(image.Write1bitRow(row, 4, 1));  // no such row
}

// One-bit rows pick, for every pixel, the table entry FindClosestColor picks;
// checked over many tables and pixels, ties and extremes included, grey steps
// (black to white among them) and rows longer than one packing chunk.
TEST_F(BmpTest, OneBitRowsAgreeWithTheClosestColourForAnyTwoEntryTable) {
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<uint8_t>(state >> 16);
    };
    auto colour = [&next](int pick) {
        // Now and then an extreme or a repeated value, so ties come up.
        const uint8_t v = pick % 3 == 0 ? 0 : pick % 3 == 1 ? 255 : next();
        return RGBApixel{next() < 64 ? v : next(), next() < 64 ? v : next(), next() < 64 ? v : next(), 0};
    };
    auto lighter = [&next](RGBApixel c) {  // the same step up on every channel
        const int room = 255 - std::max({c.Red, c.Green, c.Blue});
        const auto step = static_cast<uint8_t>(room == 0 ? 0 : 1 + next() % room);
        return RGBApixel{uint8_t(c.Blue + step), uint8_t(c.Green + step), uint8_t(c.Red + step), 0};
    };
    for (int round = 0; round < 200; ++round) {
        const int width = round % 4 == 3 ? 1030 : 61;  // never a whole number of bytes
        ASSERT_TRUE(image.SetSize(width, 1));
        ASSERT_TRUE(image.SetBitDepth(1));
        const RGBApixel c0 = round % 5 == 4 ? RGBApixel{0, 0, 0, 0} : colour(round);
        const RGBApixel c1 = round % 7 == 0   ? c0
                             : round % 5 == 4 ? RGBApixel{255, 255, 255, 0}
                             : round % 2 == 1 ? lighter(c0)
                                              : colour(round + 1);
        ASSERT_TRUE(image.SetColor(0, c0));
        ASSERT_TRUE(image.SetColor(1, c1));
        for (int x = 0; x < width; ++x) {
            // Some pixels half way between the entries, where the choice is a tie.
            const RGBApixel p = x % 5 == 0 ? RGBApixel{static_cast<uint8_t>((c0.Blue + c1.Blue) / 2),
                                                       static_cast<uint8_t>((c0.Green + c1.Green) / 2),
                                                       static_cast<uint8_t>((c0.Red + c1.Red) / 2), 0}
                                           : colour(x);
            image.SetPixel(x, 0, p);
        }
        unsigned char row[132] = {};
        ASSERT_TRUE(image.Write1bitRow(row, sizeof row, 0));
        for (int x = 0; x < width + 2; ++x) {
            RGBApixel p = image.GetPixel(x, 0);
            const bool dot = (row[x / 8] >> (7 - x % 8)) & 1;
            const bool expected = x >= width || image.FindClosestColor(p) == 0;  // bits past the width: 1
            ASSERT_EQ(expected, dot) << "round " << round << " pixel " << x;
        }
    }
}

TEST_F(BmpTest, FileThatIsNotABmpLeavesTheImageAsItWas) {
    ASSERT_TRUE(image.ReadFromFile(dir.Write("good.bmp", BmpBytes(ThreeByTwo())).c_str()));
    ByteVector bytes = BmpBytes(ThreeByTwo());
    bytes[0] = 'P';
    const std::string name = dir.Write("bad.bmp", bytes);
    CoutCapture out;
    EXPECT_FALSE(image.ReadFromFile(name.c_str()));
    EXPECT_EQ("EasyBMP Error: " + name + " is not a Windows BMP file!\n", out.Text());
    EXPECT_EQ(3, image.TellWidth());
    EXPECT_EQ(2, image.TellHeight());
    EXPECT_EQ(24, image.TellBitDepth());
    EXPECT_TRUE(Same(image.GetPixel(2, 1), 255, 0, 0));
}

TEST_F(BmpTest, FailedReadsReportAndResetToOnePixelAtOneBit) {
    struct Case {
        std::string what;
        ByteVector bytes;
        std::string message;  // after "EasyBMP Error: <name>"
    };
    BmpLayout negative = ThreeByTwo();
    negative.height = -2;
    BmpLayout zeroWidth = ThreeByTwo();
    zeroWidth.width = 0;
    BmpLayout rle = ThreeByTwo();
    rle.bitCount = 8;
    rle.compression = 1;
    BmpLayout os2 = ThreeByTwo();
    os2.compression = 4;
    BmpLayout fields24 = ThreeByTwo();
    fields24.compression = 3;
    BmpLayout depth2 = ThreeByTwo();
    depth2.bitCount = 2;
    ByteVector cutHeader = BmpBytes(ThreeByTwo());
    cutHeader.resize(40);

    const std::vector<Case> cases = {
        {"empty", {}, " is obviously corrupted.\n"},
        {"cut-header", cutHeader, " is obviously corrupted.\n"},
        {"negative-height", BmpBytes(negative), " has a non-positive width or height@@.\n"},
        {"zero-width", BmpBytes(zeroWidth), " has a non-positive width or height@@.\n"},
        {"rle", BmpBytes(rle),
         " is (RLE) compressed.\n" + kErrIndent + "EasyBMP does not support compression.\n"},
        {"os2", BmpBytes(os2),
         " is in an unsupported format.\n" + kErrIndent + "(bmih.biCompression = 4)\n" + kErrIndent +
             "The file is probably an old OS2 bitmap or corrupted.\n"},
        {"fields24", BmpBytes(fields24),
         " uses bit fields and is not a\n" + kErrIndent + "16-bit file. This is not supported.\n"},
        {"depth2", BmpBytes(depth2), " has unrecognized bit depth.\n"},
    };
    for (const Case& c : cases) {
        BMP img;
        ASSERT_TRUE(img.SetSize(4, 4));
        const std::string name = dir.Write(c.what + ".bmp", c.bytes);
        CoutCapture out;
        EXPECT_FALSE(img.ReadFromFile(name.c_str())) << c.what;
        EXPECT_EQ("EasyBMP Error: " + name + c.message, out.Text()) << c.what;
        EXPECT_TRUE(IsOneByOneOneBit(img)) << c.what;
        EXPECT_TRUE(Same(img.GetPixel(0, 0), 255, 255, 255)) << c.what;
    }

    const std::string missing = dir.File("missing.bmp");
    CoutCapture out;
    EXPECT_FALSE(image.ReadFromFile(missing.c_str()));
    EXPECT_EQ("EasyBMP Error: Cannot open file " + missing + " for input.\n", out.Text());
    EXPECT_TRUE(IsOneByOneOneBit(image));
}

TEST_F(BmpTest, SizesNoPrinterOrMemoryCouldHoldAreRefused) {
    const std::vector<std::pair<int32_t, int32_t>> sizes = {{70000, 1},         {1, 70000},   {65535, 65535},
                                                            {INT_MAX, INT_MAX}, {INT_MIN, 2}, {4, INT_MIN}};
    for (auto [w, h] : sizes) {
        BmpLayout layout;
        layout.width = w;
        layout.height = h;
        layout.pixels.assign(16, 0);
        BMP img;
        CoutCapture out;
        EXPECT_FALSE(img.ReadFromFile(dir.Write("huge.bmp", BmpBytes(layout)).c_str())) << w << " x " << h;
        EXPECT_TRUE(IsOneByOneOneBit(img)) << w << " x " << h;
        EXPECT_NE(std::string::npos, out.Text().find("EasyBMP Error: ")) << out.Text();
    }
    // The largest allowed width still reads; the missing data stays white.
    BmpLayout wide;
    wide.width = kesto::kMaxImageWidth;
    wide.height = 1;
    EXPECT_TRUE(image.ReadFromFile(dir.Write("wide.bmp", BmpBytes(wide)).c_str()));
    EXPECT_EQ(kesto::kMaxImageWidth, image.TellWidth());

    CoutCapture out;
    EXPECT_FALSE(image.SetSize(kesto::kMaxImageWidth + 1, 1));
    EXPECT_FALSE(image.SetSize(kesto::kMaxImageWidth, kesto::kMaxImageHeight));
    EXPECT_EQ(kesto::kMaxImageWidth, image.TellWidth());
    EXPECT_EQ(1, image.TellHeight());
}

TEST_F(BmpTest, DataOffsetsOutsideTheFileAreReadSafely) {
    BmpLayout past = ThreeByTwo();
    past.offBits = 0xFFFFFFF0u;  // far past the end: all rows missing
    const std::string pastName = dir.Write("past.bmp", BmpBytes(past));
    {
        CoutCapture out;
        EXPECT_TRUE(image.ReadFromFile(pastName.c_str()));
        EXPECT_EQ("EasyBMP Warning: Extra meta data detected in file " + pastName + "\n" + kIndent +
                      "Data will be skipped.\n" + "EasyBMP Error: Could not read proper amount of data.\n",
                  out.Text());
        EXPECT_TRUE(Same(image.GetPixel(0, 1), 255, 255, 255));
    }
    BmpLayout before;  // offset inside the headers: no colour entries at all
    before.width = 2;
    before.bitCount = 8;
    before.offBits = 10;
    before.pixels = {0, 1, 0, 0};
    CoutCapture out;
    EXPECT_TRUE(image.ReadFromFile(dir.Write("before.bmp", BmpBytes(before)).c_str()));
    EXPECT_NE(std::string::npos, out.Text().find("has an underspecified"));
    EXPECT_TRUE(Same(image.GetPixel(0, 0), 255, 255, 255));
    EXPECT_TRUE(Same(image.GetColor(0), 255, 255, 255));
}

TEST_F(BmpTest, UnderspecifiedEightBitTableIsPaddedWithWhite) {
    BmpLayout layout;
    layout.width = 2;
    layout.bitCount = 8;
    for (int i = 0; i < 16; ++i)
        layout.table.insert(layout.table.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), 7});
    layout.pixels = {15, 16, 0, 0};
    const std::string name = dir.Write("table16.bmp", BmpBytes(layout));
    CoutCapture out;
    ASSERT_TRUE(image.ReadFromFile(name.c_str()));
    EXPECT_EQ("EasyBMP Warning: file " + name + " has an underspecified\n" + kIndent +
                  "color table. The table will be padded with extra\n" + kIndent +
                  "white (255,255,255,0) entries.\n",
              out.Text());
    EXPECT_TRUE(Same(image.GetColor(15), 45, 30, 15, 7));
    EXPECT_TRUE(Same(image.GetColor(16), 255, 255, 255));
    EXPECT_TRUE(Same(image.GetColor(255), 255, 255, 255));
    EXPECT_TRUE(Same(image.GetPixel(0, 0), 45, 30, 15, 7));
    EXPECT_TRUE(Same(image.GetPixel(1, 0), 255, 255, 255));
}

// Files are read many rows at a time: a cut anywhere keeps exactly the whole
// rows before it, each in its place, and the rows above stay white.
TEST_F(BmpTest, FileCutShortKeepsTheWholeRowsBeforeTheCut) {
    BmpLayout layout;
    layout.width = 1001;  // 3003 data bytes and one padding byte per row
    layout.height = 700;
    for (int stored = 0; stored < layout.height; ++stored) {
        for (int x = 0; x < layout.width; ++x) {
            layout.pixels.insert(layout.pixels.end(), {uint8_t(stored), uint8_t(stored >> 8), uint8_t(x)});
        }
        layout.pixels.push_back(0);
    }
    const std::pair<int, int> cuts[] = {{1, 0}, {0, 1000}, {87, 1000}, {400, 1}, {699, 3003}};
    for (auto [wholeRows, partBytes] : cuts) {  // 87 rows are one read
        ByteVector bytes = BmpBytes(layout);
        bytes.resize(54 + 3004 * size_t(wholeRows) + partBytes);
        CoutCapture out;
        ASSERT_TRUE(image.ReadFromFile(dir.Write("large.bmp", bytes).c_str()));
        EXPECT_EQ("EasyBMP Error: Could not read proper amount of data.\n", out.Text());
        for (int stored = 0; stored < layout.height; ++stored) {
            const int y = layout.height - 1 - stored;
            const RGBApixel p = image.GetPixel(1000, y);
            const bool read = p.Blue == uint8_t(stored) && p.Green == stored >> 8 && p.Red == 1000 % 256;
            ASSERT_EQ(stored < wholeRows, read) << "cut after " << wholeRows << ", stored row " << stored;
            if (!read) {
                ASSERT_TRUE(Same(p, 255, 255, 255)) << stored;
            }
        }
    }
}

TEST_F(BmpTest, ReadsOneFourAndThirtyTwoBitPixels) {
    BmpLayout one;  // 10 wide: two data bytes and two padding bytes per row
    one.width = 10;
    one.height = 2;
    one.bitCount = 1;
    one.table = {0, 0, 255, 0, 255, 0, 0, 0};  // 0 red, 1 blue
    one.pixels = {0x80, 0x40, 0, 0, 0x00, 0xFF, 0, 0};
    ASSERT_TRUE(image.ReadFromFile(dir.Write("one.bmp", BmpBytes(one)).c_str()));
    EXPECT_TRUE(Same(image.GetPixel(0, 1), 0, 0, 255));
    EXPECT_TRUE(Same(image.GetPixel(1, 1), 255, 0, 0));
    EXPECT_TRUE(Same(image.GetPixel(9, 1), 0, 0, 255));
    EXPECT_TRUE(Same(image.GetPixel(8, 1), 255, 0, 0));
    EXPECT_TRUE(Same(image.GetPixel(7, 0), 255, 0, 0));
    EXPECT_TRUE(Same(image.GetPixel(8, 0), 0, 0, 255));

    BmpLayout four;
    four.width = 3;
    four.bitCount = 4;
    for (int i = 0; i < 16; ++i) four.table.insert(four.table.end(), {0, 0, uint8_t(i * 10), 0});
    four.pixels = {0x3C, 0x50, 0, 0};
    ASSERT_TRUE(image.ReadFromFile(dir.Write("four.bmp", BmpBytes(four)).c_str()));
    EXPECT_TRUE(Same(image.GetPixel(0, 0), 30, 0, 0));
    EXPECT_TRUE(Same(image.GetPixel(1, 0), 120, 0, 0));
    EXPECT_TRUE(Same(image.GetPixel(2, 0), 50, 0, 0));

    BmpLayout wide;
    wide.width = 2;
    wide.bitCount = 32;
    wide.extra = {9, 9, 9};  // meta data to skip before the pixels
    wide.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    const std::string name = dir.Write("wide.bmp", BmpBytes(wide));
    CoutCapture out;
    ASSERT_TRUE(image.ReadFromFile(name.c_str()));
    EXPECT_EQ("EasyBMP Warning: Extra meta data detected in file " + name + "\n" + kIndent +
                  "Data will be skipped.\n",
              out.Text());
    EXPECT_EQ(32, image.TellBitDepth());
    EXPECT_TRUE(Same(image.GetPixel(0, 0), 3, 2, 1, 4));
    EXPECT_TRUE(Same(image.GetPixel(1, 0), 7, 6, 5, 8));
}

TEST_F(BmpTest, SixteenBitPixelsUseDefaultOrStoredMasks) {
    BmpLayout plain;  // 5-5-5, width 3: 6 data bytes and 2 padding bytes per row
    plain.width = 3;
    plain.height = 2;
    plain.bitCount = 16;
    auto word = [](ByteVector& b, uint16_t w) { kesto::test::Le16(b, w); };
    word(plain.pixels, 31 << 10 | 16);  // bottom row
    word(plain.pixels, 1 << 5);
    word(plain.pixels, 0x7FFF);
    word(plain.pixels, 0xFFFF);  // padding
    word(plain.pixels, 0);       // top row
    word(plain.pixels, 2 << 10);
    word(plain.pixels, 0x8000);  // the top bit belongs to no colour
    word(plain.pixels, 0);
    ASSERT_TRUE(image.ReadFromFile(dir.Write("555.bmp", BmpBytes(plain)).c_str()));
    EXPECT_EQ(16, image.TellBitDepth());
    EXPECT_TRUE(Same(image.GetPixel(0, 1), 248, 0, 128));
    EXPECT_TRUE(Same(image.GetPixel(1, 1), 0, 8, 0));
    EXPECT_TRUE(Same(image.GetPixel(2, 1), 248, 248, 248));
    EXPECT_TRUE(Same(image.GetPixel(0, 0), 0, 0, 0));
    EXPECT_TRUE(Same(image.GetPixel(1, 0), 16, 0, 0));
    EXPECT_TRUE(Same(image.GetPixel(2, 0), 0, 0, 0));
    {  // the last row's padding may be missing: nothing is said, nothing lost
        ByteVector unpadded = BmpBytes(plain);
        unpadded.resize(unpadded.size() - 2);
        CoutCapture out;
        ASSERT_TRUE(image.ReadFromFile(dir.Write("555-unpadded.bmp", unpadded).c_str()));
        EXPECT_EQ("", out.Text());
        EXPECT_TRUE(Same(image.GetPixel(2, 0), 0, 0, 0));
    }

    BmpLayout fields;  // 5-6-5 masks, each followed by two skipped bytes, then meta data
    fields.width = 2;
    fields.bitCount = 16;
    fields.compression = 3;
    for (uint16_t mask : {0xF800, 0x07E0, 0x001F}) {
        word(fields.table, mask);
        word(fields.table, 0xABCD);
    }
    fields.extra = {1, 2, 3, 4};
    word(fields.pixels, 0xF800 | 0x3F << 5);
    word(fields.pixels, 0x20 | 0x1F);  // lowest green bit lost to the 5-bit scale
    const std::string name = dir.Write("565.bmp", BmpBytes(fields));
    CoutCapture out;
    ASSERT_TRUE(image.ReadFromFile(name.c_str()));
    EXPECT_EQ("EasyBMP Warning: Extra meta data detected in file " + name + "\n" + kIndent +
                  "Data will be skipped.\n",
              out.Text());
    EXPECT_TRUE(Same(image.GetPixel(0, 0), 248, 248, 0));
    EXPECT_TRUE(Same(image.GetPixel(1, 0), 0, 0, 248));
}

TEST_F(BmpTest, SizeAndDepthChangesRefuseBadValuesWithWarnings) {
    ASSERT_TRUE(image.SetSize(3, 2));
    {
        CoutCapture out;
        EXPECT_FALSE(image.SetSize(0, 5));
        EXPECT_EQ("EasyBMP Warning: User attempted to set a non-positive width or height.\n" + kIndent +
                      "Size remains unchanged at 3 x 2.\n",
                  out.Text());
        EXPECT_EQ(3, image.TellWidth());
        EXPECT_EQ(2, image.TellHeight());
    }
    {
        CoutCapture out;
        EXPECT_FALSE(image.SetBitDepth(7));
        EXPECT_EQ("EasyBMP Warning: User attempted to set unsupported bit depth 7.\n" + kIndent +
                      "Bit depth remains unchanged at 24.\n",
                  out.Text());
        EXPECT_EQ(24, image.TellBitDepth());
    }
    const std::string noTable = "EasyBMP Warning: Attempted to create color table at a bit\n" + kIndent +
                                "depth that does not require a color table.\n" + kIndent +
                                "Ignoring request.\n";
    {
        CoutCapture out;
        EXPECT_FALSE(image.CreateStandardColorTable());
        EXPECT_FALSE(CreateGrayscaleColorTable(image));
        EXPECT_EQ(noTable + noTable, out.Text());
    }
    SetEasyBMPwarningsOff();
    EXPECT_FALSE(GetEasyBMPwarningState());
    {
        CoutCapture out;
        EXPECT_FALSE(image.SetSize(-1, 1));
        EXPECT_FALSE(image.SetBitDepth(2));
        EXPECT_FALSE(image.ReadFromFile(dir.File("missing.bmp").c_str()));
        EXPECT_EQ("", out.Text());
    }
    SetEasyBMPwarningsOn();
    EXPECT_TRUE(GetEasyBMPwarningState());
}

TEST_F(BmpTest, ColourTablesAndNearestColour) {
    EXPECT_EQ(1 << 24, image.TellNumberOfColors());
    ASSERT_TRUE(image.SetBitDepth(32));
    EXPECT_EQ(1 << 24, image.TellNumberOfColors());
    ASSERT_TRUE(image.SetBitDepth(1));
    EXPECT_EQ(2, image.TellNumberOfColors());
    EXPECT_TRUE(Same(image.GetColor(0), 0, 0, 0));
    EXPECT_TRUE(Same(image.GetColor(1), 255, 255, 255));
    EXPECT_FALSE(image.SetColor(2, RGBApixel{}));
    EXPECT_TRUE(Same(image.GetColor(-1), 255, 255, 255));

    ASSERT_TRUE(CreateGrayscaleColorTable(image));
    EXPECT_TRUE(Same(image.GetColor(1), 255, 255, 255));
    ASSERT_TRUE(image.SetBitDepth(4));
    ASSERT_TRUE(CreateGrayscaleColorTable(image));
    EXPECT_TRUE(Same(image.GetColor(1), 17, 17, 17));
    EXPECT_TRUE(Same(image.GetColor(15), 255, 255, 255));
    ASSERT_TRUE(image.SetBitDepth(8));
    ASSERT_TRUE(CreateGrayscaleColorTable(image));
    EXPECT_TRUE(Same(image.GetColor(200), 200, 200, 200));

    // Nearest by squared distance; of two equal entries the lower index wins.
    image.SetColor(10, RGBApixel{0, 0, 250, 0});
    image.SetColor(20, RGBApixel{0, 0, 250, 0});
    RGBApixel reddish{0, 0, 255, 0};
    EXPECT_EQ(10, image.FindClosestColor(reddish));
    RGBApixel grey{99, 100, 101, 0};
    EXPECT_EQ(100, image.FindClosestColor(grey));
}

TEST_F(BmpTest, WritesOnlyOneBitAndNeverThroughALink) {
    ASSERT_TRUE(image.SetSize(2, 2));
    {
        CoutCapture out;
        EXPECT_FALSE(image.WriteToFile(dir.File("deep.bmp").c_str()));
        EXPECT_EQ("EasyBMP Error: Writing at a bit depth of 24 is not supported.\n", out.Text());
    }
    ASSERT_TRUE(image.SetBitDepth(1));
    const std::string target = dir.Write("target", ByteVector{'k', 'e', 'e', 'p'});
    const std::string link = dir.File("link.bmp");
    ASSERT_EQ(0, ::symlink(target.c_str(), link.c_str()));
    {
        CoutCapture out;
        EXPECT_FALSE(image.WriteToFile(link.c_str()));
        EXPECT_EQ("EasyBMP Error: Cannot open file " + link + " for output.\n", out.Text());
    }
    EXPECT_EQ(ByteVector({'k', 'e', 'e', 'p'}), ReadBytes(target));
    {
        CoutCapture out;
        EXPECT_FALSE(image.WriteToFile(dir.File("no/such/dir.bmp").c_str()));
    }
    // A full device loses data: that is a failure, not a success.
    if (kesto::test::FileExists("/dev/full")) {
        CoutCapture out;
        EXPECT_FALSE(image.WriteToFile("/dev/full"));
    }
}

TEST_F(BmpTest, InfoHeaderIsReadFieldByField) {
    BmpLayout layout = ThreeByTwo();
    layout.height = -100;
    layout.xPels = 0x01020304;
    BMIH h = GetBMIH(dir.Write("h.bmp", BmpBytes(layout)).c_str());
    EXPECT_EQ(40u, h.biSize);
    EXPECT_EQ(3, h.biWidth);
    EXPECT_EQ(-100, h.biHeight);
    EXPECT_EQ(24, h.biBitCount);
    EXPECT_EQ(24u, h.biSizeImage);
    EXPECT_EQ(0x01020304u, h.biXPelsPerMeter);

    ByteVector cut = BmpBytes(ThreeByTwo());
    cut.resize(14 + 4 + 4 + 2);  // the width, but half the height
    h = GetBMIH(dir.Write("cut.bmp", cut).c_str());
    EXPECT_EQ(3, h.biWidth);
    EXPECT_EQ(0, h.biHeight);
    EXPECT_EQ(0, h.biBitCount);
    EXPECT_EQ(1, h.biPlanes);

    const std::string missing = dir.File("none.bmp");
    CoutCapture out;
    h = GetBMIH(missing.c_str());
    EXPECT_EQ("EasyBMP Error: Cannot initialize from file " + missing + ".\n" + kErrIndent +
                  "File cannot be opened or does not exist.\n",
              out.Text());
    EXPECT_EQ(0, h.biBitCount);
    EXPECT_EQ(0, h.biHeight);
}

TEST(SafeFreadTest, ReportsShortReadsAndEndOfFile) {
    ImageTempDir dir;
    const std::string name = dir.Write("three", ByteVector{1, 2, 3});
    FILE* f = std::fopen(name.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    char buf[4] = {};
    EXPECT_TRUE(SafeFread(buf, 1, 2, f));
    EXPECT_FALSE(SafeFread(buf, 2, 1, f));  // one byte left
    EXPECT_FALSE(SafeFread(buf, 1, 1, f));  // at end of file
    EXPECT_FALSE(SafeFread(buf, 1, 1, nullptr));
    std::fclose(f);
}

}  // namespace
