// Collecting a child's output through a pipe on Windows, with a real child process: what is
// kept, that a flood is read through (the child would otherwise wait on a full pipe for ever),
// the signal for too much output, and that a program the child left holding the pipe does not
// hold the reader.

#include "common/win32/pipe_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "common/win32/child_handles.h"

namespace brindle::common::win32 {
namespace {

constexpr std::size_t kFlood = 256 * 1024;  // far more than a pipe holds

std::string pattern(std::size_t bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes; ++i) text += static_cast<char>('a' + i % 26);
    return text;
}

// The writer and whatever it starts run in a job that ends them all when the test does.
class PipeReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        job_.reset(CreateJobObjectW(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits,
                                sizeof limits);
    }

    // Starts the writer with the pipe made last as its standard error; our copy of that end is
    // closed.
    UniqueHandle startWriter(const std::string& args) {
        const UniqueHandle nul = openNulForChild();
        std::string line = std::string("\"") + PIPE_WRITER + "\" " + args;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nul.get();
        startup.hStdOutput = nul.get();
        startup.hStdError = writeEnd_.get();
        PROCESS_INFORMATION process{};
        const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
                                            CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
        writeEnd_.reset();
        if (!started) return {};
        AssignProcessToJobObject(job_.get(), process.hProcess);
        ResumeThread(process.hThread);
        CloseHandle(process.hThread);
        return UniqueHandle(process.hProcess);
    }

    static DWORD exitCode(HANDLE process) {
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        return code;
    }

    UniqueHandle job_;
    UniqueHandle readEnd_;
    UniqueHandle writeEnd_;
};

TEST_F(PipeReaderTest, OnlyTheChildsEndIsInherited) {
    ASSERT_TRUE(makeChildPipe(readEnd_, writeEnd_));
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(writeEnd_.get(), &flags));
    EXPECT_NE(flags & HANDLE_FLAG_INHERIT, 0u);
    ASSERT_TRUE(GetHandleInformation(readEnd_.get(), &flags));
    EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
}

TEST_F(PipeReaderTest, PolledWhileTheChildRunsKeepsTheStartAndReadsTheRest) {
    struct Case {
        std::size_t written;
        std::size_t keep;
    };
    for (const Case c : {Case{0, 1000}, Case{10, 1000}, Case{kFlood, 1000}, Case{kFlood, kFlood}}) {
        ASSERT_TRUE(makeChildPipe(readEnd_, writeEnd_));
        const UniqueHandle child = startWriter(std::to_string(c.written));
        ASSERT_TRUE(child.valid());
        PipeReader reader(readEnd_.get(), c.keep);
        reader.readUntilExit(child.get());
        EXPECT_EQ(exitCode(child.get()), 7u) << c.written;
        EXPECT_EQ(reader.total(), c.written);
        const std::size_t kept = std::min(c.written, c.keep);
        EXPECT_EQ(reader.text().size(), kept) << c.written;
        EXPECT_TRUE(reader.text() == pattern(kept)) << c.written;
    }
}

TEST_F(PipeReaderTest, OnAThreadReadsAFloodAndSignalsTooMuch) {
    struct Case {
        std::size_t keep;
        std::size_t signalPast;
        bool signalled;
    };
    for (const Case c : {Case{100, kFlood - 1, true}, Case{kFlood + 1, kFlood, false}}) {
        ASSERT_TRUE(makeChildPipe(readEnd_, writeEnd_));
        const UniqueHandle tooMuch(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        PipeReader reader(readEnd_.get(), c.keep);
        reader.signalWhenPast(c.signalPast, tooMuch.get());
        ASSERT_TRUE(reader.startThread());
        const UniqueHandle child = startWriter(std::to_string(kFlood));
        ASSERT_TRUE(child.valid());
        // Unread, the child would wait on the full pipe and never end.
        ASSERT_EQ(WaitForSingleObject(child.get(), 30000), WAIT_OBJECT_0);
        reader.join(30000);
        EXPECT_EQ(reader.total(), kFlood);
        EXPECT_EQ(reader.text().size(), std::min(kFlood, c.keep));
        EXPECT_TRUE(reader.text() == pattern(std::min(kFlood, c.keep)));
        EXPECT_EQ(WaitForSingleObject(tooMuch.get(), 0) == WAIT_OBJECT_0, c.signalled)
            << c.signalPast;
    }
}

TEST_F(PipeReaderTest, AProgramLeftRunningWithThePipeDoesNotHoldThePolledReader) {
    ASSERT_TRUE(makeChildPipe(readEnd_, writeEnd_));
    const UniqueHandle child = startWriter("10 hand-on");
    ASSERT_TRUE(child.valid());
    PipeReader reader(readEnd_.get(), 1000);
    const ULONGLONG begin = GetTickCount64();
    reader.readUntilExit(child.get());
    EXPECT_LT(GetTickCount64() - begin, 30000u);  // the program left behind lingers 60 s
    EXPECT_EQ(exitCode(child.get()), 7u);
    EXPECT_EQ(reader.text(), pattern(10));
}

}  // namespace
}  // namespace brindle::common::win32
