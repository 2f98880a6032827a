package com.kesto.pos.upos;

/**
 * The UnifiedPOS values this layer takes and reports, under their UnifiedPOS names, so that a
 * JavaPOS service passes them through unchanged.
 */
public final class UposConst {
    private UposConst() {}

    // Device states and results.
    public static final int JPOS_S_CLOSED = 1;
    public static final int JPOS_S_IDLE = 2;
    public static final int JPOS_S_BUSY = 3;
    public static final int JPOS_S_ERROR = 4;

    public static final int JPOS_SUCCESS = 0;
    public static final int JPOS_E_CLOSED = 101;
    public static final int JPOS_E_ILLEGAL = 106;
    public static final int JPOS_E_NOHARDWARE = 107;
    public static final int JPOS_E_OFFLINE = 108;
    public static final int JPOS_E_NOEXIST = 109;
    public static final int JPOS_E_FAILURE = 111;
    public static final int JPOS_E_TIMEOUT = 112;
    public static final int JPOS_E_BUSY = 113;
    public static final int JPOS_E_EXTENDED = 114;

    public static final int JPOS_EPTR_COVER_OPEN = 201;
    public static final int JPOS_EPTR_REC_EMPTY = 203;
    public static final int JPOS_EPTR_TOOBIG = 206;
    public static final int JPOS_EPTR_BADFORMAT = 207;

    // Error events.
    public static final int JPOS_EL_OUTPUT = 1;
    public static final int JPOS_ER_RETRY = 11;
    public static final int JPOS_ER_CLEAR = 12;

    // Power reporting.
    public static final int JPOS_PR_NONE = 0;
    public static final int JPOS_PR_STANDARD = 1;
    public static final int JPOS_PR_ADVANCED = 2;
    public static final int JPOS_PN_DISABLED = 0;
    public static final int JPOS_PN_ENABLED = 1;
    public static final int JPOS_PS_UNKNOWN = 2000;
    public static final int JPOS_PS_ONLINE = 2001;
    public static final int JPOS_PS_OFF = 2002;
    public static final int JPOS_PS_OFFLINE = 2003;
    public static final int JPOS_PS_OFF_OFFLINE = 2004;
    public static final int JPOS_SUE_POWER_ONLINE = 2001;
    public static final int JPOS_SUE_POWER_OFF = 2002;
    public static final int JPOS_SUE_POWER_OFFLINE = 2003;
    public static final int JPOS_SUE_POWER_OFF_OFFLINE = 2004;

    public static final int JPOS_FOREVER = -1;

    // Stations and character sets.
    public static final int PTR_S_JOURNAL = 1;
    public static final int PTR_S_RECEIPT = 2;
    public static final int PTR_S_SLIP = 4;
    public static final int PTR_CS_UNICODE = 997;

    // cutPaper.
    public static final int PTR_CP_FULLCUT = 100;

    // printBarCode alignment, text position and symbologies.
    public static final int PTR_BC_LEFT = -1;
    public static final int PTR_BC_CENTER = -2;
    public static final int PTR_BC_RIGHT = -3;
    public static final int PTR_BC_TEXT_NONE = -11;
    public static final int PTR_BC_TEXT_ABOVE = -12;
    public static final int PTR_BC_TEXT_BELOW = -13;

    public static final int PTR_BCS_UPCA = 101;
    public static final int PTR_BCS_UPCE = 102;
    public static final int PTR_BCS_EAN8 = 103;
    public static final int PTR_BCS_EAN13 = 104;
    public static final int PTR_BCS_TF = 105;
    public static final int PTR_BCS_ITF = 106;
    public static final int PTR_BCS_Codabar = 107;
    public static final int PTR_BCS_Code39 = 108;
    public static final int PTR_BCS_Code93 = 109;
    public static final int PTR_BCS_Code128 = 110;
    public static final int PTR_BCS_EAN128 = 120;
    public static final int PTR_BCS_PDF417 = 201;
    public static final int PTR_BCS_MAXICODE = 202;
    public static final int PTR_BCS_DATAMATRIX = 203;
    public static final int PTR_BCS_QRCODE = 204;

    // printBitmap and setBitmap.
    public static final int PTR_BM_ASIS = -11;
    public static final int PTR_BM_LEFT = -1;
    public static final int PTR_BM_CENTER = -2;
    public static final int PTR_BM_RIGHT = -3;

    // setLogo and transactionPrint.
    public static final int PTR_L_TOP = 1;
    public static final int PTR_L_BOTTOM = 2;
    public static final int PTR_TP_TRANSACTION = 11;
    public static final int PTR_TP_NORMAL = 12;

    // Status update events.
    public static final int PTR_SUE_COVER_OPEN = 11;
    public static final int PTR_SUE_COVER_OK = 12;
    public static final int PTR_SUE_REC_EMPTY = 24;
    public static final int PTR_SUE_REC_NEAREMPTY = 25;
    public static final int PTR_SUE_REC_PAPEROK = 26;
    public static final int PTR_SUE_IDLE = 1001;
}
