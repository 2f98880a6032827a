// UTF-8 text through the printer's own list of code tables.

#include <climits>
#include <string>
#include <vector>

#include "escpos/command_bytes.h"
#include "escpos/utf8_text.h"
#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "platform/process_state.h"
#include "printer/device_handle.h"
#include "printer/printer.h"

extern "C" {

KESTO_API int KESTO_PrintTextUtf8(void* handle, const char* text, int length) {
    return kesto::Guarded(-1, [&] {
        DebugPrint("KESTO_PrintTextUtf8 Text %.*s\n", text != nullptr && length > 0 ? length : 0,
                   text != nullptr ? text : "");
        if (text == nullptr || length < 0 || handle == nullptr) return -1;
        std::vector<int> list = static_cast<Printer*>(handle)->GetCodeTables();
        kesto::TextEncoder encoder(list.empty() ? kesto::DefaultCodeTables() : list);
        const std::string bytes = encoder.Encode(std::string_view(text, static_cast<size_t>(length)));
        if (bytes.size() > static_cast<size_t>(INT_MAX)) return -1;
        return kesto::WithPrinter(handle, [&](Communication& comm) {
            kesto::PrintInProgressScope printing;
            const int written = kesto::Send(comm, bytes);
            DebugPrint("KESTO_PrintTextUtf8 nBytesWritten %d\n", written);
            return written;
        });
    });
}

KESTO_API int KESTO_SetCodeTables(void* handle, const int* tables, int count) {
    return kesto::Guarded(-1, [&] {
        DebugPrint("KESTO_SetCodeTables count %d\n", count);
        if (handle == nullptr || count < 0 || (tables == nullptr && count > 0)) return -1;
        std::vector<int> list(tables, tables + count);
        for (int entry : list)
            if (!kesto::IsCodeTableEntry(entry)) return -1;
        static_cast<Printer*>(handle)->SetCodeTables(std::move(list));
        return 1;
    });
}

}  // extern "C"
