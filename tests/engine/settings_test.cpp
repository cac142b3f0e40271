// The environment's settings: defaults, good values, and every kind of bad number.
#include "engine/core/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

namespace {

using namespace brindle::engine;
using Env = std::map<std::string, std::string>;

Outcome read(const Env& env, Settings& settings) {
    return readSettings(
        [&env](const char* name) -> std::optional<std::string> {
            const auto found = env.find(name);
            if (found == env.end()) return std::nullopt;
            return found->second;
        },
        ':', settings);
}

TEST(Settings, DefaultsAndGoodValues) {
    Settings plain;
    ASSERT_TRUE(read({}, plain).succeeded());
    EXPECT_EQ(plain.java, "java");
    EXPECT_EQ(plain.node, "node");
    EXPECT_FALSE(plain.classPath.has_value());
    EXPECT_EQ(plain.timeLimit, std::chrono::seconds(120));
    EXPECT_FALSE(plain.cold);
    EXPECT_FALSE(plain.serviceRequired);
    EXPECT_EQ(plain.serviceIdleSeconds, 600u);
    EXPECT_EQ(plain.serviceDelayMillis, 0u);
    EXPECT_EQ(plain.serviceDecompilers, std::max(1u, std::thread::hardware_concurrency() - 1));
    EXPECT_EQ(plain.serviceAheadResults, 64u);

    Settings set;
    ASSERT_TRUE(read({{"BRINDLE_JAD_JAVA", "/opt/jdk/bin/java"},
                      {"BRINDLE_JAD_NODE", "/opt/node/bin/node"},
                      {"BRINDLE_JAD_CLASSPATH", "/a.jar::/b b.jar:"},
                      {"BRINDLE_JAD_TIMEOUT", "604800"},
                      {"BRINDLE_JAD_COLD", "1"},
                      {"BRINDLE_JAD_SERVICE_REQUIRED", "1"},
                      {"BRINDLE_JAD_SERVICE_IDLE", "1"},
                      {"BRINDLE_JAD_SERVICE_DELAY_MS", "0"},
                      {"BRINDLE_JAD_WORKERS", "64"},
                      {"BRINDLE_JAD_AHEAD", "0"}},
                     set)
                    .succeeded());
    EXPECT_EQ(set.java, "/opt/jdk/bin/java");
    EXPECT_EQ(set.node, "/opt/node/bin/node");
    EXPECT_EQ(set.classPath, (std::vector<std::string>{"/a.jar", "/b b.jar"}));
    EXPECT_EQ(set.timeLimit, std::chrono::seconds(604800));
    EXPECT_TRUE(set.cold);
    EXPECT_TRUE(set.serviceRequired);
    EXPECT_EQ(set.serviceIdleSeconds, 1u);
    EXPECT_EQ(set.serviceDecompilers, 64u);
    EXPECT_EQ(set.serviceAheadResults, 0u);

    // Empty is unset; only "1" switches on.
    Settings empty;
    ASSERT_TRUE(
        read({{"BRINDLE_JAD_TIMEOUT", ""}, {"BRINDLE_JAD_JAVA", ""}, {"BRINDLE_JAD_NODE", ""},
              {"BRINDLE_JAD_COLD", "yes"}},
             empty)
            .succeeded());
    EXPECT_EQ(empty.timeLimit, std::chrono::seconds(120));
    EXPECT_EQ(empty.java, "java");
    EXPECT_EQ(empty.node, "node");
    EXPECT_FALSE(empty.cold);

    // A list of separators only is an empty class path, not the default one.
    Settings separators;
    ASSERT_TRUE(read({{"BRINDLE_JAD_CLASSPATH", ":::"}}, separators).succeeded());
    EXPECT_EQ(separators.classPath, std::vector<std::string>{});
}

TEST(Settings, ABadNumberNamesTheVariableAndItsRange) {
    const struct {
        const char* name;
        const char* value;
        const char* message;
    } cases[] = {
        {"BRINDLE_JAD_TIMEOUT", "0",
         "BRINDLE_JAD_TIMEOUT must be a whole number of seconds from 1 to 604800, not \"0\""},
        {"BRINDLE_JAD_TIMEOUT", "604801", nullptr},
        {"BRINDLE_JAD_TIMEOUT", "-5", nullptr},
        {"BRINDLE_JAD_TIMEOUT", "1.5", nullptr},
        {"BRINDLE_JAD_TIMEOUT", " 10", nullptr},
        {"BRINDLE_JAD_TIMEOUT", "0000000010", nullptr},  // ten digits: too long to read
        {"BRINDLE_JAD_TIMEOUT", "99999999999999999999", nullptr},
        {"BRINDLE_JAD_SERVICE_IDLE", "0",
         "BRINDLE_JAD_SERVICE_IDLE must be a whole number of seconds from 1 to 604800, not \"0\""},
        {"BRINDLE_JAD_SERVICE_DELAY_MS", "x",
         "BRINDLE_JAD_SERVICE_DELAY_MS must be a whole number of milliseconds from 0 to 604800000, "
         "not \"x\""},
        {"BRINDLE_JAD_WORKERS", "0", "BRINDLE_JAD_WORKERS must be a whole number from 1 to 64, not \"0\""},
        {"BRINDLE_JAD_WORKERS", "65", nullptr},
        {"BRINDLE_JAD_AHEAD", "4097", "BRINDLE_JAD_AHEAD must be a whole number from 0 to 4096, not \"4097\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.value);
        Settings settings;
        const Outcome outcome = read({{c.name, c.value}}, settings);
        EXPECT_EQ(outcome.kind, OutcomeKind::BadEnvironment);
        EXPECT_TRUE(outcome.detail.starts_with(std::string(c.name) + " must be a whole number"))
            << outcome.detail;
        if (c.message != nullptr) {
            EXPECT_EQ(outcome.detail, c.message);
        }
    }
}

}  // namespace
