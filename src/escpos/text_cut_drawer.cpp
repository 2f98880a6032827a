// Text, paper cut and cash drawer, and the string utility exported beside them.

#include "escpos/text_cut_drawer.h"

#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "api/device_handle.h"
#include "escpos/formatting_commands.h"
#include "escpos/init_sequences.h"
#include "kesto/kesto.h"
#include "transport/communication.h"

namespace kesto::escpos {

size_t BuildTextBlock(const char* text, size_t length, char* block) {
    static const char kHeader[kTextHeaderLength] = {'\x1B', '\x40', '\x1B', '\x21', '\x00', 0, 0, 0};
    std::memcpy(block, kHeader, kTextHeaderLength);
    std::strncpy(block + kTextHeaderLength, text, length);
    return kTextHeaderLength + length;
}

void BuildDrawerPulse(unsigned char pin, int onTime, int offTime, char* out) {
    out[0] = '\x1B';
    out[1] = '\x70';
    out[2] = static_cast<char>(pin);
    out[3] = LowByte(onTime);
    out[4] = LowByte(offTime);
}

PrintInProgressScope::PrintInProgressScope() {
    g_bPrintInProgress.store(true);
}
PrintInProgressScope::~PrintInProgressScope() {
    g_bPrintInProgress.store(false);
}

}  // namespace kesto::escpos

namespace {

using kesto::escpos::kTextBlockBuffer;
using kesto::escpos::kTextHeaderLength;
using kesto::escpos::PrintInProgressScope;

const char kSelectFontA[] = {'\x1B', '\x4D', '\x00'};
const char kPrintAndFeedLine[] = {'\x1B', '\x64', '\x01'};
const char kPartialCut[] = {'\x1B', '\x69'};
const char kFeedAndPartialCut[] = {'\x1D', '\x56', '\x42', '\x03'};

int PrintTextBlock(void* handle, const char* text, int length) {
    // A negative count or no text at all has nothing sound to send.
    if (text == nullptr || length < 0) return -1;
    // The block goes out in one Write, whose count is an int.
    if (static_cast<long long>(length) + static_cast<long long>(kTextHeaderLength) > INT_MAX) return -1;

    char local[kTextBlockBuffer];
    std::unique_ptr<char[]> large;
    char* block = local;
    const size_t blockLength = kTextHeaderLength + static_cast<size_t>(length);
    Communication* comm = GetCommPtr(handle);
    if (comm == nullptr) return -1;
    if (blockLength > sizeof local) {
        // Long texts are sent whole rather than cut at the buffer's end.
        large.reset(new (std::nothrow) char[blockLength]);
        if (!large) return -1;
        block = large.get();
    }

    PrintInProgressScope printing;
    kesto::escpos::BuildTextBlock(text, static_cast<size_t>(length), block);
    comm->Write(kSelectFontA, sizeof kSelectFontA, 0);
    const int written = comm->Write(block, static_cast<int>(blockLength), 0);
    comm->Write(kPrintAndFeedLine, sizeof kPrintAndFeedLine, 0);
    DebugPrint("KESTO_PrintText Command nBytesWritten %d\n", written);
    return written;
}

int OpenDrawer(void* handle, unsigned char pin, int onTime, int offTime) {
    Communication* comm = GetCommPtr(handle);
    if (comm == nullptr) return -1;
    char pulse[5];
    kesto::escpos::BuildDrawerPulse(pin, onTime, offTime, pulse);
    return comm->Write(pulse, sizeof pulse, 0);
}

}  // namespace

extern "C" {

KESTO_API int KESTO_PrintText(void* handle, const char* text, int length, bool /*flag*/) {
    try {
        // The host hands the text with its length, not always with a terminating
        // zero: the log reads no further than the block does.
        if (text != nullptr && length > 0) {
            DebugPrint("KESTO_PrintText Text %.*s\n", length, text);
        } else {
            DebugPrint("KESTO_PrintText Text %s\n", text != nullptr ? text : "(null)");
        }
        return PrintTextBlock(handle, text, length);
    } catch (...) {
        return -1;
    }
}

KESTO_API int PrintText(void* handle, const char* text) {
    try {
        if (text == nullptr) return -1;
        Communication* comm = GetCommPtr(handle);
        if (comm == nullptr) return -1;
        const size_t length = std::strlen(text);
        if (length > static_cast<size_t>(INT_MAX)) return -1;
        return comm->Write(text, static_cast<int>(length), 0);
    } catch (...) {
        return -1;
    }
}

KESTO_API int KESTO_CutPaper(void* handle) {
    try {
        DebugPrint("KESTO_CutPaper  \n");
        Communication* comm = GetCommPtr(handle);
        if (comm == nullptr) return -1;
        PrintInProgressScope printing;
        SendInitCommand(comm);
        const int written = comm->Write(kPartialCut, sizeof kPartialCut, 0);
        DebugPrint("KESTO_CutPaper nBytesWritten %d\n", written);
        return written;
    } catch (...) {
        return -1;
    }
}

KESTO_API int KESTO_FeedAndCutPaper(void* handle) {
    try {
        DebugPrint("KESTO_FeedAndCutPaper  \n");
        Communication* comm = GetCommPtr(handle);
        if (comm == nullptr) return -1;
        PrintInProgressScope printing;
        const int written = comm->Write(kFeedAndPartialCut, sizeof kFeedAndPartialCut, 0);
        DebugPrint("KESTO_FeedAndCutPaper nBytesWritten %d\n", written);
        return written;
    } catch (...) {
        return -1;
    }
}

KESTO_API int KESTO_OpenCashDrawerA(void* handle, int onTime, int offTime) {
    try {
        DebugPrint("KESTO_OpenCashDrawerA  \n");
        return OpenDrawer(handle, 0x30, onTime, offTime);
    } catch (...) {
        return -1;
    }
}

KESTO_API int KESTO_OpenCashDrawerB(void* handle, int onTime, int offTime) {
    try {
        DebugPrint("KESTO_OpenCashDrawerB  \n");
        return OpenDrawer(handle, 0x31, onTime, offTime);
    } catch (...) {
        return -1;
    }
}

}  // extern "C"

std::string replaceinString(std::string text, std::string what, std::string with) {
    // An empty pattern matches everywhere and would never let the scan end.
    if (what.empty()) return text;
    try {
        std::string result = text;
        size_t at = result.find(what);
        while (at != std::string::npos) {
            // Only the first character of the occurrence gives way to `with`.
            result.replace(at, 1, with);
            // Resume behind the inserted text, so a `with` holding `what` ends too.
            at = result.find(what, at + with.size());
        }
        return result;
    } catch (...) {
        // Out of memory: the text as it came, rather than an exception in the host.
        return text;
    }
}
