// KESTO_PrintBarcode: the barcode init run, then the symbology's commands.
#include "escpos/barcode.h"

#include "api/device_handle.h"
#include "escpos/command_table.h"
#include "escpos/init_sequences.h"
#include "escpos/text_cut_drawer.h"
#include "kesto/kesto.h"

namespace kesto {

std::array<unsigned char, 4> LengthPrefixedBarcodeHeader(unsigned char symbology, int length) {
    return {0x1D, 0x6B, symbology, static_cast<unsigned char>(length & 0xFF)};
}

std::array<unsigned char, 8> SymbolStoreHeader(unsigned char cn, int length) {
    const int count = length + 3;  // cn, function 50, the byte 30, then the data
    return {0x1D,
            0x28,
            0x6B,
            static_cast<unsigned char>(count & 0xFF),
            static_cast<unsigned char>((count >> 8) & 0xFF),
            cn,
            0x50,
            0x30};
}

}  // namespace kesto

namespace {

const unsigned char kCodabarType[3] = {0x1D, 0x6B, 0x06};
const char kTerminator = 0x00;

void Send(Communication* comm, const CommandSequence& command) {
    kesto::WriteCommand(comm, command);
}

template <size_t N>
void Send(Communication* comm, const std::array<unsigned char, N>& bytes) {
    comm->Write(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(N), 0);
}

// Types ended by a NUL byte: the type bytes, the data, the terminator.
void SendTerminated(Communication* comm, const char* name, const unsigned char* type, const char* data,
                    int length) {
    DebugPrint("Barcode Type :: %s\n", name);
    comm->Write(reinterpret_cast<const char*>(type), 3, 0);
    comm->Write(data, length, 0);
    comm->Write(&kTerminator, 1, 0);
}

const unsigned char* TypeBytes(const CommandSequence* table) {
    return reinterpret_cast<const unsigned char*>(table[0].data);
}

// Refuses data whose length the command cannot describe, before anything is sent.
bool LengthFits(int type, int length) {
    if (type == BARCODE_TYPE_CODE93 || type == BARCODE_TYPE_CODE128) {
        if (length > kesto::kMaxLengthPrefixedBarcode) {
            DebugPrint("Barcode Length %d is more than %d bytes: not sent\n", length,
                       kesto::kMaxLengthPrefixedBarcode);
            return false;
        }
    } else if (type == BARCODE_TYPE_QRCODE || type == BARCODE_TYPE_PDF417) {
        if (length > kesto::kMaxStoredSymbolData) {
            DebugPrint("Barcode Length %d is more than %d bytes: not sent\n", length,
                       kesto::kMaxStoredSymbolData);
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" KESTO_API int KESTO_PrintBarcode(void* handle, int type, const char* data, int length) {
    try {
        Communication* comm = GetCommPtr(handle);
        if (comm == nullptr) return -1;
        if (length < 0 || (data == nullptr && length > 0)) {
            DebugPrint("Barcode Length %d without data: not sent\n", length);
            return -1;
        }
        if (!LengthFits(type, length)) return -1;

        const auto code93 = kesto::LengthPrefixedBarcodeHeader(0x48, length);
        const auto code128 = kesto::LengthPrefixedBarcodeHeader(0x49, length);
        const auto qrStore = kesto::SymbolStoreHeader(0x31, length);
        const auto pdfStore = kesto::SymbolStoreHeader(0x30, length);

        kesto::escpos::PrintInProgressScope printing;
        SendBarcodeInitCommand(comm);
        // The data is logged as far as the caller handed it over, terminated or not.
        DebugPrint("Barcode Info %.*s\n :: Barcode Length", length, data != nullptr ? data : "");

        switch (type) {
            case BARCODE_TYPE_UPCA:
                SendTerminated(comm, "BARCODE_TYPE_UPCA", TypeBytes(Barcode_UPCA), data, length);
                break;
            case BARCODE_TYPE_UPCE:
                SendTerminated(comm, "BARCODE_TYPE_UPCE", TypeBytes(Barcode_UPCE), data, length);
                break;
            case BARCODE_TYPE_EAN8:
                SendTerminated(comm, "BARCODE_TYPE_EAN8", TypeBytes(Barcode_EAN8), data, length);
                break;
            case BARCODE_TYPE_EAN13:
                SendTerminated(comm, "BARCODE_TYPE_EAN13", TypeBytes(Barcode_EAN13), data, length);
                break;
            case BARCODE_TYPE_ITF:
                SendTerminated(comm, "BARCODE_TYPE_ITF", TypeBytes(Barcode_ITF), data, length);
                break;
            case BARCODE_TYPE_CODABAR:
                SendTerminated(comm, "BARCODE_TYPE_CODABAR", kCodabarType, data, length);
                break;
            case BARCODE_TYPE_CODE39:
                SendTerminated(comm, "BARCODE_TYPE_CODE39", TypeBytes(Barcode_CODE39), data, length);
                break;
            case BARCODE_TYPE_CODE93:
                DebugPrint("Barcode Type :: BARCODE_TYPE_CODE93\n");
                Send(comm, code93);
                comm->Write(data, length, 0);
                break;
            case BARCODE_TYPE_CODE128:
                DebugPrint("Barcode Type :: BARCODE_TYPE_CODE128\n");
                Send(comm, code128);
                comm->Write(data, length, 0);
                break;
            case BARCODE_TYPE_QRCODE:
                DebugPrint("Barcode Type :: BARCODE_TYPE_QRCODE\n");
                Send(comm, QRcode_Model_Select[0]);
                Send(comm, QRcode_Size[0]);
                Send(comm, QRcode_Error_Level[0]);
                Send(comm, qrStore);
                comm->Write(data, length, 0);
                Send(comm, QRcode_Print[0]);
                break;
            case BARCODE_TYPE_PDF417:
                DebugPrint("Barcode Type :: BARCODE_TYPE_PDF417");
                Send(comm, PDF417_Col_Nos[0]);
                Send(comm, PDF417_Row_Nos[0]);
                Send(comm, PDF417_Width[0]);
                Send(comm, PDF417_Height[0]);
                Send(comm, PDF417_Error_Level[0]);
                Send(comm, pdfStore);
                comm->Write(data, length, 0);
                Send(comm, PDF417_Print[0]);
                break;
            default:
                DebugPrint("Barcode Type :: Unknown");
                break;
        }
        return 0;
    } catch (...) {
        return -1;
    }
}
