// An output stream buffer over a C stdio stream, for the program's console
// messages. The program does not use std::cout: including <iostream> sets up
// the standard streams, and with them the whole classic locale, at every
// start, which costs the running service half a megabyte of resident memory
// for messages it only prints when registering.
#pragma once

#include <cstdio>
#include <streambuf>

namespace duvane {

class StdioStreamBuffer : public std::streambuf {
 public:
  explicit StdioStreamBuffer(std::FILE* file) : file_(file) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return std::fputc(c, file_) == EOF ? traits_type::eof() : c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    return static_cast<std::streamsize>(std::fwrite(text, 1, static_cast<size_t>(count), file_));
  }
  int sync() override { return std::fflush(file_) == 0 ? 0 : -1; }

 private:
  std::FILE* file_;
};

}  // namespace duvane
