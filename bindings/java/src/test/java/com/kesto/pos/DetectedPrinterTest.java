package com.kesto.pos;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.util.List;
import org.junit.jupiter.api.Test;

class DetectedPrinterTest {
    private static final String ONE =
        "<device><type>USB</type><path>0014:0005:00</path><modal>VANTO500</modal>"
        + "<maxpacket>12</maxpacket></device>";

    @Test
    void readsEveryDeviceInOrderWithItsOwnDescription() {
        String two = "<device><type>ETH</type><path>till&amp;2:9100</path><modal>A&lt;B&gt;</modal></device>";
        List<DetectedPrinter> list =
            DetectedPrinter.parseList("<kestoprinters>" + ONE + two + "</kestoprinters>");
        assertEquals(List.of(new DetectedPrinter("USB", "0014:0005:00", "VANTO500", 12, ONE),
                         new DetectedPrinter("ETH", "till&2:9100", "A<B>", 0, two)),
            list);
        assertEquals(List.of(), DetectedPrinter.parseList("<kestoprinters></kestoprinters>"));
    }

    @Test
    void refusesTextThatIsNotAPrinterList() {
        assertThrows(IllegalArgumentException.class, () -> DetectedPrinter.parseList(""));
        assertThrows(IllegalArgumentException.class, () -> DetectedPrinter.parseList(ONE));
        assertThrows(IllegalArgumentException.class,
            () -> DetectedPrinter.parseList("<kestoprinters><device><type>USB</type></kestoprinters>"));
    }
}
