#include "escpos/command_bytes.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fixtures/recording_communication.h"
#include "kesto/kesto.h"
#include "support/log_reader.h"

namespace kesto::test {
namespace {

struct Member {
    const char* name;
    std::function<int(void*)> call;
    const char* hex;
};

#define FIXED(name, hex)                            \
    Member {                                        \
#name, [](void* h) { return name(h); }, hex \
    }
#define CALL(expr, hex)                          \
    Member {                                     \
#expr, [](void* h) { return expr; }, hex \
    }

// Every member of the family with the bytes the printer must receive.
const std::vector<Member>& Members() {
    static const std::vector<Member> members = {
        FIXED(Set_Reverse_PrintingON, "1D 42 01"),
        FIXED(Set_Reverse_PrintingOFF, "1D 42 00"),
        FIXED(SetHorizontalTab, "09"),
        FIXED(LineFeed, "0A"),
        FIXED(PrintNReturn2StdPageMode, "0C"),
        FIXED(PrintNCarriageReturn, "0D"),
        FIXED(CancelPrintDataPageMode, "18"),
        FIXED(RecoverErrorNPrint, "10 05 01"),
        FIXED(RecoverErrorNCancelPrint, "10 05 02"),
        FIXED(PrintInPageMode, "1B 0C"),
        FIXED(SelectCharFontA, "1B 4D 00"),
        FIXED(SelectCharFontABold, "1B 21 08"),
        FIXED(CancelDoubleHeight, "1B 21 00"),
        FIXED(SelectCharFontADoubleHeight, "1B 21 10"),
        FIXED(SelectCharFontADoubleWidth, "1B 21 20"),
        FIXED(SelectCharFontAUnderline, "1B 21 80"),
        FIXED(SelectCharFontB, "1B 4D 01"),
        FIXED(SelectCharFontBBold, "1B 21 09"),
        FIXED(SelectCharFontBDoubleHeight, "1B 21 11"),
        FIXED(SelectCharFontBDoubleWidth, "1B 21 21"),
        FIXED(SelectCharFontBUnderline, "1B 21 81"),
        FIXED(TurnUnderlineONThin, "1B 2D 01"),
        FIXED(TurnUnderlineONThick, "1B 2D 02"),
        FIXED(TurnUnderlineOFF, "1B 2D 00"),
        FIXED(SetDefaultLineSpacing, "1B 32"),
        FIXED(EnablePrinter, "1B 3D 01"),
        FIXED(DisablePrinter, "1B 3D 00"),
        FIXED(TurnBoldON, "1B 45 01"),
        FIXED(TurnBoldOFF, "1B 45 00"),
        FIXED(TurnDoubleStrikeON, "1B 47 01"),
        FIXED(TurnDoubleStrikeOFF, "1B 47 00"),
        FIXED(SelectPageMode, "1B 4C"),
        FIXED(SelectStdMode, "1B 53"),
        FIXED(PageModePrintLeft2Right, "1B 54 00"),
        FIXED(PageModePrintBottom2Top, "1B 54 01"),
        FIXED(PageModePrintRight2Left, "1B 54 02"),
        FIXED(PageModePrintTop2Bottom, "1B 54 03"),
        FIXED(Turn90ClockwiseRotationON, "1B 56 01"),
        FIXED(Turn90ClockwiseRotationOFF, "1B 56 00"),
        FIXED(SetLeftAllign, "1B 61 00"),
        FIXED(SetCenterAllign, "1B 61 01"),
        FIXED(SetRightAllign, "1B 61 02"),
        FIXED(SelectCharSizeNormal, "1B 21 00"),
        FIXED(SelectCharSizeHeight2, "1D 21 01"),
        FIXED(SelectCharSizeHeight3, "1D 21 02"),
        FIXED(SelectCharSizeHeight4, "1D 21 03"),
        FIXED(SelectCharSizeHeight5, "1D 21 04"),
        FIXED(SelectCharSizeHeight6, "1D 21 05"),
        FIXED(SelectCharSizeHeight7, "1D 21 06"),
        FIXED(SelectCharSizeHeight8, "1D 21 07"),
        FIXED(SelectCharSizeWidth2, "1D 21 10"),
        FIXED(SelectCharSizeWidth3, "1D 21 20"),
        FIXED(SelectCharSizeWidth4, "1D 21 30"),
        FIXED(SelectCharSizeWidth5, "1D 21 40"),
        FIXED(SelectCharSizeWidth6, "1D 21 50"),
        FIXED(SelectCharSizeWidth7, "1D 21 60"),
        FIXED(SelectCharSizeWidth8, "1D 21 70"),

        CALL(SelectPage(h, 2), "1B 74 02"),
        CALL(SelectPage(h, 258), "1B 74 02"),
        CALL(SetLeftMargin(h, 0x1234), "1D 4C 34 12"),
        CALL(SetLeftMargin(h, 40), "1D 4C 28 00"),
        CALL(SelectCharSize(h, 0x111), "1D 21 11"),
        CALL(SetPrintDirection(h, 3), "1B 54 03"),
        CALL(SetPrintDirection(h, 257), "1B 54 01"),
        CALL(Set_Barcode_Width(h, 3), "1D 77 03"),
        CALL(Set_Print_Range(h, 1, 2, 3, 4, 5, 6, 0x107, -1), "1B 57 01 02 03 04 05 06 07 FF"),
        CALL(Set_Motion_Units(h, 180, 180), "1D 50 B4 B4"),
        CALL(Set_Motion_Units(h, 0x1B4, 0x200), "1D 50 B4 00"),
        CALL(SetPrinting_Position(h, 2), "1D 48 02"),
        CALL(SetRightsideCharSpacing(h, 300), "1B 20 2C"),
        CALL(SetAbsolutePosition(h, 45, 0), "1B 24 2D 00"),
        CALL(SetAbsolutePosition(h, 0x1FF, 0x101), "1B 24 FF 01"),
        CALL(SetLinSpacing(h, 30), "1B 33 1E"),
        CALL(SetHorizontalTabSpace(h, 8, 16), "1B 44 08 10"),
        CALL(PrintNFeedPaper(h, 0x216), "1B 4A 16"),
        CALL(SetStartPrintPosition(h, 60, 0), "1B 5C 3C 00"),
        CALL(SetStartPrintPosition(h, -2, -1), "1B 5C FE FF"),
        CALL(PrintNFeedNLines(h, 5), "1B 64 05"),
    };
    return members;
}

TEST(FormattingCommands, EachMemberSendsItsCommandInOneWrite) {
    ClearLog();
    for (const Member& member : Members()) {
        RecordingPrinter printer;
        const std::string expected = FromHex(member.hex);
        EXPECT_EQ(member.call(printer.Handle()), static_cast<int>(expected.size())) << member.name;
        const auto records = printer.Comm().Records();
        ASSERT_EQ(records.size(), 1u) << member.name;
        EXPECT_EQ(Hex(records[0].bytes), Hex(expected)) << member.name;
        EXPECT_EQ(records[0].timeout, 0) << member.name;
        EXPECT_FALSE(records[0].printInProgress) << member.name;
    }
    EXPECT_TRUE(LogMessages().empty()) << "the formatting family writes no log";
}

TEST(FormattingCommands, NoTransportGivesMinusOneAndSendsNothing) {
    for (const Member& member : Members()) {
        EXPECT_EQ(member.call(nullptr), -1) << member.name;
        RecordingPrinter refusing(RecordingPrinter::Mode::kCannotConnect);
        EXPECT_EQ(member.call(refusing.Handle()), -1) << member.name;
        EXPECT_EQ(refusing.ConnectCalls(), 1) << member.name << " tries to connect once";
        EXPECT_EQ(refusing.Comm().WriteCount(), 0u) << member.name;
    }
}

TEST(FormattingCommands, FirstUseConnectsThePrinter) {
    RecordingPrinter printer(RecordingPrinter::Mode::kConnectsOnDemand);
    EXPECT_EQ(TurnBoldON(printer.Handle()), 3);
    EXPECT_EQ(SetLinSpacing(printer.Handle(), 24), 3);
    EXPECT_EQ(printer.ConnectCalls(), 1);
    EXPECT_EQ(printer.Comm().AllBytes(), FromHex("1B 45 01 1B 33 18"));
}

TEST(FormattingCommands, TransportResultIsReturnedUnchanged) {
    RecordingPrinter printer;
    printer.Comm().ShortWrites(2);
    EXPECT_EQ(Set_Print_Range(printer.Handle(), 0, 0, 0, 0, 0, 0, 0, 0), 2);
    EXPECT_EQ(TurnBoldOFF(printer.Handle()), 2);
    printer.Comm().FailAllWrites();
    EXPECT_EQ(SelectPage(printer.Handle(), 1), -1);
    EXPECT_EQ(LineFeed(printer.Handle()), -1);
    // The full commands were offered each time; nothing is retried.
    EXPECT_EQ(printer.Comm().WriteCount(), 4u);
    EXPECT_EQ(printer.Comm().Writes()[0].size(), 10u);
}

TEST(FormattingCommands, ExceptionsStayInsideAndTheFlagIsLeftAlone) {
    RecordingPrinter printer;
    printer.Comm().ThrowOnWrites();
    g_bPrintInProgress = true;
    EXPECT_EQ(SelectCharFontB(printer.Handle()), -1);
    EXPECT_EQ(SelectCharSize(printer.Handle(), 0x11), -1);
    EXPECT_TRUE(g_bPrintInProgress.load());
    g_bPrintInProgress = false;
}

TEST(FormattingCommands, BuilderKeepsTheLowByteAndTheCommandLength) {
    EXPECT_EQ(kesto::Bytes({0x1B, 0x74, -256}), FromHex("1B 74 00"));
    EXPECT_EQ(kesto::Bytes({0x1B, 0x74, -129}), FromHex("1B 74 7F"));
    EXPECT_EQ(kesto::Bytes({0x1D, 0x4C, -1, kesto::HighByte(-1)}), FromHex("1D 4C FF FF"));
}

}  // namespace
}  // namespace kesto::test
