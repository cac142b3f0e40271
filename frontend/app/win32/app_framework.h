#pragma once
// A small application layer for Brindle's Win32 programs: one application object, created
// before the entry runs, whose start-up decides everything. In place of a larger framework,
// it offers just what Brindle uses.

#include <string>

namespace brindle::win32 {

class CAppBase {
public:
    CAppBase();
    virtual ~CAppBase();
    CAppBase(const CAppBase&) = delete;
    CAppBase& operator=(const CAppBase&) = delete;

    // Runs once at start. True would enter a message loop; Brindle's programs return false,
    // which ends the program after start-up with ExitInstance's code.
    virtual bool InitInstance() = 0;
    virtual int ExitInstance() { return exitCode_; }

    // Called by the entry with what the platform handed over.
    int run(const std::string& commandTail);

protected:
    // The command tail: everything after the program's own name, quotes included, leading
    // blanks removed.
    std::string m_lpCmdLine;
    // Asks the message loop (if any) to end with code.
    void postQuit(int code);

private:
    int exitCode_ = 0;
};

// The command tail of a full command line: the program name skipped (quoted or not), then the
// blanks and tabs after it.
std::string commandTailOf(const char* commandLine);

}  // namespace brindle::win32
