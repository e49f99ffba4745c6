// A temporary folder removed at the end of a test.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

class TTestDir {
   public:
    TTestDir() {
        auto base = std::filesystem::temp_directory_path() / "teravox-test-XXXXXX";
        std::string tmpl = base.string();
        dir_ = ::mkdtemp(tmpl.data());
    }
    ~TTestDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TTestDir(const TTestDir&) = delete;
    TTestDir& operator=(const TTestDir&) = delete;
    std::string Path(const std::string& name = "") const { return name.empty() ? dir_ : dir_ + "/" + name; }

   private:
    std::string dir_;
};
