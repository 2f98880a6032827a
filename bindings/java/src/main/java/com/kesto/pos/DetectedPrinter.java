package com.kesto.pos;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/**
 * One entry of the printer list: a printer interface the detector found.
 *
 * @param type        "USB", "ETH", "Serial" or "IEEE1284"
 * @param path        where the printer is, e.g. "0014:0005:00" (USB bus, address, interface)
 * @param model       the model name; "" when the entry names none
 * @param maxPacket   the number the entry gives as its maximum packet; 0 when it gives none
 * @param description the entry's {@code <device>} text, as {@link KestoPrinter#open} takes it
 */
public record DetectedPrinter(String type, String path, String model, int maxPacket, String description) {
    private static final String ROOT = "<kestoprinters>";
    private static final String DEVICE = "<device>";
    private static final String DEVICE_END = "</device>";

    /** Opens this printer. */
    public KestoPrinter open() throws KestoException {
        return KestoPrinter.open(description);
    }

    /**
     * Reads a {@code <kestoprinters>} list: every complete {@code <device>} element, in order.
     *
     * @throws IllegalArgumentException when the text is not a printer list
     */
    public static List<DetectedPrinter> parseList(String xml) {
        String text = xml.strip();
        if (!text.startsWith(ROOT) || !text.endsWith("</kestoprinters>")) {
            throw new IllegalArgumentException("not a printer list: " + abbreviate(text));
        }
        List<DetectedPrinter> printers = new ArrayList<>();
        int from = ROOT.length();
        for (;;) {
            int start = text.indexOf(DEVICE, from);
            if (start < 0)
                break;
            int end = text.indexOf(DEVICE_END, start);
            if (end < 0)
                throw new IllegalArgumentException("unterminated <device> at " + start);
            String body = text.substring(start + DEVICE.length(), end);
            printers.add(new DetectedPrinter(field(body, "type"), field(body, "path"), field(body, "modal"),
                number(field(body, "maxpacket")), text.substring(start, end + DEVICE_END.length())));
            from = end + DEVICE_END.length();
        }
        return Collections.unmodifiableList(printers);
    }

    // The value of the first <name> element of a device, unescaped; "" when there is none.
    private static String field(String body, String name) {
        String open = "<" + name + ">";
        int start = body.indexOf(open);
        if (start < 0)
            return "";
        start += open.length();
        int end = body.indexOf("</" + name + ">", start);
        if (end < 0)
            return "";
        return KestoPrinter.xmlUnescape(body.substring(start, end));
    }

    private static int number(String text) {
        try {
            return Integer.parseInt(text.strip());
        } catch (NumberFormatException e) {
            return 0;
        }
    }

    private static String abbreviate(String text) {
        return text.length() <= 40 ? text : text.substring(0, 40) + "...";
    }
}
