package com.kesto.pos.upos;

import static com.kesto.pos.upos.UposConst.*;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import com.kesto.pos.VirtualPrinter;
import java.awt.image.BufferedImage;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Set;
import java.util.TreeSet;
import java.util.stream.IntStream;
import javax.imageio.ImageIO;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.api.io.TempDir;

@Timeout(60)
class BitmapTest {
    @TempDir Path out;

    /** A black picture of w x h pixels. */
    Path black(int w, int h) throws Exception {
        Path p = out.resolve("black-" + w + "x" + h + ".png");
        ImageIO.write(new BufferedImage(w, h, BufferedImage.TYPE_BYTE_BINARY), "png", p.toFile());
        return p;
    }

    /** "first-last" ink columns of every row with ink, each pair once. */
    static Set<String> inkColumns(BufferedImage img) {
        Set<String> spans = new TreeSet<>();
        for (int y = 0; y < img.getHeight(); y++) {
            final int row = y;
            int[] ink =
                IntStream.range(0, img.getWidth()).filter(x -> (img.getRGB(x, row) & 0xFF) < 128).toArray();
            if (ink.length > 0)
                spans.add(ink[0] + "-" + ink[ink.length - 1]);
        }
        return spans;
    }

    @Test
    void picturesArePlacedAtTheirAlignmentAndWidthAndWhatDoesNotFitIsRefused() throws Exception {
        Path pic = black(100, 50);
        BufferedImage at30 = BitmapLayout.layout(pic, 200, 30, 576); // centre and right: on paper below
        assertEquals("576x100 [30-229]", at30.getWidth() + "x" + at30.getHeight() + " " + inkColumns(at30));
        Files.writeString(out.resolve("text.png"), "no picture");
        Object[][] refused = {{pic, 600, PTR_BM_LEFT, JPOS_EPTR_TOOBIG}, {pic, 100, 500, JPOS_EPTR_TOOBIG},
            {out.resolve("text.png"), 100, PTR_BM_LEFT, JPOS_EPTR_BADFORMAT},
            {out.resolve("none.png"), 100, PTR_BM_LEFT, 0}};
        for (Object[] r : refused) {
            UposException e = assertThrows(
                UposException.class, () -> BitmapLayout.layout((Path) r[0], (int) r[1], (int) r[2], 576));
            assertEquals(r[3], e.errorCodeExtended(), e.getMessage());
        }
    }

    @Test
    void aPrintedAndAStoredBitmapComeOutOnPaperWhereTheyWereAligned() throws Exception {
        Path paper = Files.createDirectory(out.resolve("paper"));
        try (VirtualPrinter vp = new VirtualPrinter(paper);
             PosPrinter p = PosPrinter.open(vp.description())) {
            p.printBitmap(PTR_S_RECEIPT, black(100, 50).toString(), 200, PTR_BM_CENTER);
            p.setBitmap(1, PTR_S_RECEIPT, black(100, 50).toString(), PTR_BM_ASIS, PTR_BM_RIGHT);
            p.printNormal(PTR_S_RECEIPT, "\u001B|1B\u001B|P");
        }
        assertEquals(
            Set.of("188-387", "476-575"), inkColumns(ImageIO.read(paper.resolve("receipt-1.png").toFile())));
    }
}
