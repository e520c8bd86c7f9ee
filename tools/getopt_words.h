// The words of a command line as getopt_long takes them: the program's name
// first, then the arguments, as a writable argv that lives as long as this.
// Making one also starts getopt's scan afresh, with its own error lines off
// (the parsers say what is wrong themselves). Not thread-safe: getopt's
// state is the process's.
#pragma once

#include <getopt.h>

#include <span>
#include <string>
#include <vector>

namespace vexo {

class GetoptWords {
 public:
  GetoptWords(const char* program, std::span<const std::string> args) : words_{program} {
    words_.insert(words_.end(), args.begin(), args.end());
    for (std::string& word : words_) argv_.push_back(word.data());
    argv_.push_back(nullptr);
    optind = 0;
    opterr = 0;
  }
  GetoptWords(const GetoptWords&) = delete;
  GetoptWords& operator=(const GetoptWords&) = delete;

  int argc() const { return static_cast<int>(words_.size()); }
  char** argv() { return argv_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> argv_;
};

}  // namespace vexo
