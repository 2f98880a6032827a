package com.kesto.pos.upos;

import static com.kesto.pos.upos.UposConst.*;

import java.nio.charset.StandardCharsets;
import java.util.Map;
import java.util.regex.Pattern;

/**
 * The ESC/POS commands of {@code printBarCode}: alignment, the human-readable text's position,
 * bar height and module width, then the symbol. The library's own barcode call begins with a
 * printer reset and fixed sizes, so the parameters UnifiedPOS gives could not reach the printer
 * through it.
 *
 * <p>UnifiedPOS gives the width of the whole symbol; the printer takes the width of one module.
 * The module width is the given width over the symbol's module count (estimated from the data),
 * within what the printer draws (2 to 6 dots for bars, 1 to 16 for QR code modules).
 */
final class BarcodeCommands {
    private BarcodeCommands() {}

    private record Linear(int gsK, Pattern data, String name) {}

    private static final int ESC = 0x1B;
    private static final int GS = 0x1D;

    // clang-format off: one symbology a row
    private static final Map<Integer, Linear> LINEAR =
        Map.of(PTR_BCS_UPCA, new Linear(65, Pattern.compile("\\d{11,12}"), "UPC-A"), PTR_BCS_UPCE,
            new Linear(66, Pattern.compile("\\d{6,8}|\\d{11,12}"), "UPC-E"), PTR_BCS_EAN13,
            new Linear(67, Pattern.compile("\\d{12,13}"), "EAN-13"), PTR_BCS_EAN8,
            new Linear(68, Pattern.compile("\\d{7,8}"), "EAN-8"), PTR_BCS_Code39,
            new Linear(69, Pattern.compile("[0-9A-Z $%*+\\-./]{1,255}"), "Code 39"), PTR_BCS_ITF,
            new Linear(70, Pattern.compile("(\\d\\d){1,127}"), "ITF"), PTR_BCS_Codabar,
            new Linear(71, Pattern.compile("[A-Da-d][0-9$+\\-./:]{0,253}[A-Da-d]"), "Codabar"),
            PTR_BCS_Code93, new Linear(72, Pattern.compile("[\\x00-\\x7F]{1,255}"), "Code 93"),
            PTR_BCS_Code128, new Linear(73, Pattern.compile("[\\x00-\\x7F]{1,253}"), "Code 128"));
    // clang-format on

    // Bytes a QR code of versions 1 to 20 holds at error correction level M.
    private static final int[] QR_CAPACITY_M = {
        14, 26, 42, 62, 84, 106, 122, 152, 180, 213, 251, 287, 331, 362, 412, 450, 504, 560, 624, 666};

    /** Appends the barcode's commands; refuses what this printer cannot print. */
    static void append(Job.Builder job, String data, int symbology, int height, int width, int alignment,
        int textPosition, int paperWidth) throws UposException {
        if (data == null || data.isEmpty())
            throw illegal("no barcode data");
        if (height < 1 || width < 1)
            throw illegal("barcode height and width must be positive, not " + height + " and " + width);
        if (alignment < PTR_BC_RIGHT || alignment >= paperWidth)
            throw illegal("barcode alignment " + alignment + " is neither a constant nor a dot on the paper");
        int hri = textPosition == PTR_BC_TEXT_NONE ? 0
            : textPosition == PTR_BC_TEXT_ABOVE    ? 1
            : textPosition == PTR_BC_TEXT_BELOW    ? 2
                                                   : -1;
        if (hri < 0)
            throw illegal("barcode text position " + textPosition + " is none of PTR_BC_TEXT_*");
        Linear linear = LINEAR.get(symbology);
        if (linear == null && symbology != PTR_BCS_QRCODE && symbology != PTR_BCS_PDF417)
            throw illegal("symbology " + symbology + " is not one this printer prints");
        if (linear != null && !linear.data.matcher(data).matches())
            throw illegal(linear.name + " cannot hold \"" + data + "\"");

        job.bytes(ESC, 'a', alignment == PTR_BC_CENTER ? 1 : alignment == PTR_BC_RIGHT ? 2 : 0);
        if (alignment >= 0)
            job.bytes(ESC, '$', alignment & 0xFF, alignment >> 8);
        if (linear != null) {
            byte[] bytes =
                (symbology == PTR_BCS_Code128 ? code128(data) : data).getBytes(StandardCharsets.US_ASCII);
            int module = clamp(width / modules(symbology, bytes.length), 2, 6);
            job.bytes(GS, 'H', hri).bytes(GS, 'h', Math.min(height, 255)).bytes(GS, 'w', module);
            job.bytes(GS, 'k', linear.gsK, bytes.length).bytes(bytes);
        } else {
            byte[] bytes = data.getBytes(StandardCharsets.UTF_8);
            if (symbology == PTR_BCS_QRCODE)
                qrCode(job, bytes, width);
            else
                pdf417(job, bytes, width);
        }
        if (alignment != PTR_BC_LEFT && alignment != 0)
            job.bytes(ESC, 'a', 0);
    }

    // Plain data is code set B; a literal '{' is written twice, as the command reads it.
    private static String code128(String data) {
        return data.matches("\\{[ABC].*") ? data : "{B" + data.replace("{", "{{");
    }

    // About how many modules wide the symbol of `length` data bytes is.
    private static int modules(int symbology, int length) {
        switch (symbology) {
            case PTR_BCS_UPCA:
            case PTR_BCS_EAN13:
                return 95;
            case PTR_BCS_EAN8:
                return 67;
            case PTR_BCS_UPCE:
                return 51;
            case PTR_BCS_Code39:
                return (length + 2) * 16; // 3 wide and 6 narrow bars at 3:1, and the gap
            case PTR_BCS_ITF:
                return length * 9 + 9;
            case PTR_BCS_Codabar:
                return length * 14;
            case PTR_BCS_Code93:
                return (length + 4) * 9 + 1;
            default:
                return (length + 1) * 11 + 2; // Code 128: the data after "{B", check and stop
        }
    }

    private static void qrCode(Job.Builder job, byte[] data, int width) throws UposException {
        if (data.length > 7089)
            throw illegal("a QR code holds at most 7,089 bytes, not " + data.length);
        int modules = 177; // version 40, for data beyond the table
        for (int v = QR_CAPACITY_M.length; v >= 1; v--) {
            if (data.length <= QR_CAPACITY_M[v - 1])
                modules = 17 + 4 * v;
        }
        int module = clamp(width / modules, 1, 16);
        symbol(job, 49, 65, 50, 0); // model 2
        symbol(job, 49, 67, module);
        symbol(job, 49, 69, 49); // error correction level M
        store(job, 49, data);
        symbol(job, 49, 81, 48);
    }

    // PDF417 lets the printer choose columns and rows; the module width follows the given width
    // for a symbol of about a hundred modules a row.
    private static void pdf417(Job.Builder job, byte[] data, int width) throws UposException {
        if (data.length > 65532)
            throw illegal("PDF417 data over 65,532 bytes");
        symbol(job, 48, 65, 0);
        symbol(job, 48, 66, 0);
        symbol(job, 48, 67, clamp(width / 100, 2, 8));
        symbol(job, 48, 68, 3);
        symbol(job, 48, 69, 48, 49); // error correction level 1
        store(job, 48, data);
        symbol(job, 48, 81, 48);
    }

    // GS ( k pL pH cn fn parameters.
    private static void symbol(Job.Builder job, int cn, int fn, int... parameters) {
        int length = parameters.length + 2;
        job.bytes(GS, '(', 'k', length & 0xFF, length >> 8, cn, fn).bytes(parameters);
    }

    private static void store(Job.Builder job, int cn, byte[] data) {
        int length = data.length + 3;
        job.bytes(GS, '(', 'k', length & 0xFF, length >> 8, cn, 80, 48).bytes(data);
    }

    private static int clamp(int value, int low, int high) { return Math.max(low, Math.min(high, value)); }

    private static UposException illegal(String message) {
        return new UposException(JPOS_E_ILLEGAL, message);
    }
}
