// Writes the language file the Windows package ships for translators (every
// key with its built-in text) to the path given, or to standard output.
#include <cstdio>
#include <string>

#include "config/language.h"

int main(int argc, char** argv) {
  const std::string text = LanguageFileTemplate();
  FILE* f = argc > 1 ? std::fopen(argv[1], "wb") : stdout;
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if ((f != stdout ? std::fclose(f) : std::fflush(f)) != 0 || !ok) {
    std::perror(argc > 1 ? argv[1] : "stdout");
    return 1;
  }
  return 0;
}
