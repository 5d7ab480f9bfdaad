// Entry point of every Windows test program: doctest with the wide command line as UTF-8.
#define DOCTEST_CONFIG_IMPLEMENT
#include "doctest.h"

#include <windows.h>

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> storage;
    for (int i = 0; i < argc; i++) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(bytes > 0 ? bytes - 1 : 0, '\0');
        if (bytes > 1)
            WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &arg[0], bytes, nullptr, nullptr);
        storage.push_back(arg);
    }
    std::vector<char*> args;
    for (std::string& arg : storage)
        args.push_back(&arg[0]);
    args.push_back(nullptr);

    doctest::Context context(argc, args.data());
    return context.run();
}
