#include "retrieval/ToolCommands.h"

namespace quarrow {

namespace {

Text CommonPart(const Text& programFolder, const Settings& s) {
  return ToolProgram(programFolder) + L" -u " + s.myLogin + L" -pw " +
         s.myPass + L" -s " + s.mySrv + L" -port " + s.myPort;
}

}  // namespace

// Always one backslash after the folder, so a program in a drive's root
// ("c:\") gives a doubled one, as the tool has always been called.
Text ToolProgram(const Text& programFolder) {
  return programFolder + L"\\" + L"getmail.exe";
}

Text HeaderCommand(const Text& programFolder, const Settings& settings) {
  return CommonPart(programFolder, settings) + L" -headersonly";
}

Text RetrievalCommand(const Text& programFolder, const Settings& settings,
                      int messageNumber) {
  const Text i = std::to_wstring(messageNumber);
  return CommonPart(programFolder, settings) + L" -m " + i +
         L" -xtract Extract" + i + L"- -delete";
}

}  // namespace quarrow
