#pragma once

// Fuzz helper: the input as a file of this process's own, since the code under
// test reads files by name.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

class FuzzFile {
public:
    FuzzFile(const char* tag, const uint8_t* data, size_t size)
        : path_("/tmp/kesto-fuzz-" + std::to_string(::getpid()) + "-" + tag + ".bmp") {
        if (FILE* f = std::fopen(path_.c_str(), "wb")) {
            if (size > 0) std::fwrite(data, 1, size, f);
            std::fclose(f);
        }
    }
    ~FuzzFile() { ::unlink(path_.c_str()); }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;

    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};
