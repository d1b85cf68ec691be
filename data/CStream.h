#pragma once

#include <cstdio>
#include <memory>

// Closes a C stream when its owner goes.
struct TFileCloser {
  void operator()(std::FILE *f) const { std::fclose(f); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

// White space of the C locale: what the data and palette readers skip between
// tokens, so also what the writer must keep out of a word's next byte. EOF is
// not blank.
inline bool IsBlank(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
