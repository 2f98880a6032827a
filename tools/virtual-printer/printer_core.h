// The inside of the virtual printer: the settings commands change, the line
// being laid out, page mode and the receipt in progress. The command handlers
// (esc_commands.cpp, gs_commands.cpp, status_replies.cpp) work on it; the
// layout of text and pictures is in line_layout.cpp.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "escpos_parser.h"
#include "glyphs.h"
#include "virtual_printer.h"

namespace kesto::vprinter {

constexpr int kDpi = 203;                // 8 dots per millimetre
constexpr int kDefaultLineSpacing = 30;  // dots (3.75 mm)
constexpr int kDefaultBarHeight = 162;
constexpr int kDefaultModuleWidth = 3;
constexpr int kDefaultPageHeight = 831;  // dots, about 104 mm
constexpr int kMaxPageDots = 4096;
constexpr int kMaxPaperDots = 32768;  // about 4 m: longer receipts are cut off, not grown

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Bytes as a C string literal for the transcript, cut after `max`.
std::string Quote(const std::vector<uint8_t>& bytes, size_t max = 120);
// UTF-8 text as a quoted string for the transcript: control bytes, quotes and
// backslashes escaped, cut after `max` bytes at a character's start.
std::string QuoteUtf8(const std::string& text, size_t max = 240);

inline bool Bit0(uint8_t n) {
    return (n & 1) != 0;
}
// Parameter bytes given as ASCII digits ('0', '1', ...) mean the same as 0, 1, ...
inline int Digit(uint8_t n) {
    return n >= '0' && n <= '9' ? n - '0' : n;
}
// A two-byte little-endian parameter at `a[i]`.
inline int Word(const std::vector<uint8_t>& a, size_t i) {
    return a[i] | a[i + 1] << 8;
}

struct PageArea {
    int x = 0, y = 0, w = 0, h = kDefaultPageHeight;
};

// What ESC @ puts back to its power-on value.
struct Settings {
    TextStyle style;
    Align align = Align::kLeft;
    int line_spacing = kDefaultLineSpacing;  // dots
    int left_margin = 0;                     // dots
    int print_width = 0;                     // dots
    int char_spacing = 0;                    // dots, right side of each character
    int code_table = 0;
    int intl_set = 0;
    bool kanji = false;      // FS &: bytes that open a multibyte code are read as one
    bool shift_jis = false;  // FS C 1 or 2 on a printer of another multibyte system
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

// Data stored by GS ( k for a later print command.
struct StoredSymbol {
    std::vector<uint8_t> data;
    bool stored = false;
};

// One character or tab waiting in the line buffer.
struct LineItem {
    char32_t cp;
    TextStyle style;
    int x, w, h;
    bool tab;
    bool wide = false;  // a multibyte character: two columns
};

// A command received while printing was stopped, or the end of the stream
// that came after such commands.
struct HeldCommand {
    Command command;
    bool end_of_stream = false;
    // The bytes it came in, about: what it takes of a receive buffer.
    size_t size() const { return 2 + command.args.size() + command.data.size(); }
};

struct PrinterCore {
    explicit PrinterCore(VirtualPrinter& owner);

    // Every decoded command arrives here: answered at once when it is a
    // real-time one, held while printing is stopped, else applied.
    void Receive(const Command& c);
    // Renders one command.
    void Apply(const Command& c);
    void EndOfStream();
    // What the end of the stream does once everything before it is rendered.
    void EndOfData();
    // Renders what is held, in order, as long as the printer stays on line.
    void Resume();
    bool Holding() const { return !held.empty() || condition().Offline(); }
    // The power went: what is not printed is lost, the receipt ends here.
    void PowerLoss();
    // Power back: power-on settings, nothing received.
    void PowerOn();

    void Reset();
    void NewReceipt();
    // Starts the receipt in progress again under the same number (it held
    // only status commands).
    void DiscardReceipt();
    void FinishReceipt(bool cut);
    void Cut(const std::string& what, int feed_dots);
    void DrawerPulse(int pin, int on, int off);
    void SendStatus();
    void Reply(const uint8_t* bytes, size_t n);
    // One line of the transcript.
    void Say(std::string s) { receipt().transcript.push_back(std::move(s)); }

    Receipt& receipt() { return vp.current_; }
    const Condition& condition() const { return vp.condition_; }
    int paper_width() const { return vp.options_.width; }

    // Motion units to dots.
    int HDots(int units) const;
    int VDots(int units) const;

    // line_layout.cpp: where text and pictures go.
    int AreaWidth();
    int AreaLeft() const { return page_mode ? 0 : st.left_margin; }
    void StartPage();
    Bitmap& Target();
    int& TargetY() { return page_mode ? page_y : paper_y; }
    void Grow(int bottom);
    void Advance(int dots);
    int LineHeight() const;
    void AddChar(uint8_t b);
    void AddCodePoint(char32_t cp, bool wide);
    // Lays out a run of text bytes; returns what it printed, as UTF-8.
    std::string AddText(const std::vector<uint8_t>& bytes);
    bool AddMultibyte(uint8_t b, std::string& printed);
    Multibyte multibyte() const { return st.shift_jis ? Multibyte::kShiftJis : vp.options_.multibyte; }
    void Tab();
    void DrawItem(Bitmap& target, const LineItem& it, int x, int top);
    void PrintLine(int min_advance);
    bool FlushLine();
    void ClearLine();
    bool PlacePicture(const Bitmap& pic, const std::string& kind, const std::string& text, bool must_fit);
    void PrintPage(bool leave_page_mode);

    VirtualPrinter& vp;
    EscPosParser parser;
    GlyphSource glyphs;
    Settings st;
    StoredSymbol qr, pdf;

    std::string kanji_code;  // the first bytes of a multibyte code, waiting for the rest
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
    uint8_t asb = 0;       // automatic status back groups; kept across ESC @
    bool printed = false;  // the receipt in progress has had a command that is not a status command

    std::deque<HeldCommand> held;
    size_t held_bytes = 0;  // the sizes of what `held` holds
    bool resuming = false;  // Resume is running (a command it applies may change the condition)
};

// A command byte and what it does.
struct CommandHandler {
    uint8_t code;
    void (*apply)(PrinterCore& p, const Command& c);
};

void ApplyEsc(PrinterCore& p, const Command& c);
void ApplyGs(PrinterCore& p, const Command& c);
void ApplyRealTime(PrinterCore& p, const Command& c);
// FS: kanji mode and the code system of the multibyte font.
void ApplyFs(PrinterCore& p, const Command& c);
// GS ( k: QR code and PDF417.
void ApplyTwoDimensional(PrinterCore& p, const Command& c);
// GS a: automatic status back.
void SetAutomaticStatus(PrinterCore& p, const Command& c);
// GS r: the paper sensor or drawer status byte.
void ReplyTransmitStatus(PrinterCore& p, const Command& c);
// GS ( H: the process-ID response (function 48).
void ReplyProcessId(PrinterCore& p, const Command& c);

// For the commands that switch a setting on or off with bit 0 of their
// parameter: sets `flag` and says which.
void SetFlag(PrinterCore& p, bool& flag, uint8_t arg, const char* on, const char* off);
// True when `lo <= n <= hi`; otherwise says "<what> <n> is out of range, ignored".
bool InRange(PrinterCore& p, int n, int lo, int hi, const char* what);

// Runs the handler for `key` (the command byte, or a function byte within a
// command); false when the table has none.
template <size_t N>
bool Dispatch(const CommandHandler (&table)[N], uint8_t key, PrinterCore& p, const Command& c) {
    for (const CommandHandler& h : table) {
        if (h.code == key) {
            h.apply(p, c);
            return true;
        }
    }
    return false;
}

}  // namespace kesto::vprinter
