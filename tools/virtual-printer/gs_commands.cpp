// GS commands: character size and reverse, cuts, margins and motion units,
// barcodes and raster images. GS ( k is in two_dimensional_codes.cpp, the
// status commands (GS a, GS r, GS ( H) in status_replies.cpp.
#include <algorithm>

#include "printer_core.h"
#include "symbols.h"

namespace kesto::vprinter {
namespace {

void CharacterSize(PrinterCore& p, const Command& c) {
    TextStyle& s = p.st.style;
    s.width_mag = ((c.args[0] >> 4) & 0x07) + 1;
    s.height_mag = (c.args[0] & 0x07) + 1;
    p.Say(Format("GS !: character size width x%d, height x%d", s.width_mag, s.height_mag));
}

void Reverse(PrinterCore& p, const Command& c) {
    SetFlag(p, p.st.style.reverse, c.args[0], "GS B: reverse printing on", "GS B: reverse printing off");
}

void CutPaper(PrinterCore& p, const Command& c) {
    int m = c.args[0];
    if (m == 0 || m == 48) return p.Cut("GS V: full cut", 0);
    if (m == 1 || m == 49) return p.Cut("GS V: partial cut", 0);
    int feed = p.VDots(c.args[1]);
    bool full = m == 65 || m == 97 || m == 103;
    p.Cut(Format("GS V: feed %d units (%d dots) and %s cut", c.args[1], feed, full ? "full" : "partial"),
          feed);
}

void LeftMargin(PrinterCore& p, const Command& c) {
    int units = Word(c.args, 0);
    int dots = std::min(p.HDots(units), p.paper_width() - 1);
    p.st.left_margin = dots;
    p.Say(Format("GS L: left margin %d units (%d dots)", units, dots));
}

void PrintingAreaWidth(PrinterCore& p, const Command& c) {
    int units = Word(c.args, 0);
    int dots = p.HDots(units);
    p.st.print_width = dots > 0 ? std::min(dots, p.paper_width()) : p.paper_width();
    p.Say(Format("GS W: printing area width %d units (%d dots)", units, p.st.print_width));
}

void MotionUnits(PrinterCore& p, const Command& c) {
    p.st.motion_x = c.args[0] ? c.args[0] : kDpi;
    p.st.motion_y = c.args[1] ? c.args[1] : kDpi;
    p.Say(
        Format("GS P: motion units 1/%d inch horizontal, 1/%d inch vertical", p.st.motion_x, p.st.motion_y));
}

void HriPosition(PrinterCore& p, const Command& c) {
    int n = Digit(c.args[0]);
    if (!InRange(p, n, 0, 3, "GS H: HRI position")) return;
    p.st.hri_position = n;
    static const char* const kPos[] = {"not printed", "above", "below", "above and below"};
    p.Say(std::string("GS H: HRI characters ") + kPos[n]);
}

void HriFont(PrinterCore& p, const Command& c) {
    p.st.hri_font = Digit(c.args[0]) == 0 ? Font::kA : Font::kB;
    p.Say(Format("GS f: HRI font %c", p.st.hri_font == Font::kA ? 'A' : 'B'));
}

void BarHeight(PrinterCore& p, const Command& c) {
    if (!InRange(p, c.args[0], 1, 255, "GS h: bar height")) return;
    p.st.bar_height = c.args[0];
    p.Say(Format("GS h: bar height %d dots", c.args[0]));
}

void ModuleWidth(PrinterCore& p, const Command& c) {
    if (!InRange(p, c.args[0], 1, 6, "GS w: module width")) return;
    p.st.module_width = c.args[0];
    p.Say(Format("GS w: module width %d dots", c.args[0]));
}

// The human-readable line under or over a barcode, centred on `width` dots.
Bitmap HriText(PrinterCore& p, const std::string& text, int width) {
    Font font = p.st.hri_font;
    CellSize cell = FontCell(font);
    Bitmap out(std::max(width, 1), cell.height);
    int total = static_cast<int>(text.size()) * cell.width;
    int x = std::max(0, (width - total) / 2);
    for (unsigned char ch : text) {
        out.Blit(p.glyphs.Cell(font, false, ch), x, 0);
        x += cell.width;
    }
    return out;
}

// The bars at the set module width and height, with the HRI text where GS H puts it.
Bitmap BarcodePicture(PrinterCore& p, const Symbol& s) {
    const Settings& st = p.st;
    int mw = st.module_width;
    int bars_w = s.modules.width() * mw;
    Bitmap bars(bars_w, st.bar_height);
    for (int x = 0; x < s.modules.width(); ++x)
        if (s.modules.Get(x, 0)) bars.FillRect(x * mw, 0, mw, st.bar_height);
    bool above = st.hri_position == 1 || st.hri_position == 3;
    bool below = st.hri_position == 2 || st.hri_position == 3;
    Bitmap hri = HriText(p, s.hri, bars_w);
    int gap = 2;
    int top = above ? hri.height() + gap : 0;
    Bitmap pic(bars_w, top + bars.height() + (below ? gap + hri.height() : 0));
    if (above) pic.Blit(hri, 0, 0);
    pic.Blit(bars, 0, top);
    if (below) pic.Blit(hri, 0, top + bars.height() + gap);
    return pic;
}

void PrintBarcode(PrinterCore& p, const Command& c) {
    Symbology sym;
    if (!SymbologyFromGsK(c.args[0], &sym)) return;
    std::string what = Format("GS k: %s %s", SymbologyName(sym), Quote(c.data).c_str());
    Symbol s = MakeBarcode(sym, c.data);
    if (!s.ok) {
        p.Say(what + " refused: " + s.reason + "; nothing printed");
        return;
    }
    Bitmap pic = BarcodePicture(p, s);
    if (!p.PlacePicture(pic, SymbologyName(sym), s.text, true)) {
        p.Say(what +
              Format(" refused: %d dots wide, wider than the printing area of %d dots; nothing printed",
                     pic.width(), p.AreaWidth()));
        return;
    }
    p.Say(what + Format(" printed, %d modules of %d dots, %d dots high", s.modules.width(), p.st.module_width,
                        p.st.bar_height));
}

void PrintRaster(PrinterCore& p, const Command& c) {
    uint8_t m = c.args[1];
    int xb = Word(c.args, 2);
    int h = Word(c.args, 4);
    Bitmap img(xb * 8, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < xb * 8; ++x)
            if (c.data[static_cast<size_t>(y) * xb + x / 8] & (0x80 >> (x % 8))) img.Set(x, y);
    int mode = m & 0x03;
    int sx = (mode & 1) ? 2 : 1, sy = (mode & 2) ? 2 : 1;
    if (sx > 1 || sy > 1) img = img.Scaled(sx, sy);
    p.PlacePicture(img, "raster image", "", false);
    static const char* const kSize[] = {"", ", double width", ", double height", ", quadruple"};
    p.Say(Format("GS v 0: raster image %d x %d dots%s", xb * 8, h, kSize[mode]));
}

void TwoDimensionalOrOther(PrinterCore& p, const Command& c) {
    if (c.args[0] == 'k') return ApplyTwoDimensional(p, c);
    if (c.args[0] == 'H') return ReplyProcessId(p, c);
    p.Say(Format("GS ( %c: not supported, %zu bytes skipped",
                 c.args[0] >= 0x21 && c.args[0] < 0x7F ? c.args[0] : '?', c.data.size()));
}

const CommandHandler kGsHandlers[] = {
    {'!', CharacterSize},
    {'B', Reverse},
    {'V', CutPaper},
    {'L', LeftMargin},
    {'W', PrintingAreaWidth},
    {'P', MotionUnits},
    {'H', HriPosition},
    {'f', HriFont},
    {'h', BarHeight},
    {'w', ModuleWidth},
    {'a', SetAutomaticStatus},
    {'k', PrintBarcode},
    {'(', TwoDimensionalOrOther},
    {'v', PrintRaster},
    {'r', ReplyTransmitStatus},
};

}  // namespace

void ApplyGs(PrinterCore& p, const Command& c) {
    if (!Dispatch(kGsHandlers, c.code, p, c)) p.Say(CommandName(c) + ": not supported, ignored");
}

}  // namespace kesto::vprinter
