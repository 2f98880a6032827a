package com.kesto.pos;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.net.ServerSocket;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

@Timeout(20)
class KestoPrinterTest {
    private static final Duration WAIT = Duration.ofSeconds(10);
    private static final int ECONNREFUSED = 111;

    private VirtualPrinter vp;

    @BeforeEach
    void startPrinter() throws Exception {
        vp = VirtualPrinter.start();
    }

    @AfterEach
    void stopPrinter() throws Exception {
        vp.close();
    }

    @Test
    void printsTextReceiptBarcodeAndRawBytesCutsAndKicksTheDrawer() throws Exception {
        try (KestoPrinter printer = KestoPrinter.tcp("127.0.0.1", vp.port)) {
            printer.printText("Hello from the JVM");
            printer.printReceipt(1);
            printer.printBarcode(BarcodeType.EAN_13, "4006381333931");
            printer.writeRaw("raw line\n".getBytes());
            printer.openDrawer(Drawer.A, 50, 100);
            printer.openDrawer(Drawer.B, 25, 25);
            printer.feedAndCut();
            printer.printText("after the cut");
            printer.cut();
        }
        String t = vp.awaitTranscript(s -> s.contains("after the cut"), WAIT);
        String text = VirtualPrinter.printedText(t);
        assertTrue(text.contains("Hello from the JVM"), t);
        assertTrue(text.contains("CORNER DELI & COFFEE"), t);
        assertTrue(text.contains("raw line"), t);
        assertTrue(t.contains("GS k: EAN-13 \"4006381333931\""), t);
        assertTrue(t.contains("drawer pulse on connector pin 2, on 100 ms, off 200 ms"), t);
        assertTrue(t.contains("drawer pulse on connector pin 5, on 50 ms, off 50 ms"), t);
        // The text printed before the first cut and after it ends up on different receipts.
        assertTrue(t.indexOf("Hello from the JVM") < t.indexOf("GS V")
                && t.indexOf("GS V") < t.indexOf("after the cut"),
            t);
        assertTrue(vp.control("status").contains("drawer=high"));
        assertEquals("0.6.0.2", KestoPrinter.libraryVersion());
    }

    @Test
    void statusListenerHearsTheCoverOpenAndCloseFromTheStatusThread() throws Exception {
        BlockingQueue<PrinterStatus> heard = new LinkedBlockingQueue<>();
        List<String> threads = new ArrayList<>();
        try (KestoPrinter printer = KestoPrinter.tcp("127.0.0.1", vp.port)) {
            printer.startStatusMonitor(status -> {
                synchronized (threads) {
                    threads.add(Thread.currentThread().getName());
                }
                heard.add(status);
            });
            vp.control("cover-open");
            printer.printText("printed while the cover opens");
            awaitStatus(heard, PrinterStatus.COVER_OPEN);
            printer.printText("printed while it closes");
            vp.control("cover-close");
            awaitStatus(heard, PrinterStatus.COVER_CLOSED);
            // An empty roll reads as paper end, though its near-end sensor is tripped too.
            vp.control("paper-end");
            awaitStatus(heard, PrinterStatus.PAPER_END);
            vp.control("paper-ok");
            awaitStatus(heard, PrinterStatus.PAPER_END_CLEARED);
        }
        synchronized (threads) {
            assertFalse(threads.isEmpty());
            for (String name : threads) assertEquals("kesto-status", name);
        }
    }

    @Test
    void aPrinterDroppedWithoutClosingKeepsReportingThroughItsCallback() throws Exception {
        BlockingQueue<PrinterStatus> heard = new LinkedBlockingQueue<>();
        startAndDrop(heard);
        // Nothing of the caller's holds the printer or its callback now; the status thread
        // still calls the callback, which must not have been collected.
        for (int i = 0; i < 5; ++i) {
            System.gc();
            Thread.sleep(10);
        }
        try {
            vp.control("cover-open");
            awaitStatus(heard, PrinterStatus.COVER_OPEN);
        } finally {
            KestoLibrary.INSTANCE.KESTO_DestroyStatusThread(null);
        }
    }

    private void startAndDrop(BlockingQueue<PrinterStatus> heard) throws KestoException {
        KestoPrinter.tcp("127.0.0.1", vp.port).startStatusMonitor(heard::add);
    }

    private static void awaitStatus(BlockingQueue<PrinterStatus> heard, PrinterStatus wanted)
        throws InterruptedException {
        long deadline = System.nanoTime() + WAIT.toNanos();
        for (;;) {
            PrinterStatus s = heard.poll(deadline - System.nanoTime(), TimeUnit.NANOSECONDS);
            if (s == null)
                throw new AssertionError("no " + wanted + " reported");
            // A change may not come before its cause.
            if (wanted == PrinterStatus.COVER_OPEN)
                assertNotEquals(PrinterStatus.COVER_CLOSED, s);
            if (wanted == PrinterStatus.PAPER_END)
                assertNotEquals(PrinterStatus.PAPER_NEAR_END, s);
            if (s == wanted)
                return;
        }
    }

    @Test
    void closingTwiceIsHarmlessAndCallsAfterCloseAreRefused() throws Exception {
        KestoPrinter printer = KestoPrinter.tcp("127.0.0.1", vp.port);
        printer.startStatusMonitor(status -> {});
        printer.close();
        printer.close();
        assertThrows(IllegalStateException.class, () -> printer.printText("too late"));
        assertThrows(IllegalStateException.class, printer::status);
        // The printer accepts the next connection: the first one was really closed.
        try (KestoPrinter again = KestoPrinter.tcp("127.0.0.1", vp.port)) {
            again.printText("second connection");
            again.cut();
        }
        vp.awaitTranscript(s -> s.contains("second connection"), WAIT);
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
            // While it is off, each call fails with the reason.
            KestoException e = assertThrows(KestoException.class, () -> printer.printText("too early"));
            assertEquals(ECONNREFUSED, e.errorCode(), e.getMessage());
            try (VirtualPrinter late = VirtualPrinter.start(port)) {
                printer.startStatusMonitor(heard::add);
                assertTrue(printer.connected());
                printer.printText("printed once the printer is on");
                late.control("cover-open");
                awaitStatus(heard, PrinterStatus.COVER_OPEN);
                late.control("cover-close");
                awaitStatus(heard, PrinterStatus.COVER_CLOSED);
                // A reopen keeps the listener and the status thread (an open cover is
                // reported whenever status reporting starts on the new connection).
                printer.reopen();
                late.control("cover-open");
                awaitStatus(heard, PrinterStatus.COVER_OPEN);
                printer.feedAndCut();
                String t = late.awaitTranscript(s -> s.contains("GS V"), WAIT);
                assertTrue(VirtualPrinter.printedText(t).contains("printed once the printer is on"), t);
                assertFalse(t.contains("too early"), t);
            }
        }
    }

    @Test
    void unsupportedDevicesAndPortsAreRefused() throws Exception {
        KestoException serial = assertThrows(KestoException.class,
            () -> KestoPrinter.open("<device><type>Serial</type><path>/dev/ttyS0</path></device>"));
        assertEquals(KestoPrinter.NO_DEVICE, serial.errorCode());
        assertThrows(IllegalArgumentException.class, () -> KestoPrinter.tcp("127.0.0.1", 0));
    }

    @Test
    void fourThreadsPrintingThroughOnePrinterLoseNothing() throws Exception {
        final int threads = 4;
        final int lines = 200;
        try (KestoPrinter printer = KestoPrinter.tcp("127.0.0.1", vp.port)) {
            ExecutorService pool = Executors.newFixedThreadPool(threads);
            CountDownLatch go = new CountDownLatch(1);
            List<Future<?>> done = new ArrayList<>();
            for (int t = 0; t < threads; ++t) {
                final int id = t;
                done.add(pool.submit(() -> {
                    go.await();
                    for (int i = 0; i < lines; ++i) printer.printText(String.format("<T%d-%03d>", id, i));
                    return null;
                }));
            }
            go.countDown();
            for (Future<?> f : done) f.get(15, TimeUnit.SECONDS);
            pool.shutdown();
            printer.feedAndCut();
        }
        String t = vp.awaitTranscript(s -> s.contains("GS V"), WAIT);
        // A line the printer discards before printing it is a lost line, even if its bytes came.
        assertFalse(t.contains("unprinted characters discarded"), t);
        int[] next = new int[threads];
        Matcher m = Pattern.compile("<T(\\d)-(\\d{3})>").matcher(VirtualPrinter.printedText(t));
        int seen = 0;
        while (m.find()) {
            int id = Integer.parseInt(m.group(1));
            // Each thread's lines arrive whole, once, in the order it printed them.
            assertEquals(next[id], Integer.parseInt(m.group(2)), m.group());
            next[id]++;
            seen++;
        }
        assertEquals(threads * lines, seen);
    }
}
