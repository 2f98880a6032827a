#pragma once

// Byte builders of the parameterised formatting commands. Pure functions, so
// the exact bytes can be checked without a printer; the exported members in
// formatting_commands.cpp send what these return in one write.

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>

namespace kesto::escpos {

// One parameterised command: at most 10 bytes.
struct CommandBytes {
    std::array<char, 10> bytes{};
    int length = 0;

    std::string str() const { return std::string(bytes.data(), static_cast<size_t>(length)); }
};

// The low 8 bits of a parameter: the value modulo 256, negative values included.
constexpr char LowByte(int value) {
    return static_cast<char>(static_cast<unsigned int>(value) & 0xFFu);
}

// The fixed bytes followed by the low byte of each parameter, in order.
// Longer input than a command can hold is cut at 10 bytes.
CommandBytes BuildCommand(std::initializer_list<unsigned char> fixed, std::initializer_list<int> params);

CommandBytes SelectPageBytes(int p1);         // ESC t p1
CommandBytes SetLeftMarginBytes(int margin);  // GS L low high
CommandBytes SelectCharSizeBytes(int p1);     // GS ! p1
CommandBytes SetPrintDirectionBytes(int p1);  // ESC T p1
CommandBytes SetBarcodeWidthBytes(int p1);    // GS w p1
CommandBytes SetPrintRangeBytes(int p1, int p2, int p3, int p4, int p5, int p6, int p7, int p8);  // ESC W
CommandBytes SetMotionUnitsBytes(int p1, int p2);         // GS P p1 p2
CommandBytes SetPrintingPositionBytes(int p1);            // GS H p1
CommandBytes SetRightsideCharSpacingBytes(int p1);        // ESC SP p1
CommandBytes SetAbsolutePositionBytes(int p1, int p2);    // ESC $ p1 p2
CommandBytes SetLineSpacingBytes(int p1);                 // ESC 3 p1
CommandBytes SetHorizontalTabSpaceBytes(int p1, int p2);  // ESC D p1 p2
CommandBytes PrintAndFeedPaperBytes(int p1);              // ESC J p1
CommandBytes SetStartPrintPositionBytes(int p1, int p2);  // ESC \ p1 p2
CommandBytes PrintAndFeedLinesBytes(int p1);              // ESC d p1

}  // namespace kesto::escpos
