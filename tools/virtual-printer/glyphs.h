// Character cells drawn from the Terminus bitmap fonts through FreeType.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "bitmap.h"

namespace kesto::vprinter {

enum class Font { kA, kB };

struct CellSize {
    int width;
    int height;
};
// Font A is 12 x 24 dots, font B 9 x 18.
CellSize FontCell(Font font);

class GlyphSource {
public:
    GlyphSource();
    ~GlyphSource();
    GlyphSource(const GlyphSource&) = delete;
    GlyphSource& operator=(const GlyphSource&) = delete;

    // The cell of `codepoint` (unmagnified). Without usable fonts, or for a
    // character the font lacks, a small box stands in so the text stays visible.
    const Bitmap& Cell(Font font, bool bold, char32_t codepoint);
    bool fonts_loaded() const { return loaded_; }

private:
    struct Faces;
    std::unique_ptr<Faces> faces_;
    bool loaded_ = false;
    std::map<std::tuple<int, bool, char32_t>, Bitmap> cache_;
};

// Decodes byte `b` in ESC t code table `table` to a Unicode code point.
char32_t DecodeCodePage(int table, uint8_t b);
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace kesto::vprinter
