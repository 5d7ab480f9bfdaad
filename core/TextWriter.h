// Writes UTF-16 text through a File in the File's encoding, line feeds optionally as CR LF.
#ifndef LUMIVO_CORE_TEXTWRITER_H
#define LUMIVO_CORE_TEXTWRITER_H

#include "core/File.h"
#include "core/Str.h"

class TextWriter {
public:
    explicit TextWriter(File& file) : file(file) {}
    // No byte-order mark is written; a caller that wants one writes it as text.
    void write(const wchar_t* text, int64_t length);
    void write(const Str& text) { write(text.text(), text.length()); }

private:
    void writeCodePoint(uint32_t codePoint);
    File& file;
};

#endif
