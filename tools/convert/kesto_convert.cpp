// kesto-convert: the quick road of Convert.sh. Reads a JPEG (reduced while it
// is decoded when it is much wider than the paper), PNG, BMP or GIF (first
// frame), flattens transparency onto white, scales down to the paper width
// with a Lanczos filter, reduces the picture to black and white dots and writes
// them as the uncompressed 24-bit BMP the library prints.
//
//   kesto-convert [--width N] [--threshold] [--] IMAGE OUTPUT
//
// Exit status: 0 when OUTPUT was replaced; 2 when IMAGE is nothing read here
// (the script then hands it to ImageMagick, so this stays quiet); 1 on any
// other failure, said on standard error. OUTPUT is written beside itself and
// renamed over, so a link planted there is replaced, never followed.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// After <cstdio>: jpeglib.h uses FILE without including it.
#include <jpeglib.h>
#include <stb_image.h>

namespace {

enum Status { kDone = 0, kFailed = 1, kNotRead = 2 };

// Grey levels 0 (black) to 255 (white), rows from the top.
struct Grey {
    int width = 0;
    int height = 0;
    std::vector<float> px;
    // The size in the file, before any reduction on decoding.
    int fileWidth = 0;
    int fileHeight = 0;
};

// Luma of gamma-encoded sRGB, the grey the ImageMagick conversion made.
float Luma(const unsigned char* rgb) {
    return 0.212656f * static_cast<float>(rgb[0]) + 0.715158f * static_cast<float>(rgb[1]) +
           0.072186f * static_cast<float>(rgb[2]);
}

// `grey` drawn over white with coverage `alpha` (0 to 255).
float OnWhite(float grey, unsigned char alpha) {
    return 255.0f - (255.0f - grey) * (static_cast<float>(alpha) / 255.0f);
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// ---- JPEG ----

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

// The decoder's state, released on every way out: a longjmp lands in the frame
// that owns it, and destroying a decoder never created does nothing.
struct JpegDecoder {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    JpegDecoder() {
        info.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = JpegFail;
    }
    ~JpegDecoder() { jpeg_destroy_decompress(&info); }
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
};

// The smallest reduction on decoding (in eighths) that keeps the picture at
// least `minWidth` wide; the filter does the rest of the way.
unsigned JpegEighths(unsigned width, unsigned minWidth) {
    for (unsigned m = 1; m < 8; ++m) {
        if ((width * m + 7) / 8 >= minWidth) return m;
    }
    return 8;
}

// Everything with a destructor is made before setjmp, so a longjmp skips none.
Status ReadJpeg(FILE* file, int maxWidth, Grey& out) {
    JpegDecoder decoder;
    jpeg_decompress_struct& info = decoder.info;
    std::vector<unsigned char> row;
    if (setjmp(decoder.errors.jump) != 0) return kNotRead;
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_GRAYSCALE) {
        info.out_color_space = JCS_GRAYSCALE;
    } else if (info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_RGB) {
        info.out_color_space = JCS_RGB;
    } else {  // CMYK and YCCK: ImageMagick knows their inversions
        return kNotRead;
    }
    out.fileWidth = static_cast<int>(info.image_width);
    out.fileHeight = static_cast<int>(info.image_height);
    info.scale_num = JpegEighths(info.image_width, static_cast<unsigned>(maxWidth));
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.px.resize(static_cast<size_t>(out.width) * out.height);
    const int channels = info.output_components;
    row.resize(static_cast<size_t>(out.width) * channels);
    while (info.output_scanline < info.output_height) {
        float* dst = &out.px[static_cast<size_t>(info.output_scanline) * out.width];
        JSAMPROW rows[] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        for (int x = 0; x < out.width; ++x) {
            dst[x] = channels == 1 ? static_cast<float>(row[x]) : Luma(&row[static_cast<size_t>(x) * 3]);
        }
    }
    jpeg_finish_decompress(&info);
    return kDone;
}

// ---- PNG, BMP, GIF ----

Status ReadWithStb(FILE* file, Grey& out) {
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> pixels(
        stbi_load_from_file(file, &width, &height, &channels, 0), stbi_image_free);
    if (!pixels) return kNotRead;
    out.width = out.fileWidth = width;
    out.height = out.fileHeight = height;
    out.px.resize(static_cast<size_t>(width) * height);
    const unsigned char* p = pixels.get();
    for (float& v : out.px) {
        switch (channels) {
            case 1:
                v = p[0];
                break;
            case 2:
                v = OnWhite(p[0], p[1]);
                break;
            case 3:
                v = Luma(p);
                break;
            default:
                v = OnWhite(Luma(p), p[3]);
                break;
        }
        p += channels;
    }
    return kDone;
}

Status Read(const char* path, int maxWidth, Grey& out) {
    File file(std::fopen(path, "rb"));
    unsigned char magic[8] = {};
    if (!file || std::fread(magic, 1, sizeof magic, file.get()) != sizeof magic) return kNotRead;
    std::rewind(file.get());
    if (magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) return ReadJpeg(file.get(), maxWidth, out);
    const bool png = std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8) == 0;
    const bool gif = std::memcmp(magic, "GIF87a", 6) == 0 || std::memcmp(magic, "GIF89a", 6) == 0;
    const bool bmp = magic[0] == 'B' && magic[1] == 'M';
    return png || gif || bmp ? ReadWithStb(file.get(), out) : kNotRead;
}

// ---- scaling ----

float Lanczos3(double x) {
    x = std::fabs(x);
    if (x < 1e-9) return 1.0f;
    if (x >= 3.0) return 0.0f;
    const double pix = M_PI * x;
    return static_cast<float>(3.0 * std::sin(pix) * std::sin(pix / 3.0) / (pix * pix));
}

// The weights of the source samples that make each of `out` samples from `in`.
struct Taps {
    int first = 0;
    std::vector<float> weights;
};

std::vector<Taps> Weights(int in, int out) {
    const double scale = static_cast<double>(in) / out;
    const double support = 3.0 * std::max(1.0, scale);
    std::vector<Taps> taps(static_cast<size_t>(out));
    for (int o = 0; o < out; ++o) {
        const double centre = (o + 0.5) * scale;
        // Rounded half up; a negative first tap is clamped to 0 either way.
        const int first = std::max(0, static_cast<int>(std::floor(centre - support + 0.5)));
        const int stop = std::min(in, static_cast<int>(std::floor(centre + support + 0.5)));
        Taps& t = taps[static_cast<size_t>(o)];
        t.first = first;
        float sum = 0;
        for (int i = first; i < stop; ++i) {
            t.weights.push_back(Lanczos3((i + 0.5 - centre) / std::max(1.0, scale)));
            sum += t.weights.back();
        }
        for (float& w : t.weights) w /= sum;
    }
    return taps;
}

// Rows first, then columns; each pass clamps to the grey range, as an
// integer image would.
Grey Scale(const Grey& in, int width, int height) {
    const std::vector<Taps> across = Weights(in.width, width);
    Grey wide{width, in.height, std::vector<float>(static_cast<size_t>(width) * in.height)};
    for (int y = 0; y < in.height; ++y) {
        const float* src = &in.px[static_cast<size_t>(y) * in.width];
        float* dst = &wide.px[static_cast<size_t>(y) * width];
        for (int x = 0; x < width; ++x) {
            const Taps& t = across[static_cast<size_t>(x)];
            float v = 0;
            for (size_t i = 0; i < t.weights.size(); ++i) v += t.weights[i] * src[t.first + i];
            dst[x] = std::clamp(v, 0.0f, 255.0f);
        }
    }
    const std::vector<Taps> down = Weights(in.height, height);
    Grey out{width, height, std::vector<float>(static_cast<size_t>(width) * height, 0.0f)};
    for (int y = 0; y < height; ++y) {
        const Taps& t = down[static_cast<size_t>(y)];
        float* dst = &out.px[static_cast<size_t>(y) * width];
        for (size_t i = 0; i < t.weights.size(); ++i) {
            const float* src = &wide.px[static_cast<size_t>(t.first + i) * width];
            for (int x = 0; x < width; ++x) dst[x] += t.weights[i] * src[x];
        }
        for (int x = 0; x < width; ++x) dst[x] = std::clamp(dst[x], 0.0f, 255.0f);
    }
    return out;
}

// ---- black and white ----

// Stretches the levels so that the darkest 0.15 % of the dots and the lightest
// 0.05 % reach black and white: what ImageMagick's -monochrome did first.
void Stretch(Grey& g) {
    constexpr int kLevels = 65536;
    std::vector<unsigned> histogram(kLevels, 0);
    auto level = [](float v) { return static_cast<int>(std::floor(v * (kLevels - 1) / 255.0f + 0.5f)); };
    for (float v : g.px) ++histogram[static_cast<size_t>(level(v))];
    const double count = static_cast<double>(g.px.size());
    double seen = 0;
    int black = 0;
    for (; black < kLevels - 1; ++black) {
        seen += histogram[static_cast<size_t>(black)];
        if (seen > count * 0.0015) break;
    }
    seen = 0;
    int white = kLevels - 1;
    for (; white > 0; --white) {
        seen += histogram[static_cast<size_t>(white)];
        if (seen > count * 0.0005) break;
    }
    if (white <= black) return;
    const float low = static_cast<float>(black) * 255.0f / (kLevels - 1);
    const float factor = 255.0f / (static_cast<float>(white - black) * 255.0f / (kLevels - 1));
    for (float& v : g.px) v = std::clamp((v - low) * factor, 0.0f, 255.0f);
}

// Floyd-Steinberg error diffusion, one row left to right and the next right to
// left, leaving only 0 and 255. The error is taken against the mean of the
// dark dots and the mean of the light ones, which then print black and white:
// a photo keeps its contrast, as with ImageMagick's two-colour reduction.
void Dither(Grey& g) {
    Stretch(g);
    double darkSum = 0, lightSum = 0;
    size_t dark = 0;
    for (float v : g.px) {
        if (v < 127.5f) {
            darkSum += v;
            ++dark;
        } else {
            lightSum += v;
        }
    }
    if (dark == 0 || dark == g.px.size()) {
        std::fill(g.px.begin(), g.px.end(), dark == 0 ? 255.0f : 0.0f);
        return;
    }
    const float low = static_cast<float>(darkSum / static_cast<double>(dark));
    const float high = static_cast<float>(lightSum / static_cast<double>(g.px.size() - dark));
    const float middle = (low + high) / 2;
    const int w = g.width;
    for (int y = 0; y < g.height; ++y) {
        const bool forward = y % 2 == 0;
        const int step = forward ? 1 : -1;
        float* row = &g.px[static_cast<size_t>(y) * w];
        float* next = y + 1 < g.height ? row + w : nullptr;
        for (int i = 0; i < w; ++i) {
            const int x = forward ? i : w - 1 - i;
            const float v = std::clamp(row[x], 0.0f, 255.0f);
            const bool isDark = v < middle;
            row[x] = isDark ? 0.0f : 255.0f;
            const float error = v - (isDark ? low : high);
            const bool ahead = x + step >= 0 && x + step < w;
            const bool behind = x - step >= 0 && x - step < w;
            if (ahead) row[x + step] += error * 7 / 16;
            if (next != nullptr) {
                if (behind) next[x - step] += error * 3 / 16;
                next[x] += error * 5 / 16;
                if (ahead) next[x + step] += error * 1 / 16;
            }
        }
    }
}

void Threshold(Grey& g) {
    for (float& v : g.px) v = v <= 127.5f ? 0.0f : 255.0f;
}

// ---- output ----

void PutLE(unsigned char* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Pixels of `g` are 0 or 255.
std::vector<unsigned char> Bmp(const Grey& g) {
    const int width = g.width, height = g.height;
    const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
    const size_t pixels = rowBytes * height;
    std::vector<unsigned char> file(54 + pixels, 0);
    unsigned char* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    PutLE(h + 2, static_cast<uint32_t>(file.size()), 4);
    PutLE(h + 10, 54, 4);
    PutLE(h + 14, 40, 4);
    PutLE(h + 18, static_cast<uint32_t>(width), 4);
    PutLE(h + 22, static_cast<uint32_t>(height), 4);
    PutLE(h + 26, 1, 2);
    PutLE(h + 28, 24, 2);
    PutLE(h + 34, static_cast<uint32_t>(pixels), 4);
    PutLE(h + 38, 2835, 4);  // 72 dpi
    PutLE(h + 42, 2835, 4);
    for (int y = 0; y < height; ++y) {  // bottom row first
        unsigned char* dst = h + 54 + rowBytes * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const unsigned char v = g.px[static_cast<size_t>(y) * width + x] < 128.0f ? 0 : 255;
            unsigned char* px = dst + static_cast<ptrdiff_t>(3) * x;
            px[0] = px[1] = px[2] = v;
        }
    }
    return file;
}

// A file made beside `target` and renamed over it once complete; removed
// again when anything fails before.
class Replacement {
public:
    explicit Replacement(const std::string& target) : target_(target), path_(target + ".XXXXXX") {
        fd_ = ::mkstemp(&path_[0]);
        made_ = fd_ >= 0;
    }
    ~Replacement() {
        if (fd_ >= 0) ::close(fd_);
        if (made_ && !renamed_) ::unlink(path_.c_str());
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    bool Commit(const std::vector<unsigned char>& bytes) {
        if (fd_ < 0) return false;
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return false;
        renamed_ = ::rename(path_.c_str(), target_.c_str()) == 0;
        return renamed_;
    }

private:
    std::string target_;
    std::string path_;
    int fd_ = -1;
    bool made_ = false;
    bool renamed_ = false;
};

int Usage() {
    std::fputs("usage: kesto-convert [--width N] [--threshold] [--] IMAGE OUTPUT\n", stderr);
    return kFailed;
}

}  // namespace

int main(int argc, char** argv) {
    int width = 576;
    bool threshold = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string option = argv[i];
        if (option == "--") {
            ++i;
            break;
        }
        if (option == "--threshold") {
            threshold = true;
        } else if (option == "--width" && i + 1 < argc) {
            char* end = nullptr;
            const long w = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || w < 1 || w > 65535) return Usage();
            width = static_cast<int>(w);
        } else {
            return Usage();
        }
    }
    if (argc - i != 2) return Usage();
    const char* input = argv[i];
    const std::string output = argv[i + 1];

    try {
        Grey picture;
        Status read = Read(input, width, picture);
        if (read != kDone) return read;
        if (picture.width < 1 || picture.height < 1) return kNotRead;
        if (picture.width > width) {  // only ever down; the height keeps the file's proportions
            const double height =
                std::floor(static_cast<double>(picture.fileHeight) * width / picture.fileWidth + 0.5);
            picture = Scale(picture, width, std::max(1, static_cast<int>(height)));
        }
        if (threshold) {
            Threshold(picture);
        } else {
            Dither(picture);
        }
        Replacement file(output);
        if (!file.Commit(Bmp(picture))) {
            std::fprintf(stderr, "kesto-convert: cannot write %s: %s\n", output.c_str(),
                         std::strerror(errno));
            return kFailed;
        }
        return kDone;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kesto-convert: %s\n", e.what());
        return kFailed;
    }
}
