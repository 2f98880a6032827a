#include "virtual_printer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace kesto::vprinter {
namespace {

constexpr int kDpi = 203;                // 8 dots per millimetre
constexpr int kDefaultLineSpacing = 30;  // dots (3.75 mm)
constexpr int kDefaultBarHeight = 162;
constexpr int kDefaultModuleWidth = 3;
constexpr int kDefaultPageHeight = 831;  // dots, about 104 mm
constexpr int kMaxPageDots = 4096;
constexpr int kMaxPaperDots = 32768;  // about 4 m: longer receipts are cut off, not grown

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

std::string Quote(const std::vector<uint8_t>& bytes, size_t max = 120) {
    std::string s = "\"";
    for (size_t i = 0; i < bytes.size() && i < max; ++i) {
        uint8_t b = bytes[i];
        if (b == '"' || b == '\\') {
            s += '\\';
            s += static_cast<char>(b);
        } else if (b >= 0x20 && b < 0x7F) {
            s += static_cast<char>(b);
        } else {
            s += Format("\\x%02X", b);
        }
    }
    if (bytes.size() > max) s += "...";
    return s + "\"";
}

bool Bit0(uint8_t n) {
    return (n & 1) != 0;
}

// Parameter bytes given as ASCII digits ('0', '1', ...) mean the same as 0, 1, ...
int Digit(uint8_t n) {
    return n >= '0' && n <= '9' ? n - '0' : n;
}

}  // namespace

bool TextStyle::operator==(const TextStyle& o) const {
    return font == o.font && bold == o.bold && double_strike == o.double_strike && underline == o.underline &&
           width_mag == o.width_mag && height_mag == o.height_mag && reverse == o.reverse &&
           rotated == o.rotated && upside_down == o.upside_down;
}

const char* AlignName(Align a) {
    switch (a) {
        case Align::kLeft:
            return "left";
        case Align::kCenter:
            return "centre";
        case Align::kRight:
            return "right";
    }
    return "?";
}

std::string Receipt::TranscriptText() const {
    std::string s;
    for (const auto& l : transcript) s += l + "\n";
    return s;
}

std::vector<std::string> Receipt::LineTexts() const {
    std::vector<std::string> v;
    for (const auto& l : lines) v.push_back(l.text);
    return v;
}

std::vector<uint8_t> StatusBlock(const Condition& c) {
    uint8_t b1 = 0x10;
    if (c.drawer_high) b1 |= 0x04;
    if (c.Offline()) b1 |= 0x08;
    if (c.cover_open) b1 |= 0x20;
    uint8_t b3 = 0;
    if (c.paper_near_end) b3 |= 0x03;
    if (c.paper_end) b3 |= 0x0C;
    return {b1, 0x00, b3, 0x00};
}

bool RealTimeStatus(const Condition& c, int n, uint8_t* out) {
    uint8_t v = 0x12;  // bits 1 and 4 are always set
    switch (n) {
        case 1:  // printer
            if (c.drawer_high) v |= 0x04;
            if (c.Offline()) v |= 0x08;
            break;
        case 2:  // off-line cause
            if (c.cover_open) v |= 0x04;
            if (c.paper_end) v |= 0x20;
            break;
        case 3:  // errors: none are simulated
            break;
        case 4:  // paper roll sensor
            if (c.paper_near_end) v |= 0x0C;
            if (c.paper_end) v |= 0x60;
            break;
        default:
            return false;
    }
    *out = v;
    return true;
}

// ---------------------------------------------------------------------------

struct VirtualPrinter::Impl {
    struct LineItem {
        char32_t cp;
        TextStyle style;
        int x, w, h;
        bool tab;
    };
    struct PageArea {
        int x = 0, y = 0, w = 0, h = kDefaultPageHeight;
    };
    struct State {
        TextStyle style;
        Align align = Align::kLeft;
        int line_spacing = kDefaultLineSpacing;  // dots
        int left_margin = 0;                     // dots
        int print_width = 0;                     // dots
        int char_spacing = 0;                    // dots, right side of each character
        int code_table = 0;
        int intl_set = 0;
        bool enabled = true;
        int motion_x = kDpi, motion_y = kDpi;  // units per inch
        int bar_height = kDefaultBarHeight;
        int module_width = kDefaultModuleWidth;
        int hri_position = 0;  // 0 none, 1 above, 2 below, 3 both
        Font hri_font = Font::kA;
        std::vector<int> tabs;  // in character columns
        int qr_model = 2, qr_module = 3, qr_ecc = 0;
        int pdf_columns = 0, pdf_rows = 0, pdf_module = 3, pdf_row_height = 3, pdf_ecc = -1;
        bool pdf_truncated = false;
        int page_dir = 0;
        PageArea page_area;
    };

    VirtualPrinter& vp;
    EscPosParser parser;
    GlyphSource glyphs;
    State st;
    std::vector<uint8_t> qr_data, pdf_data;
    bool qr_stored = false, pdf_stored = false;

    std::vector<LineItem> line;
    int cursor_x = 0;  // dots from the left edge of the printing area
    int paper_y = 0;   // next line's top on the paper

    bool page_mode = false;
    Bitmap page;  // logical page (text direction left to right)
    bool page_started = false;
    int page_dir = 0;
    int page_y = 0;
    PageArea page_geom;
    int receipt_count = 0;
    uint8_t asb = 0;  // automatic status back groups; kept across ESC @

    explicit Impl(VirtualPrinter& owner) : vp(owner), parser([this](const Command& c) { Apply(c); }) {
        Reset();
        NewReceipt();
    }

    void Reset() {
        st = State{};
        st.print_width = vp.options_.width;
        st.page_area.w = vp.options_.width;
        DefaultTabs();
        qr_data.clear();
        pdf_data.clear();
        qr_stored = pdf_stored = false;
    }
    void DefaultTabs() {
        st.tabs.clear();
        for (int c = 8; c < 256; c += 8) st.tabs.push_back(c);
    }

    void NewReceipt() {
        vp.current_ = Receipt{};
        vp.current_.number = ++receipt_count;
        vp.current_.paper.Resize(vp.options_.width, 0);
        paper_y = 0;
    }

    void Say(std::string s) { vp.current_.transcript.push_back(std::move(s)); }

    int HDots(int units) const {
        int mu = st.motion_x > 0 ? st.motion_x : kDpi;
        return static_cast<int>((static_cast<long>(units) * kDpi + mu / 2) / mu);
    }
    int VDots(int units) const {
        int mu = st.motion_y > 0 ? st.motion_y : kDpi;
        return static_cast<int>((static_cast<long>(units) * kDpi + mu / 2) / mu);
    }

    // Width of the area lines are laid out in.
    int AreaWidth() {
        if (page_mode) {
            StartPage();
            return std::max(1, page.width());
        }
        return std::max(1, std::min(st.print_width, vp.options_.width - st.left_margin));
    }
    int AreaLeft() const { return page_mode ? 0 : st.left_margin; }

    // ---- paper and page targets ----------------------------------------

    void StartPage() {
        if (page_started) return;
        page_geom = st.page_area;
        page_dir = st.page_dir;
        bool sideways = page_dir == 1 || page_dir == 3;
        page.Resize(sideways ? page_geom.h : page_geom.w, sideways ? page_geom.w : page_geom.h);
        page_y = 0;
        page_started = true;
    }

    Bitmap& Target() {
        if (page_mode) {
            StartPage();
            return page;
        }
        return vp.current_.paper;
    }
    int& TargetY() { return page_mode ? page_y : paper_y; }

    // Makes room on the paper down to `bottom`.
    void Grow(int bottom) {
        if (!page_mode) vp.current_.paper.EnsureHeight(std::min(bottom, kMaxPaperDots));
    }

    void Advance(int dots) {
        int& y = TargetY();
        y = std::min(y + std::max(0, dots), kMaxPaperDots);
        Grow(y);
    }

    // ---- text -------------------------------------------------------------

    int LineHeight() const {
        int h = 0;
        for (const auto& it : line) h = std::max(h, it.h);
        return h;
    }

    void AddChar(uint8_t b) {
        const TextStyle& s = st.style;
        CellSize cell = FontCell(s.font);
        int cw = s.rotated ? cell.height : cell.width;
        int ch = s.rotated ? cell.width : cell.height;
        int w = (cw + st.char_spacing) * s.width_mag;
        int h = ch * s.height_mag;
        if (cursor_x + w > AreaWidth() && !line.empty()) PrintLine(0, "");
        line.push_back({DecodeCodePage(st.code_table, b), s, cursor_x, w, h, false});
        cursor_x += w;
    }

    void Tab() {
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

    void DrawItem(Bitmap& target, const LineItem& it, int x, int top) {
        if (it.tab) return;
        const TextStyle& s = it.style;
        Bitmap cell = glyphs.Cell(s.font, s.bold || s.double_strike, it.cp);
        if (s.rotated) cell = cell.Rotated90Clockwise();
        if (s.upside_down) cell = cell.Rotated180();
        Bitmap big = cell.Scaled(s.width_mag, s.height_mag);
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

    // Prints the line buffer and feeds: `feed` dots beyond the line when
    // `how` is "feed", else the line spacing.
    void PrintLine(int min_advance, const char* /*why*/) {
        int lh = LineHeight();
        bool has_chars = std::any_of(line.begin(), line.end(), [](const LineItem& i) { return !i.tab; });
        int advance = std::max(min_advance, lh);
        if (has_chars) {
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
            vp.current_.lines.push_back(std::move(tl));
        }
        line.clear();
        cursor_x = 0;
        Advance(advance);
    }

    bool FlushLine() {
        if (line.empty() && cursor_x == 0) return false;
        bool had_chars = std::any_of(line.begin(), line.end(), [](const LineItem& i) { return !i.tab; });
        if (had_chars) {
            PrintLine(0, "");
        } else {
            line.clear();
        }
        return had_chars;
    }

    // ---- pictures: barcodes, codes, raster images ----------------------

    // Places a picture at the current position, honouring the alignment.
    // Returns false (nothing printed) when it does not fit and `must_fit`.
    bool PlacePicture(const Bitmap& pic, const std::string& kind, const std::string& text, bool must_fit) {
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
        if (!page_mode) vp.current_.symbols.push_back({kind, text, x, y, pic.width(), pic.height()});
        Advance(pic.height());
        cursor_x = 0;
        return true;
    }

    Bitmap HriText(const std::string& text, int width) {
        CellSize cell = FontCell(st.hri_font);
        Bitmap out(std::max(width, 1), cell.height);
        int total = static_cast<int>(text.size()) * cell.width;
        int x = std::max(0, (width - total) / 2);
        for (unsigned char c : text) {
            out.Blit(glyphs.Cell(st.hri_font, false, c), x, 0);
            x += cell.width;
        }
        return out;
    }

    void PrintBarcode(const Command& c) {
        Symbology sym;
        uint8_t m = c.args[0];
        if (!SymbologyFromGsK(m, &sym)) return;
        std::string what = Format("GS k: %s %s", SymbologyName(sym), Quote(c.data).c_str());
        Symbol s = MakeBarcode(sym, c.data);
        if (!s.ok) {
            Say(what + " refused: " + s.reason + "; nothing printed");
            return;
        }
        int mw = st.module_width;
        int bars_w = s.modules.width() * mw;
        Bitmap bars(bars_w, st.bar_height);
        for (int x = 0; x < s.modules.width(); ++x)
            if (s.modules.Get(x, 0)) bars.FillRect(x * mw, 0, mw, st.bar_height);
        bool above = st.hri_position == 1 || st.hri_position == 3;
        bool below = st.hri_position == 2 || st.hri_position == 3;
        Bitmap hri = HriText(s.hri, bars_w);
        int gap = 2;
        int top = above ? hri.height() + gap : 0;
        Bitmap pic(bars_w, top + bars.height() + (below ? gap + hri.height() : 0));
        if (above) pic.Blit(hri, 0, 0);
        pic.Blit(bars, 0, top);
        if (below) pic.Blit(hri, 0, top + bars.height() + gap);
        if (!PlacePicture(pic, SymbologyName(sym), s.text, true)) {
            Say(what +
                Format(" refused: %d dots wide, wider than the printing area of %d dots; nothing printed",
                       bars_w, AreaWidth()));
            return;
        }
        Say(what +
            Format(" printed, %d modules of %d dots, %d dots high", s.modules.width(), mw, st.bar_height));
    }

    void TwoDimensional(const Command& c) {
        // data: cn fn parameters...
        if (c.data.size() < 2) {
            Say("GS ( k: too short, ignored");
            return;
        }
        uint8_t cn = c.data[0], fn = c.data[1];
        const uint8_t* p = c.data.data() + 2;
        size_t np = c.data.size() - 2;
        auto arg = [&](size_t i) -> int { return i < np ? p[i] : -1; };
        if (cn == 0x31) {  // QR code
            switch (fn) {
                case 0x41: {
                    int n1 = arg(0);
                    if (n1 >= 49 && n1 <= 51) st.qr_model = n1 - 48;
                    Say(Format("GS ( k: QR code model %d%s", st.qr_model,
                               st.qr_model != 2 ? " (drawn as model 2)" : ""));
                    return;
                }
                case 0x43: {
                    int n = arg(0);
                    if (n >= 1 && n <= 16) st.qr_module = n;
                    Say(Format("GS ( k: QR code module size %d dots", st.qr_module));
                    return;
                }
                case 0x45: {
                    int n = arg(0);
                    if (n >= 48 && n <= 51) st.qr_ecc = n - 48;
                    Say(Format("GS ( k: QR code error correction level %c", "LMQH"[st.qr_ecc]));
                    return;
                }
                case 0x50:
                    qr_data.assign(c.data.begin() + std::min<size_t>(3, c.data.size()), c.data.end());
                    qr_stored = true;
                    Say("GS ( k: QR code data stored, " + std::to_string(qr_data.size()) + " bytes " +
                        Quote(qr_data, 60));
                    return;
                case 0x51: {
                    if (!qr_stored) {
                        Say("GS ( k: print QR code refused: no data stored; nothing printed");
                        return;
                    }
                    Symbol s = MakeQrCode(qr_data, st.qr_ecc);
                    if (!s.ok) {
                        Say("GS ( k: print QR code refused: " + s.reason + "; nothing printed");
                        return;
                    }
                    Bitmap pic = s.modules.Scaled(st.qr_module, st.qr_module);
                    if (!PlacePicture(pic, "QR code", s.text, true)) {
                        Say("GS ( k: print QR code refused: wider than the printing area; nothing printed");
                        return;
                    }
                    Say(Format("GS ( k: QR code printed, %d x %d modules of %d dots", s.modules.width(),
                               s.modules.height(), st.qr_module));
                    return;
                }
                default:
                    Say(Format("GS ( k: QR code function 0x%02X not supported, ignored", fn));
                    return;
            }
        }
        if (cn == 0x30) {  // PDF417
            switch (fn) {
                case 0x41:
                    if (arg(0) >= 0 && arg(0) <= 30) st.pdf_columns = arg(0);
                    Say(Format("GS ( k: PDF417 columns %d%s", st.pdf_columns,
                               st.pdf_columns ? "" : " (automatic)"));
                    return;
                case 0x42:
                    if (arg(0) == 0 || (arg(0) >= 3 && arg(0) <= 90)) st.pdf_rows = arg(0);
                    Say(Format("GS ( k: PDF417 rows %d%s", st.pdf_rows, st.pdf_rows ? "" : " (automatic)"));
                    return;
                case 0x43:
                    if (arg(0) >= 2 && arg(0) <= 8) st.pdf_module = arg(0);
                    Say(Format("GS ( k: PDF417 module width %d dots", st.pdf_module));
                    return;
                case 0x44:
                    if (arg(0) >= 2 && arg(0) <= 8) st.pdf_row_height = arg(0);
                    Say(Format("GS ( k: PDF417 row height %d x module width", st.pdf_row_height));
                    return;
                case 0x45:
                    if (arg(0) == 48 && arg(1) >= 48 && arg(1) <= 56) {
                        st.pdf_ecc = arg(1) - 48;
                        Say(Format("GS ( k: PDF417 error correction level %d", st.pdf_ecc));
                    } else {
                        st.pdf_ecc = -1;
                        Say("GS ( k: PDF417 error correction by ratio (automatic level)");
                    }
                    return;
                case 0x46:
                    st.pdf_truncated = arg(0) == 1;
                    Say(st.pdf_truncated ? "GS ( k: PDF417 truncated" : "GS ( k: PDF417 standard");
                    return;
                case 0x50:
                    pdf_data.assign(c.data.begin() + std::min<size_t>(3, c.data.size()), c.data.end());
                    pdf_stored = true;
                    Say("GS ( k: PDF417 data stored, " + std::to_string(pdf_data.size()) + " bytes " +
                        Quote(pdf_data, 60));
                    return;
                case 0x51: {
                    if (!pdf_stored) {
                        Say("GS ( k: print PDF417 refused: no data stored; nothing printed");
                        return;
                    }
                    Symbol s =
                        MakePdf417(pdf_data, st.pdf_columns, st.pdf_rows, st.pdf_ecc, st.pdf_truncated);
                    if (!s.ok) {
                        Say("GS ( k: print PDF417 refused: " + s.reason + "; nothing printed");
                        return;
                    }
                    Bitmap pic = s.modules.Scaled(st.pdf_module, st.pdf_module * st.pdf_row_height);
                    if (!PlacePicture(pic, "PDF417", s.text, true)) {
                        Say("GS ( k: print PDF417 refused: wider than the printing area; nothing printed");
                        return;
                    }
                    Say(Format("GS ( k: PDF417 printed, %d rows of %d modules", s.modules.height(),
                               s.modules.width()));
                    return;
                }
                default:
                    Say(Format("GS ( k: PDF417 function 0x%02X not supported, ignored", fn));
                    return;
            }
        }
        Say(Format("GS ( k: symbol type 0x%02X not supported, ignored", cn));
    }

    void Raster(const Command& c) {
        uint8_t m = c.args[1];
        int xb = c.args[2] | c.args[3] << 8;
        int h = c.args[4] | c.args[5] << 8;
        Bitmap img(xb * 8, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < xb * 8; ++x)
                if (c.data[static_cast<size_t>(y) * xb + x / 8] & (0x80 >> (x % 8))) img.Set(x, y);
        int mode = m & 0x03;
        int sx = (mode & 1) ? 2 : 1, sy = (mode & 2) ? 2 : 1;
        if (sx > 1 || sy > 1) img = img.Scaled(sx, sy);
        PlacePicture(img, "raster image", "", false);
        Say(Format("GS v 0: raster image %d x %d dots%s", xb * 8, h,
                   mode == 0   ? ""
                   : mode == 1 ? ", double width"
                   : mode == 2 ? ", double height"
                               : ", quadruple"));
    }

    // ---- page mode -----------------------------------------------------

    void PrintPage(bool leave_page_mode) {
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
            vp.current_.paper.Blit(phys, page_geom.x, y);
            Advance(phys.height());
            page_mode = was;
        }
        if (leave_page_mode) {
            page_mode = false;
            page_started = false;
        }
    }

    // ---- receipts ------------------------------------------------------

    void FinishReceipt(bool cut) {
        Receipt& r = vp.current_;
        r.cut = cut;
        r.paper.EnsureHeight(std::max(paper_y, 1));
        if (!cut && paper_y == 0 && r.transcript.empty()) return;
        if (vp.on_receipt_) vp.on_receipt_(r);
        vp.receipts_.push_back(std::move(r));
        if (vp.options_.max_kept > 0 && vp.receipts_.size() > vp.options_.max_kept)
            vp.receipts_.erase(vp.receipts_.begin());
        NewReceipt();
    }

    void Cut(const std::string& what, int feed_dots) {
        if (page_mode) {
            Say(what + ": ignored in page mode");
            return;
        }
        FlushLine();
        Advance(feed_dots);
        Say(what);
        FinishReceipt(true);
    }

    void SendStatus() {
        if (!vp.reply_) return;
        std::vector<uint8_t> b = StatusBlock(vp.condition_);
        vp.reply_(b.data(), b.size());
    }

    void DrawerPulse(int pin, int on, int off) {
        vp.current_.drawer_pulses++;
        Say(Format("drawer pulse on connector pin %d, on %d ms, off %d ms", pin, on * 2, off * 2));
        if (!vp.condition_.drawer_high) {
            Condition c = vp.condition_;
            c.drawer_high = true;  // the drawer springs open
            vp.SetCondition(c);
        }
    }

    // ---- the dispatcher ------------------------------------------------

    void Apply(const Command& c);
    void ApplyEsc(const Command& c);
    void ApplyGs(const Command& c);
    void ApplyRealTime(const Command& c);
};

void VirtualPrinter::Impl::Apply(const Command& c) {
    if (c.kind == CommandKind::kDle) return ApplyRealTime(c);
    if (c.kind == CommandKind::kTruncated) {
        Say(c.data.empty() ? c.note : c.note + ": " + HexBytes(c.data) + " dropped");
        return;
    }
    if (c.kind == CommandKind::kSkipped) {
        Say(CommandName(c) + ": " + c.note + ", " + std::to_string(c.payload_size) + " bytes skipped");
        return;
    }
    if (c.kind == CommandKind::kUnknown) {
        Say(c.note + ": " + HexBytes(c.data) + " skipped");
        return;
    }
    if (!st.enabled && !(c.kind == CommandKind::kEsc && c.code == '=')) {
        Say(CommandName(c) + ": ignored, printer disabled by ESC =");
        return;
    }
    switch (c.kind) {
        case CommandKind::kText:
            for (uint8_t b : c.data) AddChar(b);
            Say("text " + Quote(c.data));
            return;
        case CommandKind::kControl:
            switch (c.code) {
                case 0x0A:
                    Say("LF: print and feed one line");
                    PrintLine(st.line_spacing, "LF");
                    return;
                case 0x09:
                    Tab();
                    Say("HT: next tab position");
                    return;
                case 0x0D:
                    Say("CR: ignored (automatic line feed is off)");
                    return;
                case 0x0C:
                    if (page_mode) {
                        Say("FF: print the page and return to standard mode");
                        PrintPage(true);
                    } else {
                        Say("FF: ignored in standard mode");
                    }
                    return;
                case 0x18:
                    if (page_mode) {
                        line.clear();
                        cursor_x = 0;
                        page_started = false;
                        Say("CAN: page data cancelled");
                    } else {
                        Say("CAN: ignored in standard mode");
                    }
                    return;
                case 0x00:
                    Say("NUL: ignored");
                    return;
            }
            return;
        case CommandKind::kEsc:
            return ApplyEsc(c);
        case CommandKind::kGs:
            return ApplyGs(c);
        case CommandKind::kFs:
            Say(CommandName(c) + ": kanji and NV commands are not supported, ignored");
            return;
        default:
            return;
    }
}

void VirtualPrinter::Impl::ApplyEsc(const Command& c) {
    const auto& a = c.args;
    TextStyle& s = st.style;
    switch (c.code) {
        case '@': {
            size_t dropped =
                std::count_if(line.begin(), line.end(), [](const LineItem& i) { return !i.tab; });
            line.clear();
            cursor_x = 0;
            page_mode = false;
            page_started = false;
            Reset();
            Say(dropped ? Format("ESC @: initialise printer, %zu unprinted characters discarded", dropped)
                        : "ESC @: initialise printer");
            return;
        }
        case '!':
            s.font = (a[0] & 0x01) ? Font::kB : Font::kA;
            s.bold = (a[0] & 0x08) != 0;
            s.height_mag = (a[0] & 0x10) ? 2 : 1;
            s.width_mag = (a[0] & 0x20) ? 2 : 1;
            s.underline = (a[0] & 0x80) ? 1 : 0;
            Say(Format("ESC !: font %c%s%s%s%s", s.font == Font::kA ? 'A' : 'B', s.bold ? ", emphasized" : "",
                       s.height_mag > 1 ? ", double height" : "", s.width_mag > 1 ? ", double width" : "",
                       s.underline ? ", underline" : ""));
            return;
        case 'E':
            s.bold = Bit0(a[0]);
            Say(s.bold ? "ESC E: emphasized on" : "ESC E: emphasized off");
            return;
        case 'G':
            s.double_strike = Bit0(a[0]);
            Say(s.double_strike ? "ESC G: double-strike on" : "ESC G: double-strike off");
            return;
        case '-': {
            int n = Digit(a[0]);
            if (n > 2) {
                Say(Format("ESC -: underline %d is out of range, ignored", n));
                return;
            }
            s.underline = n;
            Say(n ? Format("ESC -: underline %d dot%s", n, n > 1 ? "s" : "") : "ESC -: underline off");
            return;
        }
        case 'M': {
            int n = Digit(a[0]);
            s.font = n == 0 ? Font::kA : Font::kB;
            Say(Format("ESC M: font %c%s", s.font == Font::kA ? 'A' : 'B',
                       n > 1 ? " (font C drawn as B)" : ""));
            return;
        }
        case 'a': {
            int n = Digit(a[0]);
            if (n > 2) {
                Say(Format("ESC a: justification %d is out of range, ignored", n));
                return;
            }
            st.align = static_cast<Align>(n);
            Say(std::string("ESC a: ") + AlignName(st.align) + " justification");
            return;
        }
        case 'd': {
            int n = a[0];
            int lh = LineHeight();
            int feed = n == 0 ? lh : std::max(st.line_spacing, lh) + (n - 1) * st.line_spacing;
            PrintLine(feed, "ESC d");
            Say(Format("ESC d: print and feed %d line%s", n, n == 1 ? "" : "s"));
            return;
        }
        case 'J':
            PrintLine(VDots(a[0]), "ESC J");
            Say(Format("ESC J: print and feed %d units (%d dots)", a[0], VDots(a[0])));
            return;
        case '2':
            st.line_spacing = kDefaultLineSpacing;
            Say("ESC 2: default line spacing");
            return;
        case '3':
            st.line_spacing = VDots(a[0]);
            Say(Format("ESC 3: line spacing %d units (%d dots)", a[0], st.line_spacing));
            return;
        case ' ':
            st.char_spacing = HDots(a[0]);
            Say(Format("ESC SP: right-side character spacing %d dots", st.char_spacing));
            return;
        case '$': {
            int pos = HDots(a[0] | a[1] << 8);
            if (pos < AreaWidth()) cursor_x = pos;
            Say(Format("ESC $: absolute print position %d dots%s", pos,
                       pos < AreaWidth() ? "" : " (outside, ignored)"));
            return;
        }
        case '\\': {
            int rel = static_cast<int16_t>(a[0] | a[1] << 8);
            int pos = cursor_x + HDots(rel);
            if (pos >= 0 && pos < AreaWidth()) cursor_x = pos;
            Say(Format("ESC \\: relative print position %+d dots", HDots(rel)));
            return;
        }
        case 't':
            st.code_table = a[0];
            Say(Format("ESC t: character code table %d", a[0]));
            return;
        case 'R':
            st.intl_set = a[0];
            Say(Format("ESC R: international character set %d", a[0]));
            return;
        case '=':
            st.enabled = Bit0(a[0]);
            Say(st.enabled ? "ESC =: printer enabled" : "ESC =: printer disabled");
            return;
        case 'V': {
            int n = Digit(a[0]);
            s.rotated = n == 1 || n == 2;
            Say(s.rotated ? "ESC V: 90-degree clockwise rotation on" : "ESC V: rotation off");
            return;
        }
        case '{':
            s.upside_down = Bit0(a[0]);
            Say(s.upside_down ? "ESC {: upside-down on" : "ESC {: upside-down off");
            return;
        case 'T': {
            int n = Digit(a[0]);
            if (n > 3) {
                Say(Format("ESC T: direction %d is out of range, ignored", n));
                return;
            }
            st.page_dir = n;
            static const char* const kDir[] = {"left to right", "bottom to top", "right to left",
                                               "top to bottom"};
            Say(std::string("ESC T: page-mode direction ") + kDir[n] +
                (page_mode ? "" : " (takes effect in page mode)"));
            return;
        }
        case 'L':
            if (!page_mode) {
                FlushLine();
                page_mode = true;
                page_started = false;
                cursor_x = 0;
            }
            Say("ESC L: page mode");
            return;
        case 'S':
            if (page_mode) {
                line.clear();
                cursor_x = 0;
                page_mode = false;
                page_started = false;
            }
            Say("ESC S: standard mode");
            return;
        case 0x0C:
            if (page_mode) {
                PrintPage(false);
                Say("ESC FF: print the page data");
            } else {
                Say("ESC FF: ignored in standard mode");
            }
            return;
        case 'W': {
            PageArea pa;
            pa.x = HDots(a[0] | a[1] << 8);
            pa.y = VDots(a[2] | a[3] << 8);
            pa.w = HDots(a[4] | a[5] << 8);
            pa.h = VDots(a[6] | a[7] << 8);
            if (pa.w == 0 || pa.h == 0) {
                Say("ESC W: empty page area, ignored");
                return;
            }
            pa.x = std::min(pa.x, vp.options_.width - 1);
            pa.w = std::min(pa.w, vp.options_.width - pa.x);
            pa.h = std::min(pa.h, kMaxPageDots);
            st.page_area = pa;
            Say(Format("ESC W: page area x %d, y %d, %d x %d dots", pa.x, pa.y, pa.w, pa.h));
            return;
        }
        case 'c': {
            int which = a[0] == 3 || a[0] == '3'   ? 3
                        : a[0] == 4 || a[0] == '4' ? 4
                        : a[0] == 5 || a[0] == '5' ? 5
                                                   : 0;
            const char* raw = a[0] < '0' ? " (selector given as a byte, not as the digit)" : "";
            if (which == 3)
                Say(Format("ESC c 3: paper sensors reporting paper end, mask 0x%02X%s", a[1], raw));
            else if (which == 4)
                Say(Format("ESC c 4: paper sensors stopping printing, mask 0x%02X%s", a[1], raw));
            else if (which == 5)
                Say(Format("ESC c 5: panel buttons %s%s", Bit0(a[1]) ? "disabled" : "enabled", raw));
            else
                Say(Format("ESC c: unknown function 0x%02X, ignored", a[0]));
            return;
        }
        case 'p': {
            int pin = Digit(a[0]) == 0 ? 2 : 5;
            DrawerPulse(pin, a[1], a[2]);
            return;
        }
        case 'i':
            Cut("ESC i: partial cut", 0);
            return;
        case 'm':
            Cut("ESC m: partial cut", 0);
            return;
        case 'D':
            st.tabs.assign(a.begin(), a.end());
            Say(a.empty() ? "ESC D: tab positions cleared" : "ESC D: tab positions at columns " + [&] {
                std::string s2;
                for (uint8_t t : a) s2 += (s2.empty() ? "" : ", ") + std::to_string(t);
                return s2;
            }());
            return;
        case '*':
            FlushLine();
            Say("ESC *: bit image not rendered, " + std::to_string(c.data.size()) + " bytes skipped");
            return;
        default:
            Say(CommandName(c) + ": not supported, ignored");
            return;
    }
}

void VirtualPrinter::Impl::ApplyGs(const Command& c) {
    const auto& a = c.args;
    TextStyle& s = st.style;
    switch (c.code) {
        case '!':
            s.width_mag = ((a[0] >> 4) & 0x07) + 1;
            s.height_mag = (a[0] & 0x07) + 1;
            Say(Format("GS !: character size width x%d, height x%d", s.width_mag, s.height_mag));
            return;
        case 'B':
            s.reverse = Bit0(a[0]);
            Say(s.reverse ? "GS B: reverse printing on" : "GS B: reverse printing off");
            return;
        case 'V': {
            int m = a[0];
            if (m == 0 || m == 48) return Cut("GS V: full cut", 0);
            if (m == 1 || m == 49) return Cut("GS V: partial cut", 0);
            int feed = VDots(a[1]);
            bool full = m == 65 || m == 97 || m == 103;
            return Cut(
                Format("GS V: feed %d units (%d dots) and %s cut", a[1], feed, full ? "full" : "partial"),
                feed);
        }
        case 'L': {
            int units = a[0] | a[1] << 8;
            int dots = std::min(HDots(units), vp.options_.width - 1);
            st.left_margin = dots;
            Say(Format("GS L: left margin %d units (%d dots)", units, dots));
            return;
        }
        case 'W': {
            int units = a[0] | a[1] << 8;
            int dots = HDots(units);
            st.print_width = dots > 0 ? std::min(dots, vp.options_.width) : vp.options_.width;
            Say(Format("GS W: printing area width %d units (%d dots)", units, st.print_width));
            return;
        }
        case 'P':
            st.motion_x = a[0] ? a[0] : kDpi;
            st.motion_y = a[1] ? a[1] : kDpi;
            Say(Format("GS P: motion units 1/%d inch horizontal, 1/%d inch vertical", st.motion_x,
                       st.motion_y));
            return;
        case 'H': {
            int n = Digit(a[0]);
            if (n > 3) {
                Say(Format("GS H: HRI position %d is out of range, ignored", n));
                return;
            }
            st.hri_position = n;
            static const char* const kPos[] = {"not printed", "above", "below", "above and below"};
            Say(std::string("GS H: HRI characters ") + kPos[n]);
            return;
        }
        case 'f':
            st.hri_font = Digit(a[0]) == 0 ? Font::kA : Font::kB;
            Say(Format("GS f: HRI font %c", st.hri_font == Font::kA ? 'A' : 'B'));
            return;
        case 'h':
            if (a[0] == 0) {
                Say("GS h: bar height 0 is out of range, ignored");
                return;
            }
            st.bar_height = a[0];
            Say(Format("GS h: bar height %d dots", a[0]));
            return;
        case 'w':
            if (a[0] < 1 || a[0] > 6) {
                Say(Format("GS w: module width %d is out of range, ignored", a[0]));
                return;
            }
            st.module_width = a[0];
            Say(Format("GS w: module width %d dots", a[0]));
            return;
        case 'a': {
            asb = a[0];
            Say(a[0] ? Format("GS a: automatic status back on, mask 0x%02X", a[0])
                     : "GS a: automatic status back off");
            if (a[0]) SendStatus();
            return;
        }
        case 'k':
            PrintBarcode(c);
            return;
        case '(':
            if (a[0] == 'k') {
                TwoDimensional(c);
            } else {
                Say(Format("GS ( %c: not supported, %zu bytes skipped",
                           a[0] >= 0x21 && a[0] < 0x7F ? a[0] : '?', c.data.size()));
            }
            return;
        case 'v':
            Raster(c);
            return;
        case 'r': {
            int n = Digit(a[0]);
            uint8_t v = 0;
            if (n == 1) {
                if (vp.condition_.paper_near_end) v |= 0x03;
                if (vp.condition_.paper_end) v |= 0x0C;
            } else if (n == 2) {
                if (!vp.condition_.drawer_high) v |= 0x01;
            } else {
                Say(Format("GS r: status %d unknown, no answer", n));
                return;
            }
            if (vp.reply_) vp.reply_(&v, 1);
            Say(Format("GS r: %s status sent, 0x%02X", n == 1 ? "paper sensor" : "drawer", v));
            return;
        }
        default:
            Say(CommandName(c) + ": not supported, ignored");
            return;
    }
}

void VirtualPrinter::Impl::ApplyRealTime(const Command& c) {
    int n = c.args[0];
    if (c.code == 0x04) {
        uint8_t v = 0;
        if (!RealTimeStatus(vp.condition_, n, &v)) {
            Say(Format("DLE EOT %d: unknown status, no answer", n));
            return;
        }
        static const char* const kWhat[] = {"", "printer", "off-line cause", "error", "paper roll sensor"};
        if (vp.reply_) vp.reply_(&v, 1);
        Say(Format("DLE EOT %d: %s status sent, 0x%02X", n, kWhat[n], v));
    } else if (c.code == 0x05) {
        if (n == 2) {
            line.clear();
            cursor_x = 0;
            Say("DLE ENQ 2: recover from error, buffers cleared");
        } else if (n == 1) {
            Say("DLE ENQ 1: recover from error and restart printing");
        } else {
            Say(Format("DLE ENQ %d: unknown, ignored", n));
        }
    } else if (c.code == 0x14) {
        if (n == 1)
            DrawerPulse(c.args[1] == 0 ? 2 : 5, c.args[2] * 50, c.args[2] * 50);
        else
            Say(Format("DLE DC4 %d: not supported, ignored", n));
    }
}

// ---------------------------------------------------------------------------

VirtualPrinter::VirtualPrinter(PrinterOptions options) : options_(options) {
    options_.width = std::clamp(options_.width, 8, 4096);
    impl_ = std::make_unique<Impl>(*this);
}

VirtualPrinter::~VirtualPrinter() = default;

void VirtualPrinter::Feed(const uint8_t* bytes, size_t n) {
    impl_->parser.Feed(bytes, n);
}

void VirtualPrinter::EndOfStream() {
    impl_->parser.Finish();
    if (impl_->page_mode) {
        impl_->Say("end of data in page mode: page discarded");
        impl_->page_mode = false;
        impl_->page_started = false;
        impl_->line.clear();
    }
    if (impl_->FlushLine()) impl_->Say("end of data: line buffer printed");
    impl_->FinishReceipt(false);
}

void VirtualPrinter::SetCondition(const Condition& c) {
    Condition old = condition_;
    condition_ = c;
    uint8_t groups = 0;
    if (old.drawer_high != c.drawer_high) groups |= 0x01;
    if (old.Offline() != c.Offline() || old.cover_open != c.cover_open) groups |= 0x02 | 0x04;
    if (old.paper_near_end != c.paper_near_end || old.paper_end != c.paper_end) groups |= 0x08;
    if (groups & impl_->asb) impl_->SendStatus();
}

uint8_t VirtualPrinter::asb_mask() const {
    return impl_->asb;
}
const TextStyle& VirtualPrinter::style() const {
    return impl_->st.style;
}
Align VirtualPrinter::align() const {
    return impl_->st.align;
}
bool VirtualPrinter::page_mode() const {
    return impl_->page_mode;
}

}  // namespace kesto::vprinter
