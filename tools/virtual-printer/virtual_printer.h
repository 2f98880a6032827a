// The virtual printer: an ESC/POS receipt printer in software.
//
// Bytes fed to it are decoded like a printer decodes them, printed onto a
// picture of the paper (one receipt per cut), described command by command in
// a transcript, and collected as a text model that tests can query. Status
// replies (DLE EOT, automatic status back) go to a reply sink.
//
// While the simulated printer is off line, decoded commands are held in order
// and rendered once it is back; real-time commands are answered as they
// arrive. A power loss drops what is held.
//
// Not thread-safe: one caller at a time (the server serialises with a mutex).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bitmap.h"
#include "escpos_parser.h"
#include "glyphs.h"
#include "symbols.h"

namespace kesto::vprinter {

struct PrinterCore;

enum class Align { kLeft, kCenter, kRight };
const char* AlignName(Align a);

struct TextStyle {
    Font font = Font::kA;
    bool bold = false;           // ESC E, ESC ! bit 3
    bool double_strike = false;  // ESC G (printed like emphasis)
    int underline = 0;           // 0, 1 or 2 dots
    int width_mag = 1;           // 1..8
    int height_mag = 1;          // 1..8
    bool reverse = false;        // GS B
    bool rotated = false;        // ESC V: 90 degrees clockwise
    bool upside_down = false;    // ESC {
    bool operator==(const TextStyle& o) const;
    bool operator!=(const TextStyle& o) const { return !(*this == o); }
};

struct TextSpan {
    std::string text;  // UTF-8
    TextStyle style;
};

// One printed line of text.
struct TextLine {
    std::string text;  // UTF-8, the spans joined; a tab shows as '\t'
    std::vector<TextSpan> spans;
    Align align = Align::kLeft;
    int x = 0, y = 0;           // dots from the paper's top-left corner
    int width = 0, height = 0;  // dots
    bool page_mode = false;
    const TextStyle& style() const { return spans.front().style; }  // of the first character
};

// A barcode, two-dimensional code or raster image that went onto the paper.
struct PrintedSymbol {
    std::string kind;  // "EAN-13", "QR code", "raster image", ...
    std::string text;  // encoded data ("" for images)
    int x = 0, y = 0, width = 0, height = 0;
};

struct Receipt {
    int number = 0;  // 1, 2, ... over the life of the printer
    Bitmap paper;    // exactly `width` dots wide
    std::vector<TextLine> lines;
    std::vector<PrintedSymbol> symbols;
    std::vector<std::string> transcript;  // one line per decoded command
    bool cut = false;                     // ended by a cut (else by end of stream)
    int drawer_pulses = 0;

    std::string TranscriptText() const;
    std::vector<std::string> LineTexts() const;
};

// Simulated printer condition, set from outside (control port, tests).
// Whatever takes the printer off line stops printing: what arrives then is
// kept in order and printed once the printer is back on line; real-time
// commands and GS a are still answered at once.
struct Condition {
    bool cover_open = false;
    bool paper_near_end = false;
    bool paper_end = false;
    bool drawer_high = false;             // drawer kick-out connector pin 3
    bool offline = false;                 // forced off-line (besides the causes below)
    bool feed_button = false;             // the paper feed button is held down: paper is fed
    bool waiting_recovery = false;        // waiting for online recovery (DLE ENQ or the operator)
    bool cutter_error = false;            // recoverable: DLE ENQ 1 or 2, or the operator
    bool unrecoverable_error = false;     // lasts until the power is switched off and on
    bool auto_recoverable_error = false;  // e.g. print head too hot; clears by itself
    bool power_off = false;               // answers nothing, keeps nothing
    bool Error() const { return cutter_error || unrecoverable_error || auto_recoverable_error; }
    bool Offline() const {
        return offline || cover_open || paper_end || feed_button || waiting_recovery || Error() || power_off;
    }
};

// The four bytes of an automatic status block for `c`.
std::vector<uint8_t> StatusBlock(const Condition& c);
// The byte DLE EOT n answers (n = 1..4); false for other n.
bool RealTimeStatus(const Condition& c, int n, uint8_t* out);
// Commands that only ask or tell the printer's state (real-time commands,
// GS a, GS r, GS I, GS ( H): a connection of only these prints no receipt.
bool IsStatusCommand(const Command& c);

struct PrinterOptions {
    int width = 576;      // dots: 576 for 80 mm paper, 384 for 58 mm
    size_t max_kept = 0;  // finished receipts kept in memory; 0 keeps all
    // The code system of the printer's multibyte font (FS & ... FS .).
    Multibyte multibyte = Multibyte::kGb18030;
};

class VirtualPrinter {
public:
    using ReplySink = std::function<void(const uint8_t*, size_t)>;
    using ReceiptSink = std::function<void(const Receipt&)>;

    explicit VirtualPrinter(PrinterOptions options = {});
    ~VirtualPrinter();
    VirtualPrinter(const VirtualPrinter&) = delete;
    VirtualPrinter& operator=(const VirtualPrinter&) = delete;

    void Feed(const uint8_t* bytes, size_t n);
    void Feed(const std::string& bytes) {
        Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    // The connection or file ended: a command cut short is reported, the line
    // buffer is printed and the receipt in progress is finished.
    void EndOfStream();

    const std::vector<Receipt>& receipts() const { return receipts_; }
    const Receipt& current() const { return current_; }
    int width() const { return options_.width; }

    // Receives status bytes the printer sends back.
    void set_reply_sink(ReplySink sink) { reply_ = std::move(sink); }
    // Called with every finished receipt.
    void set_receipt_sink(ReceiptSink sink) { on_receipt_ = std::move(sink); }

    const Condition& condition() const { return condition_; }
    // Changes the simulated condition; with automatic status back enabled a
    // status block goes out when the change concerns an enabled group. Back
    // on line, the held commands are rendered (and their replies sent). Power
    // off drops what is held and ends the receipt in progress where it is;
    // power on starts with power-on settings and no error.
    void SetCondition(const Condition& c);
    uint8_t asb_mask() const;
    // Commands received but not rendered yet (printing stopped), and about
    // the bytes they came in.
    size_t held() const;
    size_t held_bytes() const;

    // Formatting state, for tests.
    const TextStyle& style() const;
    Align align() const;
    bool page_mode() const;

private:
    std::unique_ptr<PrinterCore> core_;
    PrinterOptions options_;
    Receipt current_;
    std::vector<Receipt> receipts_;
    Condition condition_;
    ReplySink reply_;
    ReceiptSink on_receipt_;
    friend struct PrinterCore;
};

}  // namespace kesto::vprinter
