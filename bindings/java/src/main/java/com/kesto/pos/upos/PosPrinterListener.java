package com.kesto.pos.upos;

/**
 * The events of one {@link PosPrinter}. Status updates and output completions come one at a
 * time, in order, on the printer's event thread; errors on its output thread, which waits for the
 * answer.
 */
public interface PosPrinterListener {
    /** A {@code PTR_SUE_*} or {@code JPOS_SUE_POWER_*} value. */
    default void statusUpdate(int status) {}

    /** The asynchronous job of this output id printed, as the printer confirmed. */
    default void outputComplete(int outputId) {}

    /** An asynchronous job cannot go on; set the event's response to retry (the default) or clear. */
    default void error(ErrorEvent event) {}

    /** What an error event carries, with the response the service gives back. */
    final class ErrorEvent {
        private final int errorCode;
        private final int errorCodeExtended;
        private volatile int errorResponse = UposConst.JPOS_ER_RETRY;

        ErrorEvent(int errorCode, int errorCodeExtended) {
            this.errorCode = errorCode;
            this.errorCodeExtended = errorCodeExtended;
        }

        public int errorCode() { return errorCode; }

        public int errorCodeExtended() { return errorCodeExtended; }

        /** Always JPOS_EL_OUTPUT: the layer has no input. */
        public int errorLocus() { return UposConst.JPOS_EL_OUTPUT; }

        public int errorResponse() { return errorResponse; }

        /**
         * JPOS_ER_RETRY: go on once the printer can (nothing is sent twice); JPOS_ER_CLEAR: drop what is not
         * sent.
         */
        public void setErrorResponse(int response) {
            if (response != UposConst.JPOS_ER_RETRY && response != UposConst.JPOS_ER_CLEAR)
                throw new IllegalArgumentException(
                    "an output error is answered with retry or clear, not " + response);
            errorResponse = response;
        }
    }
}
