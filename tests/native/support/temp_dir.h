// A fresh host directory for a test, made the current directory while the object lives, and
// whole-file reads and writes of host files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

class TempDir {
  public:
    TempDir() : previous_(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvex-test-XXXXXX");
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("no temporary directory");
        path_ = pattern;
        std::filesystem::current_path(path_);
    }
    ~TempDir() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(path_);
    }
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::filesystem::path previous_;
    std::string path_;
};

inline std::string ReadHostFile(const std::string& path) {
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
}

inline void WriteHostFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline bool HostFileExists(const std::string& path) {
    return std::filesystem::exists(path);
}
