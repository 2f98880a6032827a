// KESTO_PrintBarcode: the barcode init run, then the symbology's commands.
#include "escpos/barcode.h"

#include "escpos/command_bytes.h"
#include "escpos/command_table.h"
#include "escpos/init_sequences.h"
#include "kesto/kesto.h"
#include "platform/debug_log.h"
#include "platform/process_state.h"
#include "printer/device_handle.h"

namespace kesto {

std::string LengthPrefixedBarcodeHeader(int symbology, int length) {
    return Bytes({0x1D, 0x6B, symbology, length});
}

std::string SymbolStoreHeader(int cn, int length) {
    const int count = length + 3;  // cn, function 50, the byte 30, then the data
    return Bytes({0x1D, 0x28, 0x6B, LowByte(count), HighByte(count), cn, 0x50, 0x30});
}

}  // namespace kesto

namespace {

using kesto::ByteView;
using kesto::Send;

const CommandSequence kCodabarType = {"\x1D\x6B\x06", 3};
const CommandSequence kTerminator = {"\x00", 1};

// Types ended by a NUL byte: the type bytes, the data, the terminator.
void SendTerminated(Communication& comm, const char* name, const CommandSequence& type, ByteView data) {
    DebugPrint("Barcode Type :: %s\n", name);
    Send(comm, type);
    Send(comm, data);
    Send(comm, kTerminator);
}

// Types whose header carries the data length: the header, then the data.
void SendLengthPrefixed(Communication& comm, const char* name, int symbology, ByteView data) {
    DebugPrint("Barcode Type :: %s\n", name);
    Send(comm, kesto::LengthPrefixedBarcodeHeader(symbology, static_cast<int>(data.size())));
    Send(comm, data);
}

void SendQrCode(Communication& comm, ByteView data) {
    DebugPrint("Barcode Type :: BARCODE_TYPE_QRCODE\n");
    for (const CommandSequence* setting :
         {&QRcode_Model_Select[0], &QRcode_Size[0], &QRcode_Error_Level[0]}) {
        Send(comm, *setting);
    }
    Send(comm, kesto::SymbolStoreHeader(0x31, static_cast<int>(data.size())));
    Send(comm, data);
    Send(comm, QRcode_Print[0]);
}

void SendPdf417(Communication& comm, ByteView data) {
    DebugPrint("Barcode Type :: BARCODE_TYPE_PDF417");
    for (const CommandSequence* setting : {&PDF417_Col_Nos[0], &PDF417_Row_Nos[0], &PDF417_Width[0],
                                           &PDF417_Height[0], &PDF417_Error_Level[0]}) {
        Send(comm, *setting);
    }
    Send(comm, kesto::SymbolStoreHeader(0x30, static_cast<int>(data.size())));
    Send(comm, data);
    Send(comm, PDF417_Print[0]);
}

// Refuses data whose length the command cannot describe, before anything is sent.
bool LengthFits(int type, int length) {
    int most = length;
    if (type == BARCODE_TYPE_CODE93 || type == BARCODE_TYPE_CODE128) most = kesto::kMaxLengthPrefixedBarcode;
    if (type == BARCODE_TYPE_QRCODE || type == BARCODE_TYPE_PDF417) most = kesto::kMaxStoredSymbolData;
    if (length <= most) return true;
    DebugPrint("Barcode Length %d is more than %d bytes: not sent\n", length, most);
    return false;
}

void SendSymbol(Communication& comm, int type, ByteView data) {
    switch (type) {
        case BARCODE_TYPE_UPCA:
            return SendTerminated(comm, "BARCODE_TYPE_UPCA", Barcode_UPCA[0], data);
        case BARCODE_TYPE_UPCE:
            return SendTerminated(comm, "BARCODE_TYPE_UPCE", Barcode_UPCE[0], data);
        case BARCODE_TYPE_EAN8:
            return SendTerminated(comm, "BARCODE_TYPE_EAN8", Barcode_EAN8[0], data);
        case BARCODE_TYPE_EAN13:
            return SendTerminated(comm, "BARCODE_TYPE_EAN13", Barcode_EAN13[0], data);
        case BARCODE_TYPE_ITF:
            return SendTerminated(comm, "BARCODE_TYPE_ITF", Barcode_ITF[0], data);
        case BARCODE_TYPE_CODABAR:
            return SendTerminated(comm, "BARCODE_TYPE_CODABAR", kCodabarType, data);
        case BARCODE_TYPE_CODE39:
            return SendTerminated(comm, "BARCODE_TYPE_CODE39", Barcode_CODE39[0], data);
        case BARCODE_TYPE_CODE93:
            return SendLengthPrefixed(comm, "BARCODE_TYPE_CODE93", 0x48, data);
        case BARCODE_TYPE_CODE128:
            return SendLengthPrefixed(comm, "BARCODE_TYPE_CODE128", 0x49, data);
        case BARCODE_TYPE_QRCODE:
            return SendQrCode(comm, data);
        case BARCODE_TYPE_PDF417:
            return SendPdf417(comm, data);
        default:
            DebugPrint("Barcode Type :: Unknown");
    }
}

}  // namespace

extern "C" KESTO_API int KESTO_PrintBarcode(void* handle, int type, const char* data, int length) {
    return kesto::WithPrinter(handle, [&](Communication& comm) {
        if (length < 0 || (data == nullptr && length > 0)) {
            DebugPrint("Barcode Length %d without data: not sent\n", length);
            return -1;
        }
        if (!LengthFits(type, length)) return -1;
        kesto::PrintInProgressScope printing;
        SendBarcodeInitCommand(&comm);
        // The data is logged as far as the caller handed it over, terminated or not.
        DebugPrint("Barcode Info %.*s\n :: Barcode Length", length, data != nullptr ? data : "");
        SendSymbol(comm, type, ByteView(data != nullptr ? data : "", static_cast<size_t>(length)));
        return 0;
    });
}
