#include "glyphs.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <iconv.h>

#include <array>
#include <mutex>

namespace kesto::vprinter {
namespace {

const char* const kRegularFont = "/usr/share/fonts/opentype/terminus/terminus-normal.otb";
const char* const kBoldFont = "/usr/share/fonts/opentype/terminus/terminus-bold.otb";
// WenQuanYi Bitmap Song 12 pt: CJK characters as 16 x 16 bitmaps.
const char* const kCjkFont = "/usr/share/fonts/X11/misc/wenquanyi_12pt.pcf";
// Unifont: every other character of the Basic Multilingual Plane, 16 dots high.
const char* const kUnifont = "/usr/share/fonts/opentype/unifont/unifont.otf";
constexpr int kFallbackPixels = 16;

// Strike of the Terminus font used for each printer font (pixel height).
int StrikeHeight(Font font) {
    return font == Font::kA ? 24 : 18;
}

}  // namespace

CellSize FontCell(Font font) {
    return font == Font::kA ? CellSize{12, 24} : CellSize{9, 18};
}

struct GlyphSource::Faces {
    FT_Library lib = nullptr;
    FT_Face regular = nullptr;
    FT_Face bold = nullptr;
    FT_Face cjk = nullptr;
    FT_Face unifont = nullptr;
    ~Faces() {
        if (regular) FT_Done_Face(regular);
        if (bold) FT_Done_Face(bold);
        if (cjk) FT_Done_Face(cjk);
        if (unifont) FT_Done_Face(unifont);
        if (lib) FT_Done_FreeType(lib);
    }
};

GlyphSource::GlyphSource() : faces_(std::make_unique<Faces>()) {
    if (FT_Init_FreeType(&faces_->lib) != 0) return;
    if (FT_New_Face(faces_->lib, kRegularFont, 0, &faces_->regular) != 0) faces_->regular = nullptr;
    if (FT_New_Face(faces_->lib, kBoldFont, 0, &faces_->bold) != 0) faces_->bold = nullptr;
    if (FT_New_Face(faces_->lib, kCjkFont, 0, &faces_->cjk) != 0) faces_->cjk = nullptr;
    if (FT_New_Face(faces_->lib, kUnifont, 0, &faces_->unifont) != 0) faces_->unifont = nullptr;
    loaded_ = faces_->regular != nullptr;
}

namespace {

// Sets the pixels of the rendered glyph into `cell`, its baseline `baseline`
// dots from the top, moved right by `dx`.
void Draw(FT_Face face, Bitmap& cell, int baseline, int dx) {
    const FT_Bitmap& bm = face->glyph->bitmap;
    int ox = dx + face->glyph->bitmap_left;
    int oy = baseline - face->glyph->bitmap_top;
    for (unsigned r = 0; r < bm.rows; ++r) {
        const unsigned char* row = bm.buffer + static_cast<long>(r) * bm.pitch;
        for (unsigned c = 0; c < bm.width; ++c) {
            bool on =
                bm.pixel_mode == FT_PIXEL_MODE_MONO ? (row[c >> 3] & (0x80 >> (c & 7))) != 0 : row[c] >= 128;
            if (on) cell.Set(ox + static_cast<int>(c), oy + static_cast<int>(r));
        }
    }
}

// A 16-dot glyph of the CJK font or Unifont, centred in the cell.
bool DrawFallback(FT_Face cjk, FT_Face unifont, char32_t cp, Bitmap& cell) {
    for (FT_Face face : {cjk, unifont}) {
        if (face == nullptr) continue;
        FT_UInt index = FT_Get_Char_Index(face, cp);
        if (index == 0) continue;
        bool sized = face->num_fixed_sizes > 0 ? FT_Select_Size(face, 0) == 0
                                               : FT_Set_Pixel_Sizes(face, 0, kFallbackPixels) == 0;
        if (!sized || FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) continue;
        int advance = static_cast<int>(face->glyph->advance.x >> 6);
        int height = static_cast<int>(face->size->metrics.height >> 6);
        int ascender = static_cast<int>(face->size->metrics.ascender >> 6);
        Draw(face, cell, (cell.height() - height) / 2 + ascender, (cell.width() - advance) / 2);
        return true;
    }
    return false;
}

}  // namespace

GlyphSource::~GlyphSource() = default;

const Bitmap& GlyphSource::Cell(Font font, bool bold, char32_t cp, bool wide) {
    auto key = std::make_tuple(static_cast<int>(font), bold, cp, wide);
    auto it = cache_.find(key);
    if (it != cache_.end()) return it->second;

    CellSize cs = FontCell(font);
    if (wide) cs.width *= 2;
    Bitmap cell(cs.width, cs.height);
    bool drawn = false;
    FT_Face face = bold && faces_->bold ? faces_->bold : faces_->regular;
    if (face && cp != U' ' && !wide) {
        int strike = -1;
        for (int i = 0; i < face->num_fixed_sizes; ++i)
            if (face->available_sizes[i].height == StrikeHeight(font)) strike = i;
        FT_UInt index = FT_Get_Char_Index(face, cp);
        if (strike >= 0 && index != 0 && FT_Select_Size(face, strike) == 0 &&
            FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0) {
            Draw(face, cell, static_cast<int>(face->size->metrics.ascender >> 6), 0);
            drawn = true;
        }
    }
    if (!drawn && cp != U' ' && cp != 0x3000) drawn = DrawFallback(faces_->cjk, faces_->unifont, cp, cell);
    if (!drawn && cp != U' ') {
        // Stand-in box for a character that cannot be drawn.
        int w = cs.width - 3, h = cs.height * 2 / 3;
        int y = cs.height - h - cs.height / 6;
        for (int x = 1; x < 1 + w; ++x) cell.Set(x, y), cell.Set(x, y + h - 1);
        for (int yy = y; yy < y + h; ++yy) cell.Set(1, yy), cell.Set(w, yy);
    }
    return cache_.emplace(key, std::move(cell)).first->second;
}

namespace {

// The iconv name of each ESC t table with a known character set; the others
// print as PC437. Katakana is the upper half of JIS X 0201, read through
// Shift JIS, whose one-byte codes A1-DF it is.
const char* CodePageName(int table) {
    static const std::map<int, const char*> names = {
        {0, "CP437"},   {1, "SHIFT_JIS"}, {2, "CP850"},   {3, "CP860"},   {4, "CP863"},   {5, "CP865"},
        {14, "CP737"},  {16, "CP1252"},   {17, "CP866"},  {18, "CP852"},  {19, "CP858"},  {33, "CP775"},
        {34, "CP855"},  {36, "CP862"},    {37, "IBM864"}, {45, "CP1250"}, {46, "CP1251"}, {47, "CP1253"},
        {49, "CP1255"}, {50, "CP1256"},   {51, "CP1257"},
    };
    auto it = names.find(table);
    return it == names.end() ? "CP437" : it->second;
}

// Upper halves of the code tables, built once with iconv.
struct CodePageTable {
    std::array<char32_t, 128> upper{};
};

const CodePageTable& TableFor(int table) {
    static std::mutex mutex;
    static std::map<std::string, CodePageTable> tables;
    std::lock_guard<std::mutex> lock(mutex);
    std::string name = CodePageName(table);
    auto it = tables.find(name);
    if (it != tables.end()) return it->second;
    CodePageTable t;
    iconv_t cd = iconv_open("UTF-32LE", name.c_str());
    // iconv_open reports failure as (iconv_t)-1.
    const iconv_t failed = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
    for (int i = 0; i < 128; ++i) {
        t.upper[i] = U'?';
        if (cd == failed) continue;
        char in = static_cast<char>(0x80 + i);
        uint8_t out[8] = {};
        char* inp = &in;
        char* outp = reinterpret_cast<char*>(out);
        size_t inleft = 1, outleft = sizeof out;
        // The flush: CP1255 holds back a letter that a following point might combine with.
        if (iconv(cd, &inp, &inleft, &outp, &outleft) != static_cast<size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &outp, &outleft) != static_cast<size_t>(-1) && outleft == 4)
            t.upper[i] = static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    if (cd != failed) iconv_close(cd);
    return tables.emplace(name, t).first->second;
}

}  // namespace

char32_t DecodeCodePage(int table, uint8_t b) {
    if (b < 0x80) return b;
    return TableFor(table).upper[b - 0x80];
}

const char* MultibyteName(Multibyte system) {
    switch (system) {
        case Multibyte::kGb18030:
            return "GB18030";
        case Multibyte::kShiftJis:
            return "Shift JIS";
        case Multibyte::kBig5:
            return "Big5";
        default:
            return "KS C 5601";
    }
}

bool ParseMultibyte(const std::string& name, Multibyte* system) {
    static const std::map<std::string, Multibyte> names = {{"gb18030", Multibyte::kGb18030},
                                                           {"shift-jis", Multibyte::kShiftJis},
                                                           {"big5", Multibyte::kBig5},
                                                           {"ksc5601", Multibyte::kKsc5601}};
    auto it = names.find(name);
    if (it == names.end()) return false;
    *system = it->second;
    return true;
}

bool IsMultibyteLead(Multibyte system, uint8_t b) {
    switch (system) {
        case Multibyte::kShiftJis:
            return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        case Multibyte::kKsc5601:
            return b >= 0xA1 && b <= 0xFE;
        default:
            return b >= 0x81 && b <= 0xFE;
    }
}

size_t MultibyteLength(Multibyte system, const std::string& code) {
    bool extension = system == Multibyte::kGb18030 && code.size() >= 2 && code[1] >= '0' && code[1] <= '9';
    return extension ? 4 : 2;
}

char32_t DecodeMultibyte(Multibyte system, const std::string& code) {
    // KS C 5601 travels in its EUC form: both bytes with the high bit set.
    static const char* const charsets[] = {"GB18030", "SHIFT_JIS", "BIG5", "EUC-KR"};
    iconv_t cd = iconv_open("UTF-32LE", charsets[static_cast<int>(system)]);
    const iconv_t failed = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
    if (cd == failed) return 0xFFFD;
    std::string in = code;
    uint8_t out[8] = {};
    char* inp = in.data();
    char* outp = reinterpret_cast<char*>(out);
    size_t inleft = in.size(), outleft = sizeof out;
    char32_t cp = 0xFFFD;
    if (iconv(cd, &inp, &inleft, &outp, &outleft) != static_cast<size_t>(-1) && outleft == 4)
        cp = static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
    iconv_close(cd);
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace kesto::vprinter
