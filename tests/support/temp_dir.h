#pragma once
// A fresh directory under the system temp folder, removed with its contents.
#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
#ifdef _WIN32
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
#else
  std::string File(const std::string& name) const { return path_ + "/" + name; }
#endif
  void Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;  // "" when missing

 private:
  std::string path_;
};
