#pragma once

// CLayoutDiagnostics: where the library reports what it skipped in a skin
// (an unknown tag, attribute or value, a layout that cannot be read). The
// layout builder names the file and line it is working on, so a report made
// by a control's SetAttribute deep inside still says where the fault is.
//
// Reports go to stderr in debug builds and nowhere in release builds; a test
// or a skin tool can install a sink of its own, which then sees every report
// in every build.

#include <functional>
#include <string>

class CLayoutDiagnostics
{
public:
    using TSink = std::function<void(const std::string& line)>;

    // Reports one problem, printf-style; the current file and line (if any)
    // are put in front.
    static void Report(const char* format, ...) __attribute__((format(printf, 1, 2)));
    // Replaces the sink; an empty function restores the default one.
    static void SetSink(TSink sink);

    // Names the file and line reports refer to while it lives (a null file
    // keeps the file of the enclosing scope). Scopes nest; the innermost wins.
    class CScope
    {
    public:
        CScope(const char* file, int line);
        ~CScope();
        CScope(const CScope&) = delete;
        CScope& operator=(const CScope&) = delete;
        void SetLine(int line);

    private:
        std::string previousFile;
        int previousLine;
    };
};
