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
    ~Faces() {
        if (regular) FT_Done_Face(regular);
        if (bold) FT_Done_Face(bold);
        if (lib) FT_Done_FreeType(lib);
    }
};

GlyphSource::GlyphSource() : faces_(std::make_unique<Faces>()) {
    if (FT_Init_FreeType(&faces_->lib) != 0) return;
    if (FT_New_Face(faces_->lib, kRegularFont, 0, &faces_->regular) != 0) faces_->regular = nullptr;
    if (FT_New_Face(faces_->lib, kBoldFont, 0, &faces_->bold) != 0) faces_->bold = nullptr;
    loaded_ = faces_->regular != nullptr;
}

GlyphSource::~GlyphSource() = default;

const Bitmap& GlyphSource::Cell(Font font, bool bold, char32_t cp) {
    auto key = std::make_tuple(static_cast<int>(font), bold, cp);
    auto it = cache_.find(key);
    if (it != cache_.end()) return it->second;

    CellSize cs = FontCell(font);
    Bitmap cell(cs.width, cs.height);
    bool drawn = false;
    FT_Face face = bold && faces_->bold ? faces_->bold : faces_->regular;
    if (face && cp != U' ') {
        int strike = -1;
        for (int i = 0; i < face->num_fixed_sizes; ++i)
            if (face->available_sizes[i].height == StrikeHeight(font)) strike = i;
        FT_UInt index = FT_Get_Char_Index(face, cp);
        if (strike >= 0 && index != 0 && FT_Select_Size(face, strike) == 0 &&
            FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0) {
            const FT_Bitmap& bm = face->glyph->bitmap;
            int ascender = static_cast<int>(face->size->metrics.ascender >> 6);
            int ox = face->glyph->bitmap_left;
            int oy = ascender - face->glyph->bitmap_top;
            for (unsigned r = 0; r < bm.rows; ++r) {
                const unsigned char* row = bm.buffer + static_cast<long>(r) * bm.pitch;
                for (unsigned c = 0; c < bm.width; ++c) {
                    bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (row[c >> 3] & (0x80 >> (c & 7))) != 0
                                                                  : row[c] >= 128;
                    if (on) cell.Set(ox + static_cast<int>(c), oy + static_cast<int>(r));
                }
            }
            drawn = true;
        }
    }
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

const char* CodePageName(int table) {
    switch (table) {
        case 2:
            return "CP850";
        case 3:
            return "CP860";
        case 4:
            return "CP863";
        case 5:
            return "CP865";
        case 16:
            return "CP1252";
        case 17:
            return "CP866";
        case 18:
            return "CP852";
        case 19:
            return "CP858";
        default:
            return "CP437";
    }
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
        if (iconv(cd, &inp, &inleft, &outp, &outleft) != static_cast<size_t>(-1) && outleft == 4)
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
