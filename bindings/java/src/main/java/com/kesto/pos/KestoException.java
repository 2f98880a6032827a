package com.kesto.pos;

/** A printer call failed; {@link #errorCode()} is the library's last error for the device. */
public class KestoException extends Exception {
    private static final long serialVersionUID = 1L;

    private final int errorCode;

    public KestoException(String message, int errorCode) {
        super(message + " (error " + errorCode + ")");
        this.errorCode = errorCode;
    }

    /** The errno-style code from {@code KESTO_GetLastError}, e.g. 111 for a refused connection. */
    public int errorCode() { return errorCode; }
}
