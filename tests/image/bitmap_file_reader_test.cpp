#include "image/image_files.h"
#include "image/bitmap_file_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <string>

#include "image/bmp_bytes.h"
#include "image/bmp_image.h"
#include "support/log_reader.h"

using kesto::test::BmpBytes;
using kesto::test::BmpLayout;
using kesto::test::ByteVector;
using kesto::test::ClearLog;
using kesto::test::FileExists;
using kesto::test::LogContains;
using kesto::test::LogCount;
using kesto::test::ReadBytes;
using kesto::test::ImageTempDir;

namespace {

using Buffer = std::unique_ptr<unsigned char[]>;

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearLog();
        kesto::SetImageFileDirectoryForTesting(nullptr);
    }

    // A file with the given geometry; the reader deletes it when done.
    std::string Make(int32_t width, int32_t height, uint16_t bits, const ByteVector& pixels = {},
                     int64_t sizeImage = -1, int64_t offBits = -1) {
        BmpLayout s;
        s.width = width;
        s.height = height;
        s.bitCount = bits;
        s.pixels = pixels;
        s.sizeImage = sizeImage;
        s.offBits = offBits;
        if (bits == 1) s.table = {0, 0, 0, 0, 255, 255, 255, 0};
        return dir.Write("f" + std::to_string(++count) + ".bmp", BmpBytes(s));
    }

    ImageTempDir dir;
    int count = 0;
};

TEST_F(ReaderTest, HeadersGiveSizesAndStrides) {
    {
        BitmapFileReader r(Make(10, 2, 1, ByteVector(8, 0)).c_str());
        EXPECT_EQ(10, r.GetWidth());
        EXPECT_EQ(2, r.GetHeight());
        EXPECT_EQ(1, r.GetBitsPerPixel());
        EXPECT_EQ(8, r.GetImageSize());
        EXPECT_EQ(4, r.GetBytesPerLineMono());
        EXPECT_TRUE(LogContains("Bitmap BitCout 1\n"));
        const auto lines = kesto::test::LogMessages();
        ASSERT_EQ(5u, lines.size());
        EXPECT_EQ("Bitmap Info", lines[0]);
        EXPECT_EQ("Bitmap Width 10", lines[1]);
        EXPECT_EQ("Bitmap Height 2", lines[2]);
        EXPECT_EQ("Bitmap Size 8", lines[3]);
        EXPECT_EQ("Bitmap BitCout 1", lines[4]);
    }
    const std::pair<int, int> mono[] = {{1, 4}, {32, 4}, {33, 8}, {64, 8}, {65, 12}};
    for (auto [width, stride] : mono) {
        BitmapFileReader r(Make(width, 1, 1).c_str());
        EXPECT_EQ(stride, r.GetBytesPerLineMono()) << width;
    }
    const std::pair<int, int> colour[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}};
    for (auto [width, stride] : colour) {
        BitmapFileReader r(Make(width, 1, 24).c_str());
        EXPECT_EQ(stride, r.GetBytesPerLine24Bit()) << width;
    }
}

TEST_F(ReaderTest, HeightBelowOneIsTopDown) {
    BitmapFileReader down(Make(4, -2, 1).c_str());
    EXPECT_FALSE(down.IsBottomUpImage());
    EXPECT_TRUE(LogContains("Negative Value -2 :: TopDown Image\n"));
    BitmapFileReader flat(Make(4, 0, 1).c_str());
    EXPECT_FALSE(flat.IsBottomUpImage());
    EXPECT_TRUE(LogContains("Negative Value 0 :: TopDown Image\n"));
    BitmapFileReader up(Make(4, 2, 1).c_str());
    EXPECT_TRUE(up.IsBottomUpImage());
    EXPECT_TRUE(LogContains("Possitive Value 2 :: BottomUp Image\n"));
}

TEST_F(ReaderTest, LoadGivesRowsTopFirstAndDeletesTheFileAfterwards) {
    const std::string name = Make(10, 2, 1, {0xAA, 0xBB, 0, 0, 0xCC, 0xDD, 0, 0});
    {
        BitmapFileReader r(name.c_str());
        Buffer rows(r.LoadBMP());
        ASSERT_TRUE(rows);
        EXPECT_EQ(ByteVector({0xCC, 0xDD, 0, 0, 0xAA, 0xBB, 0, 0}), ByteVector(rows.get(), rows.get() + 8));
        // The rest of the 24-bit-sized buffer is there and holds nothing stale.
        const int size = r.GetBytesPerLine24Bit() * r.GetHeight();
        EXPECT_EQ(ByteVector(size - 8, 0), ByteVector(rows.get() + 8, rows.get() + size));
        EXPECT_TRUE(LogContains("Bitmap LoadBMP\n"));
        EXPECT_TRUE(LogContains("Bitmap FlipImage\n"));
        EXPECT_TRUE(FileExists(name));
    }
    EXPECT_FALSE(FileExists(name));
    EXPECT_EQ(1u, LogCount("BitmapFileReader::Closing File \n"));
}

TEST_F(ReaderTest, LoadsWhatTheImageLibraryWrites) {
    BMP image;
    ASSERT_TRUE(image.SetSize(10, 2));
    image.SetPixel(0, 0, RGBApixel{0, 0, 0, 0});  // top left black
    image.SetPixel(9, 1, RGBApixel{0, 0, 0, 0});  // bottom right black
    ASSERT_TRUE(image.SetBitDepth(1));
    const std::string name = dir.File("one.bmp");
    ASSERT_TRUE(image.WriteToFile(name.c_str()));

    BitmapFileReader r(name.c_str());
    ASSERT_EQ(8, r.GetImageSize());
    Buffer rows(r.LoadBMP());
    ASSERT_TRUE(rows);
    EXPECT_EQ(ByteVector({0x80, 0x3F, 0, 0, 0x00, 0x7F, 0, 0}), ByteVector(rows.get(), rows.get() + 8));
}

TEST_F(ReaderTest, LyingOrShortFilesNeverOverrunTheBuffer) {
    {
        BitmapFileReader r(Make(10, -2, 1, ByteVector(8, 0xFF)).c_str());
        EXPECT_EQ(nullptr, r.LoadBMP());
    }
    const std::pair<int32_t, int32_t> refused[] = {{0, 2}, {-4, 2}, {70000, 1}, {INT_MAX, 2}, {65535, 65535}};
    for (auto [w, h] : refused) {
        BitmapFileReader r(Make(w, h, 1, ByteVector(8, 0xFF)).c_str());
        EXPECT_EQ(nullptr, r.LoadBMP()) << w << " x " << h;
    }
    {  // an image size beyond what 10 x 2 pixels could ever take
        BitmapFileReader r(Make(10, 2, 1, ByteVector(8, 0xFF), 0x7FFFFFFF).c_str());
        EXPECT_EQ(nullptr, r.LoadBMP());
    }
    {  // a 32-bit image size: callers may take all of it
        BitmapFileReader r(Make(10, 2, 32, ByteVector(80, 0x11)).c_str());
        ASSERT_EQ(80, r.GetImageSize());
        Buffer rows(r.LoadBMP());
        ASSERT_TRUE(rows);
        EXPECT_EQ(0x11, rows[63]);
        EXPECT_EQ(0, rows[79]);  // beyond the 64 bytes read
    }
    {  // data offset past the end: nothing to read, all zero
        BitmapFileReader r(Make(10, 2, 1, ByteVector(8, 0xFF), -1, 1 << 30).c_str());
        Buffer rows(r.LoadBMP());
        ASSERT_TRUE(rows);
        EXPECT_EQ(ByteVector(8, 0), ByteVector(rows.get(), rows.get() + 8));
    }
    {  // negative data offset
        BitmapFileReader r(Make(10, 2, 1, ByteVector(8, 0xFF), -1, 0x80000000u).c_str());
        EXPECT_EQ(nullptr, r.LoadBMP());
    }
    {  // cut inside the first stored row: it becomes the last row, partly zero
        BitmapFileReader r(Make(10, 2, 1, {0xAA, 0xBB}).c_str());
        Buffer rows(r.LoadBMP());
        ASSERT_TRUE(rows);
        EXPECT_EQ(ByteVector({0, 0, 0, 0, 0xAA, 0xBB, 0, 0}), ByteVector(rows.get(), rows.get() + 8));
    }
    {  // cut inside the headers: the missing fields are 0
        const std::string name = dir.Write("short.bmp", ByteVector{'B', 'M', 1, 2});
        BitmapFileReader r(name.c_str());
        EXPECT_EQ(0, r.GetWidth());
        EXPECT_EQ(0, r.GetHeight());
        EXPECT_EQ(nullptr, r.LoadBMP());
    }
}

TEST_F(ReaderTest, NamesThatCannotBeOpenedLeaveAReaderWithoutFile) {
    const std::string longName = dir.File(std::string(300, 'x'));
    {
        BitmapFileReader r(longName.c_str());
        EXPECT_TRUE(
            LogContains("BitmapFileReader::Error Reading File " + std::to_string(ENAMETOOLONG) + "\n"));
        EXPECT_EQ(0, r.GetWidth());
        EXPECT_EQ(nullptr, r.LoadBMP());
    }
    {
        BitmapFileReader r(dir.File("missing.bmp").c_str());
        EXPECT_TRUE(LogContains("BitmapFileReader::Error Reading File " + std::to_string(ENOENT) + "\n"));
        EXPECT_EQ(0, r.GetImageSize());
        EXPECT_EQ(nullptr, r.LoadBMP());
    }
    BitmapFileReader none(nullptr);
    EXPECT_EQ(nullptr, none.LoadBMP());
    EXPECT_EQ(0u, LogCount("Closing File"));
}

TEST_F(ReaderTest, ConvertsTwentyFourBitRowsToMono) {
    BitmapFileReader r(Make(2, 1, 24).c_str());
    int size = -1;
    unsigned char blackWhite[8] = {0, 0, 0, 255, 255, 255, 0, 0};
    Buffer out(r.ConverToMono(blackWhite, 2, 1, &size));
    ASSERT_TRUE(out);
    EXPECT_EQ(4, size);
    EXPECT_EQ(ByteVector({0x80, 0, 0, 0}), ByteVector(out.get(), out.get() + 4));

    // Grey 128 weighs in just below 128; the weights go by byte position.
    unsigned char pixels[2 * 12] = {128, 128, 128, 129, 129, 129, 0, 0, 255, 255, 0, 0,  // row 0 + pad
                                    0,   255, 0,   0,   0,   0,   0, 0, 0,   0,   0, 0};
    Buffer grey(r.ConverToMono(pixels, 4, 2, &size));
    ASSERT_TRUE(grey);
    EXPECT_EQ(8, size);
    EXPECT_EQ(ByteVector({0xB0, 0, 0, 0, 0x70, 0, 0, 0}), ByteVector(grey.get(), grey.get() + 8));

    Buffer upsideDown(r.ConverToMono(pixels, 4, -2, &size));
    ASSERT_TRUE(upsideDown);
    EXPECT_EQ(8, size);
    EXPECT_EQ(ByteVector(8, 0), ByteVector(upsideDown.get(), upsideDown.get() + 8));

    EXPECT_EQ(nullptr, r.ConverToMono(nullptr, 2, 1, &size));
    EXPECT_EQ(0, size);
    EXPECT_EQ(nullptr, r.ConverToMono(pixels, 2, 0, &size));
    EXPECT_EQ(nullptr, r.ConverToMono(pixels, 70000, 1, &size));
    EXPECT_EQ(nullptr, r.ConverToMono(pixels, 2, INT_MIN, &size));

    BitmapFileReader mono(Make(2, 1, 1).c_str());
    EXPECT_EQ(blackWhite, mono.ConverToMono(blackWhite, 33, 3, &size));
    EXPECT_EQ(24, size);
    EXPECT_TRUE(LogContains("No Conversion Needed\n"));
}

TEST_F(ReaderTest, RotatesColourRowsByHalfATurn) {
    BitmapFileReader r(Make(1, 1, 24).c_str());
    // 2 x 2: rows of 8 bytes, the last two padding (0xEE).
    unsigned char two[16] = {1, 1, 1, 2, 2, 2, 0xEE, 0xEE, 3, 3, 3, 4, 4, 4, 0xEE, 0xEE};
    ASSERT_TRUE(r.RotateBy180Color(two, 2, 2));
    EXPECT_EQ(ByteVector({4, 4, 4, 3, 3, 3, 0xEE, 0xEE, 2, 2, 2, 1, 1, 1, 0xEE, 0xEE}),
              ByteVector(two, two + 16));

    // 3 x 3: rows of 12 bytes; the middle row is mirrored too.
    unsigned char three[36];
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            for (int i = 0; i < 3; ++i) three[y * 12 + 3 * x + i] = static_cast<unsigned char>(10 * y + x);
        }
        for (int i = 9; i < 12; ++i) three[y * 12 + i] = 0xEE;
    }
    ASSERT_TRUE(r.RotateBy180Color(three, 3, 3));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(10 * (2 - y) + (2 - x), three[y * 12 + 3 * x]) << x << "," << y;
            EXPECT_EQ(three[y * 12 + 3 * x], three[y * 12 + 3 * x + 2]);
        }
        EXPECT_EQ(0xEE, three[y * 12 + 9]);
    }
    unsigned char one[4] = {1, 2, 3, 9};
    ASSERT_TRUE(r.RotateBy180Color(one, 1, 1));
    EXPECT_EQ(ByteVector({1, 2, 3, 9}), ByteVector(one, one + 4));
    EXPECT_FALSE(r.RotateBy180Color(nullptr, 1, 1));
    EXPECT_FALSE(r.RotateBy180Color(one, -1, 1));
}

TEST_F(ReaderTest, RotatesMonoRowsBitByBitWithinTheImage) {
    BitmapFileReader r(Make(1, 1, 1).c_str());
    // 32 wide, 2 high, between guard bytes that must survive.
    unsigned char wide[10] = {0x5A, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x5A};
    ASSERT_TRUE(r.RotateBy180Mono(wide + 1, 32, 2));
    EXPECT_EQ(ByteVector({0x5A, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x5A}),
              ByteVector(wide, wide + 10));

    unsigned char bits[8] = {0xF0, 0x00, 0x00, 0x00,
                             0x00, 0x00, 0x00, 0x01};  // top-left 4 dots, bottom-right 1
    ASSERT_TRUE(r.RotateBy180Mono(bits, 32, 2));
    EXPECT_EQ(ByteVector({0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0F}), ByteVector(bits, bits + 8));

    // 10 x 3: the middle row is mirrored; bits past pixel 9 and the padding bytes keep their values.
    unsigned char odd[12] = {0xC0, 0x3F, 0xAB, 0xCD, 0xC0, 0x3F, 0xAB, 0xCD, 0x00, 0x7F, 0xAB, 0xCD};
    ASSERT_TRUE(r.RotateBy180Mono(odd, 10, 3));
    EXPECT_EQ(ByteVector({0x80, 0x3F, 0xAB, 0xCD, 0x00, 0xFF, 0xAB, 0xCD, 0x00, 0xFF, 0xAB, 0xCD}),
              ByteVector(odd, odd + 12));

    unsigned char b = 0x80;
    r.swapmono(&b, &b, 0x80, 0x01);
    EXPECT_EQ(0x01, b);
    unsigned char x = 0x0F, y = 0xF0;
    r.swapmono(&x, &y, 0x01, 0x01);
    EXPECT_EQ(0x0E, x);
    EXPECT_EQ(0xF1, y);
    r.swap(&x, &y);
    EXPECT_EQ(0xF1, x);
    EXPECT_EQ(0x0E, y);
}

TEST_F(ReaderTest, FlipLeavesTheMiddleOfAnOddCountInPlace) {
    BitmapFileReader r(Make(1, 1, 1).c_str());
    unsigned char rows[6] = {1, 1, 2, 2, 3, 3};
    ASSERT_TRUE(r.FlipImage(rows, 3, 2));
    EXPECT_EQ(ByteVector({3, 3, 2, 2, 1, 1}), ByteVector(rows, rows + 6));
    EXPECT_FALSE(r.FlipImage(nullptr, 3, 2));
    EXPECT_TRUE(r.FlipImage(rows, -1, 2));  // nothing to flip
    EXPECT_EQ(ByteVector({3, 3, 2, 2, 1, 1}), ByteVector(rows, rows + 6));
}

TEST_F(ReaderTest, ThirtyTwoBitRowsGoToAFreshFileNeverThroughALink) {
    BitmapFileReader r(Make(1, 1, 32).c_str());
    const std::string fixed = "/tmp/test.bmp";
    const std::string victim = dir.Write("victim", ByteVector{'k', 'e', 'e', 'p'});
    ::unlink(fixed.c_str());
    ASSERT_EQ(0, ::symlink(victim.c_str(), fixed.c_str())) << errno;

    unsigned char pixels[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    int size = 0;
    EXPECT_TRUE(r.Convert32BMPto24BMP(pixels, 2, 2, &size));
    EXPECT_EQ(16, size);
    EXPECT_EQ(ByteVector({'k', 'e', 'e', 'p'}), ReadBytes(victim));
    struct stat st {};
    ASSERT_EQ(0, ::lstat(fixed.c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(ByteVector({1, 2, 3, 5, 6, 7, 0, 0, 9, 10, 11, 13, 14, 15, 0, 0}), ReadBytes(fixed));
    ::unlink(fixed.c_str());

    EXPECT_TRUE(r.Convert32BMPto24BMP(nullptr, 2, 2, &size));  // nothing to convert: no file
    EXPECT_FALSE(FileExists(fixed));
    EXPECT_FALSE(r.Convert32BMPto24BMP(pixels, 0, 2, &size));
}

}  // namespace
