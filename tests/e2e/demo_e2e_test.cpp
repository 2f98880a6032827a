// The demo script end to end: the virtual printer binary, the kesto tool and
// the conversion script print the sample receipts and the photo, and the
// rendered receipts appear as PNG files.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the demo from the source tree (it names its files from there); its
// output goes to `log`. The exit status, or -1.
int RunDemo(const std::string& out, const std::string& log) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::chdir(KESTO_E2E_SOURCE_DIR) != 0) ::_exit(126);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::execl("/bin/bash", "bash", "tools/demo-receipts.sh", KESTO_E2E_BUILD_DIR, out.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(DemoE2E, PrintsTheSampleReceiptsAndThePhotoAsPngFiles) {
    char dir[] = "/tmp/kesto-e2e-demo-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string out = dir;
    const std::string log = out + ".log";

    EXPECT_EQ(RunDemo(out, log), 0) << ReadFile(log);

    const std::string pngSignature("\x89PNG\r\n\x1a\n", 8);
    for (int n = 1; n <= 5; ++n) {
        const std::string png = ReadFile(out + "/receipt-" + std::to_string(n) + ".png");
        EXPECT_GT(png.size(), pngSignature.size()) << "receipt " << n << "\n" << ReadFile(log);
        EXPECT_EQ(png.substr(0, pngSignature.size()), pngSignature) << "receipt " << n;
    }
    EXPECT_NE(ReadFile(out + "/receipt-4.txt").find("THE END"), std::string::npos);
    EXPECT_NE(ReadFile(out + "/receipt-5.txt").find("GS v 0: raster image"), std::string::npos)
        << ReadFile(out + "/receipt-5.txt");

    // Clean up everything the demo wrote.
    if (DIR* d = ::opendir(dir)) {
        std::vector<std::string> names;
        while (dirent* e = ::readdir(d)) {
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        }
        ::closedir(d);
        for (const std::string& name : names) ::unlink((out + "/" + name).c_str());
    }
    ::rmdir(dir);
    ::unlink(log.c_str());
}

}  // namespace
