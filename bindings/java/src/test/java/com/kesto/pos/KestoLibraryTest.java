package com.kesto.pos;

import static org.junit.jupiter.api.Assertions.assertEquals;

import com.sun.jna.NativeLibrary;
import java.lang.reflect.Method;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Map;
import java.util.TreeMap;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Test;

class KestoLibraryTest {
    private static String header() throws Exception {
        return Files.readString(Path.of(System.getProperty("kesto.header")));
    }

    /** Every constant of the header whose name starts with prefix, by the rest of its name. */
    private static Map<String, Integer> constants(String prefix) throws Exception {
        Map<String, Integer> found = new TreeMap<>();
        Matcher m = Pattern.compile("\\b" + prefix + "(\\w+) = (0x[0-9A-Fa-f]+|\\d+)").matcher(header());
        while (m.find()) found.put(m.group(1), Integer.decode(m.group(2)));
        return found;
    }

    @Test
    void statusCodesAndBarcodeTypesAreTheHeadersOwnAndEveryExportIsDeclaredWithItsParameters() throws Exception {
        Map<String, Integer> statuses = new TreeMap<>();
        Map<String, Integer> types = new TreeMap<>();
        for (PrinterStatus s : PrinterStatus.values()) statuses.put(s.name(), s.code());
        for (BarcodeType t : BarcodeType.values()) types.put(t.name().replace("_", ""), t.code());
        assertEquals(constants("KESTO_STATUS_"), statuses);
        assertEquals(constants("BARCODE_TYPE_"), types);
        Map<String, Integer> codes = new TreeMap<>();
        for (java.lang.reflect.Field f : KestoPrinter.class.getFields())
            if (f.getName().startsWith("CODES_")) codes.put(f.getName().substring(6), f.getInt(null));
        assertEquals(constants("KESTO_CODES_"), codes);

        // Function pointer parameters lose their own parentheses: "int (*f)(int)" becomes "int fn".
        String header = header().replaceAll("\\(\\s*\\*\\s*\\w*\\s*\\)\\s*\\([^)]*\\)", "fn");
        Map<String, Integer> exported = new TreeMap<>();
        Matcher m = Pattern.compile("(?m)^KESTO_API\\s+[\\w\\s*]*?\\b(\\w+)\\s*\\(([^)]*)\\)").matcher(header);
        while (m.find()) {
            String params = m.group(2).trim(); // "()" and "(void)" take none, "..." is one
            exported.put(m.group(1), params.isEmpty() || params.equals("void") ? 0 : params.split(",").length);
        }
        exported.remove("replaceinString"); // C++, not reachable by name
        Map<String, Integer> declared = new TreeMap<>();
        NativeLibrary library = NativeLibrary.getInstance("KESTOCommu");
        for (Method method : KestoLibrary.class.getDeclaredMethods()) {
            declared.put(method.getName(), method.getParameterCount());
            library.getFunction(method.getName()); // UnsatisfiedLinkError when not exported
        }
        assertEquals(exported, declared);
    }
}
