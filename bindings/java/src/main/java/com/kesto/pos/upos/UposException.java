package com.kesto.pos.upos;

/**
 * A call failed the UnifiedPOS way: {@link #errorCode()} is a {@code JPOS_E_*} value and, for
 * {@code JPOS_E_EXTENDED}, {@link #errorCodeExtended()} a {@code JPOS_EPTR_*} value.
 */
public class UposException extends Exception {
    private static final long serialVersionUID = 1L;

    private final int errorCode;
    private final int errorCodeExtended;
    private final boolean jobHeld;

    public UposException(int errorCode, String message) { this(errorCode, 0, message, null); }

    public UposException(int errorCode, int errorCodeExtended, String message, Throwable cause) {
        this(errorCode, errorCodeExtended, message, cause, false);
    }

    UposException(int errorCode, int errorCodeExtended, String message, Throwable cause, boolean jobHeld) {
        super(message, cause);
        this.errorCode = errorCode;
        this.errorCodeExtended = errorCodeExtended;
        this.jobHeld = jobHeld;
    }

    public int errorCode() { return errorCode; }

    public int errorCodeExtended() { return errorCodeExtended; }

    /**
     * A synchronous print failed after its job reached the printer: the printer holds it and
     * prints it once it can, so sending it again would print it twice.
     */
    public boolean jobHeld() { return jobHeld; }
}
