// Windows: the wide-character command line, split as the C runtime splits
// it (CommandLineToArgvW), each word as UTF-8.
#include <windows.h>
#include <shellapi.h>

#include "platform/program_arguments.h"
#include "wide_text.h"

ProgramArguments::ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide) {
        for (int i = 0; i < count; ++i) words_.push_back(Utf8(wide[i]));
        LocalFree(wide);
    } else {
        words_.assign(argv, argv + argc);
    }
    Point();
}
