// Where text and pictures land: the line buffer, its layout on the paper or
// the page, and page mode's page going onto the paper.
#include <algorithm>

#include "printer_core.h"

namespace kesto::vprinter {
namespace {

bool HasChars(const std::vector<LineItem>& line) {
    return std::any_of(line.begin(), line.end(), [](const LineItem& i) { return !i.tab; });
}

// The item's cell, turned and magnified as its style asks.
Bitmap StyledCell(GlyphSource& glyphs, const LineItem& it) {
    const TextStyle& s = it.style;
    Bitmap cell = glyphs.Cell(s.font, s.bold || s.double_strike, it.cp, it.wide);
    if (s.rotated) cell = cell.Rotated90Clockwise();
    if (s.upside_down) cell = cell.Rotated180();
    return cell.Scaled(s.width_mag, s.height_mag);
}

}  // namespace

// Width of the area lines are laid out in.
int PrinterCore::AreaWidth() {
    if (page_mode) {
        StartPage();
        return std::max(1, page.width());
    }
    return std::max(1, std::min(st.print_width, paper_width() - st.left_margin));
}

void PrinterCore::StartPage() {
    if (page_started) return;
    page_geom = st.page_area;
    page_dir = st.page_dir;
    bool sideways = page_dir == 1 || page_dir == 3;
    page.Resize(sideways ? page_geom.h : page_geom.w, sideways ? page_geom.w : page_geom.h);
    page_y = 0;
    page_started = true;
}

Bitmap& PrinterCore::Target() {
    if (page_mode) {
        StartPage();
        return page;
    }
    return receipt().paper;
}

// Makes room on the paper down to `bottom`.
void PrinterCore::Grow(int bottom) {
    if (!page_mode) receipt().paper.EnsureHeight(std::min(bottom, kMaxPaperDots));
}

void PrinterCore::Advance(int dots) {
    int& y = TargetY();
    y = std::min(y + std::max(0, dots), kMaxPaperDots);
    Grow(y);
}

int PrinterCore::LineHeight() const {
    int h = 0;
    for (const auto& it : line) h = std::max(h, it.h);
    return h;
}

std::string QuoteUtf8(const std::string& text, size_t max) {
    std::string s = "\"";
    size_t i = 0;
    for (; i < text.size(); ++i) {
        auto b = static_cast<uint8_t>(text[i]);
        if (i >= max && (b & 0xC0) != 0x80) break;
        if (b == '"' || b == '\\') {
            s += '\\';
            s += static_cast<char>(b);
        } else if (b < 0x20 || b == 0x7F) {
            s += Format("\\x%02X", b);
        } else {
            s += static_cast<char>(b);
        }
    }
    if (i < text.size()) s += "...";
    return s + "\"";
}

std::string PrinterCore::AddText(const std::vector<uint8_t>& bytes) {
    std::string printed;
    for (uint8_t b : bytes) {
        if (AddMultibyte(b, printed)) continue;
        char32_t cp = DecodeCodePage(st.code_table, b);
        AddCodePoint(cp, false);
        AppendUtf8(printed, cp);
    }
    return printed;
}

// In kanji mode, the bytes of a multibyte code: one character two columns wide.
bool PrinterCore::AddMultibyte(uint8_t b, std::string& printed) {
    if (!st.kanji) return false;
    if (kanji_code.empty() && !IsMultibyteLead(multibyte(), b)) {
        if (b < 0x80) return false;
        // A one-byte code of the system (Shift JIS's half-width kana), or an unknown character.
        char32_t cp = DecodeMultibyte(multibyte(), std::string(1, static_cast<char>(b)));
        AddCodePoint(cp, false);
        AppendUtf8(printed, cp);
        return true;
    }
    kanji_code += static_cast<char>(b);
    if (kanji_code.size() < MultibyteLength(multibyte(), kanji_code)) return true;
    char32_t cp = DecodeMultibyte(multibyte(), kanji_code);
    kanji_code.clear();
    AddCodePoint(cp, true);
    AppendUtf8(printed, cp);
    return true;
}

void PrinterCore::AddChar(uint8_t b) {
    AddCodePoint(DecodeCodePage(st.code_table, b), false);
}

void PrinterCore::AddCodePoint(char32_t cp, bool wide) {
    const TextStyle& s = st.style;
    CellSize cell = FontCell(s.font);
    if (wide) cell.width *= 2;
    int cw = s.rotated ? cell.height : cell.width;
    int ch = s.rotated ? cell.width : cell.height;
    int w = (cw + st.char_spacing) * s.width_mag;
    int h = ch * s.height_mag;
    if (cursor_x + w > AreaWidth() && !line.empty()) PrintLine(0);
    line.push_back({cp, s, cursor_x, w, h, false, wide});
    cursor_x += w;
}

void PrinterCore::Tab() {
    CellSize cell = FontCell(st.style.font);
    int col_w = (cell.width + st.char_spacing) * st.style.width_mag;
    for (int t : st.tabs) {
        int x = t * col_w;
        if (x > cursor_x) {
            if (x > AreaWidth()) break;
            line.push_back({U'\t', st.style, cursor_x, x - cursor_x, 0, true});
            cursor_x = x;
            return;
        }
    }
    // No tab stop ahead: the printer ignores the tab.
}

void PrinterCore::DrawItem(Bitmap& target, const LineItem& it, int x, int top) {
    if (it.tab) return;
    const TextStyle& s = it.style;
    Bitmap big = StyledCell(glyphs, it);
    if (s.reverse) {
        target.FillRect(x, top, it.w, it.h);
        for (int yy = 0; yy < big.height(); ++yy)
            for (int xx = 0; xx < big.width(); ++xx)
                if (big.Get(xx, yy)) target.Set(x + xx, top + yy, false);
        return;
    }
    target.Blit(big, x, top);
    if (s.underline > 0 && !s.rotated) target.FillRect(x, top + it.h - s.underline, it.w, s.underline);
}

// Prints the line buffer and feeds by at least `min_advance` dots (at least
// the line's height).
void PrinterCore::PrintLine(int min_advance) {
    int lh = LineHeight();
    int advance = std::max(min_advance, lh);
    if (HasChars(line)) {
        int extent = 0;
        for (const auto& it : line) extent = std::max(extent, it.x + it.w);
        int offset = 0;
        int area = AreaWidth();
        if (st.align == Align::kCenter) offset = std::max(0, (area - extent) / 2);
        if (st.align == Align::kRight) offset = std::max(0, area - extent);
        int base_x = AreaLeft() + offset;
        int y = TargetY();
        Grow(y + std::max(advance, lh));
        Bitmap& target = Target();
        TextLine tl;
        tl.align = st.align;
        tl.y = y;
        tl.height = lh;
        tl.page_mode = page_mode;
        bool first = true;
        for (const auto& it : line) {
            DrawItem(target, it, base_x + it.x, y + lh - it.h);
            if (first && !it.tab) {
                tl.x = base_x + it.x;
                first = false;
            }
            std::string utf8;
            AppendUtf8(utf8, it.cp);
            tl.text += utf8;
            if (it.tab) continue;
            if (tl.spans.empty() || tl.spans.back().style != it.style) tl.spans.push_back({"", it.style});
            tl.spans.back().text += utf8;
        }
        tl.width = base_x + extent - tl.x;
        receipt().lines.push_back(std::move(tl));
    }
    ClearLine();
    Advance(advance);
}

// Prints what the line buffer holds; false when it held no characters.
bool PrinterCore::FlushLine() {
    if (line.empty() && cursor_x == 0) return false;
    bool had_chars = HasChars(line);
    if (had_chars) {
        PrintLine(0);
    } else {
        line.clear();
    }
    return had_chars;
}

void PrinterCore::ClearLine() {
    line.clear();
    cursor_x = 0;
}

// Places a picture at the current position, honouring the alignment.
// Returns false (nothing printed) when it does not fit and `must_fit`.
bool PrinterCore::PlacePicture(const Bitmap& pic, const std::string& kind, const std::string& text,
                               bool must_fit) {
    int keep_x = cursor_x;
    FlushLine();
    int area = AreaWidth();
    if (must_fit && pic.width() > area) return false;
    int x = AreaLeft();
    if (st.align == Align::kLeft) x += keep_x;
    if (st.align == Align::kCenter) x += std::max(0, (area - pic.width()) / 2);
    if (st.align == Align::kRight) x += std::max(0, area - pic.width());
    int y = TargetY();
    Grow(y + pic.height());
    Bitmap& target = Target();
    // Dots outside the printing area are not printed.
    int right = AreaLeft() + area;
    for (int yy = 0; yy < pic.height(); ++yy)
        for (int xx = 0; xx < pic.width() && x + xx < right; ++xx)
            if (pic.Get(xx, yy)) target.Set(x + xx, y + yy);
    if (!page_mode) receipt().symbols.push_back({kind, text, x, y, pic.width(), pic.height()});
    Advance(pic.height());
    cursor_x = 0;
    return true;
}

void PrinterCore::PrintPage(bool leave_page_mode) {
    FlushLine();
    if (page_started) {
        Bitmap phys = page_dir == 1   ? page.Rotated90CounterClockwise()
                      : page_dir == 2 ? page.Rotated180()
                      : page_dir == 3 ? page.Rotated90Clockwise()
                                      : page;
        bool was = page_mode;
        page_mode = false;
        int y = paper_y;
        Grow(y + phys.height());
        receipt().paper.Blit(phys, page_geom.x, y);
        Advance(phys.height());
        page_mode = was;
    }
    if (leave_page_mode) {
        page_mode = false;
        page_started = false;
    }
}

}  // namespace kesto::vprinter
