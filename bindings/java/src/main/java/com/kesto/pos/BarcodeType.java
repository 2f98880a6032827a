package com.kesto.pos;

/** The symbologies the library prints, with its type numbers. */
public enum BarcodeType {
    UPC_A(257),
    UPC_E(258),
    EAN_8(259),
    EAN_13(260),
    ITF(261),
    CODABAR(262),
    CODE39(263),
    CODE93(264),
    CODE128(265),
    QR_CODE(272),
    PDF417(273);

    private final int code;

    BarcodeType(int code) { this.code = code; }

    public int code() { return code; }
}
