package com.kesto.pos;

/**
 * Receives the status changes of a printer. Called on the library's status thread (named
 * "kesto-status"), one call at a time; a listener that blocks holds up the polling. Exceptions
 * it throws are logged and dropped.
 */
@FunctionalInterface
public interface StatusListener {
    void statusChanged(PrinterStatus status);
}
