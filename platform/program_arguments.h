// The program's command line as UTF-8 words, argv[0] first: on Linux argv as
// it is; on Windows read again from the wide-character command line, so that
// paths and names outside the system's code page arrive whole.
#pragma once
#include <string>
#include <vector>

class ProgramArguments {
public:
    ProgramArguments(int argc, char** argv);
    int Count() const { return int(pointers_.size()); }
    const char* const* Words() const { return pointers_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<const char*> pointers_;
    // The pointers the command-line library reads, into words_.
    void Point() {
        for (const std::string& w : words_) pointers_.push_back(w.c_str());
    }
};
