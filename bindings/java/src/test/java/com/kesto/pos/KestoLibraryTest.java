package com.kesto.pos;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.sun.jna.NativeLibrary;
import java.lang.reflect.Method;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Test;

class KestoLibraryTest {
    private static final Pattern PROTOTYPE = Pattern.compile("(?m)^KESTO_API\\s+[\\w\\s*]*?\\b(\\w+)\\s*\\(");

    /** Name and parameter count of every C function the public header exports. */
    private static Map<String, Integer> exportedFunctions() throws Exception {
        String header = Files.readString(Path.of(System.getProperty("kesto.header")));
        Map<String, Integer> functions = new TreeMap<>();
        Matcher m = PROTOTYPE.matcher(header);
        while (m.find()) {
            String name = m.group(1);
            if (name.equals("replaceinString"))
                continue; // a C++ function, not reachable by name
            functions.put(name, countParameters(header, m.end()));
        }
        return functions;
    }

    // Counts the top-level parameters from just behind the opening parenthesis; "void" is none
    // and "..." counts as one.
    private static int countParameters(String text, int from) {
        int depth = 1;
        int commas = 0;
        StringBuilder all = new StringBuilder();
        for (int i = from; depth > 0; ++i) {
            char c = text.charAt(i);
            if (c == '(')
                depth++;
            if (c == ')')
                depth--;
            if (c == ',' && depth == 1)
                commas++;
            if (depth > 0)
                all.append(c);
        }
        String params = all.toString().trim();
        return params.isEmpty() || params.equals("void") ? 0 : commas + 1;
    }

    @Test
    void declaresEveryExportedFunctionWithItsArityAndEachResolves() throws Exception {
        Map<String, Integer> exported = exportedFunctions();
        assertTrue(exported.size() > 100, "header parse found only " + exported.keySet());
        Map<String, Method> declared = new HashMap<>();
        for (Method method : KestoLibrary.class.getDeclaredMethods()) declared.put(method.getName(), method);

        NativeLibrary library = NativeLibrary.getInstance("KESTOCommu");
        List<String> problems = new ArrayList<>();
        exported.forEach((name, parameters) -> {
            Method method = declared.get(name);
            if (method == null) {
                problems.add(name + " is not declared");
            } else if (method.getParameterCount() != parameters) {
                problems.add(name + " takes " + parameters + " parameters, declared with "
                    + method.getParameterCount());
            }
        });
        for (String name : declared.keySet()) {
            if (!exported.containsKey(name))
                problems.add(name + " is declared but the header has no such function");
            try {
                library.getFunction(name);
            } catch (UnsatisfiedLinkError e) {
                problems.add(name + " does not resolve: " + e.getMessage());
            }
        }
        assertEquals(List.of(), problems);
    }

    /** Every constant of the header with the given prefix, by its name without the prefix. */
    private static Map<String, Integer> headerConstants(String prefix) throws Exception {
        String header = Files.readString(Path.of(System.getProperty("kesto.header")));
        Map<String, Integer> constants = new TreeMap<>();
        Matcher m = Pattern.compile("\\b" + prefix + "(\\w+) = (0x[0-9A-Fa-f]+|\\d+)").matcher(header);
        while (m.find()) constants.put(m.group(1), Integer.decode(m.group(2)));
        return constants;
    }

    @Test
    void statusCodesAndBarcodeTypesAreTheHeadersOwn() throws Exception {
        Map<String, Integer> statuses = new TreeMap<>();
        for (PrinterStatus s : PrinterStatus.values()) statuses.put(s.name(), s.code());
        assertEquals(headerConstants("KESTO_STATUS_"), statuses);
        Map<String, Integer> types = new TreeMap<>();
        for (BarcodeType t : BarcodeType.values()) types.put(t.name().replace("_", ""), t.code());
        assertEquals(headerConstants("BARCODE_TYPE_"), types);
    }

    @Test
    void buffersComeBackFilledAndCallbacksRunOnNativeThreads() throws Exception {
        KestoLibrary lib = KestoLibrary.INSTANCE;
        byte[] version = new byte[15];
        lib.KESTO_GetVersionString(version, version.length);
        assertEquals("0.6.0.2", new String(version, 0, 7));
        byte[] tooSmall = {'x', 'x'};
        lib.KESTO_GetVersionString(tooSmall, 14);
        assertEquals(0, tooSmall[0]);

        byte[] text = "MiXeD\0".getBytes();
        lib.stringToLower(text);
        assertEquals("mixed", new String(text, 0, 5));

        // A null handle is refused, not dereferenced.
        assertEquals(-1, lib.KESTO_WriteData(null, new byte[] {1}, 1));
        assertEquals(-1, lib.KESTO_PrintText(null, new byte[] {'a'}, 1, false));

        // A Java thread entry started by the library's own thread helper runs with its argument.
        String[] seen = new String[1];
        KestoLibrary.ThreadEntry entry = argument -> {
            seen[0] = argument.getString(0);
            return null;
        };
        com.sun.jna.Memory argument = new com.sun.jna.Memory(8);
        argument.setString(0, "arg");
        com.sun.jna.NativeLong thread = lib.CreateGenericThread(entry, null, argument);
        assertTrue(thread.longValue() != 0);
        long deadline = System.nanoTime() + 5_000_000_000L;
        while (seen[0] == null && System.nanoTime() < deadline) Thread.sleep(5);
        assertEquals("arg", seen[0]);
        java.lang.ref.Reference.reachabilityFence(entry);
        java.lang.ref.Reference.reachabilityFence(argument);
    }
}
