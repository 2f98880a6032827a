// GS ( k: QR code and PDF417 settings, stored data and printing.
//   GS ( k pL pH cn fn parameters...   (cn 0x31 QR code, 0x30 PDF417)
#include <algorithm>
#include <cstddef>

#include "printer_core.h"
#include "symbols.h"

namespace kesto::vprinter {
namespace {

constexpr char kQr[] = "QR code";
constexpr char kPdf[] = "PDF417";

// Parameter `i` after cn and fn, or -1 when the command is shorter.
int Param(const Command& c, size_t i) {
    return i + 2 < c.data.size() ? c.data[i + 2] : -1;
}

bool Between(int n, int lo, int hi) {
    return n >= lo && n <= hi;
}

// fn 0x50: the data after cn, fn and m.
void Store(PrinterCore& p, StoredSymbol& symbol, const char* name, const Command& c) {
    symbol.data.assign(c.data.begin() + std::min<std::ptrdiff_t>(3, static_cast<std::ptrdiff_t>(c.data.size())), c.data.end());
    symbol.stored = true;
    p.Say(std::string("GS ( k: ") + name + " data stored, " + std::to_string(symbol.data.size()) + " bytes " +
          Quote(symbol.data, 60));
}

std::string Refused(const char* name, const std::string& why) {
    return std::string("GS ( k: print ") + name + " refused: " + why + "; nothing printed";
}

bool HasData(PrinterCore& p, const StoredSymbol& symbol, const char* name) {
    if (!symbol.stored) p.Say(Refused(name, "no data stored"));
    return symbol.stored;
}

// Prints the symbol's modules at `sx` x `sy` dots each; says why when not.
bool PrintSymbol(PrinterCore& p, const char* name, const Symbol& s, int sx, int sy) {
    if (!s.ok) {
        p.Say(Refused(name, s.reason));
        return false;
    }
    if (!p.PlacePicture(s.modules.Scaled(sx, sy), name, s.text, true)) {
        p.Say(Refused(name, "wider than the printing area"));
        return false;
    }
    return true;
}

void QrModel(PrinterCore& p, const Command& c) {
    int& model = p.st.qr_model;
    if (Between(Param(c, 0), 49, 51)) model = Param(c, 0) - 48;
    p.Say(Format("GS ( k: QR code model %d%s", model, model != 2 ? " (drawn as model 2)" : ""));
}

void QrModuleSize(PrinterCore& p, const Command& c) {
    if (Between(Param(c, 0), 1, 16)) p.st.qr_module = Param(c, 0);
    p.Say(Format("GS ( k: QR code module size %d dots", p.st.qr_module));
}

void QrErrorCorrection(PrinterCore& p, const Command& c) {
    if (Between(Param(c, 0), 48, 51)) p.st.qr_ecc = Param(c, 0) - 48;
    p.Say(Format("GS ( k: QR code error correction level %c", "LMQH"[p.st.qr_ecc]));
}

void QrStore(PrinterCore& p, const Command& c) {
    Store(p, p.qr, kQr, c);
}

void QrPrint(PrinterCore& p, const Command&) {
    if (!HasData(p, p.qr, kQr)) return;
    Symbol s = MakeQrCode(p.qr.data, p.st.qr_ecc);
    int m = p.st.qr_module;
    if (!PrintSymbol(p, kQr, s, m, m)) return;
    p.Say(Format("GS ( k: QR code printed, %d x %d modules of %d dots", s.modules.width(), s.modules.height(),
                 m));
}

void PdfColumns(PrinterCore& p, const Command& c) {
    int& columns = p.st.pdf_columns;
    if (Between(Param(c, 0), 0, 30)) columns = Param(c, 0);
    p.Say(Format("GS ( k: PDF417 columns %d%s", columns, columns ? "" : " (automatic)"));
}

void PdfRows(PrinterCore& p, const Command& c) {
    int& rows = p.st.pdf_rows;
    if (Param(c, 0) == 0 || Between(Param(c, 0), 3, 90)) rows = Param(c, 0);
    p.Say(Format("GS ( k: PDF417 rows %d%s", rows, rows ? "" : " (automatic)"));
}

void PdfModuleWidth(PrinterCore& p, const Command& c) {
    if (Between(Param(c, 0), 2, 8)) p.st.pdf_module = Param(c, 0);
    p.Say(Format("GS ( k: PDF417 module width %d dots", p.st.pdf_module));
}

void PdfRowHeight(PrinterCore& p, const Command& c) {
    if (Between(Param(c, 0), 2, 8)) p.st.pdf_row_height = Param(c, 0);
    p.Say(Format("GS ( k: PDF417 row height %d x module width", p.st.pdf_row_height));
}

void PdfErrorCorrection(PrinterCore& p, const Command& c) {
    if (Param(c, 0) == 48 && Between(Param(c, 1), 48, 56)) {
        p.st.pdf_ecc = Param(c, 1) - 48;
        p.Say(Format("GS ( k: PDF417 error correction level %d", p.st.pdf_ecc));
    } else {
        p.st.pdf_ecc = -1;
        p.Say("GS ( k: PDF417 error correction by ratio (automatic level)");
    }
}

void PdfOptions(PrinterCore& p, const Command& c) {
    p.st.pdf_truncated = Param(c, 0) == 1;
    p.Say(p.st.pdf_truncated ? "GS ( k: PDF417 truncated" : "GS ( k: PDF417 standard");
}

void PdfStore(PrinterCore& p, const Command& c) {
    Store(p, p.pdf, kPdf, c);
}

void PdfPrint(PrinterCore& p, const Command&) {
    if (!HasData(p, p.pdf, kPdf)) return;
    const Settings& st = p.st;
    Symbol s = MakePdf417(p.pdf.data, st.pdf_columns, st.pdf_rows, st.pdf_ecc, st.pdf_truncated);
    if (!PrintSymbol(p, kPdf, s, st.pdf_module, st.pdf_module * st.pdf_row_height)) return;
    p.Say(Format("GS ( k: PDF417 printed, %d rows of %d modules", s.modules.height(), s.modules.width()));
}

// Keyed by fn.
const CommandHandler kQrFunctions[] = {
    {0x41, QrModel}, {0x43, QrModuleSize}, {0x45, QrErrorCorrection}, {0x50, QrStore}, {0x51, QrPrint},
};
const CommandHandler kPdfFunctions[] = {
    {0x41, PdfColumns},         {0x42, PdfRows},    {0x43, PdfModuleWidth}, {0x44, PdfRowHeight},
    {0x45, PdfErrorCorrection}, {0x46, PdfOptions}, {0x50, PdfStore},       {0x51, PdfPrint},
};

}  // namespace

void ApplyTwoDimensional(PrinterCore& p, const Command& c) {
    if (c.data.size() < 2) {
        p.Say("GS ( k: too short, ignored");
        return;
    }
    uint8_t cn = c.data[0], fn = c.data[1];
    if (cn == 0x31) {
        if (!Dispatch(kQrFunctions, fn, p, c))
            p.Say(Format("GS ( k: QR code function 0x%02X not supported, ignored", fn));
        return;
    }
    if (cn == 0x30) {
        if (!Dispatch(kPdfFunctions, fn, p, c))
            p.Say(Format("GS ( k: PDF417 function 0x%02X not supported, ignored", fn));
        return;
    }
    p.Say(Format("GS ( k: symbol type 0x%02X not supported, ignored", cn));
}

}  // namespace kesto::vprinter
