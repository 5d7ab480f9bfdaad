// Reading a shell link back through the shell's own link object.
#ifndef LUMIVO_TESTS_LINKREADER_H
#define LUMIVO_TESTS_LINKREADER_H

#include <string>

struct LinkInfo {
    bool loaded = false;
    std::wstring path;
    std::wstring description;
    std::wstring iconPath;
    int iconIndex = -1;
    int showCommand = -1;    // as the shell link object reports it
    int savedShowCommand = -1; // the field as saved in the file (the object reports values other
                               // than normal, maximized and minimized as normal)
};

LinkInfo ReadLink(const std::wstring& linkFile);

#endif
