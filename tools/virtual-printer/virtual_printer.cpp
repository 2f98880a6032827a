#include "virtual_printer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "printer_core.h"

namespace kesto::vprinter {

std::string Format(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

std::string Quote(const std::vector<uint8_t>& bytes, size_t max) {
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

VirtualPrinter::VirtualPrinter(PrinterOptions options) : options_(options) {
    options_.width = std::clamp(options_.width, 8, 4096);
    core_ = std::make_unique<PrinterCore>(*this);
}

VirtualPrinter::~VirtualPrinter() = default;

void VirtualPrinter::Feed(const uint8_t* bytes, size_t n) {
    if (condition_.power_off) return;  // switched off: nothing is received
    core_->parser.Feed(bytes, n);
}

void VirtualPrinter::EndOfStream() {
    core_->EndOfStream();
}

uint8_t VirtualPrinter::asb_mask() const {
    return core_->asb;
}
const TextStyle& VirtualPrinter::style() const {
    return core_->st.style;
}
Align VirtualPrinter::align() const {
    return core_->st.align;
}
bool VirtualPrinter::page_mode() const {
    return core_->page_mode;
}

}  // namespace kesto::vprinter
