package com.kesto.pos;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.net.ServerSocket;
import java.nio.file.Path;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.api.io.TempDir;

@Timeout(30)
class KestoPrinterTest {
    @TempDir
    Path out;

    /** Waits for the listener to hear wanted (the test's time-out ends a wait for nothing). */
    private static void hear(BlockingQueue<PrinterStatus> heard, PrinterStatus wanted) throws Exception {
        while (heard.take() != wanted) {}
    }

    @Test
    void printsTellsTheListenerOfEachChangeAndClosesForGood() throws Exception {
        BlockingQueue<PrinterStatus> heard = new LinkedBlockingQueue<>();
        try (VirtualPrinter vp = new VirtualPrinter(out)) {
            KestoPrinter printer = KestoPrinter.tcp("127.0.0.1", vp.port);
            printer.startStatusMonitor(heard::add);
            printer.printText("Hello from the JVM");
            printer.printText("Café 5,00 € · Grüße · Łódź · Привет · Καλημέρα");
            assertThrows(IllegalArgumentException.class, () -> printer.setCodeTables(0, 99));
            printer.setCodeTables(16, KestoPrinter.CODES_GB18030);
            printer.printText("你好 こんにちは");
            printer.printBarcode(BarcodeType.EAN_13, "4006381333931");
            printer.openDrawer(Drawer.B, 25, 50);
            printer.feedAndCut();
            String t = vp.await(1, "partial cut");
            assertTrue(t.contains("text \"Hello from the JVM\"") && t.contains("GS k: EAN-13 \"4006381333931\"")
                    && t.contains("pin 5, on 50 ms, off 100 ms"), t);
            // The text runs between the code-table switches, joined, give back each line as written.
            StringBuilder printed = new StringBuilder();
            java.util.regex.Matcher runs = java.util.regex.Pattern.compile("(?m)^text \"(.*)\"$").matcher(t);
            while (runs.find()) printed.append(runs.group(1));
            assertTrue(printed.toString().contains(
                "Hello from the JVMCafé 5,00 € · Grüße · Łódź · Привет · Καλημέρα你好 こんにちは"), t);
            hear(heard, PrinterStatus.DRAWER_PIN_HIGH);
            vp.control("cover-open");
            hear(heard, PrinterStatus.COVER_OPEN);
            vp.control("paper-end"); // both roll sensors
            hear(heard, PrinterStatus.PAPER_END);
            vp.control("paper-ok");
            hear(heard, PrinterStatus.PAPER_END_CLEARED);
            vp.control("cover-close"); // else the printer holds what comes next
            printer.close();
            printer.close();
            assertThrows(IllegalStateException.class, () -> printer.printText("too late"));
            assertThrows(IllegalStateException.class, printer::status);
            // The printer serves one connection at a time: the next is served only if the first ended.
            try (KestoPrinter next = KestoPrinter.tcp("127.0.0.1", vp.port)) {
                next.printText("second connection");
            }
            vp.await(2, "second connection");
        }
    }

    @Test
    void aPrinterOffAtStartIsReopenedByItsNextCall() throws Exception {
        int port;
        try (ServerSocket s = new ServerSocket(0)) {
            port = s.getLocalPort();
        }
        BlockingQueue<PrinterStatus> heard = new LinkedBlockingQueue<>();
        try (KestoPrinter printer = KestoPrinter.tcp("127.0.0.1", port)) {
            assertFalse(printer.connected());
            KestoException off = assertThrows(KestoException.class, () -> printer.printText("too early"));
            assertEquals(111, off.errorCode(), off.getMessage()); // ECONNREFUSED
            try (VirtualPrinter late = new VirtualPrinter(out, port)) {
                printer.startStatusMonitor(heard::add);
                assertTrue(printer.connected());
                printer.printText("printed once the printer is on");
                late.control("cover-open");
                hear(heard, PrinterStatus.COVER_OPEN);
                printer.feedAndCut();
                late.control("cover-close"); // the cut waited for it
                assertFalse(late.await(1, "printed once the printer is on").contains("too early"));
            }
        }
    }
}
