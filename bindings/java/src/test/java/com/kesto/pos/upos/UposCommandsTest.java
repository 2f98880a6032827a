package com.kesto.pos.upos;

import static com.kesto.pos.upos.UposConst.*;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.Test;

class UposCommandsTest {
    /** Command bytes in hex, text between brackets, pictures by file name. */
    static String render(Job job) {
        List<String> parts = new ArrayList<>();
        for (Job.Step s : job.steps()) {
            if (s instanceof Job.Raw r) {
                for (byte b : r.bytes()) parts.add(String.format("%02X", b));
            } else if (s instanceof Job.Text t) {
                parts.add("[" + t.text() + "]");
            } else {
                parts.add("<" + ((Job.Image) s).file() + ">");
            }
        }
        return String.join(" ", parts);
    }

    static final String E = "\u001B|";

    final EscapeSequences.Stored stored = new EscapeSequences.Stored() {
        public String logo(int location) {
            return location == PTR_L_TOP ? E + "cA" + E + "bCSHOP" + E + "tL\n" : null;
        }

        public Path bitmap(int number) {
            return number == 3 ? Path.of("three.png") : null;
        }
    };

    @Test
    void eachSequenceIsItsCommandAndALineFeedEndsTheLinesAttributes() {
        // ESC E n emphasis, ESC - n underline, GS B n reverse, GS ! size (high nibble width,
        // low height), ESC a n justification, ESC d lines, ESC J dots, GS V cut (0 full, 1
        // partial; 65/66 feed to the cutter first).
        Map<String, String> cases = Map.ofEntries(Map.entry(E + "bCBold\n", "1B 45 01 [Bold] 0A 1B 45 00"),
            Map.entry(E + "!bC" + E + "!uC" + E + "!rvC", "1B 45 00 1B 2D 00 1D 42 00"),
            Map.entry(E + "uCu" + E + "2uCv" + E + "5uCw" + E + "0uC\n",
                "1B 2D 01 [u] 1B 2D 02 [v] 1B 2D 02 [w] 1B 2D 00 0A"),
            Map.entry(E + "rvCx\n", "1D 42 01 [x] 0A 1D 42 00"),
            Map.entry(E + "2Ca" + E + "3Cb" + E + "4Cc" + E + "1Cd\n",
                "1D 21 10 [a] 1D 21 01 [b] 1D 21 11 [c] 1D 21 00 [d] 0A"),
            Map.entry(E + "cAmid\n" + E + "rAright\n" + E + "lAleft",
                "1B 61 01 [mid] 0A 1B 61 00 1B 61 02 [right] 0A 1B 61 00 1B 61 00 [left]"),
            Map.entry(E + "3lF" + E + "lF" + E + "300uF", "1B 64 03 1B 64 01 1B 4A FF 1B 4A 2D"),
            Map.entry(E + "P" + E + "50P" + E + "fP" + E + "90fP" + E + "0P" + E + "101P",
                "1D 56 00 1D 56 01 1D 56 41 00 1D 56 42 00"),
            Map.entry(E + "bC" + E + "4C" + E + "cAbig" + E + "Nsmall",
                "1B 45 01 1D 21 11 1B 61 01 [big] 1B 45 00 1D 21 00 1B 61 00 [small]"),
            Map.entry("a" + E + "zzXb" + E + "3 c" + E + "1234567lF" + E + "!" + E + "9",
                "[ab c]"), // unknown, broken off
            Map.entry("Grüße\r\t€ 4,20\u001B😀", "[Grüße] 09 [€ 4,20😀]"),
            Map.entry(E + "tLx" + E + "bL", "1B 61 01 1B 45 01 [SHOP] 0A 1B 45 00 1B 61 00 [x]"),
            Map.entry(E + "3B" + E + "4B" + E + "B", "<three.png>"));
        cases.forEach(
            (data, bytes) -> assertEquals(bytes, render(new EscapeSequences(stored).parse(data)), data));

        EscapeSequences one = new EscapeSequences(stored); // a line begun in one call goes on in the next
        assertEquals("1B 45 01 [a]", render(one.parse(E + "bCa")));
        assertEquals("[b] 0A 1B 45 00", render(one.parse("b\n")));
        assertEquals("[c] 0A", render(one.parse("c\n")));
    }

    static String barcode(String data, int symbology, int height, int width, int alignment, int text)
        throws Exception {
        Job.Builder job = new Job.Builder();
        BarcodeCommands.append(job, data, symbology, height, width, alignment, text, 576);
        return render(job.build());
    }

    static String hex(String ascii) {
        StringBuilder s = new StringBuilder();
        for (char c : ascii.toCharArray()) s.append(String.format(" %02X", (int) c));
        return s.substring(1);
    }

    @Test
    void barcodesCarryTheirAlignmentTextHeightAndModuleWidthAndWhatThePrinterLacksIsRefused()
        throws Exception {
        // ESC a, GS H (0 none, 1 above, 2 below), GS h dots, GS w module, GS k m n data.
        assertEquals("1B 61 02 1D 48 02 1D 68 50 1D 77 03 1D 6B 43 0D " + hex("4006381333931") + " 1B 61 00",
            barcode("4006381333931", PTR_BCS_EAN13, 80, 300, PTR_BC_RIGHT, PTR_BC_TEXT_BELOW)); // 95 modules
        assertEquals(
            "1B 61 00 1B 24 2C 01 1D 48 01 1D 68 28 1D 77 02 1D 6B 49 06 " + hex("{BA{{1") + " 1B 61 00",
            barcode(
                "A{1", PTR_BCS_Code128, 40, 10, 300, PTR_BC_TEXT_ABOVE)); // at dot 300, plain data in set B
        Object[][] refused = {{"4006381333931", PTR_BCS_MAXICODE}, {"40063813339X1", PTR_BCS_EAN13},
            {"abc", PTR_BCS_Code39}, {"123", PTR_BCS_ITF}, {"", PTR_BCS_QRCODE}, {"12345", PTR_BCS_TF}};
        for (Object[] r : refused) {
            UposException e = assertThrows(UposException.class,
                () -> barcode((String) r[0], (int) r[1], 50, 200, PTR_BC_LEFT, PTR_BC_TEXT_NONE));
            assertEquals(JPOS_E_ILLEGAL, e.errorCode(), e.getMessage());
        }
        assertThrows(UposException.class, () -> barcode("12345678", PTR_BCS_EAN8, 50, 200, PTR_BC_LEFT, 0));
        assertThrows(
            UposException.class, () -> barcode("12345678", PTR_BCS_EAN8, 50, 200, 576, PTR_BC_TEXT_NONE));
    }

    @Test
    void stateChangesRaiseTheirStatusEventsPowerFirst() {
        int cover = StatusEvents.COVER_OPEN, end = StatusEvents.PAPER_END | StatusEvents.PAPER_NEAR_END;
        int near = StatusEvents.PAPER_NEAR_END, off = StatusEvents.OFFLINE, gone = StatusEvents.UNREACHABLE;
        // from, to, last state read, power notify, reporting: the events
        Object[][] rows = {
            {0, cover, 0, false, JPOS_PR_ADVANCED, List.of(PTR_SUE_COVER_OPEN)},
            {cover | off, 0, 0, true, JPOS_PR_ADVANCED, List.of(JPOS_SUE_POWER_ONLINE, PTR_SUE_COVER_OK)},
            {0, end | cover | off, 0, true, JPOS_PR_ADVANCED,
                List.of(JPOS_SUE_POWER_OFFLINE, PTR_SUE_COVER_OPEN, PTR_SUE_REC_EMPTY)},
            {0, end | off, 0, true, JPOS_PR_STANDARD, List.of(JPOS_SUE_POWER_OFF_OFFLINE, PTR_SUE_REC_EMPTY)},
            {end, near, 0, false, JPOS_PR_ADVANCED, List.of(PTR_SUE_REC_NEAREMPTY)},
            {0, near, 0, false, JPOS_PR_ADVANCED, List.of(PTR_SUE_REC_NEAREMPTY)},
            {near, StatusEvents.DRAWER_PIN_HIGH, 0, true, JPOS_PR_ADVANCED, List.of(PTR_SUE_REC_PAPEROK)},
            {end | off, gone, end, true, JPOS_PR_ADVANCED, List.of(JPOS_SUE_POWER_OFF)},
            {end | off, gone, end, false, JPOS_PR_ADVANCED, List.of()},
            {gone, 0, end | off, true, JPOS_PR_ADVANCED, List.of(JPOS_SUE_POWER_ONLINE, PTR_SUE_REC_PAPEROK)},
        };
        for (Object[] r : rows) {
            assertEquals(r[5],
                StatusEvents.changes((int) r[0], (int) r[1], (int) r[2], (boolean) r[3], (int) r[4]),
                java.util.Arrays.toString(r));
        }
    }
}
