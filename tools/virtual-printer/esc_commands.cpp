// ESC commands: character style, line spacing and positions, page mode,
// cuts and the drawer kick.
#include <algorithm>

#include "printer_core.h"

namespace kesto::vprinter {
namespace {

char FontLetter(Font f) {
    return f == Font::kA ? 'A' : 'B';
}

void Initialise(PrinterCore& p, const Command&) {
    size_t dropped = std::count_if(p.line.begin(), p.line.end(), [](const LineItem& i) { return !i.tab; });
    p.ClearLine();
    p.page_mode = false;
    p.page_started = false;
    p.Reset();
    p.Say(dropped ? Format("ESC @: initialise printer, %zu unprinted characters discarded", dropped)
                  : "ESC @: initialise printer");
}

void PrintModes(PrinterCore& p, const Command& c) {
    const uint8_t n = c.args[0];
    TextStyle& s = p.st.style;
    s.font = (n & 0x01) ? Font::kB : Font::kA;
    s.bold = (n & 0x08) != 0;
    s.height_mag = (n & 0x10) ? 2 : 1;
    s.width_mag = (n & 0x20) ? 2 : 1;
    s.underline = (n & 0x80) ? 1 : 0;
    p.Say(Format("ESC !: font %c%s%s%s%s", FontLetter(s.font), s.bold ? ", emphasized" : "",
                 s.height_mag > 1 ? ", double height" : "", s.width_mag > 1 ? ", double width" : "",
                 s.underline ? ", underline" : ""));
}

void Emphasis(PrinterCore& p, const Command& c) {
    SetFlag(p, p.st.style.bold, c.args[0], "ESC E: emphasized on", "ESC E: emphasized off");
}

void DoubleStrike(PrinterCore& p, const Command& c) {
    SetFlag(p, p.st.style.double_strike, c.args[0], "ESC G: double-strike on", "ESC G: double-strike off");
}

void UpsideDown(PrinterCore& p, const Command& c) {
    SetFlag(p, p.st.style.upside_down, c.args[0], "ESC {: upside-down on", "ESC {: upside-down off");
}

void EnablePrinter(PrinterCore& p, const Command& c) {
    SetFlag(p, p.st.enabled, c.args[0], "ESC =: printer enabled", "ESC =: printer disabled");
}

void Underline(PrinterCore& p, const Command& c) {
    int n = Digit(c.args[0]);
    if (!InRange(p, n, 0, 2, "ESC -: underline")) return;
    p.st.style.underline = n;
    p.Say(n ? Format("ESC -: underline %d dot%s", n, n > 1 ? "s" : "") : "ESC -: underline off");
}

void SelectFont(PrinterCore& p, const Command& c) {
    int n = Digit(c.args[0]);
    Font& font = p.st.style.font;
    font = n == 0 ? Font::kA : Font::kB;
    p.Say(Format("ESC M: font %c%s", FontLetter(font), n > 1 ? " (font C drawn as B)" : ""));
}

void Justify(PrinterCore& p, const Command& c) {
    int n = Digit(c.args[0]);
    if (!InRange(p, n, 0, 2, "ESC a: justification")) return;
    p.st.align = static_cast<Align>(n);
    p.Say(std::string("ESC a: ") + AlignName(p.st.align) + " justification");
}

void FeedLines(PrinterCore& p, const Command& c) {
    int n = c.args[0];
    int lh = p.LineHeight();
    int spacing = p.st.line_spacing;
    p.PrintLine(n == 0 ? lh : std::max(spacing, lh) + (n - 1) * spacing);
    p.Say(Format("ESC d: print and feed %d line%s", n, n == 1 ? "" : "s"));
}

void FeedUnits(PrinterCore& p, const Command& c) {
    int n = c.args[0];
    p.PrintLine(p.VDots(n));
    p.Say(Format("ESC J: print and feed %d units (%d dots)", n, p.VDots(n)));
}

void DefaultLineSpacing(PrinterCore& p, const Command&) {
    p.st.line_spacing = kDefaultLineSpacing;
    p.Say("ESC 2: default line spacing");
}

void LineSpacing(PrinterCore& p, const Command& c) {
    p.st.line_spacing = p.VDots(c.args[0]);
    p.Say(Format("ESC 3: line spacing %d units (%d dots)", c.args[0], p.st.line_spacing));
}

void CharacterSpacing(PrinterCore& p, const Command& c) {
    p.st.char_spacing = p.HDots(c.args[0]);
    p.Say(Format("ESC SP: right-side character spacing %d dots", p.st.char_spacing));
}

void AbsolutePosition(PrinterCore& p, const Command& c) {
    int pos = p.HDots(Word(c.args, 0));
    bool inside = pos < p.AreaWidth();
    if (inside) p.cursor_x = pos;
    p.Say(Format("ESC $: absolute print position %d dots%s", pos, inside ? "" : " (outside, ignored)"));
}

void RelativePosition(PrinterCore& p, const Command& c) {
    int dots = p.HDots(static_cast<int16_t>(Word(c.args, 0)));
    int pos = p.cursor_x + dots;
    if (pos >= 0 && pos < p.AreaWidth()) p.cursor_x = pos;
    p.Say(Format("ESC \\: relative print position %+d dots", dots));
}

void CodeTable(PrinterCore& p, const Command& c) {
    p.st.code_table = c.args[0];
    p.Say(Format("ESC t: character code table %d", c.args[0]));
}

void InternationalSet(PrinterCore& p, const Command& c) {
    p.st.intl_set = c.args[0];
    p.Say(Format("ESC R: international character set %d", c.args[0]));
}

void Rotation(PrinterCore& p, const Command& c) {
    int n = Digit(c.args[0]);
    bool& rotated = p.st.style.rotated;
    rotated = n == 1 || n == 2;
    p.Say(rotated ? "ESC V: 90-degree clockwise rotation on" : "ESC V: rotation off");
}

void PageDirection(PrinterCore& p, const Command& c) {
    int n = Digit(c.args[0]);
    if (!InRange(p, n, 0, 3, "ESC T: direction")) return;
    p.st.page_dir = n;
    static const char* const kDir[] = {"left to right", "bottom to top", "right to left", "top to bottom"};
    p.Say(std::string("ESC T: page-mode direction ") + kDir[n] +
          (p.page_mode ? "" : " (takes effect in page mode)"));
}

void PageMode(PrinterCore& p, const Command&) {
    if (!p.page_mode) {
        p.FlushLine();
        p.page_mode = true;
        p.page_started = false;
        p.cursor_x = 0;
    }
    p.Say("ESC L: page mode");
}

void StandardMode(PrinterCore& p, const Command&) {
    if (p.page_mode) {
        p.ClearLine();
        p.page_mode = false;
        p.page_started = false;
    }
    p.Say("ESC S: standard mode");
}

void PrintPageData(PrinterCore& p, const Command&) {
    if (p.page_mode) {
        p.PrintPage(false);
        p.Say("ESC FF: print the page data");
    } else {
        p.Say("ESC FF: ignored in standard mode");
    }
}

void SetPageArea(PrinterCore& p, const Command& c) {
    PageArea pa;
    pa.x = p.HDots(Word(c.args, 0));
    pa.y = p.VDots(Word(c.args, 2));
    pa.w = p.HDots(Word(c.args, 4));
    pa.h = p.VDots(Word(c.args, 6));
    if (pa.w == 0 || pa.h == 0) {
        p.Say("ESC W: empty page area, ignored");
        return;
    }
    pa.x = std::min(pa.x, p.paper_width() - 1);
    pa.w = std::min(pa.w, p.paper_width() - pa.x);
    pa.h = std::min(pa.h, kMaxPageDots);
    p.st.page_area = pa;
    p.Say(Format("ESC W: page area x %d, y %d, %d x %d dots", pa.x, pa.y, pa.w, pa.h));
}

// ESC c 3/4/5: sensors and panel buttons, which only the transcript shows.
void PaperSensors(PrinterCore& p, const Command& c) {
    const auto& a = c.args;
    int which = Digit(a[0]);
    const char* raw = a[0] < '0' ? " (selector given as a byte, not as the digit)" : "";
    if (which == 3)
        p.Say(Format("ESC c 3: paper sensors reporting paper end, mask 0x%02X%s", a[1], raw));
    else if (which == 4)
        p.Say(Format("ESC c 4: paper sensors stopping printing, mask 0x%02X%s", a[1], raw));
    else if (which == 5)
        p.Say(Format("ESC c 5: panel buttons %s%s", Bit0(a[1]) ? "disabled" : "enabled", raw));
    else
        p.Say(Format("ESC c: unknown function 0x%02X, ignored", a[0]));
}

void DrawerKick(PrinterCore& p, const Command& c) {
    p.DrawerPulse(Digit(c.args[0]) == 0 ? 2 : 5, c.args[1], c.args[2]);
}

void PartialCutI(PrinterCore& p, const Command&) {
    p.Cut("ESC i: partial cut", 0);
}

void PartialCutM(PrinterCore& p, const Command&) {
    p.Cut("ESC m: partial cut", 0);
}

void TabPositions(PrinterCore& p, const Command& c) {
    p.st.tabs.assign(c.args.begin(), c.args.end());
    if (c.args.empty()) return p.Say("ESC D: tab positions cleared");
    std::string columns;
    for (uint8_t t : c.args) columns += (columns.empty() ? "" : ", ") + std::to_string(t);
    p.Say("ESC D: tab positions at columns " + columns);
}

void BitImage(PrinterCore& p, const Command& c) {
    p.FlushLine();
    p.Say("ESC *: bit image not rendered, " + std::to_string(c.data.size()) + " bytes skipped");
}

const CommandHandler kEscHandlers[] = {
    {'@', Initialise},       {'!', PrintModes},         {'E', Emphasis},       {'G', DoubleStrike},
    {'-', Underline},        {'M', SelectFont},         {'a', Justify},        {'d', FeedLines},
    {'J', FeedUnits},        {'2', DefaultLineSpacing}, {'3', LineSpacing},    {' ', CharacterSpacing},
    {'$', AbsolutePosition}, {'\\', RelativePosition},  {'t', CodeTable},      {'R', InternationalSet},
    {'=', EnablePrinter},    {'V', Rotation},           {'{', UpsideDown},     {'T', PageDirection},
    {'L', PageMode},         {'S', StandardMode},       {0x0C, PrintPageData}, {'W', SetPageArea},
    {'c', PaperSensors},     {'p', DrawerKick},         {'i', PartialCutI},    {'m', PartialCutM},
    {'D', TabPositions},     {'*', BitImage},
};

}  // namespace

namespace {

void KanjiOn(PrinterCore& p, const Command&) {
    p.st.kanji = true;
    p.Say(Format("FS &: kanji mode on (%s)", MultibyteName(p.multibyte())));
}

void KanjiOff(PrinterCore& p, const Command&) {
    p.st.kanji = false;
    p.kanji_code.clear();
    p.Say("FS .: kanji mode off");
}

// FS C n: 0 JIS, 1 Shift JIS, 2 Shift JIS-2004 (drawn as Shift JIS).
void KanjiCodeSystem(PrinterCore& p, const Command& c) {
    int n = Digit(c.args[0]);
    if (!InRange(p, n, 1, 2, "FS C: kanji code system (JIS codes are not supported)")) return;
    p.st.shift_jis = true;
    p.kanji_code.clear();
    p.Say(Format("FS C: kanji code system %d (Shift JIS)", n));
}

const CommandHandler kFsHandlers[] = {{'&', KanjiOn}, {'.', KanjiOff}, {'C', KanjiCodeSystem}};

}  // namespace

void ApplyFs(PrinterCore& p, const Command& c) {
    if (!Dispatch(kFsHandlers, c.code, p, c)) p.Say(CommandName(c) + ": not supported, ignored");
}

void ApplyEsc(PrinterCore& p, const Command& c) {
    if (!Dispatch(kEscHandlers, c.code, p, c)) p.Say(CommandName(c) + ": not supported, ignored");
}

}  // namespace kesto::vprinter
