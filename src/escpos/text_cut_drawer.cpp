// Text, paper cut and cash drawer, and the string utility exported beside them.

#include "escpos/text_cut_drawer.h"

#include <climits>
#include <cstring>
#include <string>

#include "escpos/command_bytes.h"
#include "escpos/command_table.h"
#include "escpos/init_sequences.h"
#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "platform/process_state.h"
#include "printer/device_handle.h"

namespace kesto {

std::string TextBlock(const char* text, size_t length) {
    std::string block(kTextHeaderLength + length, '\0');
    block[0] = '\x1B';
    block[1] = '\x40';
    block[2] = '\x1B';
    block[3] = '\x21';
    const size_t copied = ::strnlen(text, length);
    block.replace(kTextHeaderLength, copied, text, copied);
    return block;
}

}  // namespace kesto

namespace {

const CommandSequence kPartialCut = {"\x1B\x69", 2};
const CommandSequence kFeedAndPartialCut = {"\x1D\x56\x42\x03", 4};

// The host hands the text with its length, not always with a terminating
// zero: the log reads no further than the length says (nothing for 0 or less).
void LogText(const char* text, int length) {
    if (text == nullptr) {
        DebugPrint("KESTO_PrintText Text %s\n", "(null)");
    } else {
        DebugPrint("KESTO_PrintText Text %.*s\n", length > 0 ? length : 0, text);
    }
}

int PrintTextBlock(void* handle, const char* text, int length) {
    // A negative count or no text at all has nothing sound to send.
    if (text == nullptr || length < 0) return -1;
    // The block goes out in one Write, whose count is an int.
    if (static_cast<long long>(length) + static_cast<long long>(kesto::kTextHeaderLength) > INT_MAX)
        return -1;
    return kesto::WithPrinter(handle, [&](Communication& comm) {
        // Long texts are sent whole rather than cut at a buffer's end.
        const std::string block = kesto::TextBlock(text, static_cast<size_t>(length));
        kesto::PrintInProgressScope printing;
        kesto::Send(comm, Select_CharFontA[0]);
        const int written = kesto::Send(comm, block);
        kesto::Send(comm, kesto::Bytes({0x1B, 0x64, 0x01}));  // print and feed one line
        DebugPrint("KESTO_PrintText Command nBytesWritten %d\n", written);
        return written;
    });
}

// ESC p m t1 t2: m is 0x30 for connector pin 2, 0x31 for pin 5.
int OpenDrawer(void* handle, int pin, int onTime, int offTime) {
    return kesto::WithPrinter(handle, [&](Communication& comm) {
        return kesto::Send(comm, kesto::Bytes({0x1B, 0x70, pin, onTime, offTime}));
    });
}

}  // namespace

extern "C" {

KESTO_API int KESTO_PrintText(void* handle, const char* text, int length, bool /*flag*/) {
    return kesto::Guarded(-1, [&] {
        LogText(text, length);
        return PrintTextBlock(handle, text, length);
    });
}

KESTO_API int PrintText(void* handle, const char* text) {
    if (text == nullptr) return -1;
    return kesto::WithPrinter(handle, [&](Communication& comm) {
        const size_t length = std::strlen(text);
        if (length > static_cast<size_t>(INT_MAX)) return -1;
        return kesto::Send(comm, kesto::ByteView(text, length));
    });
}

KESTO_API int KESTO_CutPaper(void* handle) {
    return kesto::Guarded(-1, [&] {
        DebugPrint("KESTO_CutPaper  \n");
        return kesto::WithPrinter(handle, [&](Communication& comm) {
            kesto::PrintInProgressScope printing;
            SendInitCommand(&comm);
            const int written = kesto::Send(comm, kPartialCut);
            DebugPrint("KESTO_CutPaper nBytesWritten %d\n", written);
            return written;
        });
    });
}

KESTO_API int KESTO_FeedAndCutPaper(void* handle) {
    return kesto::Guarded(-1, [&] {
        DebugPrint("KESTO_FeedAndCutPaper  \n");
        return kesto::WithPrinter(handle, [&](Communication& comm) {
            kesto::PrintInProgressScope printing;
            const int written = kesto::Send(comm, kFeedAndPartialCut);
            DebugPrint("KESTO_FeedAndCutPaper nBytesWritten %d\n", written);
            return written;
        });
    });
}

KESTO_API int KESTO_OpenCashDrawerA(void* handle, int onTime, int offTime) {
    return kesto::Guarded(-1, [&] {
        DebugPrint("KESTO_OpenCashDrawerA  \n");
        return OpenDrawer(handle, 0x30, onTime, offTime);
    });
}

KESTO_API int KESTO_OpenCashDrawerB(void* handle, int onTime, int offTime) {
    return kesto::Guarded(-1, [&] {
        DebugPrint("KESTO_OpenCashDrawerB  \n");
        return OpenDrawer(handle, 0x31, onTime, offTime);
    });
}

}  // extern "C"

// The parameters are taken by value: hosts link against this exact signature.
// NOLINTBEGIN(performance-unnecessary-value-param)
// cppcheck-suppress passedByValue
std::string replaceinString(std::string text, std::string what, std::string with) {
    // NOLINTEND(performance-unnecessary-value-param)
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
