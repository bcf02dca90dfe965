#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <gmock/gmock.h>

#include "store/vb_error.h"

namespace skarvel::testing {

/// A fresh folder per test, removed afterwards; paths it hands out end without a separator.
class TempDir {
  public:
    /// `inMemory` puts it on /dev/shm where there is one, for tests whose many fsyncs would be
    /// slow on a disk.
    explicit TempDir(bool inMemory = false) {
        namespace fs = std::filesystem;
        const bool shm = inMemory && fs::is_directory("/dev/shm");
        path_ = (shm ? fs::path("/dev/shm") : fs::temp_directory_path()) /
                ("skarvel-" + std::to_string(::getpid()) + "-" +
                 std::to_string(std::random_device()()));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string str() const { return path_.string(); }
    /// The folder with a final separator, as the program folder is handed around.
    std::string folder() const { return path_.string() + "/"; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    std::size_t entryCount() const {
        const std::filesystem::directory_iterator it(path_);
        return std::size_t(std::distance(begin(it), end(it)));
    }

    /// The file's bytes; empty when it cannot be read.
    static std::string read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void write(const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }

  private:
    std::filesystem::path path_;
};

/// A call that throws the VbError with this number, as the file operations do.
inline auto throwsVb(int number) {
    return ::testing::Throws<VbError>(::testing::Property(&VbError::number, number));
}

}  // namespace skarvel::testing
