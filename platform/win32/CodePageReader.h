// A file read as 8-bit text in the system's code page (the ANSI code page)
// and handed out as wide text, piece by piece. One that begins with the
// UTF-8 byte-order mark is read as UTF-8 instead, without the mark.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace quarrow::win32 {

// Opens `name` for reading; throws a Failure naming it when it cannot.
std::unique_ptr<TextReader> OpenCodePageFile(const Text& name,
                                             size_t pieceBytes = 4096);

// How many bytes at the end of `bytes` begin a character that goes on past
// them in code page `codePage`, so they have to wait for the next piece.
size_t UnfinishedTail(const std::string& bytes, unsigned codePage);

}  // namespace quarrow::win32
