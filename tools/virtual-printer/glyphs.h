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

    // The cell of `codepoint` (unmagnified), two columns wide when `wide`.
    // Characters Terminus lacks come from the CJK bitmap font (WenQuanYi) or
    // Unifont; without usable fonts, or for a character none has, a small box
    // stands in so the text stays visible.
    const Bitmap& Cell(Font font, bool bold, char32_t codepoint, bool wide = false);
    bool fonts_loaded() const { return loaded_; }

private:
    struct Faces;
    std::unique_ptr<Faces> faces_;
    bool loaded_ = false;
    std::map<std::tuple<int, bool, char32_t, bool>, Bitmap> cache_;
};

// Decodes byte `b` in ESC t code table `table` to a Unicode code point.
char32_t DecodeCodePage(int table, uint8_t b);

// The multibyte code systems of the family's CJK fonts (FS & ... FS .).
enum class Multibyte { kGb18030, kShiftJis, kBig5, kKsc5601 };
const char* MultibyteName(Multibyte system);
// "gb18030", "shift-jis", "big5", "ksc5601"; false for other names.
bool ParseMultibyte(const std::string& name, Multibyte* system);
// Whether `b` opens a two-byte (or GB18030 four-byte) code in `system`.
bool IsMultibyteLead(Multibyte system, uint8_t b);
// The length of the code whose first bytes are `code` (2, or 4 for GB18030's
// extension codes, whose second byte is a digit).
size_t MultibyteLength(Multibyte system, const std::string& code);
// The character of one complete code; U+FFFD for a code the system lacks.
char32_t DecodeMultibyte(Multibyte system, const std::string& code);
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace kesto::vprinter
