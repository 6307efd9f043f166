// A fresh folder under the system's temporary directory, removed with all
// its contents when the object goes away.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace spekolar::spktest {

class TempDir {
 public:
  // A new folder spk-XXXXXX (six random letters and digits); empty path()
  // when none could be made.
  TempDir() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) return;
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::string name = "spk-";
      for (int i = 0; i < 6; ++i) name += kChars[random() % 36];
      // create_directory makes the folder only when no such name exists.
      if (std::filesystem::create_directory(base / name, error)) path_ = (base / name).string();
    }
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` below the folder ('/' between parts), in the
  // system's form: with backslashes on Windows, as the system hands paths
  // back.
  std::string operator/(const std::string& name) const {
    std::string joined = path_ + "/" + name;
#ifdef _WIN32
    for (char& c : joined) {
      if (c == '/') c = '\\';
    }
#endif
    return joined;
  }

  // Writes `bytes` to the file `name` below the folder (folders created).
  void Write(const std::string& name, const std::string& bytes) const {
    std::filesystem::path p = std::filesystem::path(path_) / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  // The bytes of the file `name`; empty when missing.
  std::string Read(const std::string& name) const {
    std::ifstream in(std::filesystem::path(path_) / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The text of a file that the program wrote, with the system's line ends
  // read back as "\n": Windows programs end their lines with CR LF.
  std::string ReadText(const std::string& name) const {
    std::string bytes = Read(name);
#ifdef _WIN32
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += bytes[i];
    }
    return text;
#else
    return bytes;
#endif
  }
  bool Exists(const std::string& name) const {
    return std::filesystem::exists(std::filesystem::path(path_) / name);
  }

 private:
  std::string path_;
};

}  // namespace spekolar::spktest
