package com.kesto.pos;

/** A status code the library reports, from a status poll or the status thread. */
public enum PrinterStatus {
    NOTHING(0),
    DRAWER_PIN_LOW(3),
    DRAWER_PIN_HIGH(6),
    COVER_OPEN(7),
    COVER_CLOSED(9),
    PAPER_END(19),
    PAPER_END_CLEARED(32),
    PAPER_NEAR_END(24),
    PAPER_NEAR_END_CLEARED(23);

    private final int code;

    PrinterStatus(int code) { this.code = code; }

    public int code() { return code; }

    /** The status of a code, or null for a code the library never reports. */
    public static PrinterStatus fromCode(int code) {
        for (PrinterStatus s : values()) {
            if (s.code == code)
                return s;
        }
        return null;
    }
}
