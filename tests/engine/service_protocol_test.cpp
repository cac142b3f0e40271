// The service protocol's bytes, both ways.
#include "engine/core/service_protocol.h"

#include <gtest/gtest.h>

#include "engine/core/limits.h"

namespace {

using namespace brindle::engine;
using namespace std::string_literals;

TEST(ServiceProtocol, ARequestCarriesEveryFieldWithItsLength) {
    ServiceRequest request;
    request.key = "k1";
    request.timeLimitSeconds = 0x01020304;
    request.testDelayMillis = 5;
    request.classFile = "/源/A.class";
    request.workingFolder = "/w";
    const std::optional<std::string> bytes = encodeRequest(request);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, std::string(kServiceMagic) + "\0\0\0\x02k1"s + "\x01\x02\x03\x04"s +
                          "\0\0\0\x05"s + "\0\0\0\x0c/源/A.class"s + "\0\0\0\x02/w"s);

    request.classFile = std::string(kMaxServiceField, 'a');
    EXPECT_TRUE(encodeRequest(request).has_value());
    request.classFile += 'a';
    EXPECT_FALSE(encodeRequest(request).has_value()) << "the service would refuse the field";
}

TEST(ServiceProtocol, AnswerHeaders) {
    const std::string source = encodeAnswer(0, "class A {}");
    EXPECT_EQ(source, std::string(kServiceMagic) + "\0\0\0\0\x0a"s + "class A {}");
    const auto header = decodeAnswerHeader(std::string_view(source).substr(0, kAnswerHeaderSize));
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->kind, AnswerKind::Source);
    EXPECT_EQ(header->length, 10u);

    const auto big = decodeAnswerHeader(std::string(kServiceMagic) + "\x02\xff\x00\x00\x01"s);
    ASSERT_TRUE(big.has_value());
    EXPECT_EQ(big->kind, AnswerKind::RunCold);
    EXPECT_EQ(big->length, 0xff000001u);

    EXPECT_EQ(decodeAnswerHeader(encodeAnswer(1, "")).value().kind, AnswerKind::NoSource);
    EXPECT_EQ(decodeAnswerHeader(encodeAnswer(4, "")).value().kind, AnswerKind::Partial);
    EXPECT_FALSE(decodeAnswerHeader(encodeAnswer(3, ""))) << "a kind this engine does not know";
    EXPECT_FALSE(decodeAnswerHeader("BRJ1"s + "\0\0\0\0\0"s)) << "another protocol's magic";
    EXPECT_FALSE(decodeAnswerHeader(encodeAnswer(0, "").substr(0, kAnswerHeaderSize - 1)));
}

TEST(ServiceProtocol, TheStartedFrame) {
    EXPECT_EQ(encodeAnswer(kStartedKind, ""), std::string(kServiceMagic) + "\x03\0\0\0\0"s);
    EXPECT_TRUE(isStartedFrame(std::string(kServiceMagic) + "\x03\0\0\0\0"s));
    EXPECT_FALSE(isStartedFrame("BRJ2\x03\0\0\0\0"s)) << "another protocol's";
    EXPECT_FALSE(isStartedFrame(encodeAnswer(kStartedKind, "x").substr(0, kAnswerHeaderSize)))
        << "started carries no body";
    EXPECT_FALSE(isStartedFrame(encodeAnswer(0, "")));
}

TEST(ServiceProtocol, TheKeyDependsOnEveryPartAndWhereItEnds) {
    const std::string key = serviceKey({"java", "/a.jar", "/s.jar"});
    EXPECT_EQ(key.size(), 16u);
    EXPECT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(serviceKey({"java", "/a.jar", "/s.jar"}), key);
    EXPECT_NE(serviceKey({"java", "/a.jar", "/t.jar"}), key);
    EXPECT_NE(serviceKey({"javaX", "/a.jar", "/s.jar"}), key);
    EXPECT_NE(serviceKey({"ja", "va/a.jar", "/s.jar"}), key);
}

}  // namespace
