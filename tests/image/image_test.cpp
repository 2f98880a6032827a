#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <tuple>

#include "fixtures/recording_communication.h"
#include "image/bitmap_file_reader.h"
#include "image/bmp_image.h"
#include "image/image_printing.h"
#include "support/test_support.h"

namespace kesto::test {
namespace {

// Both headers, then `table` (colour entries or bit-field masks) and the rows as stored.
std::string Bmp(int width, int height, int bits, const std::string& table, const std::string& rows,
                int compression = 0, uint32_t offset = 0) {
    auto le = [](uint32_t value, int bytes) {  // little-endian, whatever the host's order
        std::string out;
        while (bytes--) out.push_back(static_cast<char>(value)), value >>= 8;
        return out;
    };
    const uint32_t start = offset ? offset : 54 + table.size();
    return "BM" + le(54 + table.size() + rows.size(), 4) + le(0, 4) + le(start, 4) + le(40, 4) +
           le(width, 4) + le(height, 4) + le(1, 2) + le(bits, 2) + le(compression, 4) + le(rows.size(), 4) +
           le(3780, 4) + le(3780, 4) + le(0, 4) + le(0, 4) + table + rows;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

using Pixel = std::tuple<int, int, int, int>;  // blue, green, red, alpha
Pixel Px(RGBApixel p) {
    return {p.Blue, p.Green, p.Red, p.Alpha};
}
const Pixel kWhite{255, 255, 255, 0};
const std::string kBlackWhite = H("00000000 FFFFFF00");  // a one-bit table: 0 black, 1 white

unsigned char* Bytes(std::string& bytes) {
    return reinterpret_cast<unsigned char*>(&bytes[0]);
}

// The file with the 32-bit field at `at` replaced, as a damaged header would have it.
std::string Patched(std::string file, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i, value >>= 8) file[at + i] = static_cast<char>(value);
    return file;
}

// Every pixel top row first, each as stored at 32 bits: blue, green, red, alpha.
std::string Pixels(const BMP& image) {
    std::string out;
    for (int i = 0, width = image.TellWidth(); i < width * image.TellHeight(); ++i) {
        const RGBApixel p = image.GetPixel(i % width, i / width);
        out.append(reinterpret_cast<const char*>(&p), sizeof p);
    }
    return Hex(out);
}

// Bytes that end where an unreadable page begins: reading past them ends the test.
struct Fenced {
    explicit Fenced(const std::string& bytes)
        : page(static_cast<size_t>(::sysconf(_SC_PAGESIZE))),
          base(static_cast<unsigned char*>(
              ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))),
          data(std::copy(bytes.begin(), bytes.end(), base + page - bytes.size()) - bytes.size()) {
        EXPECT_EQ(::mprotect(base + page, page, PROT_NONE), 0);
    }
    ~Fenced() { ::munmap(base, 2 * page); }
    const size_t page;
    unsigned char* const base;
    unsigned char* const data;
};

TEST(BmpImage, ReadsEveryDepthBottomRowFirst) {
    TempDir dir;
    const std::string two = H("0A 14 1E 00 28 32 3C 00");  // two entries; the rest of a table is white
    const Pixel first{0x0A, 0x14, 0x1E, 0}, second{0x28, 0x32, 0x3C, 0};
    // One pixel a row, two rows, stored bottom row first.
    // clang-format off
    const struct { int bits, compression; std::string table, rows; Pixel top, bottom; } rows[] = {
        {1, 0, two, H("80000000 00000000"), first, second},
        {4, 0, two, H("10000000 00000000"), first, second},
        {8, 0, two, H("01000000 00000000"), first, second},
        {16, 0, "", H("007C0000 1F000000"), {248, 0, 0, 0}, {0, 0, 248, 0}},  // 5-5-5
        {16, 3, H("00F80000 E0070000 1F000000"), H("00F80000 E0070000"), {0, 248, 0, 0}, {0, 0, 248, 0}},
        {24, 0, "", H("010203 00 040506 00"), {4, 5, 6, 0}, {1, 2, 3, 0}},
        {32, 0, "", H("01020304 05060708"), {5, 6, 7, 8}, {1, 2, 3, 4}}};
    // clang-format on
    for (const auto& row : rows) {
        BMP image;
        const std::string file = dir.Write("a", Bmp(1, 2, row.bits, row.table, row.rows, row.compression));
        ASSERT_TRUE(image.ReadFromFile(file.c_str())) << row.bits;
        EXPECT_EQ(std::make_tuple(image.TellBitDepth(), Px(image.GetPixel(0, 0)), Px(image.GetPixel(0, 1))),
                  std::make_tuple(row.bits, row.top, row.bottom))
            << "compression " << row.compression;
        EXPECT_EQ(KESTO_IsBMPSupported(nullptr, file.c_str()), row.bits == 4 ? 0 : 1) << row.bits;
    }
    EXPECT_EQ(KESTO_IsBMPSupported(nullptr, (dir.path() + "/missing.bmp").c_str()), 0);
    EXPECT_EQ(KESTO_IsBMPSupported(nullptr, nullptr), 0);
}

TEST(BmpImage, ReadsRowsOfSeveralPixelsAndSkipsWhatLiesBetweenTableAndRows) {
    TempDir dir;
    const std::string masks = H("00F80000 E0070000 1F000000");  // 5-6-5
    const struct {
        std::string file, pixels;  // top row first; empty: refused
    } rows[] = {
        {Bmp(2, 1, 24, "", H("010203 040506 0000")), "01020300 04050600"},
        {Bmp(3, 1, 4, H("0A141E00 28323C00"), H("01 10 0000")), "0A141E00 28323C00 28323C00"},
        {Bmp(1, 1, 1, kBlackWhite + "meta", H("80000000")), "FFFFFF00"},
        {Bmp(1, 1, 16, masks + "meta", H("1F000000"), 3), "F8000000"},
        {Bmp(1, 1, 24, "", H("FFFFFF00"), 3), ""},  // bit fields are for 16 bits only
    };
    for (const auto& row : rows) {
        BMP image;
        const bool read = image.ReadFromFile(dir.Write("a.bmp", row.file).c_str());
        EXPECT_EQ(read ? Pixels(image) : "", Hex(H(row.pixels))) << Hex(row.file.substr(28, 6));
    }
    // Rows over 128 KiB are read one a batch, the top row last.
    BMP image;
    const std::string wide(131076, '\0');
    ASSERT_TRUE(image.ReadFromFile(
        dir.Write("w.bmp", Bmp(32769, 2, 32, "", wide + H("01020304") + wide.substr(4))).c_str()));
    EXPECT_EQ(Px(image.GetPixel(0, 0)), Pixel(1, 2, 3, 4));
    // A grey ramp replaces the whole table the file brought.
    ASSERT_TRUE(
        image.ReadFromFile(dir.Write("b.bmp", Bmp(1, 1, 1, H("0A141E00 28323C00"), H("00"))).c_str()));
    ASSERT_TRUE(CreateGrayscaleColorTable(image));
    EXPECT_EQ(std::make_tuple(Px(image.GetColor(0)), Px(image.GetColor(1))),
              std::make_tuple(Pixel(0, 0, 0, 0), kWhite));
}

TEST(BmpImage, RefusesWhatItCannotHoldAndReadsShortOrMisplacedDataSafely) {
    TempDir dir;
    const std::string row = H("FFFFFF00");
    const std::string topDown = dir.Write("down.bmp", Bmp(1, -1, 24, "", row));
    EXPECT_EQ(KESTO_IsBMPSupported(nullptr, topDown.c_str()), 0);
    for (const std::string& file :
         {Bmp(65536, 1, 24, "", row), Bmp(1, 65536, 24, "", row),
          Bmp(8193, 8193, 24, "", row),                                          // more than 64 Mi pixels
          ReadFile(topDown), Bmp(0, 1, 24, "", row), Bmp(1, 1, 24, "", row, 1),  // run-length compressed
          Bmp(1, 1, 12, "", row), Bmp(1, 1, 24, "", row).substr(0, 40)}) {
        BMP image;
        EXPECT_FALSE(image.ReadFromFile(dir.Write("bad.bmp", file).c_str())) << Hex(file.substr(18, 12));
        EXPECT_EQ(std::make_tuple(image.TellWidth(), image.TellHeight(), image.TellBitDepth()),
                  std::make_tuple(1, 1, 1));
    }
    BMP image;
    ASSERT_TRUE(image.ReadFromFile(dir.Write("short.bmp", Bmp(1, 2, 24, "", H("010203 00"))).c_str()));
    EXPECT_EQ(Px(image.GetPixel(0, 1)), Pixel(1, 2, 3, 0));  // the stored row
    EXPECT_EQ(Px(image.GetPixel(0, 0)), kWhite);             // the missing one
    const std::string far = dir.Write("far.bmp", Bmp(1, 1, 24, "", H("010203 00"), 0, 100000));
    ASSERT_TRUE(image.ReadFromFile(far.c_str()));
    EXPECT_EQ(Px(image.GetPixel(0, 0)), kWhite);
    const std::string near = dir.Write("near.bmp", Bmp(1, 1, 8, kBlackWhite, H("01000000"), 0, 10));
    EXPECT_TRUE(image.ReadFromFile(near.c_str()));
}

TEST(BmpImage, WritesComplementedOneBitRowsBottomUpNeverThroughALinkAndNoOtherDepth) {
    TempDir dir;
    BMP image;
    ASSERT_TRUE(image.SetSize(10, 2));
    image.SetPixel(0, 0, RGBApixel{0, 0, 0, 0});
    ASSERT_TRUE(image.SetBitDepth(1));
    const std::string one = dir.path() + "/one.bmp";
    ASSERT_TRUE(image.WriteToFile(one.c_str()));
    // The black pixel and the bits past the width are 1, white pixels 0; the bottom row first.
    EXPECT_EQ(Hex(ReadFile(one)), Hex(Bmp(10, 2, 1, kBlackWhite, H("003F0000 803F0000"))));

    const std::string target = dir.Write("target", "kept");
    ASSERT_EQ(::symlink(target.c_str(), (dir.path() + "/link.bmp").c_str()), 0);
    EXPECT_FALSE(image.WriteToFile((dir.path() + "/link.bmp").c_str()));
    EXPECT_EQ(ReadFile(target), "kept");
    EXPECT_FALSE(image.WriteToFile("/dev/full"));  // a write that cannot complete
    ASSERT_TRUE(image.SetBitDepth(24));
    EXPECT_FALSE(image.WriteToFile((dir.path() + "/deep.bmp").c_str()));
    EXPECT_FALSE(Exists(dir.path() + "/deep.bmp"));

    // Standard tables: 4 bits the classic colours (9 is red), 8 bits 3-3-2 RGB (E0 is red).
    ASSERT_TRUE(image.SetBitDepth(8));
    EXPECT_EQ(std::make_tuple(Px(image.GetColor(0xE0)), Px(image.GetColor(3))),
              std::make_tuple(Pixel(0, 0, 255, 0), Pixel(255, 0, 0, 0)));
    // A row packed against the 256 entries: white, black (now pixel 1), white, then the bits past the width.
    ASSERT_TRUE(image.SetSize(3, 1) && image.SetPixel(1, 0, RGBApixel{0, 0, 0, 0}));
    unsigned char packed[4] = {};
    ASSERT_TRUE(image.Write1bitRow(packed, 4, 0));
    EXPECT_EQ(packed[0], 0x5F);
    ASSERT_TRUE(image.SetPixel(0, 0, RGBApixel{0, 0, 0, 0}) && image.Write1bitRow(packed, 4, 0));
    EXPECT_EQ(packed[0], 0xDF);  // the first pixel counts too
    ASSERT_TRUE(image.SetBitDepth(4));
    std::string classic;  // red, green, blue of black, maroon, green, olive, navy, purple, teal, silver,
    for (int i = 0; i < 16; ++i)  // grey, red, lime, yellow, blue, fuchsia, aqua, white
        for (uint8_t c : {image.GetColor(i).Red, image.GetColor(i).Green, image.GetColor(i).Blue})
            classic += static_cast<char>(c);
    EXPECT_EQ(Hex(classic), Hex(H("000000 800000 008000 808000 000080 800080 008080 C0C0C0 "
                                  "808080 FF0000 00FF00 FFFF00 0000FF FF00FF 00FFFF FFFFFF")));
    ASSERT_TRUE(CreateGrayscaleColorTable(image));  // a grey ramp: entry i of 16 is grey 17 i
    EXPECT_EQ(std::make_tuple(Px(image.GetColor(1)), image.SetColor(16, {}), Px(image.GetColor(16))),
              std::make_tuple(Pixel(17, 17, 17, 0), false, kWhite));  // 16 is outside the table
}

TEST(BitmapFileReader, LoadsOneBitRowsTopFirstRefusesWhatItCannotHoldAndDeletesItsFile) {
    TempDir dir;
    // Forty pixels: five bytes in rows of eight, stored bottom row first.
    const std::string rows = H("1111111111000000 2222222222000000 3333333333000000 4444444444000000");
    const std::string path = dir.Write("mono.bmp", Bmp(40, 4, 1, kBlackWhite, rows));
    {
        BitmapFileReader reader(path.c_str());
        EXPECT_EQ(std::make_tuple(reader.GetWidth(), reader.GetHeight(), reader.GetImageSize(),
                                  reader.GetBytesPerLineMono(), reader.GetBytesPerLine24Bit()),
                  std::make_tuple(40, 4, 32, 8, 120));
        std::unique_ptr<unsigned char[]> data(reader.LoadBMP());
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(data.get()), 32)),
                  Hex(rows.substr(24, 8) + rows.substr(16, 8) + rows.substr(8, 8) + rows.substr(0, 8)));
    }
    EXPECT_FALSE(Exists(path));

    // An image size up to what the rows hold at 32 bits (4 x 40 x 4) is believed, and read that far.
    const std::string mono = Bmp(40, 4, 1, kBlackWhite, rows);
    for (const std::string& file : {Bmp(40, -4, 1, kBlackWhite, rows), Bmp(0, 4, 1, kBlackWhite, rows),
                                    Bmp(70000, 1, 1, kBlackWhite, rows), Patched(mono, 10, 0x80000000),
                                    Patched(mono, 34, 641), Patched(mono, 34, 640)}) {
        BitmapFileReader reader(dir.Write("odd.bmp", file).c_str());
        std::unique_ptr<unsigned char[]> data(reader.LoadBMP());
        EXPECT_EQ(data != nullptr, reader.GetImageSize() == 640) << Hex(file.substr(18, 8));
        EXPECT_TRUE(!data || data[639] == 0);
    }
    const std::string tooLong(300, 'a');
    for (const char* name : {"missing.bmp", tooLong.c_str(), static_cast<const char*>(nullptr)}) {
        BitmapFileReader reader(name);
        EXPECT_EQ(reader.LoadBMP(), nullptr);
    }
}

TEST(BitmapFileReader, FlipsConvertsAndRotatesInPlace) {
    TempDir dir;
    BitmapFileReader reader((dir.path() + "/none.bmp").c_str());  // these need no file
    std::string rows = "aabbccdd";
    EXPECT_TRUE(reader.FlipImage(Bytes(rows), 4, 2));
    EXPECT_EQ(rows, "ddccbbaa");
    EXPECT_TRUE(reader.FlipImage(Bytes(rows), -1, 2));  // nothing to flip
    EXPECT_FALSE(reader.FlipImage(nullptr, 4, 2));
    EXPECT_EQ(rows, "ddccbbaa");

    // 32-bit pixels to 24-bit rows in a file of its own, even where a link was planted.
    const std::string converted = ImageDir() + "/test.bmp", target = dir.Write("target", "kept");
    ASSERT_EQ(::symlink(target.c_str(), converted.c_str()), 0);
    Fenced pixels(H("01020304 05060708"));  // nothing past the one row is read
    int size = 0;
    EXPECT_TRUE(reader.Convert32BMPto24BMP(pixels.data, 2, 1, &size));
    EXPECT_EQ(std::make_tuple(size, Hex(ReadFile(converted)), ReadFile(target)),
              std::make_tuple(8, "01 02 03 05 06 07 00 00", "kept"));
    ::unlink(converted.c_str());
    EXPECT_TRUE(reader.Convert32BMPto24BMP(nullptr, 2, 1, &size));  // nothing to convert
    EXPECT_FALSE(Exists(converted));

    // Half a turn: pixel (x, y) of 3 x 3 goes to (2 - x, 2 - y); the padding stays.
    std::vector<unsigned char> colour(36, 0xEE);
    for (int p = 0; p < 9; ++p) std::fill_n(&colour[p / 3 * 12 + p % 3 * 3], 3, p);
    ASSERT_TRUE(reader.RotateBy180Color(colour.data(), 3, 3));
    for (int p = 0; p < 9; ++p) EXPECT_EQ(colour[p / 3 * 12 + p % 3 * 3 + 1], 8 - p) << p;
    EXPECT_EQ(std::make_tuple(colour[9], colour[35]), std::make_tuple(0xEE, 0xEE));
    Fenced wide(H("000000 010101 020202 030303 040404 050505 060606 070707"));  // 4 x 2, rows of 12 bytes
    ASSERT_TRUE(reader.RotateBy180Color(wide.data, 4, 2));
    EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(wide.data), 24)),
              Hex(H("070707 060606 050505 040404 030303 020202 010101 000000")));
    // Grey below 128 (0.299, 0.587 and 0.114 of the three bytes) is a dot: 127.7 is, 128.3 is not.
    std::string greys = H("7F8080 818080 000000 000000");
    std::unique_ptr<unsigned char[]> dots(reader.ConverToMono(Bytes(greys), 3, 1, &size));
    ASSERT_NE(dots, nullptr);
    EXPECT_EQ(std::make_tuple(size, Hex(std::string(reinterpret_cast<char*>(dots.get()), 4))),
              std::make_tuple(4, "A0 00 00 00"));
    // One-bit rows of ten pixels: (0, 0) goes to (9, 2) and (3, 1) to (6, 1).
    std::string mono = H("80000000 10000000 00000000");
    ASSERT_TRUE(reader.RotateBy180Mono(Bytes(mono), 10, 3));
    EXPECT_EQ(Hex(mono), "00 00 00 00 02 00 00 00 00 40 00 00");
    EXPECT_FALSE(reader.RotateBy180Mono(nullptr, 10, 3) || reader.RotateBy180Color(nullptr, 3, 3));
}

// Ten pixels a row at 24 bits, stored bottom row first: the bottom row white, the top row's first five black.
const std::string kWhiteRow = std::string(30, '\xFF') + std::string(2, '\0');
const std::string kPicture = Bmp(10, 2, 24, "", kWhiteRow + std::string(15, '\0') + kWhiteRow.substr(15));

class PrintImage : public ::testing::Test {
protected:
    void UseScript(const std::string& body) {
        const std::string script = dir.Write("convert.sh", "#!/bin/sh\n" + body + "\n");
        ::chmod(script.c_str(), 0755);
        ::setenv("KESTO_CONVERT_SCRIPT", script.c_str(), 1);
    }
    // Copies its one argument, and only one, to the file the library reads.
    void SetUp() override { UseScript("[ $# -eq 1 ] && exec cp \"$1\" \"" + ImageDir() + "/saved1.bmp\""); }
    int Print(void* handle, const std::string& file) {
        const int result = KESTO_PrintImage(handle, file.c_str());
        EXPECT_FALSE(g_bPrintInProgress);  // on every way out
        return result;
    }
    TempDir dir;
    RecordingPrinter printer;
};

TEST_F(PrintImage, SendsTheRowsTopFirstAsOneRasterImageBetweenTheInitRunsAndAFeed) {
    const std::string source = dir.Write("it's; a \"picture\".bmp", kPicture);  // one argument all the same
    EXPECT_EQ(Print(printer.Handle(), source), 2);
    // The two init runs; GS v 0 with rows of 4 bytes, 2 rows; five dots and none past the
    // width, then the white row; print and feed nothing; initialise.
    EXPECT_EQ(printer.comm.Sent(),
              "1B 40 | 1B 3D 01 | 1B 21 00 | 1D 42 00 | 1B 52 00 | 1B 74 02 | 1B 63 03 02 | 1B 63 04 00 | "
              "1D 50 B4 B4 | 1B 4A 16 00 | 1B 4A 00 00 | 1D 76 30 00 04 00 02 00 | F8 00 00 00 00 00 00 00 | "
              "1B 4A 00 00 | 1B 40");
    for (const Recorded& write : printer.comm.Records()) EXPECT_TRUE(write.printing);
    EXPECT_FALSE(Exists(ImageDir() + "/saved1.bmp") || Exists(ImageDir() + "/kesto1bpp.bmp"));
}

TEST_F(PrintImage, NothingIsSentWithoutAPrinterOrAConvertedPicture) {
    const std::string source = dir.Write("picture.bmp", kPicture);
    RecordingPrinter unreachable(false);
    EXPECT_EQ(Print(unreachable.Handle(), source), -1);
    EXPECT_EQ(Print(nullptr, source), -1);
    EXPECT_FALSE(Exists(ImageDir() + "/saved1.bmp"));                     // the script did not run
    EXPECT_EQ(Print(printer.Handle(), dir.path() + "/missing.bmp"), -1);  // the script wrote nothing
    EXPECT_EQ(Print(printer.Handle(), dir.Write("text.bmp", "not a picture")), -1);
    EXPECT_EQ(KESTO_PrintImage(printer.Handle(), nullptr), -1);
    EXPECT_EQ(printer.comm.Sent(), "");
    printer.comm.throwOnWrite = true;
    EXPECT_EQ(Print(printer.Handle(), source), -1);
}

TEST_F(PrintImage, ConversionTimeOutStopsAHangingScriptWithWhatItStarted) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);  // the script and its child inherit the write end
    UseScript("sleep 600 &\nwait");
    SetConversionTimeoutForTesting(std::chrono::milliseconds(200));
    EXPECT_EQ(Print(printer.Handle(), "x.png"), -1);
    SetConversionTimeoutForTesting(std::chrono::seconds(60));
    ::close(pipeEnds[1]);
    pollfd ended{pipeEnds[0], POLLIN, 0};
    ASSERT_EQ(::poll(&ended, 1, 20000), 1);
    char byte;
    EXPECT_EQ(::read(pipeEnds[0], &byte, 1), 0);  // end of file: no process holds the write end
    ::close(pipeEnds[0]);
    EXPECT_EQ(printer.comm.Sent(), "");
}

}  // namespace
}  // namespace kesto::test
