package com.kesto.pos.upos;

import static com.kesto.pos.upos.UposConst.*;

import java.awt.Color;
import java.awt.Graphics2D;
import java.awt.RenderingHints;
import java.awt.image.BufferedImage;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import javax.imageio.ImageIO;

/**
 * A picture for {@code printBitmap} and {@code setBitmap}: scaled to the width asked for and
 * placed on a white strip as wide as the paper where the alignment puts it, so that the
 * library's image path (which prints a picture from the paper's left edge) prints it in place.
 */
final class BitmapLayout {
    private BitmapLayout() {}

    /** The strip, or fails with JPOS_E_NOEXIST, JPOS_EPTR_BADFORMAT or JPOS_EPTR_TOOBIG. */
    static BufferedImage layout(Path file, int width, int alignment, int paperWidth) throws UposException {
        if (!Files.isReadable(file))
            throw new UposException(JPOS_E_NOEXIST, "no picture " + file);
        BufferedImage picture;
        try {
            picture = ImageIO.read(file.toFile());
        } catch (IOException e) {
            picture = null;
        }
        if (picture == null)
            throw extended(
                JPOS_EPTR_BADFORMAT, file + " is no picture this layer reads (BMP, PNG, JPEG, GIF)");
        int w = width == PTR_BM_ASIS ? picture.getWidth() : width;
        if (w < 1)
            throw new UposException(JPOS_E_ILLEGAL, "bitmap width " + width);
        int h = Math.max(1, (int) Math.round((double) picture.getHeight() * w / picture.getWidth()));
        int x = alignment == PTR_BM_LEFT ? 0
            : alignment == PTR_BM_CENTER ? (paperWidth - w) / 2
            : alignment == PTR_BM_RIGHT  ? paperWidth - w
                                         : alignment;
        if (alignment < PTR_BM_RIGHT)
            throw new UposException(JPOS_E_ILLEGAL, "bitmap alignment " + alignment);
        if (x < 0 || x + w > paperWidth)
            throw extended(
                JPOS_EPTR_TOOBIG, w + " dots at " + x + " do not fit on paper " + paperWidth + " dots wide");
        BufferedImage strip = new BufferedImage(paperWidth, h, BufferedImage.TYPE_BYTE_GRAY);
        Graphics2D g = strip.createGraphics();
        try {
            g.setColor(Color.WHITE);
            g.fillRect(0, 0, paperWidth, h);
            g.setRenderingHint(RenderingHints.KEY_INTERPOLATION, RenderingHints.VALUE_INTERPOLATION_BILINEAR);
            g.drawImage(picture, x, 0, w, h, Color.WHITE, null);
        } finally {
            g.dispose();
        }
        return strip;
    }

    /** The strip written to a temporary PNG file for the library's image path. */
    static Path prepare(Path file, int width, int alignment, int paperWidth) throws UposException {
        BufferedImage strip = layout(file, width, alignment, paperWidth);
        try {
            Path out = Files.createTempFile("kesto-bitmap-", ".png");
            ImageIO.write(strip, "png", out.toFile());
            return out;
        } catch (IOException e) {
            throw new UposException(JPOS_E_FAILURE, 0, "cannot write the prepared picture", e);
        }
    }

    private static UposException extended(int code, String message) {
        return new UposException(JPOS_E_EXTENDED, code, message, null);
    }
}
