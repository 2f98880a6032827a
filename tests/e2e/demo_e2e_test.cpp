// The demo script with this build's virtual printer, kesto tool and converter:
// the four sample receipts and the photo come out as PNG files and transcripts.
#include "tools/virtual-printer/vp_support.h"

namespace kesto::vprinter::test {
namespace {

TEST(DemoEndToEnd, PrintsTheSampleReceiptsAndThePhoto) {
    kesto::test::TempDir out;
    Child demo({"/bin/bash", "-c", "cd \"$0\" && exec tools/demo-receipts.sh \"$1\" \"$2\"", KESTO_SOURCE_DIR,
                KESTO_BUILD_DIR, out.path()});
    ASSERT_EQ(demo.Finish(), 0) << demo.output;
    auto read = [&](const std::string& name) { return ReadFile(out.path() + "/" + name); };
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(read("receipt-" + std::to_string(n) + ".png").substr(0, 8), "\x89PNG\r\n\x1a\n") << n;
    EXPECT_NE(read("receipt-4.txt").find("THE END"), std::string::npos);
    EXPECT_NE(read("receipt-5.txt").find("GS v 0: raster image"), std::string::npos) << read("receipt-5.txt");
}

}  // namespace
}  // namespace kesto::vprinter::test
