// The outcome table: which lines name the class file, the exit statuses, limits in the texts,
// and lines that stay one line.
#include "engine/core/outcome.h"

#include <gtest/gtest.h>

namespace {

using namespace brindle::engine;

TEST(Outcome, TheTableGivesEachOutcomeItsLineAndStatus) {
    const struct {
        Outcome outcome;
        const char* line;
        int status;
    } cases[] = {
        {Outcome::withSource("class A {}"), "", 0},
        {Outcome::failure(OutcomeKind::NoSource), "jad: /in/A.class: decompiler produced no output",
         1},
        {Outcome::failure(OutcomeKind::NoSource, "!!! ERROR"),
         "jad: /in/A.class: decompiler produced no output: !!! ERROR", 1},
        {Outcome::failure(OutcomeKind::DecompilerFailed, "", 3),
         "jad: /in/A.class: decompiler failed (java exit status 3)", 1},
        {Outcome::failure(OutcomeKind::TimedOut, "", 120),
         "jad: /in/A.class: timed out after 120 s", 1},
        {Outcome::failure(OutcomeKind::SourceTooLarge),
         "jad: /in/A.class: the decompiled source is larger than 256 MiB", 1},
        {Outcome::failure(OutcomeKind::ClassFileTooLarge),
         "jad: /in/A.class: not a class file (larger than 256 MiB)", 1},
        {Outcome::failure(OutcomeKind::JavaNotFound, "on PATH"),
         "jad: /in/A.class: java not found on PATH", 1},
        {Outcome::withPartialSource("class A { void m() { /* not decompiled */ } }"), "", 0},
        {Outcome::failure(OutcomeKind::NodeNotFound, "at /opt/node"),
         "jad: /in/A.class: node not found at /opt/node", 1},
        {Outcome::failure(OutcomeKind::VineflowerNotFound, "missing /usr/lib/vineflower.mjs"),
         "jad: /in/A.class: Vineflower engine not found (missing /usr/lib/vineflower.mjs)", 1},
        {Outcome::failure(OutcomeKind::JavaTooOld, "Java 11 (C:\\jdk\\bin\\java.exe)", 17),
         "jad: /in/A.class: Java 17 or later is needed, found only Java 11 (C:\\jdk\\bin\\java.exe)", 1},
        {Outcome::unusable("the service answered garbage"),
         "jad: /in/A.class: the decompiler service did not answer: the service answered garbage",
         1},
        {Outcome::failure(OutcomeKind::BadCommandLine, "no class file given"),
         "jad: no class file given (usage: jad [-options] -d<folder> <class file>)", 2},
        {Outcome::failure(OutcomeKind::BadEnvironment, "BRINDLE_JAD_TIMEOUT must be ..."),
         "jad: BRINDLE_JAD_TIMEOUT must be ...", 2},
        {Outcome::failure(OutcomeKind::Interrupted, "", 15), "jad: /in/A.class: interrupted", 1},
    };
    for (const auto& c : cases) {
        const Report r = report(c.outcome, "jad", "/in/A.class");
        EXPECT_EQ(r.line, c.line);
        EXPECT_EQ(r.exitStatus, c.status) << c.line;
    }
}

TEST(Outcome, LinesStayOneLine) {
    const Report r = report(Outcome::failure(OutcomeKind::CannotReadClassFile, "cannot open: x\ny"),
                            "jad", "/in/a\nb\x01.class");
    EXPECT_EQ(r.line, "jad: /in/a\\nb\\x01.class: cannot open: x\\ny");
    EXPECT_EQ(
        fallbackNotice(Outcome::unusable("the socket folder /r\tun is not private", true), "jad"),
        "jad: the socket folder /r\\tun is not private; decompiling without the service");
}

}  // namespace
