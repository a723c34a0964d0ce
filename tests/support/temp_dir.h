// A temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace nicops::testing {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "nicops-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes `content` to a file in the folder and returns its path.
    std::string write(const std::string& name, const std::string& content) const {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary) << content;
        return file.string();
    }

    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path path_;
};

#ifdef NICOPS_SOURCE_DIR
// The bundled demo host's description; tests write a copy of it, so nothing they change
// reaches the repository's file.
inline std::string demoHostText() {
    return TempDir::read(std::string(NICOPS_SOURCE_DIR) + "/tests/data/demo-host.json");
}
#endif

// UTF-8 bytes of a u8 literal as a plain string (the tree's narrow literals are GBK).
inline std::string utf8(const char8_t* s) {
    return reinterpret_cast<const char*>(s);
}

}  // namespace nicops::testing
