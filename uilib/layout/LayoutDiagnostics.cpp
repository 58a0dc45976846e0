#include "uilib/layout/LayoutDiagnostics.h"

#include <cstdarg>
#include <cstdio>

namespace
{
std::string currentFile;
int currentLine = 0;
CLayoutDiagnostics::TSink customSink;

void DefaultSink(const std::string& line)
{
#ifndef NDEBUG
    std::fprintf(stderr, "%s\n", line.c_str());
#else
    (void)line;
#endif
}
}  // namespace

void CLayoutDiagnostics::Report(const char* format, ...)
{
    // Longer reports are cut: they name one attribute or tag (bytes).
    char message[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof(message), format, arguments);
    va_end(arguments);

    std::string line = "uilib: ";
    if (!currentFile.empty()) {
        line += currentFile;
        if (currentLine > 0) {
            line += ':' + std::to_string(currentLine);
        }
        line += ": ";
    }
    line += message;
    if (customSink) {
        customSink(line);
    } else {
        DefaultSink(line);
    }
}

void CLayoutDiagnostics::SetSink(TSink sink)
{
    customSink = std::move(sink);
}

CLayoutDiagnostics::CScope::CScope(const char* file, int line)
    : previousFile(currentFile)
    , previousLine(currentLine)
{
    if (file != nullptr) {
        currentFile = file;
    }
    currentLine = line;
}

CLayoutDiagnostics::CScope::~CScope()
{
    currentFile = previousFile;
    currentLine = previousLine;
}

void CLayoutDiagnostics::CScope::SetLine(int line)
{
    currentLine = line;
}
