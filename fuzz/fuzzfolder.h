// A scratch folder for harnesses whose reader takes files, made once per run and removed at exit.
// It lies in $TMPDIR when that is set (a crashed run leaves it there), else in /dev/shm where there
// is one, so that a write per input costs no disk.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz/fuzzcheck.h"

class TFuzzFolder {
   public:
    explicit TFuzzFolder(const std::string& name) {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = std::filesystem::temp_directory_path().string();
        if (tmp && *tmp)
            base = tmp;
        else if (std::filesystem::is_directory("/dev/shm"))
            base = "/dev/shm";
        std::string pattern = base + "/teravox-fuzz-" + name + "-XXXXXX";
        FuzzCheck(::mkdtemp(pattern.data()) != nullptr, "a scratch folder can be made");
        path_ = pattern;
    }
    ~TFuzzFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TFuzzFolder(const TFuzzFolder&) = delete;
    TFuzzFolder& operator=(const TFuzzFolder&) = delete;

    std::string Path(const std::string& name = "") const { return name.empty() ? path_ : path_ + "/" + name; }

    // Replaces the file `name` with exactly these bytes.
    void Write(const std::string& name, const void* data, std::size_t size) const {
        const std::string p = Path(name);
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        FuzzCheck(fd >= 0, "a scratch file can be made");
        const auto* bytes = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(fd, bytes, size);
            FuzzCheck(n > 0, "a scratch file can be written");
            bytes += n;
            size -= static_cast<std::size_t>(n);
        }
        ::close(fd);
    }

    // Empties the folder, sub-folders included.
    void Clear() const {
        for (const auto& e : std::filesystem::directory_iterator(path_))
            std::filesystem::remove_all(e.path());
    }

   private:
    std::string path_;
};
