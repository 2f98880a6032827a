package com.kesto.pos.upos;

import static com.kesto.pos.upos.UposConst.*;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.kesto.pos.VirtualPrinter;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.api.io.TempDir;

@Timeout(40)
class PosPrinterTest {
    static final String E = "\u001B|";

    @TempDir Path out;

    /** The transcript's lines without code-table switches, the text of one print line joined. */
    static List<String> transcript(Path file) throws Exception {
        List<String> lines = new ArrayList<>();
        for (String l : Files.readAllLines(file)) {
            int last = lines.size() - 1;
            if (l.startsWith("ESC t:") || l.startsWith("DLE EOT")) // code tables; the layer's state polls
                continue;
            if (l.startsWith("text \"") && last >= 0 && lines.get(last).startsWith("text \""))
                lines.set(last, lines.get(last).replaceAll("\"$", "") + l.substring(6));
            else
                lines.add(l);
        }
        return lines;
    }

    /** The text lines of receipt n. */
    List<String> texts(int n) throws Exception {
        return transcript(out.resolve("receipt-" + n + ".txt"))
            .stream()
            .filter(l -> l.startsWith("text"))
            .toList();
    }

    @Test
    void aReceiptOfSequencesAndUnicodeTextPrintsAsWrittenWithCodesThatScan() throws Exception {
        try (VirtualPrinter vp = new VirtualPrinter(out);
             PosPrinter p = PosPrinter.open(Map.of("device", vp.description(), "codeTables", "0,2,16"))) {
            p.setLogo(PTR_L_TOP, E + "cA" + E + "bCCORNER DELI\n");
            p.transactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION);
            p.printNormal(PTR_S_RECEIPT, E + "tL" + E + "2CGrüße aus Köln\nCafé crème  € 4,20\n");
            p.printNormal(
                PTR_S_RECEIPT, E + "rA" + E + "bCTotal € 4,20\n" + E + "uC" + E + "rvCDanke" + E + "!rvC\n");
            p.printBarCode(PTR_S_RECEIPT, "https://example.com/r/0481", PTR_BCS_QRCODE, 200, 200,
                PTR_BC_CENTER, PTR_BC_TEXT_NONE);
            p.printBarCode(
                PTR_S_RECEIPT, "R-0481", PTR_BCS_Code128, 60, 300, PTR_BC_CENTER, PTR_BC_TEXT_BELOW);
            p.printNormal(PTR_S_RECEIPT, E + "fP");
            assertThrows(UposException.class, () -> p.printNormal(PTR_S_JOURNAL, "no journal"));
            p.transactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL); // synchronous: returns once printed
        }
        String lf = " | LF: print and feed one line | ";
        assertEquals(String.join(" | ", "ESC a: centre justification", "ESC E: emphasized on",
                         "text \"CORNER DELI\"" + lf + "ESC E: emphasized off", "ESC a: left justification",
                         "GS !: character size width x2, height x1",
                         "text \"Grüße aus Köln\"" + lf + "GS !: character size width x1, height x1",
                         "text \"Café crème  € 4,20\"" + lf + "ESC a: right justification",
                         "ESC E: emphasized on", "text \"Total € 4,20\"" + lf + "ESC E: emphasized off",
                         "ESC a: left justification", "ESC -: underline 1 dot", "GS B: reverse printing on",
                         "text \"Danke\"", "GS B: reverse printing off" + lf + "ESC -: underline off",
                         "ESC a: centre justification", "GS ( k: QR code model 2",
                         "GS ( k: QR code module size 8 dots", "GS ( k: QR code error correction level M",
                         "GS ( k: QR code data stored, 26 bytes \"https://example.com/r/0481\"",
                         "GS ( k: QR code printed, 25 x 25 modules of 8 dots", "ESC a: left justification",
                         "ESC a: centre justification", "GS H: HRI characters below",
                         "GS h: bar height 60 dots", "GS w: module width 2 dots",
                         "GS k: CODE128 \"{BR-0481\" printed, 90 modules of 2 dots, 60 dots high",
                         "ESC a: left justification", "GS V: feed 0 units (0 dots) and full cut"),
            String.join(" | ", transcript(out.resolve("receipt-1.txt"))));
        Process scan =
            new ProcessBuilder(System.getProperty("kesto.scanner"), out.resolve("receipt-1.png").toString())
                .redirectErrorStream(true)
                .start();
        assertEquals("QRCode https://example.com/r/0481\nCode128 R-0481\n",
            new String(scan.getInputStream().readAllBytes()));
        assertEquals(0, scan.waitFor());
    }

    @Test
    void twoThreadsTransactionsPrintedLineByLineAtTheSameTimeComeOutWholeOneAfterTheOther() throws Exception {
        try (VirtualPrinter vp = new VirtualPrinter(out); PosPrinter p = PosPrinter.open(vp.description())) {
            java.util.concurrent.CyclicBarrier together = new java.util.concurrent.CyclicBarrier(2);
            List<Thread> tills = new ArrayList<>();
            for (String till : new String[] {"A", "B"}) {
                tills.add(new Thread(() -> {
                    try {
                        p.transactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION);
                        for (int line = 1; line <= 3; line++) {
                            p.printNormal(PTR_S_RECEIPT, E + "bCtill " + till + " line " + line + "\n");
                            together.await(); // the other till prints its line meanwhile
                        }
                        p.printNormal(PTR_S_RECEIPT, E + "P");
                        p.transactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL);
                    } catch (Exception e) {
                        throw new IllegalStateException(e);
                    }
                }));
            }
            tills.forEach(Thread::start);
            for (Thread t : tills) t.join();
        }
        assertEquals(Set.of("text \"till A line 1\" | text \"till A line 2\" | text \"till A line 3\"",
                         "text \"till B line 1\" | text \"till B line 2\" | text \"till B line 3\""),
            Set.of(String.join(" | ", texts(1)), String.join(" | ", texts(2))));
    }

    /** Status updates as they come, power first; each printer's own. */
    static PosPrinterListener statusTo(BlockingQueue<Integer> heard) {
        return new PosPrinterListener() {
            public void statusUpdate(int status) {
                heard.add(status);
            }
        };
    }

    static void hear(BlockingQueue<Integer> heard, Integer... statuses) throws Exception {
        for (Integer s : statuses) assertEquals(s, heard.take());
    }

    @Test
    void twoPrintersEachTellTheirOwnStatusAndPowerAndTheDrawerIsWaitedFor() throws Exception {
        BlockingQueue<Integer> one = new LinkedBlockingQueue<>(), two = new LinkedBlockingQueue<>();
        try (VirtualPrinter vp1 = new VirtualPrinter(out.resolve("1"));
             VirtualPrinter vp2 = new VirtualPrinter(out.resolve("2"));
             PosPrinter p1 = PosPrinter.open(vp1.description());
             PosPrinter p2 = PosPrinter.open(vp2.description())) {
            p1.addListener(statusTo(one));
            p2.addListener(statusTo(two));
            p1.setPowerNotify(JPOS_PN_ENABLED);
            assertEquals(JPOS_PS_ONLINE, p1.powerState());
            p2.setRecLineChars(64); // font B: 9 dots a character on 576 dots, font A 12
            assertEquals(
                "48,64 64 48", p2.recLineCharsList() + " " + p2.recLineChars() + " " + p1.recLineChars());
            vp1.control("cover-open");
            vp2.control("paper-end");
            hear(one, JPOS_SUE_POWER_OFFLINE, PTR_SUE_COVER_OPEN);
            hear(two, PTR_SUE_REC_EMPTY);
            assertTrue(
                p1.coverOpen() && !p1.recEmpty() && p2.recEmpty() && p2.recNearEnd() && !p2.coverOpen());
            vp1.control("cover-close");
            vp2.control("paper-ok");
            hear(one, JPOS_SUE_POWER_ONLINE, PTR_SUE_COVER_OK);
            hear(two, PTR_SUE_REC_PAPEROK);
            vp1.control("power-off");
            hear(one, JPOS_SUE_POWER_OFF);
            assertEquals(JPOS_PS_OFF, p1.powerState());
            UposException off = assertThrows(UposException.class, () -> p1.printNormal(PTR_S_RECEIPT, "x\n"));
            assertEquals(JPOS_E_NOHARDWARE, off.errorCode());
            vp1.control("power-on");
            hear(one, JPOS_SUE_POWER_ONLINE);

            p2.openDrawer(); // the pulse raises pin 3 until the drawer is shut
            assertTrue(p2.drawerOpened());
            assertThrows(UposException.class, () -> p2.waitForDrawerClose(1));
            Thread shut = new Thread(() -> vp2.control("drawer-close"));
            shut.start();
            p2.waitForDrawerClose(JPOS_FOREVER);
            assertFalse(p2.drawerOpened());
            shut.join();
            assertTrue(one.isEmpty() && two.isEmpty(), one + " " + two);
        }
    }

    @Test
    void asynchronousJobsCompleteOnlyOncePrintedAndAReceiptStoppedByPaperOutComesOutWholeOnce()
        throws Exception {
        BlockingQueue<String> heard = new LinkedBlockingQueue<>();
        try (VirtualPrinter vp = new VirtualPrinter(out); PosPrinter p = PosPrinter.open(vp.description())) {
            p.addListener(new PosPrinterListener() {
                public void outputComplete(int id) {
                    heard.add("complete " + id);
                }

                public void error(ErrorEvent e) {
                    heard.add("error " + e.errorCode() + " " + e.errorCodeExtended());
                    vp.control("paper-ok"); // the roll is replaced; the default answer is retry
                }
            });
            p.setAsyncMode(true);
            int head = p.printNormal(PTR_S_RECEIPT, "Receipt 0481\nCoffee  2.10\n");
            assertEquals("complete " + head, heard.take());
            vp.control("paper-end"); // the roll runs out in the middle of the receipt
            int rest = p.printNormal(PTR_S_RECEIPT, "Cake  3.40\nTotal  5.50\n" + E + "fP");
            assertEquals(p.outputId(), rest);
            assertEquals("error " + JPOS_E_EXTENDED + " " + JPOS_EPTR_REC_EMPTY, heard.take());
            assertEquals("complete " + rest, heard.take());
        }
        assertEquals(List.of("text \"Receipt 0481\"", "text \"Coffee  2.10\"", "text \"Cake  3.40\"",
                         "text \"Total  5.50\""),
            texts(1));
        assertTrue(
            transcript(out.resolve("receipt-1.txt")).contains("GS V: feed 0 units (0 dots) and full cut"));
        assertFalse(Files.exists(out.resolve("receipt-2.txt")));
    }
}
